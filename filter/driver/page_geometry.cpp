#include "driver/page_geometry.h"

namespace {

uint32_t RoundUp(uint32_t value, uint32_t step) { return (value + step - 1) / step * step; }

// Dots across length points at 600 dpi, truncated; 0 or less when nothing
// is left.
long DotsAt600(double lengthPt)
{
    if (lengthPt <= 0)
        return 0;
    return static_cast<long>(lengthPt * 600.0 / 72.0);
}

}  // namespace

int CustomPageSize(unsigned widthPt, unsigned heightPt, const float margins[4], uint32_t* width,
                   uint32_t* height)
{
    if (widthPt > kMaxCustomWidthPt || heightPt > kMaxCustomHeightPt)
        return 0;
    const long w = DotsAt600(widthPt - static_cast<double>(margins[0]) - margins[2]);
    const long h = DotsAt600(heightPt - static_cast<double>(margins[1]) - margins[3]);
    if (w <= 0 || h <= 0)
        return 0;
    *width = RoundUp(static_cast<uint32_t>(w), 32);
    *height = RoundUp(static_cast<uint32_t>(h), 8);
    return 1;
}

int ComputePageGeometry(const cups_page_header2_t& header, const PaperSize* paperTable,
                        const float margins[4], int platform, int* feedLongEdge,
                        PageGeometry* geometry)
{
    PageGeometry g{};
    const int row = FindPaperSize(header.PageSize, paperTable, feedLongEdge);
    if (row >= 0) {
        g.width = static_cast<uint32_t>(paperTable[row].imageWidth);
        g.height = static_cast<uint32_t>(paperTable[row].imageHeight);
        g.paperCode = paperTable[row].paperCode;
        g.offsetX = paperTable[row].offsetX;
        g.offsetY = paperTable[row].offsetY;
    } else {
        if (!CustomPageSize(header.PageSize[0], header.PageSize[1], margins, &g.width, &g.height))
            return 0;
        g.paperCode = platform == 1 ? 0xFF : 0;
    }

    // Only platform 1 images at 1200 dpi; the bitmap grows with it.
    int xDpi = 600, yDpi = 600;
    if (platform == 1) {
        if (header.HWResolution[0] == 1200) {
            xDpi = 1200;
            g.width *= 2;
        }
        if (header.HWResolution[1] == 1200) {
            yDpi = 1200;
            g.height *= 2;
        }
    }
    // Platforms 1 and 2 count resolution in tens of dots per inch.
    g.xResolution = platform == 3 ? xDpi : xDpi / 10;
    g.yResolution = platform == 3 ? yDpi : yDpi / 10;
    *geometry = g;
    return 1;
}

int NeedsRotate180(const JobOption* options, int feedFlags, int pageNumber)
{
    const int rotation = options[kImageRotation].value;
    const bool even = pageNumber % 2 == 0;
    switch (options[kDuplex].value) {
    case 0:
        // The long-edge-fed back of a manual-duplex sheet comes out upside
        // down unless the user asked for the image turned already.
        if (options[kManualDuplex].value == 1 && feedFlags == kLongEdgeFeed && even)
            return rotation == 0;
        return rotation == 1;
    case 1:
        return rotation == 1 ? !even : even;
    case 2:
        return rotation == 1;
    default:
        return 0;
    }
}
