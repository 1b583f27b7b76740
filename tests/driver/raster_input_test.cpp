// What the filter accepts from a raster page header, and how a page's lines
// land in the grey page.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/cups_binding.h"
#include "driver/filter_state.h"
#include "driver/raster_input.h"
#include "imaging/transforms.h"
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
    EXPECT_EQ(CheckRasterPage(h, 1), 1);
    h.cupsColorSpace = CUPS_CSPACE_SW;
    EXPECT_EQ(CheckRasterPage(h, 1), 1);
    h.cupsColorSpace = CUPS_CSPACE_K;
    EXPECT_EQ(CheckRasterPage(h, 1), 1);
    EXPECT_EQ(RasterIsInverted(h), 1);
    h.cupsColorSpace = CUPS_CSPACE_W;
    EXPECT_EQ(RasterIsInverted(h), 0);

    h = GreyHeader();
    h.cupsColorSpace = CUPS_CSPACE_CMYK;
    EXPECT_EQ(CheckRasterPage(h, 1), 0);
    h = GreyHeader();
    h.cupsBitsPerPixel = 16;
    EXPECT_EQ(CheckRasterPage(h, 1), 0);
    h = GreyHeader();
    h.cupsBitsPerColor = 1;
    EXPECT_EQ(CheckRasterPage(h, 1), 0);
    h = GreyHeader();
    h.cupsNumColors = 3;
    EXPECT_EQ(CheckRasterPage(h, 1), 0);
    // Line lengths the filter will not allocate for.
    h = GreyHeader();
    h.cupsBytesPerLine = 0;
    EXPECT_EQ(CheckRasterPage(h, 1), 0);
    h.cupsBytesPerLine = 0xFFFFFFFFu;
    EXPECT_EQ(CheckRasterPage(h, 1), 0);
    h.cupsBytesPerLine = kMaxBytesPerLine;
    EXPECT_EQ(CheckRasterPage(h, 1), 1);
}

// Reads page 1 of a raster file into a grey page of width x height bytes,
// prefilled white as the page loop does: plainly, or (turn 1 clockwise, 2
// counter-clockwise) turned a quarter as it is read.
std::vector<uint8_t> ReadInto(const std::string& path, uint32_t width, uint32_t height,
                              unsigned* linesRead, int turn = 0)
{
    BindCupsImageLibrary();
    int fd = open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0);
    cups_raster_t* ras = cups.cupsRasterOpen(fd, CUPS_RASTER_READ);
    EXPECT_NE(ras, nullptr);
    cups_page_header2_t h;
    EXPECT_EQ(cups.cupsRasterReadHeader2(ras, &h), 1u);
    std::vector<uint8_t> line(std::max<size_t>(h.cupsBytesPerLine, width));
    std::vector<uint8_t> grey(static_cast<size_t>(width) * height, 0xFF);
    std::vector<uint8_t> band(static_cast<size_t>(kTurnBandLines) * width);
    cancelRequested = 0;
    *linesRead = turn == 0 ? ReadPageLines(ras, h, line.data(), grey.data(), width, height, 1)
                           : ReadTurnedPageLines(ras, h, line.data(), band.data(), grey.data(), width,
                                                 height, 1, turn == 2);
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

TEST(ReadPageLines, CutsDropsAndInverts)
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

TEST(ReadPageLines, StopsWhereTheStreamEnds)
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

// A page fed long edge first is read straight into its turned place: the
// result must be the turn of the page read plainly, in both directions,
// whether the raster is wider or narrower, taller or shorter than the page
// (sizes off the 64-line bands and 8 x 8 blocks), inverted or not, and
// when the stream ends part way through a band.
TEST(ReadTurnedPageLines, GivesTheTurnOfThePlainPage)
{
    TempDir dir;
    struct Case {
        unsigned rasterWidth, rasterHeight;
        uint32_t width, height;
        cups_cspace_t space;
    };
    const Case cases[] = {
        {75, 130, 75, 130, CUPS_CSPACE_W},   // exact
        {75, 130, 70, 141, CUPS_CSPACE_W},   // cut, bottom white
        {61, 200, 83, 129, CUPS_CSPACE_K},   // right white, lines dropped
        {9, 3, 13, 70, CUPS_CSPACE_W},       // a sliver of raster
    };
    int n = 0;
    for (const Case& c : cases) {
        RasterPage p = PaperPage(421, 595);
        p.width = c.rasterWidth;
        p.height = c.rasterHeight;
        p.colorSpace = c.space;
        p.pixel = [](unsigned x, unsigned y) { return static_cast<uint8_t>(x * 7 + y * 13 + (x * y) % 5); };
        const std::string path = WriteRasterJob(dir.File("p" + std::to_string(n++) + ".ras"), {p});
        unsigned plainLines = 0;
        const std::vector<uint8_t> plain = ReadInto(path, c.width, c.height, &plainLines);
        for (int turn = 1; turn <= 2; ++turn) {
            SCOPED_TRACE(testing::Message() << c.rasterWidth << "x" << c.rasterHeight << " raster, page "
                                            << c.width << "x" << c.height << (turn == 1 ? " clockwise" : " counter"));
            std::vector<uint8_t> expected = plain;
            if (turn == 2) {
                ASSERT_EQ(Rotate180(expected.data(), c.width, c.height), 1);
            }
            ASSERT_EQ(Rotate90(expected.data(), c.width, c.height), 1);
            unsigned lines = 0;
            EXPECT_EQ(ReadInto(path, c.width, c.height, &lines, turn), expected);
            EXPECT_EQ(lines, plainLines);
        }
    }

    // The stream ends after 100 lines of 150: two bands, the second cut.
    RasterPage p = Pattern(CUPS_CSPACE_W);
    p.width = 40;
    p.height = 150;
    const std::string path = WriteRasterJob(dir.File("cut.ras"), {p});
    struct stat st{};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    ASSERT_EQ(truncate(path.c_str(), st.st_size - 50 * 40), 0);
    unsigned plainLines = 0, lines = 0;
    std::vector<uint8_t> expected = ReadInto(path, 40, 150, &plainLines);
    ASSERT_EQ(plainLines, 100u);
    ASSERT_EQ(Rotate90(expected.data(), 40, 150), 1);
    EXPECT_EQ(ReadInto(path, 40, 150, &lines, 1), expected);
    EXPECT_EQ(lines, 100u);
}

}  // namespace
