/* The child programs of the stress tests. One mode per run:
 *   pattern N          N bytes on stdout and N on stderr at once (see stress_pattern.h)
 *   files OUT ERR      the bytes of file OUT on stdout, then those of ERR on stderr
 *   orphan quiet|flood MS
 *                      leaves behind a process holding both pipes (quiet: it only sleeps;
 *                      flood: it writes to stdout without pause), prints that process's id on
 *                      stderr as "orphan=<pid>\n", then exits 0 after MS milliseconds */
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "stress_pattern.h"

static void writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            _exit(3);
        }
        data += n;
        size -= (size_t)n;
    }
}

static void copyFile(const char* path, int fd) {
    int in = open(path, O_RDONLY);
    if (in < 0) {
        _exit(4);
    }
    char buffer[65536];
    ssize_t n;
    while ((n = read(in, buffer, sizeof buffer)) > 0) {
        writeAll(fd, buffer, (size_t)n);
    }
    close(in);
}

static void sleepMs(long ms) {
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "pattern") == 0) {
        unsigned long long total = strtoull(argv[2], NULL, 10);
        static char out[kStressPiece], err[kStressPiece];
        for (unsigned long long done = 0; done < total; done += kStressPiece) {
            size_t length = total - done < kStressPiece ? (size_t)(total - done) : kStressPiece;
            stressPatternPiece(1, done, out);
            stressPatternPiece(2, done, err);
            writeAll(STDOUT_FILENO, out, length);
            writeAll(STDERR_FILENO, err, length);
        }
        return 0;
    }
    if (argc == 4 && strcmp(argv[1], "files") == 0) {
        copyFile(argv[2], STDOUT_FILENO);
        copyFile(argv[3], STDERR_FILENO);
        return 0;
    }
    if (argc == 4 && strcmp(argv[1], "orphan") == 0) {
        const int flood = strcmp(argv[2], "flood") == 0;
        pid_t orphan = fork();
        if (orphan == 0) {
            signal(SIGPIPE, SIG_DFL);
            static char dots[4096];
            memset(dots, '.', sizeof dots);
            for (int tick = 0; tick < 600; ++tick) {
                if (flood) {
                    writeAll(STDOUT_FILENO, dots, sizeof dots); /* ends at EPIPE */
                } else {
                    sleepMs(100);
                }
            }
            _exit(0);
        }
        char line[64];
        int length = snprintf(line, sizeof line, "orphan=%d\n", (int)orphan);
        writeAll(STDERR_FILENO, line, (size_t)length);
        sleepMs(strtol(argv[3], NULL, 10));
        return 0;
    }
    fprintf(stderr, "usage: stress_child pattern N | files OUT ERR | orphan quiet|flood MS\n");
    return 64;
}
