// Page start and end of the three platforms, the manual-duplex pause and the
// machine-duplex step.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "stream/framing_test_util.h"
#include "stream/page_framing.h"
#include "stream/records.h"
#include "support/filter_process.h"

namespace {

PageSetup A4Setup(uint16_t resolution)
{
    PageSetup s{};
    s.paperCode = 9;
    s.mediaType = 3;
    s.xResolution = resolution;
    s.yResolution = resolution;
    s.inputTray = 2;
    s.copies = 5;
    s.offsetX = 100;
    s.offsetY = 200;
    s.pageNumber = 7;
    s.customWidth = 4960;
    s.customHeight = 7016;
    s.imageWidth = 4736;
    s.imageHeight = 6784;
    s.density = 4;
    return s;
}

// The records of a platform-3 page start, with their failure texts.
std::vector<Piece> StartP3Pieces(const PageSetup& s, uint32_t lineBits, uint32_t depth)
{
    auto fail = [](const char* name) {
        return std::string("Prnt_StartPage() :: send ") + name + " Fail 0 ==  \n";
    };
    const bool custom = s.paperCode == 0;
    const uint32_t n = custom ? 17 : 14;
    std::vector<Piece> p = {{Block(16 + 12 * n, 2, n), fail("START_PAGE_CMD")},
                            {Rec(3, s.paperCode), fail("PAPER_SIZE_PARAM")}};
    if (custom) {
        p.push_back({Rec(26, 0), fail("CUSTOM_PAPER_UNIT_PARAM")});
        p.push_back({Rec(24, s.customWidth), fail("CUSTOM_WIDTH_PARAM")});
        p.push_back({Rec(25, s.customHeight), fail("CUSTOM_HEIGHT_PARAM")});
    }
    std::vector<Piece> rest = {
        {Rec(4, s.copies), fail("COPIES_PARAM")},
        {Rec(5, s.inputTray), fail("INPUT_TRAY_PARAM")},
        {Rec(6, s.mediaType), fail("MEDIA_TYPE_PARAM")},
        {Rec(7, 1), fail("CHANNEL_NUM_PARAM")},
        {Rec(8, s.xResolution), fail("H_RESOLUTION_PARAM")},
        {Rec(9, s.yResolution), fail("V_RESOLUTION_PARAM")},
        {Rec(22, 0), fail("RET_PARAM")},
        {Rec(12, lineBits), fail("IMG_WIDTH_PARAM")},
        {Rec(13, s.imageHeight), fail("IMG_HEIGHT_PARAM")},
        {Rec(16, depth), fail("VIDEO_DEPTH_PARAM")},
        {Rec(17, s.imageWidth), fail("VIDEO_WIDTH_PARAM")},
        {Rec(18, s.imageHeight), fail("VIDEO_HEIGHT_PARAM")},
        {Rec(0xFF00, s.density), fail("DENSITY_PARAM")},
    };
    p.insert(p.end(), rest.begin(), rest.end());
    return p;
}

std::vector<Piece> StartP12Pieces(const Bytes& pageSpec, const Bytes& customPaper, bool hostUse)
{
    std::vector<Piece> p = {
        Zeros(),
        {pageSpec, "Prnt_StartPage() :: send cmdPageSpec Fail 0 ==  \n"},
        Zeros(),
        {customPaper, "Prnt_StartPage() :: send cmdCustomPaper Fail 0 ==  \n"},
        Zeros(),
    };
    if (hostUse) {
        p.push_back({HexBytes("0B 04 32 BF"), "Prnt_StartPage() :: send hostUseCmd Fail 0 ==  \n"});
        p.push_back(Zeros());
    }
    return p;
}

const Bytes kCustomPaperNone = HexBytes("0B 0C 13 00 00 00 00 00 00 00 00 D6");
const Bytes kCustomPaperA4Values = HexBytes("0B 0C 13 60 13 68 1B 80 12 80 1A B4");

std::vector<Piece> EndP1Pieces(bool duplexStep)
{
    std::vector<Piece> p = {
        {HexBytes("1B FF 2D 31 32 33 34 35 58"), "Prnt_EndPage() :: send UEL_CMD_C Fail 0 ==  \n"},
        Zeros(),
        {HexBytes("0B 06 1A 9E 00 37"), "Prnt_EndPage() :: send cmdImageDataChenksum Fail 0 ==  \n"},
        Zeros(),
        {HexBytes("0B 06 1E BB 02 14"), "Prnt_EndPage() :: send cmdCoverage Fail 0 ==  \n"},
        Zeros(),
        {HexBytes("0B 04 18 D9"), "Prnt_EndPage() :: send formFeedCmd Fail 0 ==  \n"},
    };
    if (duplexStep) {
        p.push_back(Zeros());
        p.push_back({HexBytes("0B 04 40 B1"),
                     "Prnt_EndPage() :: MachineDuplexCmd Fail .\n"
                     "SendMachineDuplexCmd() :: send machineDuplexCmd Fail 0 ==  \n"});
    }
    return p;
}

PageEndInfo EndInfo(int pageNumber, int machineDuplex)
{
    PageEndInfo info{};
    info.pageNumber = pageNumber;
    info.machineDuplex = machineDuplex;
    info.xResolution = 600;
    info.pageWidthMm = 210;
    info.tonerLevel = 1;
    info.dotCount = 1000000;
    info.imageChecksum = 0x9E;
    return info;
}

class PageFraming : public ::testing::Test {
protected:
    void SetUp() override { ResetTestSink(); }
};

TEST_F(PageFraming, Platform3StandardPaperStartIs184Bytes)
{
    const PageSetup s = A4Setup(600);
    Captured c = Capture([&] { return Prnt_StartPage(TestSink(), s, 3); });
    EXPECT_EQ(c.result, 1);
    ASSERT_EQ(c.out.size(), 184u);
    EXPECT_EQ(ToHex(Bytes(c.out.begin(), c.out.begin() + 16)),
              "00 00 00 B8 00 00 00 02 00 00 00 0E 00 A8 5A 5A");
    EXPECT_EQ(ToHex(c.out), ToHex(Joined(StartP3Pieces(s, 4736, 1))));
    EXPECT_EQ(ToHex(Bytes(c.out.end() - 12, c.out.end())), "00 00 00 0C FF 00 01 00 00 00 00 04");
}

TEST_F(PageFraming, Platform3CustomPaperStartIs220Bytes)
{
    PageSetup s = A4Setup(600);
    s.paperCode = 0;
    Captured c = Capture([&] { return Prnt_StartPage(TestSink(), s, 3); });
    EXPECT_EQ(c.result, 1);
    ASSERT_EQ(c.out.size(), 220u);
    EXPECT_EQ(ToHex(Bytes(c.out.begin(), c.out.begin() + 16)),
              "00 00 00 DC 00 00 00 02 00 00 00 11 00 CC 5A 5A");
    EXPECT_EQ(ToHex(c.out), ToHex(Joined(StartP3Pieces(s, 4736, 1))));
}

TEST_F(PageFraming, Platform3TwoBitModeWidensTheLineOnly)
{
    PageSetup s = A4Setup(600);
    s.twoBitMode = 1;
    Captured two = Capture([&] { return Prnt_StartPage(TestSink(), s, 3); });
    EXPECT_EQ(ToHex(two.out), ToHex(Joined(StartP3Pieces(s, 9472, 2))));

    s.twoBitMode = 2;  // anything but exactly 1 is one bit per pixel
    Captured other = Capture([&] { return Prnt_StartPage(TestSink(), s, 3); });
    EXPECT_EQ(ToHex(other.out), ToHex(Joined(StartP3Pieces(s, 4736, 1))));

    s.twoBitMode = 1;
    s.imageWidth = 40000;  // bits per line beyond 16 bits
    Captured wide = Capture([&] { return Prnt_StartPage(TestSink(), s, 3); });
    EXPECT_EQ(ToHex(wide.out), ToHex(Joined(StartP3Pieces(s, 80000, 2))));
}

TEST_F(PageFraming, Platform1And2StartSequences)
{
    PageSetup s = A4Setup(60);
    s.feedFlags = 0x40;
    Captured p1 = Capture([&] { return Prnt_StartPage(TestSink(), s, 1); });
    EXPECT_EQ(p1.result, 1);
    EXPECT_EQ(ToHex(p1.out),
              ToHex(Joined(StartP12Pieces(HexBytes("0B 12 12 09 03 3C 3C 02 40 05 00 64 00 C8 00 07 00 D3"),
                                          kCustomPaperNone, true))));

    Captured p2 = Capture([&] { return Prnt_StartPage(TestSink(), s, 2); });
    EXPECT_EQ(p2.result, 1);
    EXPECT_EQ(p2.out.size(), 36u);
    EXPECT_EQ(ToHex(Bytes(p2.out.begin() + 2, p2.out.begin() + 20)),
              "0B 12 12 09 03 3C 3C 02 00 05 00 64 00 C8 00 07 00 13");

    // Custom sizes carry their dimensions: 0xFF on platform 1, 0 on platform 2.
    s.paperCode = 0xFF;
    Captured c1 = Capture([&] { return Prnt_StartPage(TestSink(), s, 1); });
    EXPECT_EQ(ToHex(c1.out),
              ToHex(Joined(StartP12Pieces(HexBytes("0B 12 12 FF 03 3C 3C 02 40 05 00 64 00 C8 00 07 00 DD"),
                                          kCustomPaperA4Values, true))));
    Captured c2wrong = Capture([&] { return Prnt_StartPage(TestSink(), s, 2); });
    EXPECT_EQ(ToHex(Bytes(c2wrong.out.begin() + 22, c2wrong.out.begin() + 34)), ToHex(kCustomPaperNone));
    s.paperCode = 0;
    Captured c2 = Capture([&] { return Prnt_StartPage(TestSink(), s, 2); });
    EXPECT_EQ(ToHex(c2.out),
              ToHex(Joined(StartP12Pieces(HexBytes("0B 12 12 00 03 3C 3C 02 00 05 00 64 00 C8 00 07 00 1C"),
                                          kCustomPaperA4Values, false))));
    EXPECT_EQ(ErrText(), "");
}

TEST_F(PageFraming, EndSequencesPerPlatform)
{
    PageEndInfo info = EndInfo(2, 0);
    Captured p1 = Capture([&] { return Prnt_EndPage(TestSink(), info, 1); });
    EXPECT_EQ(p1.result, 1);
    EXPECT_EQ(ToHex(p1.out), ToHex(Joined(EndP1Pieces(false))));
    EXPECT_EQ(info.coverage, 699);

    PageEndInfo untouched = EndInfo(2, 0);
    untouched.coverage = 5;
    Captured p2 = Capture([&] { return Prnt_EndPage(TestSink(), untouched, 2); });
    EXPECT_EQ(p2.result, 1);
    EXPECT_EQ(ToHex(p2.out), "00 00 0B 04 18 D9");
    Captured p3 = Capture([&] { return Prnt_EndPage(TestSink(), untouched, 3); });
    EXPECT_EQ(p3.result, 1);
    EXPECT_EQ(ToHex(p3.out), "00 00 00 10 00 00 00 03 00 00 00 00 00 00 5A 5A");
    EXPECT_EQ(untouched.coverage, 5);
}

TEST_F(PageFraming, MachineDuplexTurnsTheSheetAfterOddPagesOnly)
{
    for (int page : {1, 3, 5}) {
        PageEndInfo info = EndInfo(page, 1);
        Captured c = Capture([&] { return Prnt_EndPage(TestSink(), info, 1); });
        EXPECT_EQ(c.result, 1);
        EXPECT_EQ(ToHex(c.out), ToHex(Joined(EndP1Pieces(true)))) << "page " << page;
    }
    PageEndInfo even = EndInfo(4, 1);
    Captured c = Capture([&] { return Prnt_EndPage(TestSink(), even, 1); });
    EXPECT_EQ(ToHex(c.out), ToHex(Joined(EndP1Pieces(false))));

    Captured odd = Capture([] { return SendMachineDuplexCmd(TestSink(), 3, 1); });
    EXPECT_EQ(odd.result, 1);
    EXPECT_EQ(ToHex(odd.out), "00 00 0B 04 40 B1");
    Captured notDue = Capture([] { return SendMachineDuplexCmd(TestSink(), 4, 1); });
    EXPECT_EQ(notDue.result, 1);
    EXPECT_TRUE(notDue.out.empty());
    Captured evenDue = Capture([] { return SendMachineDuplexCmd(TestSink(), 4, 0); });
    EXPECT_EQ(ToHex(evenDue.out), "00 00 0B 04 40 B1");
    EXPECT_TRUE(Capture([] { return SendMachineDuplexCmd(TestSink(), 3, 0); }).out.empty());
}

TEST_F(PageFraming, EachFailedPieceStopsTheRoutineWithItsText)
{
    PageSetup s = A4Setup(600);
    s.paperCode = 0;
    ExpectEachPieceFails(StartP3Pieces(s, 4736, 1), [&] { return Prnt_StartPage(TestSink(), s, 3); });

    PageSetup p = A4Setup(60);
    const Bytes pageSpec = HexBytes("0B 12 12 09 03 3C 3C 02 00 05 00 64 00 C8 00 07 00 13");
    ExpectEachPieceFails(StartP12Pieces(pageSpec, kCustomPaperNone, true), [&] { return Prnt_StartPage(TestSink(), p, 1); });

    auto endPage = [](int platform) {
        return [=] {
            PageEndInfo info = EndInfo(5, 1);
            return Prnt_EndPage(TestSink(), info, platform);
        };
    };
    ExpectEachPieceFails(EndP1Pieces(true), endPage(1));
    ExpectEachPieceFails({Zeros(), {HexBytes("0B 04 18 D9"), "Prnt_EndPage() :: send formFeedCmd Fail 0 ==  \n"}},
                         endPage(2));
    ExpectEachPieceFails({{Block(16, 3, 0), "Prnt_EndPage() :: send END_PAGE_CMD Fail 0 ==  \n"}}, endPage(3));
    ExpectEachPieceFails(
        {Zeros(), {HexBytes("0B 04 40 B1"), "SendMachineDuplexCmd() :: send machineDuplexCmd Fail 0 ==  \n"}},
        [] { return SendMachineDuplexCmd(TestSink(), 7, 1); });
}

TEST_F(PageFraming, ManualDuplexPauseNeverReachesASpool)
{
    TempDir dir;
    int spools[3];
    for (int i = 0; i < 3; ++i)
        spools[i] = open(dir.File("spool" + std::to_string(i)).c_str(), O_RDWR | O_CREAT, 0600);
    TestSink().copySpoolFd = spools[0];
    TestSink().oddSpoolFd = spools[1];
    TestSink().evenSpoolFd = spools[2];
    const char* expected[] = {"", "0B 04 30 C1", "0B 04 1B D6",
                              "00 00 00 10 00 00 00 0B 00 00 00 00 00 00 5A 5A"};
    for (int page : {3, 4}) {
        RouteSpooledPage(TestSink(), page);
        for (int platform : {1, 2, 3}) {
            Captured c = Capture([=] { return SendManualDuplexCmd(TestSink(), platform); });
            EXPECT_EQ(c.result, 1);
            EXPECT_EQ(ToHex(c.out), expected[platform]);
        }
    }
    for (int fd : spools) {
        EXPECT_EQ(lseek(fd, 0, SEEK_END), 0);
        close(fd);
    }
    EXPECT_EQ(TestSink().evenPageLen[1], 0);

    ResetTestSink();
    const char* p12Fail = "Prnt_EndPage() :: send manualDuplexCmd Fail 0 ==  \n";
    ExpectEachPieceFails({{HexBytes(expected[1]), p12Fail}}, [] { return SendManualDuplexCmd(TestSink(), 1); });
    ExpectEachPieceFails({{HexBytes(expected[2]), p12Fail}}, [] { return SendManualDuplexCmd(TestSink(), 2); });
    ExpectEachPieceFails({{HexBytes(expected[3]), "SendManualDuplexCmd() :: send MANUAL_DUPLEX_CMD Fail 0 ==  \n"}},
                         [] { return SendManualDuplexCmd(TestSink(), 3); });
}

TEST_F(PageFraming, UnknownPlatformWritesNothing)
{
    const PageSetup s = A4Setup(600);
    for (int platform : {0, 4}) {
        PageEndInfo info = EndInfo(1, 1);
        EXPECT_EQ(Capture([&] { return Prnt_StartPage(TestSink(), s, platform); }).out.size(), 0u);
        EXPECT_EQ(Capture([&] { return Prnt_EndPage(TestSink(), info, platform); }).out.size(), 0u);
        EXPECT_EQ(Capture([&] { return SendManualDuplexCmd(TestSink(), platform); }).out.size(), 0u);
        EXPECT_EQ(Prnt_StartPage(TestSink(), s, platform), 0);
        EXPECT_EQ(Prnt_EndPage(TestSink(), info, platform), 0);
        EXPECT_EQ(SendManualDuplexCmd(TestSink(), platform), 0);
    }
    EXPECT_EQ(ErrText(), "");
}

}  // namespace
