// The page's bitmap, built as the raster lines arrive: each grey line is
// screened straight into its final place, turned a half or a quarter as the
// page needs, with the thresholds of that place. No grey page is ever held:
// at most one grey line, or a band of lines for a quarter turn.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/screening.h"

struct PageBitmap {
    uint32_t width = 0;         // grey lines as they arrive: pixels per line
    uint32_t height = 0;        // and lines per page
    int half = 0;               // turned 180 degrees
    int quarter = 0;            // turned 90 degrees clockwise (after the half turn)
    uint32_t bitmapWidth = 0;   // the bitmap, turned: pixels per line
    uint32_t bitmapHeight = 0;  // and lines
    std::size_t rowBytes = 0;
    uint8_t* bits = nullptr;    // bitmapHeight rows of rowBytes, 1 or 2 bits a pixel
    uint32_t dots = 0;          // toner dots counted so far (platforms 1 and 2)
    uint32_t linesIn = 0;       // grey lines placed so far
    PageScreen screen{};
    uint8_t* line = nullptr;    // half turn: the line reversed
    uint8_t* band = nullptr;    // quarter turn: lines waiting to be turned
    uint8_t* tile = nullptr;    // quarter turn: the band turned
    uint32_t bandLines = 0;
};

// Allocates the bitmap of a width x height grey page turned as asked, to be
// screened with screen. Returns 0 when memory is short or the turned lines
// would not start on whole bytes (never for the printers' paper sizes);
// FreePageBitmap then still cleans up.
int BeginPageBitmap(PageBitmap& page, uint32_t width, uint32_t height, int half, int quarter,
                    const PageScreen& screen);

// Places the next grey line (width bytes, 0 black .. 255 white). Lines past
// the page's height are dropped.
void AddBitmapLine(PageBitmap& page, const uint8_t* grey);

// Fills whatever no line reached with white and completes the bitmap.
void FinishPageBitmap(PageBitmap& page);

void FreePageBitmap(PageBitmap& page);
