// Page geometry, the turning rule and the records handed to the stages.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/page_geometry.h"
#include "driver/page_records.h"
#include "driver/printer_models.h"

namespace {

const float kNoMargins[4] = {0, 0, 0, 0};

cups_page_header2_t Header(unsigned widthPt, unsigned heightPt, unsigned dpiX = 600,
                           unsigned dpiY = 600)
{
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof h);
    h.PageSize[0] = widthPt;
    h.PageSize[1] = heightPt;
    h.HWResolution[0] = dpiX;
    h.HWResolution[1] = dpiY;
    h.NumCopies = 1;
    return h;
}

struct Options {
    JobOption table[kJobOptionCount];
    Options() { LoadDefaultJobOptions(table); }
    Options& Set(JobOptionRow row, int value)
    {
        table[row].value = value;
        return *this;
    }
};

const PaperSize* TableOf(int platform)
{
    switch (platform) {
    case 1: return paperTablePlatform1A;
    case 2: return paperTablePlatform2;
    default: return paperTablePlatform3;
    }
}

PageGeometry Geometry(const cups_page_header2_t& h, int platform, int* feed = nullptr,
                      const float* margins = kNoMargins)
{
    int localFeed = 0;
    PageGeometry g{};
    EXPECT_EQ(ComputePageGeometry(h, TableOf(platform), margins, platform, feed ? feed : &localFeed,
                                  &g),
              1);
    return g;
}

TEST(CustomPageSize, WidthToThirtyTwoHeightToEight)
{
    uint32_t w = 0, h = 0;
    ASSERT_EQ(CustomPageSize(500, 700, kNoMargins, &w, &h), 1);
    EXPECT_EQ(w, 4192u);
    EXPECT_EQ(h, 5840u);
    // A multiple already stays: 288 points are 2400 dots.
    ASSERT_EQ(CustomPageSize(288, 288, kNoMargins, &w, &h), 1);
    EXPECT_EQ(w, 2400u);
    EXPECT_EQ(h, 2400u);
    // Margins in the order left, bottom, right, top.
    const float margins[4] = {18, 10, 18.5f, 12};
    ASSERT_EQ(CustomPageSize(500, 700, margins, &w, &h), 1);
    EXPECT_EQ(w, 3872u);  // 463.5 pt: 3862 dots
    EXPECT_EQ(h, 5656u);  // 678 pt: 5650 dots
}

TEST(CustomPageSize, LimitsOfThePrinter)
{
    uint32_t w = 0, h = 0;
    ASSERT_EQ(CustomPageSize(612, 1009, kNoMargins, &w, &h), 1);
    EXPECT_EQ(w, 5120u);
    EXPECT_EQ(h, 8408u);
    EXPECT_EQ(CustomPageSize(613, 700, kNoMargins, &w, &h), 0);
    EXPECT_EQ(CustomPageSize(500, 1010, kNoMargins, &w, &h), 0);
    // Nothing left inside the margins, or no page at all.
    const float wide[4] = {300, 0, 300, 0};
    EXPECT_EQ(CustomPageSize(500, 700, wide, &w, &h), 0);
    const float tall[4] = {0, 400, 0, 300};
    EXPECT_EQ(CustomPageSize(500, 700, tall, &w, &h), 0);
    EXPECT_EQ(CustomPageSize(0, 700, kNoMargins, &w, &h), 0);
    EXPECT_EQ(CustomPageSize(500, 0, kNoMargins, &w, &h), 0);
    EXPECT_EQ(CustomPageSize(0, 0, kNoMargins, &w, &h), 0);
}

TEST(PageGeometry, TableRowsCustomSizesAndResolution)
{
    // Platform 3, custom 500 x 700: the worked example.
    PageGeometry g = Geometry(Header(500, 700), 3);
    EXPECT_EQ(g.width, 4192u);
    EXPECT_EQ(g.height, 5840u);
    EXPECT_EQ(g.paperCode, 0);
    EXPECT_EQ(g.xResolution, 600);
    EXPECT_EQ(g.yResolution, 600);
    EXPECT_EQ(Geometry(Header(500, 700), 1).paperCode, 0xFF);
    EXPECT_EQ(Geometry(Header(500, 700), 2).paperCode, 0);

    // Platform 2 always announces 60 x 60.
    g = Geometry(Header(595, 842, 1200, 1200), 2);
    EXPECT_EQ(g.xResolution, 60);
    EXPECT_EQ(g.yResolution, 60);
    EXPECT_EQ(g.width, 4736u);
    EXPECT_EQ(g.height, 6780u);
    EXPECT_EQ(g.paperCode, 1);

    // Platform 1 at 1200 x 600 doubles the width only.
    g = Geometry(Header(595, 842, 1200, 600), 1);
    EXPECT_EQ(g.xResolution, 120);
    EXPECT_EQ(g.yResolution, 60);
    EXPECT_EQ(g.width, 9600u);
    EXPECT_EQ(g.height, 6780u);
    g = Geometry(Header(595, 842, 600, 1200), 1);
    EXPECT_EQ(g.xResolution, 60);
    EXPECT_EQ(g.yResolution, 120);
    EXPECT_EQ(g.width, 4800u);
    EXPECT_EQ(g.height, 13560u);
    g = Geometry(Header(500, 700, 1200, 1200), 1);
    EXPECT_EQ(g.width, 8384u);
    EXPECT_EQ(g.height, 11680u);

    // Platform 3 keeps 600 dpi whatever the header says.
    g = Geometry(Header(612, 1008, 1200, 1200), 3);
    EXPECT_EQ(g.xResolution, 600);
    EXPECT_EQ(g.width, 4864u);
    EXPECT_EQ(g.height, 8192u);

    // Offsets of table B travel with the row.
    int feed = 0;
    PageGeometry b{};
    ASSERT_EQ(ComputePageGeometry(Header(312, 624), paperTablePlatform1B, kNoMargins, 1, &feed, &b),
              1);
    EXPECT_EQ(b.offsetX, 240);
    EXPECT_EQ(b.offsetY, 120);
    EXPECT_EQ(b.paperCode, 14);
}

TEST(PageGeometry, RefusedSizes)
{
    int feed = 0;
    PageGeometry g{};
    EXPECT_EQ(ComputePageGeometry(Header(613, 700), paperTablePlatform3, kNoMargins, 3, &feed, &g), 0);
    EXPECT_EQ(ComputePageGeometry(Header(600, 1010), paperTablePlatform3, kNoMargins, 3, &feed, &g), 0);
    EXPECT_EQ(ComputePageGeometry(Header(0, 0), paperTablePlatform3, kNoMargins, 3, &feed, &g), 0);
    const float margins[4] = {10, 10, 10, 10};
    EXPECT_EQ(ComputePageGeometry(Header(20, 700), paperTablePlatform1A, margins, 1, &feed, &g), 0);
    EXPECT_EQ(ComputePageGeometry(Header(4000000000u, 4000000000u), paperTablePlatform1A,
                                  kNoMargins, 1, &feed, &g),
              0);
}

TEST(PageSetupRecord, CustomPageExample)
{
    Options o;
    const cups_page_header2_t h = Header(500, 700);
    const PageSetup s = MakePageSetup(h, Geometry(h, 3), o.table, 3, 1, 1, 0);
    EXPECT_EQ(s.paperCode, 0);
    EXPECT_EQ(s.xResolution, 600);
    EXPECT_EQ(s.customWidth, 4166);
    EXPECT_EQ(s.customHeight, 5833);
    EXPECT_EQ(s.imageWidth, 4192);
    EXPECT_EQ(s.imageHeight, 5840);
    EXPECT_EQ(s.feedFlags, 0);
    EXPECT_EQ(s.copies, 1);
    EXPECT_EQ(s.pageNumber, 1);
    EXPECT_EQ(s.density, 2);
    EXPECT_EQ(s.twoBitMode, 0u);
    EXPECT_EQ(s.optionFlags1 + s.optionFlags2, 0);
}

TEST(PageSetupRecord, InputTrayCopiesDensityAndPageNumber)
{
    Options o;
    o.Set(kInputSlot, 2).Set(kDensity, 0x105);
    cups_page_header2_t h = Header(595, 842);
    h.NumCopies = 3;
    for (int platform : {1, 2, 3}) {
        const PageGeometry g = Geometry(h, platform);
        h.cupsMediaType = 0;
        EXPECT_EQ(MakePageSetup(h, g, o.table, platform, 3, 1, 0).inputTray, 2);
        h.cupsMediaType = 1;
        const PageSetup s = MakePageSetup(h, g, o.table, platform, 3, 1, 0);
        EXPECT_EQ(s.inputTray, platform == 3 ? 2 : 1);
        EXPECT_EQ(s.mediaType, 1);
        h.cupsMediaType = 4;
        EXPECT_EQ(MakePageSetup(h, g, o.table, platform, 3, 1, 0).inputTray, 1);
    }
    const PageGeometry g = Geometry(h, 3);
    PageSetup s = MakePageSetup(h, g, o.table, 3, 3, 65537, 0);
    EXPECT_EQ(s.copies, 3);
    EXPECT_EQ(s.pageNumber, 1);   // low 16 bits
    EXPECT_EQ(s.density, 0x05);   // low byte
    o.Set(kCollate, 1).Set(kTonerMode, 1);
    s = MakePageSetup(h, g, o.table, 3, 3, 2, 1);
    EXPECT_EQ(s.copies, 1);
    EXPECT_EQ(s.density, 0);
    EXPECT_EQ(s.twoBitMode, 1u);
    EXPECT_EQ(s.customWidth, 4958);   // 600 x 595 / 72
    EXPECT_EQ(s.customHeight, 7016);
}

TEST(PageSetupRecord, A5FedLongEdge)
{
    Options o;
    const cups_page_header2_t a5 = Header(420, 595);
    const cups_page_header2_t a5Long = Header(421, 595);
    // Without the option nothing changes.
    PageSetup s = MakePageSetup(a5, Geometry(a5, 2), o.table, 2, 1, 1, 0);
    EXPECT_EQ(s.feedFlags, 0);
    EXPECT_EQ(s.paperCode, 11);

    const int codes[] = {0, 6, 0x12, 0x3D};
    for (int platform : {1, 2, 3}) {
        Options on;
        int feed = 0;
        const PageGeometry g = Geometry(a5Long, platform, &feed);
        EXPECT_EQ(feed, 1);
        on.Set(kFeedLongEdge, feed);
        s = MakePageSetup(a5Long, g, on.table, platform, 1, 1, 0);
        EXPECT_EQ(s.feedFlags, 0x40) << platform;
        EXPECT_EQ(s.paperCode, codes[platform]);
        EXPECT_EQ(s.imageWidth, g.height);
        EXPECT_EQ(s.imageHeight, g.width);
        EXPECT_EQ(s.customWidth, 4958);    // 595 pt, exchanged
        EXPECT_EQ(s.customHeight, 3508);   // 421 pt
    }
    // Code 6 is A5 only on platform 1.
    Options on;
    on.Set(kFeedLongEdge, 1);
    const cups_page_header2_t monarch = Header(279, 540);
    s = MakePageSetup(monarch, Geometry(monarch, 2), on.table, 2, 1, 1, 0);
    EXPECT_EQ(s.paperCode, 6);
    EXPECT_EQ(s.feedFlags, 0);
    // Other sizes are not turned even with the option on.
    const cups_page_header2_t a4 = Header(595, 842);
    EXPECT_EQ(MakePageSetup(a4, Geometry(a4, 3), on.table, 3, 1, 1, 0).feedFlags, 0);
}

TEST(DocStartRecord, FlagsAndDensity)
{
    Options o;
    DocStartInfo d = MakeDocStartInfo(42, o.table, 3);
    EXPECT_EQ(d.jobId, 42);
    EXPECT_EQ(d.duplexBits, 0);
    EXPECT_EQ(d.platformBits, 0);
    EXPECT_EQ(d.density, 2);
    EXPECT_EQ(d.specBit80 + d.specBit08 + d.specBit04 + d.specBit02 + d.specBit01 + d.tonerSave, 0);
    EXPECT_EQ(MakeDocStartInfo(1, o.table, 1).platformBits, 0x10);
    EXPECT_EQ(MakeDocStartInfo(1, o.table, 2).platformBits, 0x10);
    EXPECT_EQ(MakeDocStartInfo(1, Options().Set(kDuplex, 2).table, 1).duplexBits, 0x20);
    EXPECT_EQ(MakeDocStartInfo(1, Options().Set(kManualDuplex, 1).table, 1).duplexBits, 0x20);
    EXPECT_EQ(MakeDocStartInfo(1, Options().Set(kTonerMode, 1).table, 1).density, 0);
    EXPECT_EQ(MakeDocStartInfo(1, Options().Set(kDensity, 4).table, 1).density, 4);
}

TEST(PageDataRecord, LineWidthAndStripes)
{
    uint8_t bitmap[8];
    PageDataInfo d = MakePageDataInfo(Header(595, 842), 4736, 6784, 0, 3, bitmap);
    EXPECT_EQ(d.rasterMode, 0);
    EXPECT_EQ(d.rasterFlags[0] + d.rasterFlags[1], 0);
    EXPECT_EQ(d.rasterFlags[2], 0x20);
    EXPECT_EQ(d.lineBits, 4736);
    EXPECT_EQ(d.lineCount, 6784);
    EXPECT_EQ(d.widthPixels, 0);
    EXPECT_EQ(d.stripeLines, 0u);
    EXPECT_EQ(d.bitmap, bitmap);
    EXPECT_EQ(MakePageDataInfo(Header(595, 842), 4736, 6784, 1, 3, bitmap).lineBits, 9472);

    d = MakePageDataInfo(Header(595, 842), 4800, 6780, 0, 1, bitmap);
    EXPECT_EQ(d.widthPixels, 4800);
    EXPECT_EQ(d.stripeLines, 768u);
    d = MakePageDataInfo(Header(595, 842, 1200, 600), 9600, 6780, 0, 1, bitmap);
    EXPECT_EQ(d.stripeLines, 384u);
    EXPECT_EQ(d.lineBits, 9600);
    d = MakePageDataInfo(Header(595, 842), 4736, 6780, 0, 2, bitmap);
    EXPECT_EQ(d.widthPixels, 0);
    EXPECT_EQ(d.stripeLines, 0u);
}

TEST(PageEndAndDocEndRecords, Fields)
{
    Options o;
    o.Set(kDensity, 5).Set(kTonerMode, 1);
    PageEndInfo e = MakePageEndInfo(Header(595, 842, 1200, 600), o.table, 7);
    EXPECT_EQ(e.pageNumber, 7);
    EXPECT_EQ(e.machineDuplex, 0);
    EXPECT_EQ(e.xResolution, 1200);
    EXPECT_EQ(e.pageWidthMm, 209);
    EXPECT_EQ(e.tonerLevel, 5);  // toner saving does not change it
    EXPECT_EQ(MakePageEndInfo(Header(612, 792), o.table, 1).pageWidthMm, 215);
    EXPECT_EQ(MakePageEndInfo(Header(612, 792), o.Set(kDuplex, 1).table, 1).machineDuplex, 1);

    EXPECT_EQ(MakeDocEndInfo(o.table, 5).pageCount, 5);
    EXPECT_EQ(MakeDocEndInfo(o.table, 5).duplex, 1);
    EXPECT_EQ(MakeDocEndInfo(Options().table, 0).duplex, 0);
}

TEST(Rotate180Rule, DuplexRotationAndManualLongEdge)
{
    struct Case {
        int duplex, manual, rotation, feed;
        bool odd, even;  // expected for page 1 and page 2
    };
    const Case cases[] = {
        {0, 0, 0, 0, false, false},
        {0, 0, 1, 0, true, true},
        {0, 1, 0, 0, false, false},
        {0, 1, 0, 0x40, false, true},
        {0, 1, 1, 0x40, true, false},
        {0, 0, 0, 0x40, false, false},
        {1, 0, 0, 0, false, true},
        {1, 0, 1, 0, true, false},
        {1, 1, 0, 0x40, false, true},
        {2, 0, 0, 0, false, false},
        {2, 0, 1, 0, true, true},
    };
    for (const Case& c : cases) {
        Options o;
        o.Set(kDuplex, c.duplex).Set(kManualDuplex, c.manual).Set(kImageRotation, c.rotation);
        EXPECT_EQ(NeedsRotate180(o.table, c.feed, 1), c.odd)
            << c.duplex << c.manual << c.rotation << c.feed;
        EXPECT_EQ(NeedsRotate180(o.table, c.feed, 2), c.even)
            << c.duplex << c.manual << c.rotation << c.feed;
    }
}

}  // namespace
