// Compressed page data of the three platforms: the stream is taken apart and
// every JBIG image decoded again with JBIG-KIT's decoder.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <numeric>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

#include "support/test_sink.h"
#include "stream/byte_order.h"
#include "stream/jbig_compress.h"
#include "stream/page_data.h"
#include "support/jbig_decode.h"
#include "support/stdout_capture.h"

namespace {

using Bytes = std::vector<uint8_t>;

unsigned Sum(const uint8_t* p, size_t n) { return std::accumulate(p, p + n, 0u); }

// Lines of glyph-like strokes with word gaps and margins, like a text page.
Bytes TextLike(uint32_t lineBits, uint32_t lines, unsigned seed)
{
    const size_t stride = lineBits / 8;
    Bytes bm(stride * lines, 0);
    std::mt19937 rng(seed);
    auto set = [&](uint32_t x, uint32_t y) { bm[y * stride + x / 8] |= 0x80 >> (x % 8); };
    for (uint32_t top = 30; top + 24 < lines; top += 36) {
        for (uint32_t x = 40; x + 60 < lineBits;) {
            const uint32_t w = 8 + rng() % 10;
            if (rng() % 6 != 0) {
                for (int s = 0; s < 3; ++s) {
                    if (rng() & 1) {
                        const uint32_t sx = x + rng() % w;
                        for (uint32_t y = top; y < top + 24; ++y)
                            set(sx, y), set(sx + 1, y);
                    } else {
                        const uint32_t sy = top + rng() % 24;
                        for (uint32_t xx = x; xx < x + w; ++xx)
                            set(xx, sy);
                    }
                }
            }
            x += w + 3;
        }
    }
    return bm;
}

Bytes Noise(size_t bytes, unsigned seed)
{
    Bytes bm(bytes);
    std::mt19937 rng(seed);
    for (auto& b : bm)
        b = static_cast<uint8_t>(rng());
    return bm;
}

PageDataInfo PageFor(Bytes& bm, uint32_t lineBits, uint32_t lines, int platform,
                     uint32_t stripeLines = 768)
{
    PageDataInfo info{};
    info.rasterFlags[2] = 0x20;
    info.lineBits = static_cast<uint16_t>(lineBits);
    info.lineCount = static_cast<uint16_t>(lines);
    if (platform == 1) {
        info.widthPixels = static_cast<uint16_t>(lineBits);
        info.stripeLines = stripeLines;
    }
    info.bitmap = bm.data();
    return info;
}

struct Sent {
    int result;
    Bytes out;
};

Sent Send(PageDataInfo& info, int platform)
{
    StdoutCapture capture;
    const int result = Prnt_SendPage(TestSink(), info, platform);
    return {result, capture.Bytes()};
}

void ExpectImage(const uint8_t* data, size_t size, uint32_t lineBits, uint32_t lines,
                 const uint8_t* expected)
{
    JbigImage image;
    ASSERT_TRUE(DecodeJbig(data, size, image));
    EXPECT_EQ(image.width, lineBits);
    EXPECT_EQ(image.height, lines);
    ASSERT_EQ(image.plane.size(), size_t{(lineBits + 7) / 8} * lines);
    EXPECT_TRUE(std::memcmp(image.plane.data(), expected, image.plane.size()) == 0);
}

uint32_t RunChecksum(const uint8_t* data, size_t size) { return (Sum(data, size) + 0x9E) & 0xFF; }

// Platform 1: cmdRasterImage, then one JBIG image of the whole page.
void CheckPlatform1(const Sent& sent, const PageDataInfo& info, const uint8_t* expected)
{
    ASSERT_EQ(sent.result, 1);
    const Bytes& out = sent.out;
    ASSERT_GT(out.size(), size_t{kCmdRasterImageLen});
    const uint8_t* cmd = out.data();
    EXPECT_EQ(cmd[0], 0x0B);
    EXPECT_EQ(cmd[1], kCmdRasterImageLen);
    EXPECT_EQ(cmd[2], 0x0C);
    EXPECT_EQ(Sum(cmd, kCmdRasterImageLen) & 0xFF, 0u);
    EXPECT_EQ(cmd[3], 0);
    EXPECT_EQ(cmd[4], 0x20);
    EXPECT_EQ(GetLE16(cmd + 5), info.lineBits);
    EXPECT_EQ(GetLE16(cmd + 7), info.lineCount);
    EXPECT_EQ(GetLE16(cmd + 9), info.widthPixels);
    EXPECT_EQ(GetLE16(cmd + 11), info.stripeLines);
    const uint8_t* data = out.data() + kCmdRasterImageLen;
    const size_t size = out.size() - kCmdRasterImageLen;
    EXPECT_EQ(GetLE32(cmd + 13), size);
    EXPECT_EQ(info.compressedSize, size);
    EXPECT_EQ(GetBE32(data + 12), info.stripeLines);  // L0
    EXPECT_EQ(data[16], 8);                            // MX
    EXPECT_EQ(data[18], 0);                            // order
    EXPECT_EQ(data[19], 0x08);                         // TPBON
    EXPECT_EQ(info.imageChecksum, RunChecksum(data, size));
    ExpectImage(data, size, info.lineBits, info.lineCount, expected);
}

struct Band {
    uint32_t lines;
    uint32_t firstLine;
    Bytes data;
};

// Platform 2: cmdCoverage, 00 00, cmdRasterImage, then record + image per band.
std::vector<Band> CheckPlatform2(const Sent& sent, const PageDataInfo& info, const uint8_t* expected)
{
    std::vector<Band> bands;
    EXPECT_EQ(sent.result, 1);
    const Bytes& out = sent.out;
    if (out.size() < 27) {
        ADD_FAILURE() << "stream too short: " << out.size();
        return bands;
    }
    uint8_t coverage[kCmdCoveragePageDataLen];
    BuildCmdCoveragePageData(coverage, info.dotCount);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 7), Bytes(coverage, coverage + 7));
    EXPECT_EQ(out[7], 0);
    EXPECT_EQ(out[8], 0);
    const uint8_t* cmd = out.data() + 9;
    EXPECT_EQ(cmd[2], 0x0C);
    EXPECT_EQ(Sum(cmd, kCmdRasterImageLen) & 0xFF, 0u);
    EXPECT_EQ(GetLE16(cmd + 5), info.lineBits);
    EXPECT_EQ(GetLE16(cmd + 7), info.lineCount);
    EXPECT_EQ(GetLE16(cmd + 9), 0u);   // widthPixels
    EXPECT_EQ(GetLE16(cmd + 11), 0u);  // stripeLines
    EXPECT_EQ(GetLE32(cmd + 13), 0u);  // compressedSize
    EXPECT_EQ(info.compressedSize, 0u);

    const size_t stride = (info.lineBits + 7) / 8;
    size_t pos = 27;
    uint32_t lastChecksum = 0;
    while (pos < out.size()) {
        if (out.size() - pos < size_t{kBandRecordLen}) {
            ADD_FAILURE() << "cut band record at " << pos;
            break;
        }
        const uint8_t* rec = out.data() + pos;
        EXPECT_EQ(rec[0], 0x0B);
        EXPECT_EQ(rec[1], 0x30);
        EXPECT_EQ(rec[2], 0x1A);
        EXPECT_EQ(Sum(rec, kBandRecordLen) & 0xFF, 0u);
        EXPECT_EQ(rec[3], 0);
        EXPECT_EQ(rec[5], 1);
        EXPECT_EQ(GetLE32(rec + 7), info.lineBits);
        const uint32_t lines = GetLE32(rec + 11);
        EXPECT_EQ(GetLE32(rec + 15), lines);  // L0 = YD
        EXPECT_EQ(rec[21], 3);
        EXPECT_EQ(rec[22], 0x58);
        const uint32_t length = GetLE32(rec + 23);
        EXPECT_EQ(GetLE32(rec + 27), length);
        EXPECT_EQ(GetLE32(rec + 31), 0u);
        const uint32_t first = GetLE32(rec + 35);
        EXPECT_EQ(GetLE32(rec + 39), 3u);
        EXPECT_EQ(GetLE32(rec + 43), 0u);
        pos += kBandRecordLen;
        if (out.size() - pos < length) {
            ADD_FAILURE() << "band data cut at " << pos;
            break;
        }
        Band band{lines, first, Bytes(out.begin() + pos, out.begin() + pos + length)};
        pos += length;
        EXPECT_EQ(first, bands.size() * 256);
        if (first + lines <= info.lineCount)
            ExpectImage(band.data.data(), length, info.lineBits, lines, expected + first * stride);
        lastChecksum = RunChecksum(band.data.data(), length);
        bands.push_back(std::move(band));
    }
    EXPECT_EQ(info.imageChecksum, lastChecksum);
    return bands;
}

// Platform 3: the JBIG-parameter block, data blocks, the end block. Returns
// the chunk sizes.
std::vector<size_t> CheckPlatform3(const Sent& sent, const PageDataInfo& info, const uint8_t* expected)
{
    std::vector<size_t> chunks;
    EXPECT_EQ(sent.result, 1);
    const Bytes& out = sent.out;
    if (out.size() < 36 + 16 + 16) {
        ADD_FAILURE() << "stream too short: " << out.size();
        return chunks;
    }
    EXPECT_EQ(ToHex(Bytes(out.begin(), out.begin() + 16)), "00 00 00 24 00 00 00 04 00 00 00 00 00 00 5A 5A");
    const uint8_t* bih = out.data() + 16;
    EXPECT_EQ(bih[0], 0);
    EXPECT_EQ(bih[2], 1);
    EXPECT_EQ(GetBE32(bih + 4), info.lineBits);
    EXPECT_EQ(GetBE32(bih + 8), info.lineCount);
    EXPECT_EQ(GetBE32(bih + 12), 256u);
    EXPECT_EQ(bih[16], 0);
    EXPECT_EQ(bih[18], 3);
    EXPECT_EQ(bih[19], 0x5C);

    Bytes data;
    size_t pos = 36;
    bool ended = false;
    while (pos + 16 <= out.size() && !ended) {
        const uint8_t* h = out.data() + pos;
        const uint32_t total = GetBE32(h);
        const uint32_t type = GetBE32(h + 4);
        EXPECT_EQ(GetBE32(h + 8), 0u);
        EXPECT_EQ(GetBE16(h + 12), 0u);
        EXPECT_EQ(GetBE16(h + 14), 0x5A5Au);
        pos += 16;
        if (type == 6) {
            EXPECT_EQ(total, 16u);
            ended = true;
            break;
        }
        EXPECT_EQ(type, 5u);
        if (total < 16 || out.size() - pos < total - 16) {
            ADD_FAILURE() << "bad data block at " << pos;
            return chunks;
        }
        data.insert(data.end(), out.begin() + pos, out.begin() + pos + (total - 16));
        chunks.push_back(total - 16);
        pos += total - 16;
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(pos, out.size());
    for (size_t i = 0; i + 1 < chunks.size(); ++i)
        EXPECT_EQ(chunks[i], 65536u);
    EXPECT_EQ(info.compressedSize, data.size());
    // The block announces exactly the header the image itself starts with.
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 20), Bytes(bih, bih + 20));
    ExpectImage(data.data(), data.size(), info.lineBits, info.lineCount, expected);
    return chunks;
}


// Lets a captured stream take only its first limit bytes; later writes fail.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = saved_;
        lower.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, savedHandler_);
    }

private:
    rlimit saved_{};
    void (*savedHandler_)(int) = SIG_DFL;
};

class PageData : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestSink();
    }
    void TearDown() override { jbigOutRealloc = std::realloc; }
};

TEST_F(PageData, Platform1IsOneImageBehindCmdRasterImage)
{
    struct Case {
        uint32_t lineBits, lines, stripe;
        int kind;  // 0 text, 1 white, 2 black
    };
    for (const Case c : {Case{2400, 1400, 768, 0}, Case{1200, 999, 384, 0}, Case{4736, 100, 768, 1},
                         Case{640, 800, 384, 2}}) {
        SCOPED_TRACE(testing::Message() << c.lineBits << "x" << c.lines << " kind " << c.kind);
        Bytes bm = c.kind == 0 ? TextLike(c.lineBits, c.lines, c.lines)
                               : Bytes(c.lineBits / 8 * c.lines, c.kind == 1 ? 0x00 : 0xFF);
        PageDataInfo info = PageFor(bm, c.lineBits, c.lines, 1, c.stripe);
        CheckPlatform1(Send(info, 1), info, bm.data());
    }
}

TEST_F(PageData, Platform2CutsBandsOf256Lines)
{
    struct Case {
        uint32_t lineBits, lines;
        std::vector<uint32_t> bandLines;
    };
    std::vector<uint32_t> a4(27, 256);
    a4.push_back(104);
    for (const Case& c : {Case{512, 7016, a4}, Case{256, 512, {256, 256}}, Case{4864, 300, {256, 44}},
                          Case{64, 1, {1}}}) {
        SCOPED_TRACE(testing::Message() << c.lineBits << "x" << c.lines);
        Bytes bm = TextLike(c.lineBits, c.lines, 7);
        PageDataInfo info = PageFor(bm, c.lineBits, c.lines, 2);
        info.dotCount = 1234567;
        std::vector<Band> bands = CheckPlatform2(Send(info, 2), info, bm.data());
        ASSERT_EQ(bands.size(), c.bandLines.size());
        for (size_t i = 0; i < bands.size(); ++i)
            EXPECT_EQ(bands[i].lines, c.bandLines[i]) << "band " << i;
    }
    // White and black pages take the same path; the last band starts at 6912.
    for (uint8_t fill : {uint8_t{0x00}, uint8_t{0xFF}}) {
        Bytes bm(1024 / 8 * 7016, fill);
        PageDataInfo info = PageFor(bm, 1024, 7016, 2);
        std::vector<Band> bands = CheckPlatform2(Send(info, 2), info, bm.data());
        ASSERT_EQ(bands.size(), 28u);
        EXPECT_EQ(bands.back().firstLine, 6912u);
        EXPECT_EQ(bands.back().lines, 104u);
    }
}

TEST_F(PageData, Platform3CarriesTheImageInBlocks)
{
    // A text page fits one block; noise needs several and a short last one.
    Bytes text = TextLike(2400, 3000, 3);
    PageDataInfo info = PageFor(text, 2400, 3000, 3);
    EXPECT_EQ(CheckPlatform3(Send(info, 3), info, text.data()).size(), 1u);

    Bytes noise = Noise(1024 / 8 * 1200, 5);
    info = PageFor(noise, 1024, 1200, 3);
    std::vector<size_t> chunks = CheckPlatform3(Send(info, 3), info, noise.data());
    EXPECT_GE(chunks.size(), 3u);

    // Two bits per pixel: the image is simply twice as wide.
    Bytes twoBit = TextLike(2 * 1600, 700, 11);
    info = PageFor(twoBit, 2 * 1600, 700, 3);
    CheckPlatform3(Send(info, 3), info, twoBit.data());
}

TEST_F(PageData, DataBlocksHoldAtMost64KiB)
{
    struct Case {
        size_t size;
        std::vector<uint32_t> totals;
    };
    for (const Case& c : {Case{65536, {65552}}, Case{70000, {65552, 4480}}, Case{5, {21}},
                          Case{2 * 65536 + 1, {65552, 65552, 17}}}) {
        SCOPED_TRACE(c.size);
        Bytes data = Noise(c.size, 1);
        StdoutCapture capture;
        ASSERT_EQ(SendJbigDataBlocks(TestSink(), data.data(), data.size()), 1);
        Bytes out = capture.Bytes();
        Bytes joined;
        size_t pos = 0;
        for (uint32_t total : c.totals) {
            ASSERT_LE(pos + total, out.size());
            EXPECT_EQ(GetBE32(out.data() + pos), total);
            EXPECT_EQ(GetBE32(out.data() + pos + 4), 5u);
            joined.insert(joined.end(), out.begin() + pos + 16, out.begin() + pos + total);
            pos += total;
        }
        EXPECT_EQ(ToHex(Bytes(out.begin() + pos, out.end())), "00 00 00 10 00 00 00 06 00 00 00 00 00 00 5A 5A");
        EXPECT_EQ(joined, data);
    }
}

TEST_F(PageData, OutputLargerThanThePageIsKeptWhole)
{
    // One byte of page against a 20-byte header, and noise that grows the
    // output buffer many times; the bitmaps are exactly as large as the page,
    // so the sanitizer build sees any read past them.
    for (int platform : {1, 2, 3}) {
        SCOPED_TRACE(platform);
        auto tiny = std::make_unique<uint8_t[]>(1);
        tiny[0] = 0xA5;
        Bytes tinyCopy{0xA5};
        PageDataInfo info = PageFor(tinyCopy, 8, 1, platform);
        info.bitmap = tiny.get();
        Sent sent = Send(info, platform);
        if (platform == 1)
            CheckPlatform1(sent, info, tiny.get());
        else if (platform == 2)
            EXPECT_EQ(CheckPlatform2(sent, info, tiny.get()).size(), 1u);
        else
            CheckPlatform3(sent, info, tiny.get());

        Bytes noise = Noise(2048 / 8 * 1500, platform);
        info = PageFor(noise, 2048, 1500, platform);
        sent = Send(info, platform);
        EXPECT_GT(sent.out.size(), noise.size());
        if (platform == 1)
            CheckPlatform1(sent, info, noise.data());
        else if (platform == 2)
            EXPECT_EQ(CheckPlatform2(sent, info, noise.data()).size(), 6u);
        else
            CheckPlatform3(sent, info, noise.data());
    }
}

TEST_F(PageData, LinesOffByteBoundariesAreLaidOutPerLine)
{
    // 12-bit lines packed back to back; the last half byte of the 5th line
    // is beyond the 7-byte bitmap and reads as white.
    const uint32_t lineBits = 12, lines = 5;
    Bytes bm = Noise(lineBits * lines / 8, 9);
    Bytes rows(2 * lines, 0);
    for (uint32_t bit = 0; bit < bm.size() * 8; ++bit) {
        if ((bm[bit / 8] >> (7 - bit % 8)) & 1) {
            const uint32_t y = bit / lineBits, x = bit % lineBits;
            rows[y * 2 + x / 8] |= 0x80 >> (x % 8);
        }
    }
    for (int platform : {1, 2, 3}) {
        SCOPED_TRACE(platform);
        auto exact = std::make_unique<uint8_t[]>(bm.size());
        std::memcpy(exact.get(), bm.data(), bm.size());
        PageDataInfo info = PageFor(bm, lineBits, lines, platform);
        info.bitmap = exact.get();
        Sent sent = Send(info, platform);
        if (platform == 1)
            CheckPlatform1(sent, info, rows.data());
        else if (platform == 2)
            CheckPlatform2(sent, info, rows.data());
        else
            CheckPlatform3(sent, info, rows.data());
    }
}

TEST_F(PageData, ThePageBitmapIsOnlyRead)
{
    Bytes bm = TextLike(1600, 600, 2);
    const Bytes before = bm;
    for (int platform : {1, 2, 3}) {
        PageDataInfo info = PageFor(bm, 1600, 600, platform);
        EXPECT_EQ(Send(info, platform).result, 1);
        EXPECT_EQ(bm, before) << platform;
    }
}

TEST_F(PageData, UnusablePagesAreRefused)
{
    Bytes bm(100, 0);
    PageDataInfo info = PageFor(bm, 80, 10, 1);
    for (int platform : {0, 4, -1}) {
        Sent sent = Send(info, platform);
        EXPECT_EQ(sent.result, 0);
        EXPECT_TRUE(sent.out.empty());
        EXPECT_STREQ(TestSink().errMsg, "");
    }
    info.bitmap = nullptr;
    Sent sent = Send(info, 2);
    EXPECT_EQ(sent.result, 0);
    EXPECT_TRUE(sent.out.empty());
    EXPECT_STREQ(TestSink().errMsg, "Prnt_SendPage() :: empty page bitmap .  \n");

    info = PageFor(bm, 80, 0, 3);
    EXPECT_EQ(Send(info, 3).out.size(), 0u);
    info = PageFor(bm, 0, 10, 1);
    EXPECT_EQ(Send(info, 1).out.size(), 0u);
}

TEST_F(PageData, FailedSendsNameTheirPiece)
{
    Bytes bm = TextLike(800, 300, 4);
    const char* rasterFail = "Prnt_SendPage() :: send cmdRasterImage Fail .  \n";
    const char* dataFail = "Prnt_SendPage() :: Send compressed data and cmd fail.  \n";

    // A full device takes nothing: the first piece of each platform fails.
    {
        const int full = open("/dev/full", O_WRONLY);
        ASSERT_GE(full, 0);
        const char* first[] = {nullptr, rasterFail, "Prnt_EndPage() :: send cmdCoverage Fail 0 ==  \n",
                               "Prnt_SendPage() :: send JBIG_PARAM_CMD Fail 0 ==  \n"};
        for (int platform : {1, 2, 3}) {
            SetErrMsg(TestSink(), "older\n");
            PageDataInfo info = PageFor(bm, 800, 300, platform);
            int result;
            {
                StdoutTo to(full);
                result = Prnt_SendPage(TestSink(), info, platform);
            }
            EXPECT_EQ(result, 0) << platform;
            EXPECT_EQ(std::string(TestSink().errMsg), std::string(first[platform]) + "older\n");
        }
        close(full);
    }

    // A reader that has gone away.
    {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        close(fds[0]);
        auto savedPipe = std::signal(SIGPIPE, SIG_IGN);
        SetErrMsg(TestSink(), "");
        PageDataInfo info = PageFor(bm, 800, 300, 1);
        int result;
        {
            StdoutTo to(fds[1]);
            result = Prnt_SendPage(TestSink(), info, 1);
        }
        std::signal(SIGPIPE, savedPipe);
        close(fds[1]);
        EXPECT_EQ(result, 0);
        EXPECT_STREQ(TestSink().errMsg, rasterFail);
    }

    // Later pieces: the stream takes the first limit bytes only.
    PageDataInfo probe = PageFor(bm, 800, 300, 3);
    const size_t p3Size = CheckPlatform3(Send(probe, 3), probe, bm.data()).at(0);
    struct Case {
        int platform;
        rlim_t limit;
        std::string text;
    };
    const Case cases[] = {
        {1, 18, dataFail},
        {2, 7, std::string(rasterFail) + "Insert00() :: Send 00 00 to file Fail0 ==  \n"},
        {2, 9, rasterFail},
        {2, 27, dataFail},
        {3, 36, "Prnt_SendPage() :: send JBIG_DATA_CMD Fail 0 ==  \n"},
        {3, 52, dataFail},
        {3, 52 + p3Size, "Prnt_SendPage() :: send JBIG_END_CMD Fail 0 ==  \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "platform " << c.platform << " limit " << c.limit);
        SetErrMsg(TestSink(), "");
        PageDataInfo info = PageFor(bm, 800, 300, c.platform);
        StdoutCapture capture;
        int result;
        {
            FileSizeLimit limit(c.limit);
            result = Prnt_SendPage(TestSink(), info, c.platform);
        }
        EXPECT_EQ(capture.Bytes().size(), c.limit);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(std::string(TestSink().errMsg), c.text);
    }
}

int reallocsLeft = 0;
void* FailingRealloc(void* block, size_t size)
{
    if (reallocsLeft-- <= 0)
        return nullptr;
    return std::realloc(block, size);
}

TEST_F(PageData, NoMemoryForTheOutputDropsThePage)
{
    // Fails the first buffer, then a later growth of it (noise outgrows the
    // first buffer on every platform), then the record room of a band.
    Bytes noise = Noise(2048 / 8 * 1500, 3);
    for (int platform : {1, 2, 3}) {
        for (int allowed : {0, 1, 2}) {
            SCOPED_TRACE(testing::Message() << "platform " << platform << " allowed " << allowed);
            SetErrMsg(TestSink(), "");
            reallocsLeft = allowed;
            jbigOutRealloc = FailingRealloc;
            PageDataInfo info = PageFor(noise, 2048, 1500, platform);
            Sent sent = Send(info, platform);
            jbigOutRealloc = std::realloc;
            EXPECT_EQ(sent.result, 0);
            EXPECT_TRUE(sent.out.empty());
            EXPECT_STREQ(TestSink().errMsg, "Prnt_SendPage() :: malloc Fail .  \n");
        }
    }
    // Memory back: the next page goes out as usual.
    PageDataInfo info = PageFor(noise, 2048, 1500, 1);
    CheckPlatform1(Send(info, 1), info, noise.data());
}

}  // namespace
