// Turns of the grey page, one byte per pixel, so whole bytes move and no
// bit order changes.
#include "imaging/transforms.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

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

// Where byte c of band line i lands on the turned page:
// at + c * rowStep + i * kLineStep, kLineStep being 1 or -1.
struct BandPlace {
    uint8_t* at;
    std::ptrdiff_t rowStep;
};

template <int kLineStep>
inline uint8_t* Spot(const BandPlace& p, uint64_t line, uint64_t c)
{
    return p.at + static_cast<std::ptrdiff_t>(c) * p.rowStep +
           static_cast<std::ptrdiff_t>(line) * kLineStep;
}

// Lines i0..i1-1, columns c0..c1-1, byte by byte.
template <int kLineStep>
void TurnBytes(const uint8_t* band, std::size_t stride, const BandPlace& p, uint64_t i0, uint64_t i1,
               uint64_t c0, uint64_t c1)
{
    for (uint64_t c = c0; c < c1; ++c)
        for (uint64_t i = i0; i < i1; ++i)
            *Spot<kLineStep>(p, i, c) = band[i * stride + c];
}

// Band lines become page columns. Copied in tiles of the band's lines by 64
// columns, so that the reads along band lines and the writes along page rows
// both stay in cache; inside a tile whole 8 x 8 blocks turn in registers,
// taken in the order that walks each page row forwards.
template <int kLineStep>
void TurnBandTiles(const uint8_t* band, std::size_t stride, uint64_t lines, uint64_t columns,
                   const BandPlace& p)
{
    constexpr bool kWords = std::endian::native == std::endian::little;
    const uint64_t blocks = kWords ? lines / 8 : 0;
    // Lines [blockLo, blockLo + 8 * blocks) go in whole blocks, the rest byte by byte.
    const uint64_t blockLo = kLineStep > 0 ? 0 : lines - 8 * blocks;
    const uint64_t blockHi = blockLo + 8 * blocks;
    for (uint64_t c0 = 0; c0 < columns; c0 += kTile) {
        const uint64_t cEnd = c0 + kTile < columns ? c0 + kTile : columns;
        const uint64_t cWhole = kWords ? c0 + (cEnd - c0) / 8 * 8 : c0;
        for (uint64_t c = c0; c < cWhole; c += 8)
            for (uint64_t b = 0; b < blocks; ++b) {
                const uint64_t i = kLineStep > 0 ? blockLo + 8 * b : blockHi - 8 * (b + 1);
                // Loaded so that byte j of each turned word lands left of
                // byte j + 1 on the page.
                uint64_t r[8];
                for (uint64_t j = 0; j < 8; ++j)
                    r[j] = Load64(band + (kLineStep > 0 ? i + j : i + 7 - j) * stride + c);
                Transpose8x8(r);
                uint8_t* dst = Spot<kLineStep>(p, kLineStep > 0 ? i : i + 7, c);
                for (int m = 0; m < 8; ++m, dst += p.rowStep)
                    Store64(dst, r[m]);
            }
        TurnBytes<kLineStep>(band, stride, p, 0, blockLo, c0, cWhole);
        TurnBytes<kLineStep>(band, stride, p, blockHi, lines, c0, cWhole);
        TurnBytes<kLineStep>(band, stride, p, 0, lines, cWhole, cEnd);
    }
}

}  // namespace

int TurnBand(const uint8_t* band, uint32_t stride, uint32_t lines, uint32_t columns, uint8_t* page,
             uint32_t width, uint32_t height, uint32_t first, int counterClockwise)
{
    std::size_t bytes;
    if (band == nullptr || page == nullptr || width == 0 || height == 0 ||
        !PageBytes(width, height, bytes) || bytes > PTRDIFF_MAX || lines > height ||
        first > height - lines || columns > width || (lines > 1 && stride < columns))
        return 0;
    const std::ptrdiff_t h = height;
    if (counterClockwise) {
        // Line r, byte c -> row width - 1 - c, column r.
        const BandPlace place = {page + (static_cast<std::ptrdiff_t>(width) - 1) * h + first, -h};
        TurnBandTiles<1>(band, stride, lines, columns, place);
    } else {
        // Line r, byte c -> row c, column height - 1 - r.
        const BandPlace place = {page + (h - 1 - first), h};
        TurnBandTiles<-1>(band, stride, lines, columns, place);
    }
    return 1;
}

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
