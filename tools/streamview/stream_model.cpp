#include "stream_model.h"

#include <bit>

namespace streamview {

unsigned Bitmap::Level(uint32_t x, uint32_t y) const
{
    if (x >= width || y >= height || bits.empty())
        return 0;
    const size_t bit = static_cast<size_t>(x) * bitsPerPixel;
    const uint8_t byte = bits[y * RowBytes() + bit / 8];
    const unsigned shift = 8 - bitsPerPixel - bit % 8;
    return (byte >> shift) & MaxLevel();
}

uint8_t Bitmap::Darkness(uint32_t x, uint32_t y) const
{
    return static_cast<uint8_t>(Level(x, y) * 255 / MaxLevel());
}

uint64_t Bitmap::MarkedPixels() const
{
    if (bits.empty())
        return 0;
    const size_t rowBytes = RowBytes();
    const unsigned tailBits = lineBits % 8;
    // Only the pixels of the line count, not the padding of its last byte.
    const uint8_t tailMask = tailBits ? static_cast<uint8_t>(0xFF << (8 - tailBits)) : 0xFF;
    uint64_t count = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = bits.data() + y * rowBytes;
        for (size_t i = 0; i < rowBytes; ++i) {
            uint8_t b = row[i];
            if (i + 1 == rowBytes)
                b &= tailMask;
            if (bitsPerPixel == 2)
                b = static_cast<uint8_t>((b | (b >> 1)) & 0x55);
            count += std::popcount(b);
        }
    }
    return count;
}

std::string Document::DuplexMode() const
{
    if (manualDuplex)
        return "manual";
    if (machineDuplex || (jobFlags >= 0 && (jobFlags & 0x20)))
        return "duplex";
    return "simplex";
}

size_t StreamResult::PageCount() const
{
    size_t n = 0;
    for (const Document& d : documents)
        n += d.pages.size();
    return n;
}

}  // namespace streamview
