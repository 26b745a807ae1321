/* Writes N bytes of ASCII text to stdout and N to stderr, alternating in 64 KiB pieces, so both
 * pipes carry data at the same time:  nimbla_bench_writer N */
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { kPiece = 64 * 1024 };

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

int main(int argc, char** argv) {
    if (argc != 2) {
        return 64;
    }
    unsigned long long total = strtoull(argv[1], NULL, 10);
    static char out[kPiece];
    static char err[kPiece];
    for (size_t i = 0; i < kPiece; ++i) {
        out[i] = (char)('a' + i % 26);
        err[i] = (char)('0' + i % 10);
    }
    for (unsigned long long done = 0; done < total; done += kPiece) {
        size_t length = total - done < kPiece ? (size_t)(total - done) : kPiece;
        writeAll(STDOUT_FILENO, out, length);
        writeAll(STDERR_FILENO, err, length);
    }
    return 0;
}
