#include "imaging/page_bitmap.h"

#include <cstdlib>
#include <cstring>

#include "imaging/transforms.h"

namespace {

uint8_t* Allocate(std::size_t bytes) { return static_cast<uint8_t*>(std::malloc(bytes > 0 ? bytes : 1)); }

uint8_t* Row(const PageBitmap& page, uint32_t y) { return page.bits + page.rowBytes * y; }

uint8_t* At(const PageBitmap& page, uint32_t y, uint32_t x)
{
    return Row(page, y) + static_cast<std::size_t>(x) * static_cast<uint32_t>(page.screen.bits) / 8;
}

// The band's lines turned a quarter, each turned row screened into its
// place: clockwise, band line r lands in column height - 1 - r of the
// page; counter-clockwise (the half turn first) in column r.
void TurnBandIntoBitmap(PageBitmap& page)
{
    const uint32_t lines = page.bandLines;
    const uint32_t first = page.linesIn - lines;
    TurnBand(page.band, page.width, lines, page.width, page.tile, page.width, lines, 0, page.half);
    const uint32_t x = page.half ? first : page.height - first - lines;
    for (uint32_t y = 0; y < page.width; ++y)
        page.dots += ScreenRun(page.screen, page.tile + static_cast<std::size_t>(y) * lines, lines, y, x,
                               At(page, y, x));
    page.bandLines = 0;
}

}  // namespace

int BeginPageBitmap(PageBitmap& page, uint32_t width, uint32_t height, int half, int quarter,
                    const PageScreen& screen)
{
    page = PageBitmap{};
    page.width = width;
    page.height = height;
    page.half = half;
    page.quarter = quarter;
    page.screen = screen;
    page.bitmapWidth = quarter ? height : width;
    page.bitmapHeight = quarter ? width : height;
    const uint64_t rowBits = static_cast<uint64_t>(page.bitmapWidth) * static_cast<uint32_t>(screen.bits);
    // Every screened run starts on a byte: bitmap lines of whole bytes, and
    // quarter-turned bands of whole bytes (8 lines, or 4 in two-bit mode).
    if (width == 0 || height == 0 || rowBits % 8 != 0 || (quarter && height % 8 != 0))
        return 0;
    page.rowBytes = static_cast<std::size_t>(rowBits / 8);
    if (page.rowBytes > SIZE_MAX / page.bitmapHeight)
        return 0;
    page.bits = Allocate(page.rowBytes * page.bitmapHeight);
    if (quarter) {
        page.band = Allocate(static_cast<std::size_t>(kTurnBandLines) * width);
        page.tile = Allocate(static_cast<std::size_t>(kTurnBandLines) * width);
    } else {
        page.line = Allocate(width);  // a line reversed, or white
    }
    return page.bits != nullptr && (quarter ? page.band != nullptr && page.tile != nullptr : page.line != nullptr);
}

void AddBitmapLine(PageBitmap& page, const uint8_t* grey)
{
    if (page.linesIn >= page.height)
        return;
    const uint32_t y = page.linesIn++;
    if (page.quarter) {
        std::memcpy(page.band + static_cast<std::size_t>(page.bandLines) * page.width, grey, page.width);
        if (++page.bandLines == kTurnBandLines || page.linesIn == page.height)
            TurnBandIntoBitmap(page);
        return;
    }
    if (page.half) {
        // Line y lands reversed on line height - 1 - y.
        std::memcpy(page.line, grey, page.width);
        Rotate180(page.line, page.width, 1);
        const uint32_t row = page.height - 1 - y;
        page.dots += ScreenRun(page.screen, page.line, page.width, row, 0, Row(page, row));
        return;
    }
    page.dots += ScreenRun(page.screen, grey, page.width, y, 0, Row(page, y));
}

void FinishPageBitmap(PageBitmap& page)
{
    // Paper the raster never covered: white, screened like any other line
    // (negative print makes it black).
    if (page.linesIn < page.height && !page.quarter)
        std::memset(page.line, 255, page.width);
    while (page.linesIn < page.height) {
        const uint32_t y = page.linesIn++;
        if (page.quarter) {
            std::memset(page.band + static_cast<std::size_t>(page.bandLines) * page.width, 255, page.width);
            if (++page.bandLines == kTurnBandLines || page.linesIn == page.height)
                TurnBandIntoBitmap(page);
            continue;
        }
        const uint32_t row = page.half ? page.height - 1 - y : y;
        page.dots += ScreenRun(page.screen, page.line, page.width, row, 0, Row(page, row));
    }
}

void FreePageBitmap(PageBitmap& page)
{
    std::free(page.bits);
    std::free(page.line);
    std::free(page.band);
    std::free(page.tile);
    page.bits = page.line = page.band = page.tile = nullptr;
}
