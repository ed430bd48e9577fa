// Engine-internal: a draw reduced modulo the station count by multiplication, without a division.
#ifndef VELTRASS_DRAW_REDUCTION_H
#define VELTRASS_DRAW_REDUCTION_H

#include <cstdint>

// The multiplier for `count` (1 to MAX_STATIONS): 2^32 / count rounded up, kept to its low
// 32 bits (0 for a count of 1, whose every remainder is 0).
inline uint32_t draw_multiplier(int32_t count)
{
    return static_cast<uint32_t>(UINT64_C(0xFFFFFFFF) / static_cast<uint32_t>(count) + 1u);
}

// `draw` modulo `count`, given `multiplier` = draw_multiplier(count), for every draw from 0 to
// 32767 and every count from 1 to MAX_STATIONS. With the multiplier (2^32 + e) / count, where
// 0 <= e < count, the low 32 bits of multiplier * draw are ((draw mod count) * 2^32 + e * draw)
// / count; times count and shifted down by 32 that leaves draw mod count, since
// e * draw < 1000 * 2^15 < 2^32. Tested exhaustively over the whole range.
inline int32_t reduce_draw(int draw, uint32_t multiplier, int32_t count)
{
    const uint32_t fraction = multiplier * static_cast<uint32_t>(draw);  // modulo 2^32
    return static_cast<int32_t>(
        (static_cast<uint64_t>(fraction) * static_cast<uint32_t>(count)) >> 32);
}

#endif
