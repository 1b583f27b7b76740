#include "driver/raster_input.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driver/cups_binding.h"
#include "driver/signals.h"

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

int CheckRasterPage(const cups_page_header2_t& header, int pageNumber, const StatusReporter& status)
{
    const unsigned space = ColorSpaceNumber(header);
    const bool grey = space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW || space == CUPS_CSPACE_K;
    if (!grey || header.cupsBitsPerPixel != 8 || header.cupsBitsPerColor != 8 ||
        header.cupsNumColors != 1) {
        ReportStatus(status,
                     "ERROR: Page %d is not 8-bit grey raster: %u bits per pixel, %u bits per "
                     "colour, %u colour(s), colour space %u (%s)\n",
                     pageNumber, header.cupsBitsPerPixel, header.cupsBitsPerColor,
                     header.cupsNumColors, space, ColorSpaceName(space));
        return 0;
    }
    if (header.cupsBytesPerLine == 0 || header.cupsBytesPerLine > kMaxBytesPerLine) {
        ReportStatus(status, "ERROR: Page %d has raster lines of %u bytes (at most %u fit the printer)\n",
                     pageNumber, header.cupsBytesPerLine, kMaxBytesPerLine);
        return 0;
    }
    if (header.NumCopies > kMaxCopies) {
        ReportStatus(status, "ERROR: Page %d asks for %u copies; the printer makes at most %u\n", pageNumber,
                     header.NumCopies, kMaxCopies);
        return 0;
    }
    return 1;
}

int ReadRasterLine(cups_raster_t* raster, const cups_page_header2_t& header, uint8_t* lineBuf,
                   unsigned line, int pageNumber, const StatusReporter& status)
{
    if (line % 128 == 0)
        ReportStatus(status, "INFO: Printing page %d, %d%% complete...\n", pageNumber,
                     static_cast<int>(static_cast<unsigned long long>(line) * 100 / header.cupsHeight));
    if (cups.cupsRasterReadPixels(raster, lineBuf, header.cupsBytesPerLine) != 0)
        return 1;
    // After a cancel request the scheduler may cut the input short.
    if (cancelRequested == 0)
        ReportStatus(status,
                     "ERROR: The raster data of page %d ends after %u of %u lines; the rest of the "
                     "page is left white\n",
                     pageNumber, line, header.cupsHeight);
    return 0;
}

const uint8_t* GreyLine(const uint8_t* raster, uint8_t* grey, uint32_t copyBytes, uint32_t width,
                        int invert)
{
    if (!invert && copyBytes == width)
        return raster;
    if (invert) {
        for (uint32_t x = 0; x < copyBytes; ++x)
            grey[x] = static_cast<uint8_t>(~raster[x]);
    } else {
        std::memcpy(grey, raster, copyBytes);
    }
    return grey;
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
