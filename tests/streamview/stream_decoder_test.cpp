// The decoder against streams of every platform: the fields it names, the
// pages it decodes, the damage it reports and the text it tolerates.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "stream/byte_order.h"
#include "stream_decoder.h"
#include "stream_listing.h"
#include "test_streams.h"

using namespace streamview;

namespace {

std::string Listing(const StreamResult& r)
{
    std::ostringstream s;
    PrintListing(s, r);
    return s.str();
}

std::string Describe(const StreamResult& r)
{
    return r.ok ? "ok" : "error at " + std::to_string(r.error.offset) + ": " + r.error.text;
}

std::vector<const Item*> Items(const Document& doc, const std::string& name)
{
    std::vector<const Item*> found;
    for (const Item& item : doc.items)
        if (item.name == name)
            found.push_back(&item);
    return found;
}

uint64_t FieldValue(const Item& item, const std::string& name)
{
    for (const Field& f : item.fields)
        if (f.name == name)
            return f.value;
    ADD_FAILURE() << item.name << " has no field " << name;
    return 0;
}

TestImage Blank(uint32_t lineBits, uint32_t lines) { return TestImage{lineBits, lines, Bytes(lineBits / 8 * lines)}; }

// Rewrites the packet at offset with a fresh checksum.
void Repack(Bytes& s, size_t offset)
{
    const uint8_t len = s[offset + 1];
    s[offset + len - 1] = PacketChecksum(s.data() + offset, len - 1);
}

StreamResult Expect(const Bytes& s, size_t offset, const std::string& text, int platform = 0)
{
    DecodeOptions o;
    o.platform = platform;
    StreamResult r = DecodeStream(s, o);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.offset, offset) << r.error.text;
    EXPECT_NE(r.error.text.find(text), std::string::npos) << r.error.text;
    return r;
}

}  // namespace

TEST(Platform1, PagesDecodeBitExactWithTheirChecksums)
{
    TestJob job;
    const std::vector<TestPage> pages = {MakePage(1, PatternImage(320, 100, 1), 1),
                                         MakePage(1, PatternImage(256, 50, 2), 2)};
    const StreamResult r = DecodeStream(BuildStream(job, pages));
    ASSERT_TRUE(r.ok) << Describe(r);
    EXPECT_TRUE(r.warnings.empty());
    ASSERT_EQ(r.documents.size(), 1u);
    const Document& doc = r.documents[0];
    EXPECT_EQ(doc.platform, 1);
    EXPECT_TRUE(doc.ended);
    EXPECT_EQ(doc.jobId, 42);
    EXPECT_EQ(doc.jobFlags, 0x10);
    EXPECT_EQ(doc.density, 2);
    EXPECT_EQ(doc.DuplexMode(), "simplex");
    ASSERT_EQ(doc.pages.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const Page& page = doc.pages[i];
        SCOPED_TRACE(i);
        EXPECT_TRUE(page.ended);
        EXPECT_EQ(page.pageNumber, static_cast<int>(i + 1));
        EXPECT_EQ(page.paperCode, 4u);
        EXPECT_EQ(page.bitmap.width, pages[i].image.lineBits);
        EXPECT_EQ(page.bitmap.height, pages[i].image.lines);
        EXPECT_EQ(page.bitmap.bits, pages[i].image.bits);
        EXPECT_EQ(page.markedPixels, pages[i].image.SetBits());
        EXPECT_EQ(page.imageChecksum, page.computedChecksum);
        PageEndInfo end{};
        end.xResolution = 600;
        end.pageWidthMm = 210;
        end.tonerLevel = 2;
        EXPECT_EQ(page.coverage, CoverageValue(pages[i].dots, end));
        EXPECT_EQ(page.jbig.L0, 768u);
        EXPECT_EQ(page.jbig.MX, 8);
    }
    EXPECT_EQ(doc.pages[0].bitmap.Darkness(0, 0), doc.pages[0].bitmap.Level(0, 0) ? 255 : 0);
}

TEST(Platform1, ListingNamesEveryPacketAndField)
{
    TestJob job;
    const std::string text = Listing(DecodeStream(BuildStream(job, {MakePage(1, PatternImage(320, 100, 1), 1)})));
    for (const char* expected :
         {"document 1 at offset 0: platform 1, job 42, job flags 0x10, density 2, 1 page, simplex",
          "UEL_CMD_C", "abortCmd  checksum=0xDB", "PJL \"@PJL EOJ\"", "firmware version \"versions=3.1.2.1\"",
          "PJL \"@PJL ENTER LANGUAGE=PL\"", "cmdJobSpec  jobId=42  jobFlags=0x10  checksum=0xA4",
          "cmdTonerSave  tonerSave=0", "cmdDensity  density=2", "cmdSysTime  year=2026  month=12  day=7",
          "page 1 at offset", "cmdPageSpec  paperCode=0x04  mediaType=0  xResolution=60  yResolution=60  "
                              "inputTray=1  flags=0x00  copies=1  offsetX=0  offsetY=0  pageNumber=1",
          "cmdCustomPaper  customWidth=0  customHeight=0  imageWidth=0  imageHeight=0", "hostUseCmd",
          "cmdRasterImage  rasterMode=0  rasterFlags=0x20  lineBits=320  lineCount=100  widthPixels=320  "
          "stripeLines=768  compressedSize=",
          "JBIG data (", "DL=0  D=0  P=1  XD=320  YD=100  L0=768  MX=8  MY=0  order=0  options=0x08",
          "cmdImageDataChenksum  imageChecksum=", "(matches the data)", "cmdCoverage  coverage=",
          "formFeedCmd", "queryStatusCmd  query=0x80", "resetCmd", "UEL + \\r\\n", "00 00  pairs=1"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

TEST(Platform1, MachineDuplexTurnsOddPagesOnly)
{
    TestJob job;
    job.machineDuplex = true;
    std::vector<TestPage> pages;
    for (uint16_t n = 1; n <= 3; ++n)
        pages.push_back(MakePage(1, PatternImage(64, 20, n), n));
    // The blank back of the odd last sheet.
    Bytes s = DocStart(job);
    for (const TestPage& p : pages)
        s = Join({s, PageStart(p, 1), PageData(p, 1), PageEnd(p, job)});
    TestJob blankJob = job;
    blankJob.machineDuplex = false;
    const TestPage blank = MakePage(1, Blank(64, 20), 4);
    s = Join({s, PageStart(blank, 1), PageData(blank, 1), PageEnd(blank, blankJob), DocEnd(job, 3)});

    const StreamResult r = DecodeStream(s);
    ASSERT_TRUE(r.ok) << Describe(r);
    const Document& doc = r.documents[0];
    ASSERT_EQ(doc.pages.size(), 4u);
    EXPECT_TRUE(doc.pages[0].machineDuplexTurn);
    EXPECT_FALSE(doc.pages[1].machineDuplexTurn);
    EXPECT_TRUE(doc.pages[2].machineDuplexTurn);
    EXPECT_FALSE(doc.pages[3].machineDuplexTurn);
    EXPECT_EQ(doc.pages[3].markedPixels, 0u);
    EXPECT_EQ(doc.jobFlags, 0x30);
    EXPECT_EQ(doc.DuplexMode(), "duplex");
    int atDocumentEnd = 0;
    for (const Item* item : Items(doc, "machineDuplexCmd"))
        atDocumentEnd += item->page < 0;
    EXPECT_EQ(atDocumentEnd, 1);
}

TEST(Platform2, BandsStackIntoOnePage)
{
    TestJob job;
    job.platform = 2;
    job.model = "Norvane R01 Series";
    const TestPage tall = MakePage(2, PatternImage(264, 600, 3), 1);  // 256 + 256 + 88 lines
    const TestPage even = MakePage(2, PatternImage(64, 512, 4), 2);   // exactly two bands
    const StreamResult r = DecodeStream(BuildStream(job, {tall, even}));
    ASSERT_TRUE(r.ok) << Describe(r);
    EXPECT_TRUE(r.warnings.empty());
    const Document& doc = r.documents[0];
    EXPECT_EQ(doc.jobId, 42);
    ASSERT_EQ(doc.pages.size(), 2u);
    EXPECT_EQ(doc.pages[0].bands, 3);
    EXPECT_EQ(doc.pages[1].bands, 2);
    EXPECT_EQ(doc.pages[0].bitmap.bits, tall.image.bits);
    EXPECT_EQ(doc.pages[1].bitmap.bits, even.image.bits);
    EXPECT_EQ(doc.pages[0].coverage, static_cast<int>(tall.dots / 1000));

    const auto bands = Items(doc, "band record");
    ASSERT_EQ(bands.size(), 5u);
    EXPECT_EQ(FieldValue(*bands[2], "firstLine"), 512u);
    EXPECT_EQ(FieldValue(*bands[2], "YD"), 88u);
    EXPECT_EQ(FieldValue(*bands[2], "L0"), 88u);
    EXPECT_EQ(FieldValue(*bands[2], "XD"), 264u);
    EXPECT_EQ(FieldValue(*bands[2], "length"), FieldValue(*bands[2], "length2"));

    const std::string text = Listing(r);
    for (const char* expected :
         {"PJL \"@PJL LANGUAGEVERSION=1.0\"", "jobTime=05:14:07:12:2026", "jobOwner=box",
          "cmdJobSpec  jobFlags=0x10  jobId=42", "cmdTonerParamR01  model=R01", "cmdCoverage  dotCount/1000=",
          "cmdRasterImage  rasterMode=0  rasterFlags=0x20  lineBits=264  lineCount=600  widthPixels=0  "
          "stripeLines=0  compressedSize=0",
          "band record  P=1  XD=264  YD=256  L0=256  MX=0  MY=0  order=3  options=0x58", "band data ("})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

TEST(Platform3, OneAndTwoBitPagesDecode)
{
    TestJob job;
    job.platform = 3;
    const TestPage mono = MakePage(3, PatternImage(320, 60, 5), 1);
    TestPage grey = MakePage(3, PatternImage(320, 40, 6), 2);
    grey.setup.twoBitMode = 1;
    grey.setup.imageWidth = 160;
    const StreamResult r = DecodeStream(BuildStream(job, {mono, grey}));
    ASSERT_TRUE(r.ok) << Describe(r);
    EXPECT_TRUE(r.warnings.empty()) << r.warnings[0].text;
    const Document& doc = r.documents[0];
    ASSERT_EQ(doc.pages.size(), 2u);
    EXPECT_EQ(doc.pages[0].bitmap.bits, mono.image.bits);
    EXPECT_EQ(doc.pages[0].bitmap.bitsPerPixel, 1u);

    const Bitmap& b = doc.pages[1].bitmap;
    EXPECT_EQ(b.bits, grey.image.bits);
    EXPECT_EQ(b.width, 160u);
    EXPECT_EQ(b.lineBits, 320u);
    EXPECT_EQ(b.bitsPerPixel, 2u);
    uint64_t marked = 0;
    for (uint32_t y = 0; y < 40; ++y)
        for (uint32_t x = 0; x < 160; ++x) {
            const unsigned level = (grey.image.bits[y * 40 + x / 4] >> (6 - 2 * (x % 4))) & 3;
            marked += level != 0;
            ASSERT_EQ(b.Level(x, y), level) << x << "," << y;
            ASSERT_EQ(b.Darkness(x, y), level * 85);
        }
    EXPECT_EQ(doc.pages[1].markedPixels, marked);

    const std::string text = Listing(r);
    for (const char* expected :
         {"UEL", "document signature \"JZJZ\"", "TONER_PARAM (88 bytes)  totalLength=88  blockType=17  values=0 81 115",
          "START_DOC_CMD (52 bytes)  totalLength=52  blockType=0  paramCount=3  TOTAL_PAGE_PARAM=0  param 1=0  param 2=1",
          "START_PAGE_CMD (184 bytes)  totalLength=184  blockType=2  paramCount=14  PAPER_SIZE_PARAM=4  COPIES_PARAM=1  "
          "INPUT_TRAY_PARAM=1  MEDIA_TYPE_PARAM=0  CHANNEL_NUM_PARAM=1  H_RESOLUTION_PARAM=600  "
          "V_RESOLUTION_PARAM=600  RET_PARAM=0  IMG_WIDTH_PARAM=320  IMG_HEIGHT_PARAM=40  VIDEO_DEPTH_PARAM=2  "
          "VIDEO_WIDTH_PARAM=160  VIDEO_HEIGHT_PARAM=40  DENSITY_PARAM=2",
          "JBIG_PARAM_CMD (36 bytes)  totalLength=36  blockType=4  DL=0  D=0  P=1  XD=320  YD=60  L0=256  MX=0  "
          "MY=0  order=3  options=0x5C",
          "JBIG_DATA_CMD (", "JBIG_END_CMD (16 bytes)", "END_PAGE_CMD (16 bytes)", "END_DOC_CMD (16 bytes)",
          "image 160x40 pixels at 2 bits per pixel"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

TEST(Platform3, LargePageSpansFullChunksAndCustomPaperHasSeventeenRecords)
{
    TestJob job;
    job.platform = 3;
    TestPage page = MakePage(3, NoiseImage(2048, 300, 7), 1);  // about 77 KB compressed
    page.setup.paperCode = 0;
    page.setup.customWidth = 2100;
    page.setup.customHeight = 3000;
    const StreamResult r = DecodeStream(BuildStream(job, {page}));
    ASSERT_TRUE(r.ok) << Describe(r);
    const Document& doc = r.documents[0];
    EXPECT_EQ(doc.pages[0].bitmap.bits, page.image.bits);
    EXPECT_TRUE(doc.pages[0].customPaper);
    EXPECT_EQ(doc.pages[0].customWidth, 2100u);
    const auto chunks = Items(doc, "JBIG_DATA_CMD");
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(FieldValue(*chunks[0], "chunk"), 65536u);
    EXPECT_EQ(FieldValue(*chunks[0], "chunk") + FieldValue(*chunks[1], "chunk"), doc.pages[0].compressedSize);
    const auto start = Items(doc, "START_PAGE_CMD");
    ASSERT_EQ(start.size(), 1u);
    EXPECT_EQ(FieldValue(*start[0], "paramCount"), 17u);
    EXPECT_EQ(FieldValue(*start[0], "CUSTOM_HEIGHT_PARAM"), 3000u);
}

TEST(StageMessages, FailureTextsAndFillerBetweenStagesAreListed)
{
    for (int platform : {1, 2, 3}) {
        SCOPED_TRACE(platform);
        TestJob job;
        job.platform = platform;
        const TestPage page = MakePage(platform, PatternImage(64, 30, 8), 1);
        const Bytes keepAlive = platform == 3 ? Bytes{} : Bytes{0, 0, 0, 0, 0, 0};
        const Bytes s = Join({DocStart(job), Text("main() :: Start doc Fail ! \n"), PageStart(page, platform),
                              keepAlive, PageData(page, platform), PageEnd(page, job),
                              Text("Prnt_EndPage() :: send formFeedCmd Fail 0 ==  \nmain() :: End page Fail ! \n"),
                              DocEnd(job, 1), Text("main() :: late\n")});
        const StreamResult r = DecodeStream(s);
        ASSERT_TRUE(r.ok) << Describe(r);
        const Document& doc = r.documents[0];
        EXPECT_TRUE(doc.ended);
        ASSERT_EQ(doc.pages.size(), 1u);
        EXPECT_EQ(doc.pages[0].bitmap.bits, page.image.bits);
        const auto messages = Items(doc, "stage message");
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[1]->text, "Prnt_EndPage() :: send formFeedCmd Fail 0 ==  \nmain() :: End page Fail ! \n");
        ASSERT_EQ(r.looseItems.size(), 1u);
        EXPECT_EQ(r.looseItems[0].text, "main() :: late\n");
        EXPECT_TRUE(r.warnings.empty()) << r.warnings[0].text;
        if (platform != 3) {
            // The page start's closing pair and three keep-alive pairs.
            EXPECT_EQ(doc.keepAlivePairs, 3u);
            int filler = 0;
            for (const Item* z : Items(doc, "00 00"))
                if (FieldValue(*z, "pairs") == 4) {
                    EXPECT_EQ(z->fields.at(1).name, "keepAlive");
                    EXPECT_EQ(z->fields.at(1).value, 3u);
                    ++filler;
                }
            EXPECT_EQ(filler, 1);
        }
        EXPECT_NE(Listing(r).find("stage message \"main() :: Start doc Fail ! \\n\""), std::string::npos);
    }
}

TEST(StageMessages, FillerInsideAStageOrAMissingSeparatorIsWarned)
{
    for (int platform : {1, 2}) {
        SCOPED_TRACE(platform);
        TestJob job;
        job.platform = platform;
        const TestPage page = MakePage(platform, PatternImage(64, 16, 23), 1);
        const Bytes start = PageStart(page, platform);
        const size_t customAt = 2 + kCmdPageSpecLen + 2;  // 00 00 cmdPageSpec 00 00 cmdCustomPaper

        Bytes inside = start;
        inside.insert(inside.begin() + static_cast<long>(customAt), {0, 0});
        StreamResult r = DecodeStream(Join({DocStart(job), inside, PageData(page, platform), PageEnd(page, job),
                                            DocEnd(job, 1)}));
        ASSERT_TRUE(r.ok) << Describe(r);
        ASSERT_EQ(r.warnings.size(), 1u);
        EXPECT_NE(r.warnings[0].text.find("filler inside a stage, before cmdCustomPaper"), std::string::npos);

        Bytes missing = start;
        missing.erase(missing.begin() + static_cast<long>(customAt - 2), missing.begin() + static_cast<long>(customAt));
        r = DecodeStream(Join({DocStart(job), missing, PageData(page, platform), PageEnd(page, job), DocEnd(job, 1)}));
        ASSERT_TRUE(r.ok) << Describe(r);
        ASSERT_EQ(r.warnings.size(), 1u);
        EXPECT_NE(r.warnings[0].text.find("missing 00 00 before cmdCustomPaper"), std::string::npos);
    }
}

TEST(StageMessages, DamagedPjlIsNoMessage)
{
    TestJob job;
    job.platform = 2;
    Bytes s = BuildStream(job, {});
    const size_t at = Find(s, Text("@PJL ENTER"));
    s.erase(s.begin() + static_cast<long>(at));
    Expect(s, at, "unexpected byte 0x50");
}

TEST(Documents, ManualDuplexAndSeveralJobsInOneStream)
{
    for (int platform : {1, 2, 3}) {
        SCOPED_TRACE(platform);
        TestJob job;
        job.platform = platform;
        const TestPage p1 = MakePage(platform, PatternImage(64, 16, 20), 1);
        const TestPage p2 = MakePage(platform, PatternImage(64, 16, 21), 2);
        const TestPage p3 = MakePage(platform, PatternImage(64, 16, 22), 3);
        auto page = [&](const TestPage& p) { return Join({PageStart(p, platform), PageData(p, platform), PageEnd(p, job)}); };
        const Bytes manual = Join({DocStart(job), page(p1), page(p3), ManualDuplexPause(platform), page(p2), DocEnd(job, 3)});
        const Bytes s = Join({manual, BuildStream(job, {p1})});
        const StreamResult r = DecodeStream(s);
        ASSERT_TRUE(r.ok) << Describe(r);
        ASSERT_EQ(r.documents.size(), 2u);
        EXPECT_EQ(r.documents[0].DuplexMode(), "manual");
        EXPECT_EQ(r.documents[1].DuplexMode(), "simplex");
        ASSERT_EQ(r.documents[0].pages.size(), 3u);
        EXPECT_EQ(r.documents[0].pages[2].bitmap.bits, p2.image.bits);
        EXPECT_EQ(r.documents[1].pages[0].sequence, 4);
        EXPECT_EQ(r.documents[1].offset, manual.size());
    }
}

TEST(StageMessages, PageWithoutDataIsAcceptedOnlyWhenTheFilterSaidWhy)
{
    for (int platform : {1, 2, 3}) {
        SCOPED_TRACE(platform);
        TestJob job;
        job.platform = platform;
        const TestPage page = MakePage(platform, PatternImage(64, 30, 9), 1);
        Bytes end = PageEnd(page, job);
        if (platform == 1) {
            // Without data the page end carries the checksum of no bytes.
            const size_t at = sizeof UEL_CMD_C + 2;
            end[at + 3] = 0x9E;
            Repack(end, at);
        }
        const Bytes silent = Join({DocStart(job), PageStart(page, platform), end, DocEnd(job, 1)});
        EXPECT_FALSE(DecodeStream(silent).ok);

        const Bytes told = Join({DocStart(job), PageStart(page, platform),
                                 Text("Prnt_SendPage() :: malloc Fail .  \nmain() :: Send page Fail!\n"), end,
                                 DocEnd(job, 1)});
        const StreamResult r = DecodeStream(told);
        ASSERT_TRUE(r.ok) << Describe(r);
        ASSERT_EQ(r.documents[0].pages.size(), 1u);
        EXPECT_FALSE(r.documents[0].pages[0].hasBitmap);
        EXPECT_FALSE(r.warnings.empty());
    }

    const StreamResult onlyText = DecodeStream(Text("main() :: End doc Fail ! \n"));
    EXPECT_TRUE(onlyText.ok) << Describe(onlyText);
    EXPECT_TRUE(onlyText.documents.empty());
    EXPECT_EQ(onlyText.looseItems.size(), 1u);
}

TEST(Fragments, PagesWithoutDocumentReadWhenThePlatformIsGiven)
{
    for (int platform : {1, 2, 3}) {
        SCOPED_TRACE(platform);
        TestJob job;
        job.platform = platform;
        const TestPage a = MakePage(platform, PatternImage(64, 30, 10), 1);
        const TestPage b = MakePage(platform, PatternImage(64, 30, 11), 3);
        const Bytes s = Join({PageStart(a, platform), PageData(a, platform), PageEnd(a, job),
                              PageStart(b, platform), PageData(b, platform), PageEnd(b, job)});
        DecodeOptions o;
        o.platform = platform;
        const StreamResult r = DecodeStream(s, o);
        ASSERT_TRUE(r.ok) << Describe(r);
        ASSERT_EQ(r.documents.size(), 1u);
        EXPECT_TRUE(r.documents[0].fragment);
        ASSERT_EQ(r.documents[0].pages.size(), 2u);
        EXPECT_EQ(r.documents[0].pages[1].bitmap.bits, b.image.bits);
        EXPECT_FALSE(DecodeStream(s).ok);

        // A cut page is still an error.
        DecodeOptions cut = o;
        EXPECT_FALSE(DecodeStream(Bytes(s.begin(), s.end() - 3), cut).ok);
    }
    TestJob p2;
    p2.platform = 2;
    Expect(BuildStream(p2, {}), 0, "document starts as platform 2, not platform 1", 1);
}

TEST(Malformed, DamagedPacketsNameTheirOffset)
{
    TestJob job;
    const TestPage page = MakePage(1, PatternImage(128, 40, 12), 1);
    const Bytes good = BuildStream(job, {page});
    uint8_t spec[kCmdPageSpecLen];
    BuildCmdPageSpec(spec, page.setup, 1);
    const size_t specAt = Find(good, Bytes(spec, spec + kCmdPageSpecLen));
    ASSERT_NE(specAt, std::string::npos);

    Bytes s = good;
    s[specAt + 17] ^= 0x01;
    Expect(s, specAt + 17, "cmdPageSpec checksum");

    s = good;
    s[specAt + 2] = 0x77;
    Repack(s, specAt);
    Expect(s, specAt + 2, "unknown packet opcode 0x77");

    s = good;
    s[specAt + 1] = 17;
    Expect(s, specAt + 1, "opcode 0x12 has length 17");

    s = good;
    s.insert(s.begin() + static_cast<long>(specAt), 0);
    Expect(s, specAt, "single zero byte");

    // A packet of the other platform.
    const Bytes pages = Join({DocStart(job), PageStart(page, 1), PageData(page, 1), PageEnd(page, job)});
    s = Join({pages, ManualDuplexPause(2), DocEnd(job, 1)});
    Expect(s, pages.size(), "manualDuplexCmd (opcode 0x1B, 4 bytes) does not belong in a platform-1 stream");
}

TEST(Malformed, PageDataMustMatchItsSizeAndChecksum)
{
    TestJob job;
    const TestPage page = MakePage(1, PatternImage(128, 40, 13), 1);
    const Bytes good = BuildStream(job, {page});
    const size_t rasterAt = Find(good, Bytes{0x0B, 0x12, 0x0C});
    ASSERT_NE(rasterAt, std::string::npos);
    const uint32_t size = GetLE32(good.data() + rasterAt + 13);
    const size_t dataAt = rasterAt + kCmdRasterImageLen;

    Bytes s = good;
    PutLE32(s.data() + rasterAt + 13, size - 1);
    Repack(s, rasterAt);
    Expect(s, dataAt + size - 1, "UEL_CMD_C must follow the " + std::to_string(size - 1) + " bytes");

    s = good;
    PutLE32(s.data() + rasterAt + 13, 1u << 30);
    Repack(s, rasterAt);
    Expect(s, dataAt, "truncated");

    s = good;
    const size_t sumAt = Find(good, Bytes{0x0B, 0x06, 0x1A});
    s[sumAt + 3] ^= 0x40;
    Repack(s, sumAt);
    Expect(s, sumAt + 3, "the page data gives");

    s = good;
    PutLE16(s.data() + rasterAt + 5, 136);  // lineBits no longer what the JBIG header says
    Repack(s, rasterAt);
    Expect(s, dataAt + 4, "JBIG header gives 128x40 bits, cmdRasterImage announces 136x40");

    // A broken marker segment inside the compressed data.
    s = good;
    s[dataAt + 20] = 0xFF;
    s[dataAt + 21] = 0x7F;
    const StreamResult r = DecodeStream(s);
    EXPECT_FALSE(r.ok);
    EXPECT_GE(r.error.offset, dataAt);
    EXPECT_LE(r.error.offset, dataAt + size);
}

TEST(Malformed, BandRecordsMustAddUp)
{
    TestJob job;
    job.platform = 2;
    const TestPage page = MakePage(2, PatternImage(64, 300, 14), 1);
    const Bytes good = BuildStream(job, {page});
    const size_t band1 = Find(good, Bytes{0x0B, 0x30, 0x1A});
    const size_t band2 = Find(good, Bytes{0x0B, 0x30, 0x1A}, band1 + 1);
    ASSERT_NE(band2, std::string::npos);

    Bytes s = good;
    PutLE32(s.data() + band2 + 35, 255);
    Repack(s, band2);
    Expect(s, band2 + 35, "first line 255, expected 256");

    s = good;
    PutLE32(s.data() + band1 + 27, 5);
    Repack(s, band1);
    Expect(s, band1 + 27, "two data lengths differ");

    s = good;
    PutLE32(s.data() + band1 + 7, 72);
    Repack(s, band1);
    Expect(s, band1 + 7, "XD 72 differs from lineBits 64");

    // Many tiny white bands must not add up to gigabytes.
    s = good;
    const size_t rasterAt = Find(good, Bytes{0x0B, 0x12, 0x0C});
    PutLE16(s.data() + rasterAt + 5, 65528);
    PutLE16(s.data() + rasterAt + 7, 65535);
    Repack(s, rasterAt);
    Expect(s, rasterAt + 5, "announces 65528x65535 bits, larger than any page");

    // One band fewer than the line count asks for.
    s = good;
    const uint32_t len2 = GetLE32(good.data() + band2 + 23);
    s.erase(s.begin() + static_cast<long>(band2), s.begin() + static_cast<long>(band2 + 48 + len2));
    Expect(s, band2, "record of band 2 of 2 of page 1 expected");
}

TEST(Malformed, DamagedBlocksNameTheirOffset)
{
    TestJob job;
    job.platform = 3;
    const TestPage page = MakePage(3, PatternImage(128, 40, 15), 1);
    const Bytes good = BuildStream(job, {page});
    uint8_t end[16];
    BuildBlockHeader(end, 16, kBlockPageEnd, 0, 0);
    const size_t endAt = Find(good, Bytes(end, end + 16));
    const size_t dataAt = Find(good, Bytes{0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00}) - 4;
    ASSERT_NE(endAt, std::string::npos);

    Bytes s = good;
    s[endAt + 7] = 9;
    Expect(s, endAt + 4, "unknown block type 9");

    s = good;
    s[endAt + 15] = 0x5B;
    Expect(s, endAt + 14, "block magic is 5A 5B");

    s = Bytes(good.begin(), good.begin() + static_cast<long>(dataAt + 30));
    Expect(s, dataAt + 16, "truncated JBIG_DATA_CMD block");

    s = good;
    s[dataAt + 3] += 1;  // the chunk claims one byte more
    StreamResult r = DecodeStream(s);
    EXPECT_FALSE(r.ok);

    s = good;
    const size_t startAt = Find(good, Bytes{0x00, 0x00, 0x00, 0xB8, 0x00, 0x00, 0x00, 0x02});
    s[startAt + 11] = 13;
    Expect(s, startAt + 8, "paramBytes 168 is not 12 x paramCount 13");

    // A page end before the page data.
    s = Join({DocStart(job), PageStart(page, 3), Bytes(end, end + 16), DocEnd(job, 1)});
    Expect(s, DocStart(job).size() + PageStart(page, 3).size(), "END_PAGE_CMD inside page 1");

    s = good;
    s.resize(s.size() - 2);
    Expect(s, s.size() - 7, "UEL (ESC \"%-12345X\") expected after END_DOC_CMD");
}

TEST(Malformed, EveryTruncationIsReported)
{
    for (int platform : {1, 2, 3}) {
        SCOPED_TRACE(platform);
        TestJob job;
        job.platform = platform;
        const Bytes good = BuildStream(job, {MakePage(platform, PatternImage(64, 20, 16), 1)});
        for (size_t n = 0; n < good.size(); ++n) {
            const StreamResult r = DecodeStream(good.data(), n);
            ASSERT_FALSE(r.ok) << n;
            ASSERT_LE(r.error.offset, n);
            ASSERT_FALSE(r.error.text.empty());
        }
    }
}

TEST(Malformed, RandomDamageNeverCrashes)
{
    std::mt19937 rng(20260707);
    for (int platform : {1, 2, 3}) {
        TestJob job;
        job.platform = platform;
        job.model = "Norvane R02 Series";
        const Bytes good = BuildStream(job, {MakePage(platform, PatternImage(64, 24, 17), 1),
                                             MakePage(platform, PatternImage(32, 8, 18), 2)});
        for (int round = 0; round < 1500; ++round) {
            Bytes s = good;
            const int edits = 1 + static_cast<int>(rng() % 4);
            for (int e = 0; e < edits && !s.empty(); ++e) {
                const size_t at = rng() % s.size();
                switch (rng() % 6) {
                case 0: s[at] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
                case 1: s[at] = static_cast<uint8_t>(rng()); break;
                case 2: s[at] = (rng() % 2) ? 0x00 : 0xFF; break;
                case 3: s.erase(s.begin() + static_cast<long>(at), s.begin() + static_cast<long>(std::min(s.size(), at + 1 + rng() % 8))); break;
                case 4: s.insert(s.begin() + static_cast<long>(at), static_cast<uint8_t>(rng())); break;
                default: s.resize(at); break;
                }
            }
            const StreamResult r = DecodeStream(s);
            ASSERT_TRUE(r.ok || (r.error.offset <= s.size() && !r.error.text.empty()))
                << platform << " round " << round;
        }
    }
}
