// Where a page lands on the printer: bitmap size, paper code and offsets,
// resolution codes, and which way the page has to be turned.
#pragma once

#include <cups/raster.h>

#include <cstdint>

#include "driver/job_options.h"
#include "driver/paper_tables.h"

// Largest custom page the printers take, in points.
constexpr unsigned kMaxCustomWidthPt = 612;
constexpr unsigned kMaxCustomHeightPt = 1009;

// PageSetup feed flag: A5 fed long edge first, the page turned a quarter.
constexpr int kLongEdgeFeed = 0x40;

struct PageGeometry {
    uint32_t width;      // bitmap pixels per line
    uint32_t height;     // bitmap lines
    int paperCode;
    uint16_t offsetX;
    uint16_t offsetY;
    int xResolution;     // resolution codes for PageSetup
    int yResolution;
};

// Bitmap size at 600 dpi of a custom page inside the PPD's custom-size
// margins (left, bottom, right, top, in points): width rounded up to a
// multiple of 32, height to a multiple of 8. Returns 0 when the page is too
// large for the printer or leaves nothing to print inside the margins.
int CustomPageSize(unsigned widthPt, unsigned heightPt, const float margins[4], uint32_t* width,
                   uint32_t* height);

// Settles the page's geometry from its header: a paper-table row, else a
// custom size; then the resolution (platform 1 may image at 1200 dpi).
// May set *feedLongEdge (see FindPaperSize). Returns 0 when the size is
// neither in the table nor a custom size the printer takes.
int ComputePageGeometry(const cups_page_header2_t& header, const PaperSize* paperTable,
                        const float margins[4], int platform, int* feedLongEdge,
                        PageGeometry* geometry);

// 1 when the page must be turned by 180 degrees: duplex backs, the rotation
// option, and A5 fed long edge first on the back of a manual-duplex sheet.
int NeedsRotate180(const JobOption* options, int feedFlags, int pageNumber);
