// A real document goes through the CUPS tool chain's raster (Ghostscript's
// cups device) and rasterfilter for a model of each platform; every page the
// printer receives must decode to exactly the bitmap that screening the
// document's raster gives, turned where the job asks for it.
#include <gtest/gtest.h>

#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/screening.h"
#include "imaging/transforms.h"
#include "stream_decoder.h"
#include "support/filter_process.h"
#include "support/turn_reference.h"

namespace {

struct RasterPageData {
    cups_page_header2_t header;
    std::vector<uint8_t> bytes;  // cupsHeight rows of cupsBytesPerLine
};

std::vector<RasterPageData> ReadRaster(const std::string& path)
{
    std::vector<RasterPageData> pages;
    int fd = open(path.c_str(), O_RDONLY);
    cups_raster_t* ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    RasterPageData page;
    while (ras && cupsRasterReadHeader2(ras, &page.header)) {
        page.bytes.resize(static_cast<size_t>(page.header.cupsBytesPerLine) * page.header.cupsHeight);
        for (unsigned y = 0; y < page.header.cupsHeight; ++y)
            cupsRasterReadPixels(ras, page.bytes.data() + static_cast<size_t>(y) * page.header.cupsBytesPerLine,
                                 page.header.cupsBytesPerLine);
        pages.push_back(page);
    }
    if (ras)
        cupsRasterClose(ras);
    close(fd);
    return pages;
}

// Three A4 pages: text in several sizes, rules, a grey ramp and a solid box,
// each page different so that order and turning show.
const char* kDocument = R"(%!PS
/Helvetica findfont 28 scalefont setfont
1 1 3 {
  /n exch def
  72 760 moveto (Page ) show n 3 string cvs show
  /Times-Roman findfont 11 scalefont setfont
  0 1 30 { /i exch def 72 720 i 14 mul sub moveto
    (The quick brown fox jumps over the lazy dog 0123456789) show } for
  0 1 15 { /i exch def i 15 div setgray 72 i 28 mul add 120 26 26 rectfill } for
  0 setgray 400 100 n 40 mul 60 rectfill
  2 setlinewidth 60 60 moveto 535 60 lineto 535 782 lineto stroke
  /Helvetica findfont 28 scalefont setfont
  showpage
} for
)";

// paper: Ghostscript's paper size options.
std::string RenderRaster(const TempDir& dir, int colorSpace,
                         const std::string& paper = "-sPAPERSIZE=a4")
{
    const std::string ps = dir.File("doc.ps");
    std::ofstream(ps) << kDocument;
    const std::string out = dir.File("doc-" + std::to_string(colorSpace) + ".ras");
    const std::string cmd = "gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=cups -dcupsColorSpace=" +
                            std::to_string(colorSpace) + " -dcupsBitsPerColor=8 -r600 " + paper +
                            " -dFIXEDMEDIA -sOutputFile=" + out + " " + ps + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0)
        return "";
    return out;
}

struct Model {
    const char* name;
    const char* platformName;
    int platform;
    uint32_t a4Width, a4Height;  // A4 row of the model's paper table
    uint32_t a5Width, a5Height;  // A5 row
};

const Model kP1 = {"Norvane R32 Series", "PLATFORM_C", 1, 4800, 6780, 3328, 4736};
const Model kP2 = {"Norvane R01 Series", "PLATFORM_Z", 2, 4736, 6780, 3264, 4736};
const Model kP3 = {"Norvane R05 Series", "PLATFORM_M", 3, 4736, 6784, 3264, 4736};

// What the printer must receive for a page: the raster cut or padded to the
// paper table's bitmap, turned when asked, screened.
std::vector<uint8_t> ExpectedBitmap(const RasterPageData& page, const Model& m, bool turn,
                                    bool invert, int screenMode, uint32_t* lineBits)
{
    const cups_page_header2_t& h = page.header;
    std::vector<uint8_t> grey(static_cast<size_t>(m.a4Width) * m.a4Height, 0xFF);
    const uint32_t cols = std::min<uint32_t>(m.a4Width, h.cupsBytesPerLine);
    for (uint32_t y = 0; y < std::min<uint32_t>(h.cupsHeight, m.a4Height); ++y)
        for (uint32_t x = 0; x < cols; ++x) {
            uint8_t v = page.bytes[static_cast<size_t>(y) * h.cupsBytesPerLine + x];
            grey[static_cast<size_t>(y) * m.a4Width + x] = invert ? 255 - v : v;
        }
    if (turn)
        Rotate180(grey.data(), m.a4Width, m.a4Height);
    const bool twoBit = m.platform == 3 && screenMode == 1;
    *lineBits = twoBit ? 2 * m.a4Width : m.a4Width;
    std::vector<uint8_t> bits(static_cast<size_t>(*lineBits) * m.a4Height / 8, 0);
    ScreenPage(grey.data(), m.a4Width, m.a4Height, bits.data(),
               std::min<uint32_t>(m.a4Width, h.cupsBytesPerLine), 0, screenMode, m.platform);
    return bits;
}

// The same for an A5 page fed long edge first: the bitmap is turned a
// quarter clockwise (after the half turn when asked), and the raster's lines
// become its columns.
std::vector<uint8_t> ExpectedQuarterTurnedBitmap(const RasterPageData& page, const Model& m, bool half,
                                                 bool negative)
{
    const cups_page_header2_t& h = page.header;
    const uint32_t w = m.a5Width, ht = m.a5Height;
    std::vector<uint8_t> grey(static_cast<size_t>(w) * ht, 0xFF);
    for (uint32_t y = 0; y < std::min<uint32_t>(h.cupsHeight, ht); ++y)
        for (uint32_t x = 0; x < std::min<uint32_t>(w, h.cupsBytesPerLine); ++x)
            grey[static_cast<size_t>(y) * w + x] = page.bytes[static_cast<size_t>(y) * h.cupsBytesPerLine + x];
    if (half)
        Rotate180(grey.data(), w, ht);
    grey = QuarterTurnReference(grey, w, ht);
    std::vector<uint8_t> bits(static_cast<size_t>(ht) * w / 8, 0);
    ScreenPage(grey.data(), ht, w, bits.data(), std::min<uint32_t>(ht, h.cupsHeight), negative, 0,
               m.platform);
    return bits;
}

class RealDocument : public ::testing::Test {
protected:
    void SetUp() override
    {
        raster_ = RenderRaster(dir_, CUPS_CSPACE_W);
        ASSERT_FALSE(raster_.empty()) << "Ghostscript's cups device could not render the document";
        pages_ = ReadRaster(raster_);
        ASSERT_EQ(pages_.size(), 3u);
    }

    streamview::StreamResult Print(const Model& m, const std::string& options, const std::string& raster)
    {
        TestPpd ppd;
        ppd.modelName = m.name;
        ppd.platform = m.platformName;
        FilterRun run;
        run.args = JobArgs(options, raster);
        run.env["PPD"] = WriteTestPpd(dir_.File(std::string(m.platformName) + ".ppd"), ppd);
        run.env["TMPDIR"] = dir_.path();
        FilterResult r = RunFilterProcess(run);
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_NE(r.err.find("INFO: Ready to print."), std::string::npos);
        streamview::StreamResult s = streamview::DecodeStream(r.out);
        EXPECT_TRUE(s.ok) << s.error.text;
        return s;
    }

    void ExpectPages(const streamview::StreamResult& s, const Model& m, size_t pageCount,
                     const std::vector<bool>& turned, bool invert = false, int screenMode = 0)
    {
        ASSERT_EQ(s.documents.size(), 1u);
        const auto& pages = s.documents[0].pages;
        ASSERT_EQ(pages.size(), pageCount);
        for (size_t i = 0; i < pages_.size(); ++i) {
            uint32_t lineBits = 0;
            std::vector<uint8_t> want = ExpectedBitmap(pages_[i], m, turned[i], invert, screenMode, &lineBits);
            const streamview::Bitmap& got = pages[i].bitmap;
            ASSERT_EQ(got.lineBits, lineBits) << "page " << i + 1;
            ASSERT_EQ(got.height, m.a4Height) << "page " << i + 1;
            EXPECT_TRUE(got.bits == want) << "page " << i + 1 << " differs from the screened raster";
            EXPECT_GT(got.MarkedPixels(), 100000u) << "page " << i + 1 << " has almost no toner";
        }
    }

    // An A5 job is asked for long edge first by its page size, one point
    // wider than A5.
    void ExpectQuarterTurnedA5(const Model& m, const std::string& options, bool half, bool negative)
    {
        const std::string a5 =
            RenderRaster(dir_, CUPS_CSPACE_W, "-dDEVICEWIDTHPOINTS=421 -dDEVICEHEIGHTPOINTS=595");
        ASSERT_FALSE(a5.empty());
        const std::vector<RasterPageData> pages = ReadRaster(a5);
        ASSERT_EQ(pages.size(), 3u);
        auto s = Print(m, options, a5);
        ASSERT_EQ(s.documents.size(), 1u);
        ASSERT_EQ(s.documents[0].pages.size(), 3u);
        for (size_t i = 0; i < pages.size(); ++i) {
            const streamview::Bitmap& got = s.documents[0].pages[i].bitmap;
            ASSERT_EQ(got.lineBits, m.a5Height) << "page " << i + 1;
            ASSERT_EQ(got.height, m.a5Width) << "page " << i + 1;
            EXPECT_TRUE(got.bits == ExpectedQuarterTurnedBitmap(pages[i], m, half, negative))
                << "page " << i + 1 << " differs from the turned, screened raster";
            EXPECT_GT(got.MarkedPixels(), 100000u) << "page " << i + 1 << " has almost no toner";
        }
    }

    TempDir dir_;
    std::string raster_;
    std::vector<RasterPageData> pages_;
};

TEST_F(RealDocument, Platform1TwoSidedTurnsTheBacksAndAddsABlankLastBack)
{
    auto s = Print(kP1, "Duplex=DuplexNoTumble", raster_);
    // Long-edge duplex turns the even pages; the odd count gets a blank back.
    ExpectPages(s, kP1, 4, {false, true, false});
    const auto& blank = s.documents[0].pages[3];
    EXPECT_EQ(blank.pageNumber, 4);
    EXPECT_EQ(blank.markedPixels, 0u);
    EXPECT_TRUE(s.documents[0].machineDuplex);
}

TEST_F(RealDocument, Platform2BandsDecodeToTheScreenedPages)
{
    auto s = Print(kP2, "", raster_);
    ExpectPages(s, kP2, 3, {false, false, false});
    EXPECT_EQ(s.documents[0].pages[0].bands, (6780 + 255) / 256);
}

TEST_F(RealDocument, Platform3TwoBitPagesFromAZeroIsWhiteRaster)
{
    // The same document with 0 meaning white: the filter turns it round.
    std::string inverted = RenderRaster(dir_, CUPS_CSPACE_K);
    ASSERT_FALSE(inverted.empty());
    pages_ = ReadRaster(inverted);
    auto s = Print(kP3, "DPI1200=true ImageRotation=true", inverted);
    ExpectPages(s, kP3, 3, {true, true, true}, true, 1);
    EXPECT_EQ(s.documents[0].pages[0].bitsPerPixel, 2u);
}

TEST_F(RealDocument, Platform1A5FedLongEdgeTurnsAQuarter)
{
    ExpectQuarterTurnedA5(kP1, "", false, false);
}

TEST_F(RealDocument, Platform3A5FedLongEdgeAndRotatedTurnsTheOtherWay)
{
    // A half turn and the quarter: counter-clockwise, in negative print.
    ExpectQuarterTurnedA5(kP3, "ImageRotation=true NegativePrint=true", true, true);
}

}  // namespace
