// Writes real CUPS raster jobs with libcupsimage, the way the CUPS filter
// chain hands them to the printer driver.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct RasterPage {
    unsigned widthPt = 595;      // PageSize
    unsigned heightPt = 842;
    unsigned dpiX = 600;         // HWResolution
    unsigned dpiY = 600;
    unsigned width = 0;          // cupsWidth; 0: from the page size
    unsigned height = 0;         // cupsHeight; 0: from the page size
    unsigned bytesPerLine = 0;   // cupsBytesPerLine; 0: width * bitsPerPixel / 8
    unsigned copies = 1;         // NumCopies
    unsigned mediaType = 0;      // cupsMediaType
    cups_cspace_t colorSpace = CUPS_CSPACE_W;
    unsigned bitsPerColor = 8;
    unsigned colorCount = 1;     // 3 for an RGB page
    std::string pageSizeName;    // cupsPageSizeName (PWG raster: the PWG media name)
    // Grey value of pixel (x, y); white when empty.
    std::function<uint8_t(unsigned x, unsigned y)> pixel;
};

// A page of the given size in points, sized in pixels from the resolution.
RasterPage PaperPage(unsigned widthPt, unsigned heightPt, unsigned dpi = 600);

// Writes the pages to path, uncompressed or (CUPS_RASTER_WRITE_COMPRESSED)
// compressed; returns path.
std::string WriteRasterJob(const std::string& path, const std::vector<RasterPage>& pages,
                           cups_mode_t mode = CUPS_RASTER_WRITE);

// The grey bytes of one page as the writer produced them (height rows of
// bytesPerLine bytes).
std::vector<uint8_t> PageBytes(const RasterPage& page);
