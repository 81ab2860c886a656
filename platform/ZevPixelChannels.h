// Colour channels under the masks of a pixel layout (an X visual, a bitmap's masks): each mask one run of bits.
#pragma once

#include <cstdint>

// The channel under the mask as 8 bits, scaled so that a full field gives 255; 0 for no mask.
inline std::uint32_t ZevChannelTo8(std::uint64_t pixel, std::uint64_t mask)
{
    if (!mask)
        return 0;
    const int shift = __builtin_ctzll(mask);
    return static_cast<std::uint32_t>(((pixel & mask) >> shift) * 255u / (mask >> shift));
}

// An 8-bit channel placed under the mask: its top bits survive; 0 for no mask.
inline std::uint64_t ZevChannelFrom8(std::uint32_t value8, std::uint64_t mask)
{
    if (!mask)
        return 0;
    const int bits = __builtin_popcountll(mask);
    const std::uint64_t v = bits >= 8 ? std::uint64_t(value8) << (bits - 8) : std::uint64_t(value8) >> (8 - bits);
    return (v << __builtin_ctzll(mask)) & mask;
}
