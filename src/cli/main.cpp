#include "cli/Cli.h"

int main(int argc, char** argv) {
    return nimbla::cli::run(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
