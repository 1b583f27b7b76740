#include "support/raster_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

RasterPage PaperPage(unsigned widthPt, unsigned heightPt, unsigned dpi)
{
    RasterPage p;
    p.widthPt = widthPt;
    p.heightPt = heightPt;
    p.dpiX = p.dpiY = dpi;
    return p;
}

namespace {

void Complete(RasterPage& p)
{
    if (p.width == 0)
        p.width = p.widthPt * p.dpiX / 72;
    if (p.height == 0)
        p.height = p.heightPt * p.dpiY / 72;
    if (p.bytesPerLine == 0)
        p.bytesPerLine = (p.width * p.bitsPerColor * p.colorCount + 7) / 8;
}

}  // namespace

std::vector<uint8_t> PageBytes(const RasterPage& page)
{
    RasterPage p = page;
    Complete(p);
    std::vector<uint8_t> bytes(static_cast<size_t>(p.bytesPerLine) * p.height, 0xFF);
    if (p.pixel) {
        for (unsigned y = 0; y < p.height; ++y)
            for (unsigned x = 0; x < p.bytesPerLine; ++x)
                bytes[static_cast<size_t>(y) * p.bytesPerLine + x] = p.pixel(x, y);
    }
    return bytes;
}

std::string WriteRasterJob(const std::string& path, const std::vector<RasterPage>& pages, cups_mode_t mode)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot create " + path);
    cups_raster_t* ras = cupsRasterOpen(fd, mode);
    for (const RasterPage& page : pages) {
        RasterPage p = page;
        Complete(p);
        cups_page_header2_t h;
        std::memset(&h, 0, sizeof h);
        h.PageSize[0] = p.widthPt;
        h.PageSize[1] = p.heightPt;
        h.HWResolution[0] = p.dpiX;
        h.HWResolution[1] = p.dpiY;
        h.ImagingBoundingBox[2] = p.widthPt;
        h.ImagingBoundingBox[3] = p.heightPt;
        h.NumCopies = p.copies;
        h.cupsMediaType = p.mediaType;
        h.cupsWidth = p.width;
        h.cupsHeight = p.height;
        h.cupsBitsPerColor = p.bitsPerColor;
        h.cupsBitsPerPixel = p.bitsPerColor * p.colorCount;
        h.cupsBytesPerLine = p.bytesPerLine;
        h.cupsColorOrder = CUPS_ORDER_CHUNKED;
        h.cupsColorSpace = p.colorSpace;
        h.cupsNumColors = p.colorCount;
        std::snprintf(h.cupsPageSizeName, sizeof h.cupsPageSizeName, "%s", p.pageSizeName.c_str());
        if (!cupsRasterWriteHeader2(ras, &h))
            throw std::runtime_error("cupsRasterWriteHeader2 failed");
        std::vector<uint8_t> line(p.bytesPerLine, 0xFF);
        for (unsigned y = 0; y < p.height; ++y) {
            if (p.pixel)
                for (unsigned x = 0; x < p.bytesPerLine; ++x)
                    line[x] = p.pixel(x, y);
            cupsRasterWritePixels(ras, line.data(), p.bytesPerLine);
        }
    }
    cupsRasterClose(ras);
    close(fd);
    return path;
}
