// Stand-in for the Nimbla Drive client's main executable. It only has to stay alive, as a
// compiled program, so that the running-client check sees a process whose executable lies
// inside /Applications/Nimbla.app. SIGTERM and SIGINT end it as usual.
#include <unistd.h>

int main(void) {
    for (;;) {
        pause();
    }
}
