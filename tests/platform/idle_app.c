/* Waits, doing nothing, until a signal ends it. */
#include <unistd.h>

int main(void) {
    for (;;) {
        pause();
    }
}
