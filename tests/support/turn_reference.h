// Plain, pixel-by-pixel turns of a grey page (one byte per pixel), against
// which the engine's turns are checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Clockwise: a w x h page becomes h wide and w tall.
inline std::vector<uint8_t> QuarterTurnReference(const std::vector<uint8_t>& src, uint32_t w, uint32_t h)
{
    std::vector<uint8_t> dst(src.size());
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t c = 0; c < w; ++c)
            dst[std::size_t(c) * h + (h - 1 - r)] = src[std::size_t(r) * w + c];
    return dst;
}

inline std::vector<uint8_t> HalfTurnReference(const std::vector<uint8_t>& src)
{
    return std::vector<uint8_t>(src.rbegin(), src.rend());
}
