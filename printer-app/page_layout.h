// Where a page from an IPP client lands on the printer. PWG pages cover the
// whole sheet; the printer images only its bitmap, so each page is cropped
// to the bitmap exactly where the PPD path's imageable area puts it.
#pragma once

#include <cstdint>
#include <string>

struct PageLayout {
    int widthPt = 0;       // the sheet as the engine's paper lookup knows it
    int heightPt = 0;
    bool custom = false;   // not in the paper table: a custom size
    int xdpi = 600;
    int ydpi = 600;
    uint32_t width = 0;    // the bitmap at the page's resolution
    uint32_t height = 0;
    uint32_t cropLeft = 0; // pixels and lines of the sheet before the bitmap
    uint32_t cropTop = 0;
};

// Lays out a page of the model: the size by its PWG name, else by its
// dimensions (hundredths of millimetres) as a table size or a custom size.
// Returns false with a message in error when the printer cannot print it.
bool LayOutPage(int model, const char* sizeName, int widthHmm, int lengthHmm, int xdpi, int ydpi,
                PageLayout* layout, std::string* error);
