// Turns of the grey page, one byte per pixel, so whole bytes move and no
// bit order changes.
#include "imaging/transforms.h"

#include "driver/filter_state.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint64_t kTile = 64;

// Size of a width x height page in bytes; false when it cannot be addressed.
bool PageBytes(uint32_t width, uint32_t height, std::size_t& bytes)
{
    if (width > SIZE_MAX / height)
        return false;
    bytes = static_cast<std::size_t>(width) * height;
    return true;
}

inline uint64_t Load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, sizeof v); }

}  // namespace

// A half turn of a byte-per-pixel page is the reversal of all its bytes, so
// it is done in place from both ends at once, eight bytes a step, and needs
// no scratch page.
int Rotate180(uint8_t* bitmap, uint32_t width, uint32_t height)
{
    std::size_t bytes;
    if (bitmap == nullptr || width == 0 || height == 0 || !PageBytes(width, height, bytes))
        return 0;
    uint8_t* lo = bitmap;
    uint8_t* hi = bitmap + bytes;
    while (hi - lo >= 16) {
        hi -= 8;
        uint64_t front = Load64(lo);
        uint64_t back = Load64(hi);
        Store64(lo, __builtin_bswap64(back));
        Store64(hi, __builtin_bswap64(front));
        lo += 8;
    }
    while (hi - lo >= 2) {
        --hi;
        uint8_t t = *lo;
        *lo = *hi;
        *hi = t;
        ++lo;
    }
    return 1;
}

// Quarter turn clockwise: source row r, column c goes to row c, column
// height - 1 - r. Copied in 64 x 64 tiles so that the reads along a source
// row and the writes down a result column both stay in cache.
int Rotate90(uint8_t* bitmap, uint32_t width, uint32_t height)
{
    std::size_t bytes;
    if (bitmap == nullptr || width == 0 || height == 0)
        return 0;
    uint8_t* scratch = PageBytes(width, height, bytes) ? static_cast<uint8_t*>(std::malloc(bytes)) : nullptr;
    if (scratch == nullptr) {
        // The page stays as it was; the caller may still go on with it.
        SetErrMsg("Rotate90() :: malloc memory Fail. \n");
        return 0;
    }
    const uint64_t w = width;
    const uint64_t h = height;
    for (uint64_t k0 = 0; k0 < h; k0 += kTile) {
        const uint64_t kEnd = k0 + kTile < h ? k0 + kTile : h;
        for (uint64_t c0 = 0; c0 < w; c0 += kTile) {
            const uint64_t cEnd = c0 + kTile < w ? c0 + kTile : w;
            for (uint64_t k = k0; k < kEnd; ++k) {
                const uint8_t* src = bitmap + (h - 1 - k) * w;
                uint8_t* dst = scratch + c0 * h + k;
                for (uint64_t c = c0; c < cEnd; ++c, dst += h)
                    *dst = src[c];
            }
        }
    }
    std::memcpy(bitmap, scratch, bytes);
    std::free(scratch);
    return 1;
}

void SwapInt32(uint32_t* a, uint32_t* b)
{
    uint32_t t = *a;
    *a = *b;
    *b = t;
}

void SwapInt16(uint16_t* a, uint16_t* b)
{
    uint16_t t = *a;
    *a = *b;
    *b = t;
}
