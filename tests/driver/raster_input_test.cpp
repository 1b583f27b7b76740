// What the filter accepts from a raster page header, and how a page's lines
// land in the grey page.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/cups_binding.h"
#include "driver/raster_input.h"
#include "driver/signals.h"
#include "support/filter_process.h"
#include "support/raster_job.h"

namespace {

cups_page_header2_t GreyHeader()
{
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof h);
    h.cupsBitsPerPixel = 8;
    h.cupsBitsPerColor = 8;
    h.cupsNumColors = 1;
    h.cupsColorSpace = CUPS_CSPACE_W;
    h.cupsBytesPerLine = 4960;
    h.cupsHeight = 7016;
    return h;
}

TEST(CheckRasterPage, OnlyEightBitGrey)
{
    cups_page_header2_t h = GreyHeader();
    EXPECT_EQ(CheckRasterPage(h, 1, StderrReporter()), 1);
    h.cupsColorSpace = CUPS_CSPACE_SW;
    EXPECT_EQ(CheckRasterPage(h, 1, StderrReporter()), 1);
    h.cupsColorSpace = CUPS_CSPACE_K;
    EXPECT_EQ(CheckRasterPage(h, 1, StderrReporter()), 1);
    EXPECT_EQ(RasterIsInverted(h), 1);
    h.cupsColorSpace = CUPS_CSPACE_W;
    EXPECT_EQ(RasterIsInverted(h), 0);

    h = GreyHeader();
    h.cupsColorSpace = CUPS_CSPACE_CMYK;
    EXPECT_EQ(CheckRasterPage(h, 1, StderrReporter()), 0);
    h = GreyHeader();
    h.cupsBitsPerPixel = 16;
    EXPECT_EQ(CheckRasterPage(h, 1, StderrReporter()), 0);
    h = GreyHeader();
    h.cupsBitsPerColor = 1;
    EXPECT_EQ(CheckRasterPage(h, 1, StderrReporter()), 0);
    h = GreyHeader();
    h.cupsNumColors = 3;
    EXPECT_EQ(CheckRasterPage(h, 1, StderrReporter()), 0);
    // Line lengths the filter will not allocate for.
    h = GreyHeader();
    h.cupsBytesPerLine = 0;
    EXPECT_EQ(CheckRasterPage(h, 1, StderrReporter()), 0);
    h.cupsBytesPerLine = 0xFFFFFFFFu;
    EXPECT_EQ(CheckRasterPage(h, 1, StderrReporter()), 0);
    h.cupsBytesPerLine = kMaxBytesPerLine;
    EXPECT_EQ(CheckRasterPage(h, 1, StderrReporter()), 1);
}

// Reads page 1 of a raster file line by line, as the filter feeds a page,
// and lays the grey lines out in a grey page of width x height bytes,
// white where no line reaches.
std::vector<uint8_t> ReadInto(const std::string& path, uint32_t width, uint32_t height,
                              unsigned* linesRead)
{
    BindCupsImageLibrary();
    int fd = open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0);
    cups_raster_t* ras = cups.cupsRasterOpen(fd, CUPS_RASTER_READ);
    EXPECT_NE(ras, nullptr);
    cups_page_header2_t h;
    EXPECT_EQ(cups.cupsRasterReadHeader2(ras, &h), 1u);
    std::vector<uint8_t> line(h.cupsBytesPerLine);
    std::vector<uint8_t> greyLine(width, 0xFF);
    std::vector<uint8_t> grey(static_cast<size_t>(width) * height, 0xFF);
    const uint32_t copyBytes = std::min<uint32_t>(width, h.cupsBytesPerLine);
    cancelRequested = 0;
    unsigned y = 0;
    for (; y < h.cupsHeight; ++y) {
        if (!ReadRasterLine(ras, h, line.data(), y, 1, StatusReporter{}))
            break;
        const uint8_t* g = GreyLine(line.data(), greyLine.data(), copyBytes, width, RasterIsInverted(h));
        if (y < height)
            std::memcpy(grey.data() + static_cast<size_t>(y) * width, g, width);
    }
    *linesRead = y;
    cups.cupsRasterClose(ras);
    close(fd);
    return grey;
}

RasterPage Pattern(cups_cspace_t space)
{
    RasterPage p = PaperPage(595, 842);
    p.width = 10;
    p.height = 5;
    p.colorSpace = space;
    p.pixel = [](unsigned x, unsigned y) { return static_cast<uint8_t>(y * 16 + x); };
    return p;
}

TEST(ReadRasterLine, CutsDropsAndInverts)
{
    TempDir dir;
    unsigned lines = 0;
    // Bitmap narrower and shorter than the raster: lines cut, extra lines dropped.
    std::vector<uint8_t> grey =
        ReadInto(WriteRasterJob(dir.File("w.ras"), {Pattern(CUPS_CSPACE_W)}), 8, 3, &lines);
    EXPECT_EQ(lines, 5u);
    for (unsigned y = 0; y < 3; ++y)
        for (unsigned x = 0; x < 8; ++x)
            EXPECT_EQ(grey[y * 8 + x], y * 16 + x) << x << "," << y;

    // Black raster reads inverted; columns and rows beyond it stay white.
    grey = ReadInto(WriteRasterJob(dir.File("k.ras"), {Pattern(CUPS_CSPACE_K)}), 12, 7, &lines);
    EXPECT_EQ(lines, 5u);
    for (unsigned y = 0; y < 7; ++y)
        for (unsigned x = 0; x < 12; ++x) {
            const uint8_t want = (x < 10 && y < 5) ? static_cast<uint8_t>(~(y * 16 + x)) : 0xFF;
            EXPECT_EQ(grey[y * 12 + x], want) << x << "," << y;
        }
}

TEST(ReadRasterLine, StopsWhereTheStreamEnds)
{
    TempDir dir;
    RasterPage p = Pattern(CUPS_CSPACE_W);
    p.height = 300;
    const std::string path = WriteRasterJob(dir.File("cut.ras"), {p});
    // Keep the header and two and a half lines.
    struct stat st{};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    ASSERT_EQ(truncate(path.c_str(), st.st_size - 3000 + 25), 0);
    unsigned lines = 0;
    const std::vector<uint8_t> grey = ReadInto(path, 16, 300, &lines);
    EXPECT_EQ(lines, 2u);
    EXPECT_EQ(grey[1 * 16 + 3], 16 + 3);
    EXPECT_EQ(grey[2 * 16 + 3], 0xFF);
    EXPECT_EQ(grey[299 * 16], 0xFF);
}

}  // namespace
