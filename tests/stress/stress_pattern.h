#ifndef NIMBLA_STRESS_PATTERN_H
#define NIMBLA_STRESS_PATTERN_H

/* The bytes the stress child writes for "pattern N", in 64 KiB pieces: each piece starts with
 * its offset in the stream as 16 hex digits and a space, then letters (stdout) or digits
 * (stderr). A lost, doubled or misplaced piece is seen at once; checking costs one memcmp. */
#include <stddef.h>
#include <string.h>

enum { kStressPiece = 64 * 1024 };

static inline void stressPatternPiece(int fd, unsigned long long offset, char* piece) {
    static const char hex[] = "0123456789abcdef";
    for (int i = 0; i < 16; ++i) {
        piece[i] = hex[(offset >> (4 * (15 - i))) & 0xf];
    }
    piece[16] = ' ';
    for (size_t i = 17; i < kStressPiece; ++i) {
        piece[i] = fd == 1 ? (char)('a' + i % 26) : (char)('0' + i % 10);
    }
}

#endif
