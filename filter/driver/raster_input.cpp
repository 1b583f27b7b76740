#include "driver/raster_input.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driver/cups_binding.h"
#include "driver/filter_state.h"
#include "imaging/transforms.h"

namespace {

const char* ColorSpaceName(unsigned space)
{
    switch (space) {
    case CUPS_CSPACE_W: return "grey";
    case CUPS_CSPACE_SW: return "sGrey";
    case CUPS_CSPACE_K: return "black";
    case CUPS_CSPACE_RGB: return "RGB";
    case CUPS_CSPACE_SRGB: return "sRGB";
    case CUPS_CSPACE_ADOBERGB: return "AdobeRGB";
    case CUPS_CSPACE_CMY: return "CMY";
    case CUPS_CSPACE_CMYK: return "CMYK";
    case CUPS_CSPACE_RGBW: return "RGBW";
    default: return "other";
    }
}

// The header's enum fields hold whatever number the raster carries; they
// are read as the plain integers they are stored as, never as the enum.
unsigned ColorSpaceNumber(const cups_page_header2_t& header)
{
    static_assert(sizeof header.cupsColorSpace == sizeof(unsigned));
    unsigned space;
    std::memcpy(&space, &header.cupsColorSpace, sizeof space);
    return space;
}

}  // namespace

int RasterIsInverted(const cups_page_header2_t& header)
{
    return ColorSpaceNumber(header) == CUPS_CSPACE_K ? 1 : 0;
}

int CheckRasterPage(const cups_page_header2_t& header, int pageNumber)
{
    const unsigned space = ColorSpaceNumber(header);
    const bool grey = space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW || space == CUPS_CSPACE_K;
    if (!grey || header.cupsBitsPerPixel != 8 || header.cupsBitsPerColor != 8 ||
        header.cupsNumColors != 1) {
        std::fprintf(stderr,
                     "ERROR: Page %d is not 8-bit grey raster: %u bits per pixel, %u bits per "
                     "colour, %u colour(s), colour space %u (%s)\n",
                     pageNumber, header.cupsBitsPerPixel, header.cupsBitsPerColor,
                     header.cupsNumColors, space, ColorSpaceName(space));
        return 0;
    }
    if (header.cupsBytesPerLine == 0 || header.cupsBytesPerLine > kMaxBytesPerLine) {
        std::fprintf(stderr, "ERROR: Page %d has raster lines of %u bytes (at most %u fit the printer)\n",
                     pageNumber, header.cupsBytesPerLine, kMaxBytesPerLine);
        return 0;
    }
    if (header.NumCopies > kMaxCopies) {
        std::fprintf(stderr, "ERROR: Page %d asks for %u copies; the printer makes at most %u\n", pageNumber,
                     header.NumCopies, kMaxCopies);
        return 0;
    }
    return 1;
}

namespace {

// The progress line every 128 lines, then one raster line into lineBuf.
// Returns 0 when the line cannot be read.
int ReadLine(cups_raster_t* raster, const cups_page_header2_t& header, uint8_t* lineBuf,
             uint32_t width, unsigned line, int pageNumber)
{
    if (line % 128 == 0)
        std::fprintf(stderr, "INFO: Printing page %d, %d%% complete...\n", pageNumber,
                     static_cast<int>(static_cast<unsigned long long>(line) * 100 /
                                      header.cupsHeight));
    std::memset(lineBuf, 0, width);
    if (cups.cupsRasterReadPixels(raster, lineBuf, header.cupsBytesPerLine) != 0)
        return 1;
    // After a cancel request the scheduler may cut the input short.
    if (cancelRequested == 0)
        std::fprintf(stderr,
                     "ERROR: The raster data of page %d ends after %u of %u lines; the rest of the "
                     "page is left white\n",
                     pageNumber, line, header.cupsHeight);
    return 0;
}

void CopyLine(uint8_t* to, const uint8_t* line, size_t bytes, bool invert)
{
    if (invert) {
        for (size_t x = 0; x < bytes; ++x)
            to[x] = static_cast<uint8_t>(~line[x]);
    } else {
        std::memcpy(to, line, bytes);
    }
}

}  // namespace

unsigned ReadPageLines(cups_raster_t* raster, const cups_page_header2_t& header, uint8_t* lineBuf,
                       uint8_t* grey, uint32_t width, uint32_t height, int pageNumber)
{
    const size_t copyBytes = std::min<size_t>(width, header.cupsBytesPerLine);
    const bool invert = RasterIsInverted(header);
    unsigned line = 0;
    for (; line < header.cupsHeight && cancelRequested == 0; ++line) {
        if (!ReadLine(raster, header, lineBuf, width, line, pageNumber))
            break;  // the rest of the page stays white
        if (line < height)
            CopyLine(grey + static_cast<size_t>(line) * width, lineBuf, copyBytes, invert);
    }
    return line;
}

unsigned ReadTurnedPageLines(cups_raster_t* raster, const cups_page_header2_t& header,
                             uint8_t* lineBuf, uint8_t* band, uint8_t* page, uint32_t width,
                             uint32_t height, int pageNumber, int counterClockwise)
{
    // Band lines hold only the columns that reach the page.
    const uint32_t copyBytes = std::min<uint32_t>(width, header.cupsBytesPerLine);
    const bool invert = RasterIsInverted(header);
    uint32_t bandFirst = 0;
    uint32_t bandLines = 0;
    unsigned line = 0;
    for (; line < header.cupsHeight && cancelRequested == 0; ++line) {
        if (!ReadLine(raster, header, lineBuf, width, line, pageNumber))
            break;  // the rest of the page stays white
        if (line >= height)
            continue;
        if (bandLines == 0)
            bandFirst = line;
        CopyLine(band + static_cast<size_t>(bandLines) * copyBytes, lineBuf, copyBytes, invert);
        if (++bandLines == kTurnBandLines) {
            TurnBand(band, copyBytes, bandLines, copyBytes, page, width, height, bandFirst,
                     counterClockwise);
            bandLines = 0;
        }
    }
    if (bandLines > 0)
        TurnBand(band, copyBytes, bandLines, copyBytes, page, width, height, bandFirst,
                 counterClockwise);
    return line;
}

int RasterInputContinues(int fd)
{
    unsigned char byte;
    ssize_t n;
    do
        n = read(fd, &byte, 1);
    while (n < 0 && errno == EINTR && !cancelRequested);
    return n > 0 ? 1 : 0;
}
