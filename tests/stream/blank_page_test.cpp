// The blank back page: its geometry, its framing, and that every stage
// still runs when one of them fails.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "stream/blank_page.h"
#include "stream/byte_order.h"
#include "stream/framing_test_util.h"
#include "stream/page_framing.h"

namespace {

cups_page_header2_t Header(unsigned dpi)
{
    cups_page_header2_t h{};
    h.HWResolution[0] = dpi;
    h.HWResolution[1] = dpi;
    return h;
}

PageSetup SmallSetup(uint16_t resolution)
{
    PageSetup s{};
    s.paperCode = 9;
    s.xResolution = resolution;
    s.yResolution = resolution;
    s.inputTray = 1;
    s.copies = 1;
    s.pageNumber = 5;
    s.imageWidth = 256;
    s.imageHeight = 64;
    return s;
}

std::string AsText(const Bytes& b) { return std::string(b.begin(), b.end()); }

bool EndsWith(const Bytes& b, const Bytes& tail)
{
    return b.size() >= tail.size() && std::equal(tail.begin(), tail.end(), b.end() - tail.size());
}

const Bytes kEndBlockP3 = HexBytes("00 00 00 10 00 00 00 03 00 00 00 00 00 00 5A 5A");
const Bytes kJbigParamHeader = HexBytes("00 00 00 24 00 00 00 04 00 00 00 00 00 00 5A 5A");

class BlankPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestSink();
        savedAlloc_ = blankBitmapAlloc;
    }
    void TearDown() override { blankBitmapAlloc = savedAlloc_; }

    // Once the page data stage sends real data, its JBIG header must carry
    // the blank page's geometry; until then it reports its failure.
    void ExpectPageDataFor(const Bytes& out, uint32_t lineBits, uint32_t lineCount)
    {
        auto at = std::search(out.begin(), out.end(), kJbigParamHeader.begin(), kJbigParamHeader.end());
        if (at == out.end()) {
            EXPECT_NE(AsText(out).find("InsertBlankPage() :: Send page Fail!\n"), std::string::npos);
            return;
        }
        ASSERT_GE(out.end() - at, 36);
        EXPECT_EQ(GetBE32(&*at + 20), lineBits);
        EXPECT_EQ(GetBE32(&*at + 24), lineCount);
    }

    void* (*savedAlloc_)(std::size_t, std::size_t) = nullptr;
};

TEST_F(BlankPage, BitmapAndPageDataGeometry)
{
    std::size_t bytes = 0;
    ASSERT_EQ(BlankBitmapSize(4736, 6784, 0, &bytes), 1);
    EXPECT_EQ(bytes, 4016128u);
    ASSERT_EQ(BlankBitmapSize(4736, 6784, 1, &bytes), 1);
    EXPECT_EQ(bytes, 2 * 4016128u);
    // Lines that end inside a byte still get the whole byte.
    ASSERT_EQ(BlankBitmapSize(4737, 10, 0, &bytes), 1);
    EXPECT_EQ(bytes, 593u * 10);
    ASSERT_EQ(BlankBitmapSize(0, 6784, 0, &bytes), 1);
    EXPECT_EQ(bytes, 0u);
    if constexpr (SIZE_MAX < UINT64_MAX) {
        EXPECT_EQ(BlankBitmapSize(UINT32_MAX, UINT32_MAX, 1, &bytes), 0);
    }

    PageDataInfo two = BlankPageData(4736, 6784, 1, 600, 3);
    EXPECT_EQ(two.lineBits, 9472);
    EXPECT_EQ(two.lineCount, 6784);
    EXPECT_EQ(two.widthPixels, 0);
    EXPECT_EQ(two.stripeLines, 0u);
    EXPECT_EQ(two.rasterMode, 0);
    EXPECT_EQ(two.rasterFlags[0] | two.rasterFlags[1], 0);
    EXPECT_EQ(two.rasterFlags[2], 0x20);
    EXPECT_EQ(BlankPageData(4736, 6784, 2, 600, 3).lineBits, 4736);

    PageDataInfo p1 = BlankPageData(4736, 6784, 0, 600, 1);
    EXPECT_EQ(p1.lineBits, 4736);
    EXPECT_EQ(p1.widthPixels, 4736);
    EXPECT_EQ(p1.stripeLines, 768u);
    EXPECT_EQ(BlankPageData(9472, 6784, 0, 1200, 1).stripeLines, 384u);
}

TEST_F(BlankPage, FramedAsTheNextPageWithoutCountingIt)
{
    PageSetup s = SmallSetup(60);
    uint32_t checksum = 0;
    Captured c = Capture([&] {
        InsertBlankPage(TestSink(), Header(600), s, 1, 5, checksum);
        return 1;
    });
    EXPECT_EQ(s.pageNumber, 5);
    ASSERT_GE(c.out.size(), 20u);
    EXPECT_EQ(GetLE16(&c.out[2 + 15]), 5u);  // page number inside cmdPageSpec
    EXPECT_EQ(ToHex(Bytes(c.out.begin(), c.out.begin() + 2)), "00 00");
    // Coverage 0 and no machine-duplex step, though page 5 is odd.
    EXPECT_TRUE(EndsWith(c.out, HexBytes("00 00 0B 06 1E 00 00 D1 00 00 0B 04 18 D9"))) << ToHex(c.out);
}

TEST_F(BlankPage, LongEdgeFeedSendsTheShapeItsPageStartAnnounces)
{
    PageSetup s = SmallSetup(600);
    uint32_t checksum = 0;
    s.feedFlags = 0x40;
    s.twoBitMode = 1;
    Captured c = Capture([&] {
        InsertBlankPage(TestSink(), Header(600), s, 3, 4, checksum);
        return 1;
    });
    // The setup of a page fed long edge first already holds the turned
    // size; the data must match the announced image width.
    ASSERT_GE(c.out.size(), 184u);
    EXPECT_EQ(ToHex(Bytes(c.out.begin() + 16 + 8 * 12, c.out.begin() + 16 + 9 * 12)), ToHex(Rec(12, 512)));
    ExpectPageDataFor(c.out, 2 * 256, 64);
    EXPECT_TRUE(EndsWith(c.out, kEndBlockP3));
}

TEST_F(BlankPage, FailedPageStartStillSendsDataAndEnd)
{
    PageSetup s = SmallSetup(600);
    uint32_t checksum = 0;
    Captured c = Capture(
        [&] {
            InsertBlankPage(TestSink(), Header(600), s, 3, 4, checksum);
            return 1;
        },
        0);
    const std::string startFail =
        "InsertBlankPage() :: Start page Fail ! \n"
        "Prnt_StartPage() :: send START_PAGE_CMD Fail 0 ==  \n";
    EXPECT_EQ(AsText(c.out).rfind(startFail, 0), 0u) << AsText(c.out);
    ExpectPageDataFor(c.out, 256, 64);
    EXPECT_TRUE(EndsWith(c.out, kEndBlockP3));
}

TEST_F(BlankPage, MissingBitmapSkipsThePageDataOnly)
{
    blankBitmapAlloc = [](std::size_t, std::size_t) -> void* { return nullptr; };
    PageSetup s = SmallSetup(60);
    uint32_t checksum = 0;
    Captured c = Capture([&] {
        InsertBlankPage(TestSink(), Header(600), s, 2, 2, checksum);
        return 1;
    });
    const Bytes start(c.out.begin(), c.out.begin() + std::min<size_t>(36, c.out.size()));
    EXPECT_EQ(ToHex(Bytes(start.begin(), start.begin() + 2)), "00 00");
    EXPECT_EQ(AsText(Bytes(c.out.begin() + 36, c.out.end())),
              "InsertBlankPage() :: malloc Fail ! \n" + AsText(HexBytes("00 00 0B 04 18 D9")));
}

}  // namespace
