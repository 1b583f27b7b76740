// Packets and blocks against the printer's worked examples.
#include <gtest/gtest.h>

#include <ctime>
#include <numeric>

#include "stream/packets.h"
#include "support/stdout_capture.h"

namespace {

std::string Hex(const uint8_t* p, int n) { return ToHex(std::vector<uint8_t>(p, p + n)); }

uint8_t Sum(const uint8_t* p, int n) { return static_cast<uint8_t>(std::accumulate(p, p + n, 0u)); }

TEST(PacketChecksum, NegatesTheByteSum)
{
    const uint8_t abc[] = {0x61, 0x62, 0x63};
    EXPECT_EQ(PacketChecksum(abc, 3), 0xDA);
    EXPECT_EQ(PacketChecksum(resetCmd, 3), 0xDA);
    EXPECT_EQ(PacketChecksum(abc, 0), 0);
    EXPECT_EQ(PacketChecksum(abc, -4), 0);
}

TEST(FixedPackets, EverySumsToZero)
{
    for (const uint8_t* p : {abortCmd, resetCmd, formFeedCmd, manualDuplexCmdP1, manualDuplexCmdP2,
                             hostUseCmd, machineDuplexCmd})
        EXPECT_EQ(Sum(p, 4), 0) << Hex(p, 4);
    EXPECT_EQ(Sum(queryStatusCmd, 5), 0);
    EXPECT_EQ(Sum(cmdTonerParamR01ForR01, 36), 0);
    EXPECT_EQ(Sum(cmdTonerParamR01ForR02, 40), 0);
    EXPECT_EQ(cmdTonerParamR01ForR01[1], 36);
    EXPECT_EQ(cmdTonerParamR01ForR02[1], 40);
}

TEST(JobPackets, MatchTheWorkedExamples)
{
    DocStartInfo info{};
    info.jobId = 42;
    info.platformBits = 0x10;
    uint8_t p2[kCmdJobSpecLenP2];
    BuildCmdJobSpecP2(p2, info);
    EXPECT_EQ(Hex(p2, 9), "0B 09 11 10 2A 00 00 00 A1");

    info.duplexBits = 0x20;
    uint8_t p1[kCmdJobSpecLenP1];
    BuildCmdJobSpecP1(p1, info);
    EXPECT_EQ(Hex(p1, 6), "0B 06 11 2A 30 84");
    info.jobId = 298;  // only the low byte travels
    BuildCmdJobSpecP1(p1, info);
    EXPECT_EQ(Hex(p1, 6), "0B 06 11 2A 30 84");

    info.specBit80 = 1;
    info.specBit01 = 7;
    EXPECT_EQ(JobFlags(info), 0xB1);

    uint8_t d[kCmdDensityLen];
    BuildCmdDensity(d, 2);
    EXPECT_EQ(Hex(d, 5), "0B 05 15 02 D9");
    uint8_t t[kCmdTonerSaveLen];
    BuildCmdTonerSave(t, 0);
    EXPECT_EQ(Hex(t, 5), "0B 05 19 00 D7");
}

TEST(JobPackets, SysTimeCarriesTheLocalDate)
{
    std::tm day{};
    day.tm_year = 2026 - 1900;
    day.tm_mon = 11;
    day.tm_mday = 7;
    uint8_t s[kCmdSysTimeLen];
    ASSERT_EQ(BuildCmdSysTimeAt(s, day), 1);
    EXPECT_EQ(Hex(s, 8), "0B 08 1F EA 07 0C 07 CA");
    EXPECT_EQ(BuildCmdSysTime(nullptr), 0);
    EXPECT_EQ(BuildCmdSysTime(s), 1);
    EXPECT_EQ(Sum(s, 8), 0);
}

TEST(CoveragePackets, UseSinglePrecisionTonerFactors)
{
    PageEndInfo info{};
    info.xResolution = 600;
    info.tonerLevel = 1;
    info.pageWidthMm = 210;
    uint8_t c[kCmdCoveragePageEndLen];
    BuildCmdCoveragePageEnd(c, 1000000, info);
    EXPECT_EQ(info.coverage, 699);
    EXPECT_EQ(Hex(c, 6), "0B 06 1E BB 02 14");
    info.tonerLevel = 2;
    BuildCmdCoveragePageEnd(c, 1000000, info);
    EXPECT_EQ(Hex(c, 6), "0B 06 1E E8 03 E6");

    info.pageWidthMm = 125;
    EXPECT_EQ(CoverageValue(1000000, info), 1000);
    info.pageWidthMm = 124;
    EXPECT_EQ(CoverageValue(1000000, info), 2000);
    info.pageWidthMm = 150;
    EXPECT_EQ(CoverageValue(1000000, info), 1500);
    info.xResolution = 1200;
    EXPECT_EQ(CoverageValue(1000000, info), 375);
    info = {};
    info.xResolution = 600;
    info.pageWidthMm = 210;
    info.tonerLevel = 3;
    EXPECT_EQ(CoverageValue(1000000, info), 1200);
    info.tonerLevel = -1;
    EXPECT_EQ(CoverageValue(1000000, info), 1000);
    info.tonerLevel = 9;
    EXPECT_EQ(CoverageValue(1000000, info), 1000);

    uint8_t q[kCmdCoveragePageDataLen];
    BuildCmdCoveragePageData(q, 1234567);
    EXPECT_EQ(Hex(q, 7), "0B 07 19 12 13 00 B0");
}

TEST(PagePackets, PageSpecAndCustomPaper)
{
    PageSetup s{};
    s.paperCode = 0xFF;
    s.xResolution = 60;
    s.yResolution = 60;
    s.feedFlags = 0x40;
    s.copies = 3;
    s.offsetX = 240;
    s.offsetY = 120;
    s.pageNumber = 0x0102;
    s.customWidth = 4166;
    s.customHeight = 5833;
    s.imageWidth = 4192;
    s.imageHeight = 5840;
    uint8_t spec[kCmdPageSpecLen];
    BuildCmdPageSpec(spec, s, 1);
    EXPECT_EQ(Hex(spec, 18), "0B 12 12 FF 00 3C 3C 00 40 03 00 F0 00 78 00 02 01 " +
                                 Hex(spec + 17, 1));
    EXPECT_EQ(Sum(spec, 18), 0);
    BuildCmdPageSpec(spec, s, 2);
    EXPECT_EQ(spec[8], 0);  // platform 2 sends no flags

    uint8_t custom[kCmdCustomPaperLen];
    BuildCmdCustomPaper(custom, s, 1);
    EXPECT_EQ(Hex(custom, 11), "0B 0C 13 46 10 C9 16 60 10 D0 16");
    EXPECT_EQ(Sum(custom, 12), 0);
    BuildCmdCustomPaper(custom, s, 2);  // 0xFF is not custom on platform 2
    EXPECT_EQ(Hex(custom, 11), "0B 0C 13 00 00 00 00 00 00 00 00");
    s.paperCode = 0;
    BuildCmdCustomPaper(custom, s, 1);
    EXPECT_EQ(Hex(custom, 11), "0B 0C 13 00 00 00 00 00 00 00 00");
    BuildCmdCustomPaper(custom, s, 2);
    EXPECT_EQ(custom[3], 0x46);
}

TEST(PagePackets, RasterImageAndChecksumAndBandRecord)
{
    PageDataInfo info{};
    info.rasterFlags[2] = 0x20;
    info.lineBits = 4800;
    info.lineCount = 6780;
    info.widthPixels = 4800;
    info.stripeLines = 768;
    info.compressedSize = 0x12345;
    uint8_t r[kCmdRasterImageLen];
    BuildCmdRasterImage(r, info);
    EXPECT_EQ(Hex(r, 17), "0B 12 0C 00 20 C0 12 7C 1A C0 12 00 03 45 23 01 00");
    EXPECT_EQ(Sum(r, 18), 0);

    uint8_t c[kCmdImageDataChenksumLen];
    BuildCmdImageDataChenksum(c, 0x19E);
    EXPECT_EQ(Hex(c, 5), "0B 06 1A 9E 01");

    uint8_t band[kBandRecordLen];
    BuildBandRecord(band, 4736, 104, 500, 6912);
    EXPECT_EQ(Hex(band, 23), "0B 30 1A 00 00 01 00 80 12 00 00 68 00 00 00 68 00 00 00 00 00 03 58");
    EXPECT_EQ(Hex(band + 23, 24),
              "F4 01 00 00 F4 01 00 00 00 00 00 00 00 1B 00 00 03 00 00 00 00 00 00 00");
    EXPECT_EQ(Sum(band, 48), 0);
}

TEST(Platform3Blocks, HeadersRecordsAndPayloads)
{
    uint8_t h[kBlockHeaderLen];
    BuildBlockHeader(h, 184, kBlockPageStart, 14, 168);
    EXPECT_EQ(Hex(h, 16), "00 00 00 B8 00 00 00 02 00 00 00 0E 00 A8 5A 5A");
    uint8_t rec[kParamRecordLen];
    BuildParamRecord(rec, 0xFF00, 2);
    EXPECT_EQ(Hex(rec, 12), "00 00 00 0C FF 00 01 00 00 00 00 02");

    uint8_t toner[kTonerParamBlockLen];
    BuildTonerParamBlock(toner);
    EXPECT_EQ(ToHex(std::vector<uint8_t>(toner, toner + 88)),
              ToHex(HexBytes("00 00 00 58 00 00 00 11 00 00 00 00 00 00 5A 5A"
                             "00 00 00 51 00 73 00 6E 00 96 00 7A 00 64 00 96"
                             "00 C8 00 64 00 51 00 64 00 64 00 64 00 64 00 64"
                             "00 64 00 64 00 64 00 64 00 64 00 64 00 64 00 64"
                             "00 78 00 87 00 96 00 B4 00 C8 00 78 00 96 00 BE"
                             "01 5E 01 90 00 64 00 64")));

    JbigParams p{};
    p.P = 1;
    p.XD = 9472;
    p.YD = 6784;
    p.L0 = 256;
    p.order = 3;
    p.options = 0x5C;
    uint8_t jb[kJbigParamBlockLen];
    BuildJbigParamBlock(jb, p);
    EXPECT_EQ(Hex(jb, 36), "00 00 00 24 00 00 00 04 00 00 00 00 00 00 5A 5A "
                           "00 00 01 00 00 00 25 00 00 00 1A 80 00 00 01 00 00 00 03 5C");
}

}  // namespace
