#include "app/NimblaResetToolApp.h"

int main(int argc, char** argv) {
    return nimbla::app::NimblaResetToolApp::main(argc, argv);
}
