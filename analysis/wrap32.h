// Engine-internal: signed 32-bit values that the engine keeps modulo 2^32, without signed overflow.
#ifndef VELTRASS_WRAP32_H
#define VELTRASS_WRAP32_H

#include <cstdint>

// The int32_t whose two's-complement bit pattern is `bits`, without relying on an
// implementation-defined narrowing conversion.
inline int32_t as_int32(uint32_t bits)
{
    if (bits <= 0x7FFFFFFFu) return static_cast<int32_t>(bits);
    return -static_cast<int32_t>(~bits) - 1;
}

// `value` + 1 modulo 2^32: INT32_MAX is followed by INT32_MIN.
inline int32_t wrapping_increment(int32_t value)
{
    return as_int32(static_cast<uint32_t>(value) + 1u);
}

#endif
