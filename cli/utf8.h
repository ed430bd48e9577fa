// UTF-8 well-formedness for the file names that veltrass-cli writes into JSON and SVG.
#ifndef VELTRASS_CLI_UTF8_H
#define VELTRASS_CLI_UTF8_H

#include <cstddef>

// Length of the well-formed UTF-8 sequence at `p` (at most `left` bytes), or 0 if there is none.
inline size_t utf8_length(const unsigned char* p, size_t left)
{
    unsigned char c = p[0];
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) length = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else return 0;
    if (left < length || p[1] < low || p[1] > high) return 0;
    for (size_t i = 2; i < length; i++)
        if (p[i] < 0x80 || p[i] > 0xBF) return 0;
    return length;
}

#endif
