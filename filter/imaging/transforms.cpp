// Turns of the grey page, one byte per pixel, so whole bytes move and no
// bit order changes.
#include "imaging/transforms.h"

#include "driver/filter_state.h"

#include <bit>
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

// Result row c, columns k0..k1-1, byte by byte; source row h - 1 - k.
inline void TurnBytes(const uint8_t* bitmap, uint8_t* scratch, uint64_t w, uint64_t h, uint64_t c0,
                      uint64_t c1, uint64_t k0, uint64_t k1)
{
    for (uint64_t c = c0; c < c1; ++c) {
        uint8_t* dst = scratch + c * h;
        for (uint64_t k = k0; k < k1; ++k)
            dst[k] = bitmap[(h - 1 - k) * w + c];
    }
}

// Eight source rows of eight bytes become eight result rows: byte i of
// row j goes to byte j of row i (three rounds of exchanging ever larger
// sub-blocks inside the 64-bit words).
inline void Transpose8x8(uint64_t r[8])
{
    for (int j = 0; j < 8; j += 2) {
        uint64_t t = ((r[j] >> 8) ^ r[j + 1]) & 0x00FF00FF00FF00FFULL;
        r[j + 1] ^= t;
        r[j] ^= t << 8;
    }
    for (int j : {0, 1, 4, 5}) {
        uint64_t t = ((r[j] >> 16) ^ r[j + 2]) & 0x0000FFFF0000FFFFULL;
        r[j + 2] ^= t;
        r[j] ^= t << 16;
    }
    for (int j = 0; j < 4; ++j) {
        uint64_t t = ((r[j] >> 32) ^ r[j + 4]) & 0x00000000FFFFFFFFULL;
        r[j + 4] ^= t;
        r[j] ^= t << 32;
    }
}

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
// height - 1 - r. Copied in 64 x 64 tiles so that the reads along source
// rows and the writes along result rows both stay in cache; inside a tile
// whole 8 x 8 blocks turn in registers.
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
    constexpr bool kWords = std::endian::native == std::endian::little;
    const uint64_t w = width;
    const uint64_t h = height;
    for (uint64_t k0 = 0; k0 < h; k0 += kTile) {
        const uint64_t kEnd = k0 + kTile < h ? k0 + kTile : h;
        const uint64_t kWhole = kWords ? k0 + (kEnd - k0) / 8 * 8 : k0;
        for (uint64_t c0 = 0; c0 < w; c0 += kTile) {
            const uint64_t cEnd = c0 + kTile < w ? c0 + kTile : w;
            const uint64_t cWhole = kWords ? c0 + (cEnd - c0) / 8 * 8 : c0;
            for (uint64_t c = c0; c < cWhole; c += 8)
                for (uint64_t k = k0; k < kWhole; k += 8) {
                    uint64_t r[8];
                    for (uint64_t j = 0; j < 8; ++j)
                        r[j] = Load64(bitmap + (h - 1 - k - j) * w + c);
                    Transpose8x8(r);
                    uint8_t* dst = scratch + c * h + k;
                    for (int i = 0; i < 8; ++i, dst += h)
                        Store64(dst, r[i]);
                }
            TurnBytes(bitmap, scratch, w, h, c0, cWhole, kWhole, kEnd);
            TurnBytes(bitmap, scratch, w, h, cWhole, cEnd, k0, kEnd);
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
