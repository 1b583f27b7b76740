#include "test_streams.h"

extern "C" {
#include <jbig.h>
}

#include <bit>
#include <cstring>
#include <random>

#include "stream/byte_order.h"

namespace {

const std::string kUel = "\x1B%-12345X";
const std::string kEndOfJob = "\x1B%-12345X@PJL\r\n@PJL EOJ\r\n\x1B%-12345X\r\n";

void Append(Bytes& out, const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); }
void Append(Bytes& out, const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); }
void Append(Bytes& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }
void Zeros(Bytes& out) { out.insert(out.end(), {0, 0}); }

void Collect(unsigned char* data, size_t len, void* file)
{
    auto* out = static_cast<Bytes*>(file);
    out->insert(out->end(), data, data + len);
}

}  // namespace

uint64_t TestImage::SetBits() const
{
    uint64_t n = 0;
    for (uint8_t b : bits)
        n += std::popcount(b);
    return n;
}

TestImage PatternImage(uint32_t lineBits, uint32_t lines, uint32_t seed)
{
    TestImage img{lineBits, lines, Bytes(lineBits / 8 * lines, 0)};
    std::mt19937 rng(seed);
    const size_t row = lineBits / 8;
    for (uint32_t y = 0; y < lines; ++y)
        for (size_t x = 0; x < row; ++x) {
            uint8_t v = 0;
            if ((y / 7 + seed) % 3 == 0)
                v = 0xF0;
            if (x % 5 == (y + seed) % 5)
                v |= 0x0F;
            if (rng() % 17 == 0)
                v ^= static_cast<uint8_t>(rng());
            img.bits[y * row + x] = v;
        }
    return img;
}

TestImage NoiseImage(uint32_t lineBits, uint32_t lines, uint32_t seed)
{
    TestImage img{lineBits, lines, Bytes(lineBits / 8 * lines)};
    std::mt19937 rng(seed);
    for (uint8_t& b : img.bits)
        b = static_cast<uint8_t>(rng());
    return img;
}

Bytes JbigEncode(const uint8_t* bits, const JbigParams& p)
{
    Bytes out;
    Bytes copy(bits, bits + (p.XD + 7) / 8 * p.YD);
    unsigned char* planes[1] = {copy.data()};
    jbg_enc_state s;
    jbg_enc_init(&s, p.XD, p.YD, 1, planes, Collect, &out);
    jbg_enc_layers(&s, 0);
    jbg_enc_lrange(&s, p.DL, -1);
    jbg_enc_options(&s, p.order, p.options, p.L0, p.MX, p.MY);
    jbg_enc_out(&s);
    jbg_enc_free(&s);
    return out;
}

TestPage MakePage(int platform, const TestImage& image, uint16_t pageNumber)
{
    TestPage page;
    PageSetup& s = page.setup;
    s.paperCode = 4;
    s.xResolution = s.yResolution = platform == 3 ? 600 : 60;
    s.inputTray = 1;
    s.copies = 1;
    s.pageNumber = pageNumber;
    s.imageWidth = static_cast<uint16_t>(image.lineBits);
    s.imageHeight = static_cast<uint16_t>(image.lines);
    s.density = 2;
    page.image = image;
    page.dots = static_cast<uint32_t>(image.SetBits());
    return page;
}

Bytes DocStart(const TestJob& job)
{
    Bytes out;
    DocStartInfo info{};
    info.jobId = job.jobId;
    info.duplexBits = job.machineDuplex ? 0x20 : 0;
    info.platformBits = job.platform == 3 ? 0 : 0x10;
    info.density = job.density;
    uint8_t buf[kTonerParamBlockLen];
    switch (job.platform) {
    case 1:
        Append(out, UEL_CMD_C, sizeof UEL_CMD_C);
        Append(out, abortCmd, sizeof abortCmd);
        Append(out, kEndOfJob);
        Append(out, std::string("versions=3.1.2.1"));
        Zeros(out);
        Append(out, kUel + "@PJL\r\n" + "@PJL ENTER LANGUAGE=PL\r\n");
        Zeros(out);
        BuildCmdJobSpecP1(buf, info);
        Append(out, buf, kCmdJobSpecLenP1);
        Zeros(out);
        BuildCmdTonerSave(buf, 0);
        Append(out, buf, kCmdTonerSaveLen);
        Zeros(out);
        BuildCmdDensity(buf, job.density);
        Append(out, buf, kCmdDensityLen);
        {
            std::tm day{};
            day.tm_year = 2026 - 1900;
            day.tm_mon = 11;
            day.tm_mday = 7;
            BuildCmdSysTimeAt(buf, day);
        }
        Append(out, buf, kCmdSysTimeLen);
        break;
    case 2:
        Append(out, kUel + "@PJL\r\n");
        if (job.model == "Norvane R01 Series")
            Append(out, std::string("@PJL LANGUAGEVERSION=1.0\r\n"));
        Append(out, std::string("@PJL JOBTIME=05:14:07:12:2026\r\n@PJL JOBOWNER=box\r\n"
                                "@PJL ENTER LANGUAGE=PL\r\n"));
        Zeros(out);
        BuildCmdJobSpecP2(buf, info);
        Append(out, buf, kCmdJobSpecLenP2);
        Zeros(out);
        BuildCmdDensity(buf, job.density);
        Append(out, buf, kCmdDensityLen);
        Zeros(out);
        if (job.model == "Norvane R01 Series")
            Append(out, cmdTonerParamR01ForR01, sizeof cmdTonerParamR01ForR01);
        else if (job.model == "Norvane R02 Series")
            Append(out, cmdTonerParamR01ForR02, sizeof cmdTonerParamR01ForR02);
        break;
    default:
        Append(out, kUel + "JZJZ");
        BuildTonerParamBlock(buf);
        Append(out, buf, kTonerParamBlockLen);
        BuildBlockHeader(buf, 52, kBlockDocStart, 3, 36);
        Append(out, buf, kBlockHeaderLen);
        for (uint16_t id = 0; id < 3; ++id) {
            BuildParamRecord(buf, id, id == 2 ? 1 : 0);
            Append(out, buf, kParamRecordLen);
        }
        break;
    }
    return out;
}

Bytes DocEnd(const TestJob& job, int pageCount)
{
    Bytes out;
    uint8_t buf[kBlockHeaderLen];
    if (job.platform == 3) {
        BuildBlockHeader(buf, 16, kBlockDocEnd, 0, 0);
        Append(out, buf, kBlockHeaderLen);
        Append(out, kUel);
        return out;
    }
    if (job.platform == 1) {
        if (job.machineDuplex && pageCount % 2) {
            Zeros(out);
            Append(out, machineDuplexCmd, sizeof machineDuplexCmd);
        }
        Zeros(out);
        Append(out, queryStatusCmd, sizeof queryStatusCmd);
        Zeros(out);
    }
    Append(out, resetCmd, sizeof resetCmd);
    Zeros(out);
    Append(out, kEndOfJob);
    return out;
}

Bytes PageStart(const TestPage& page, int platform)
{
    Bytes out;
    uint8_t buf[kBlockHeaderLen + 17 * kParamRecordLen];
    const PageSetup& s = page.setup;
    if (platform == 3) {
        const bool custom = s.paperCode == 0;
        const uint32_t n = custom ? 17 : 14;
        BuildBlockHeader(buf, 16 + 12 * n, kBlockPageStart, n, static_cast<uint16_t>(12 * n));
        Append(out, buf, kBlockHeaderLen);
        const uint32_t bpp = s.twoBitMode == 1 ? 2 : 1;
        std::vector<std::pair<uint16_t, uint32_t>> params = {{3, s.paperCode}};
        if (custom)
            params.insert(params.end(), {{26, 0}, {24, s.customWidth}, {25, s.customHeight}});
        params.insert(params.end(), {{4, s.copies},
                                     {5, s.inputTray},
                                     {6, s.mediaType},
                                     {7, 1},
                                     {8, s.xResolution},
                                     {9, s.yResolution},
                                     {22, 0},
                                     {12, s.imageWidth * bpp},
                                     {13, s.imageHeight},
                                     {16, bpp},
                                     {17, s.imageWidth},
                                     {18, s.imageHeight},
                                     {0xFF00, s.density}});
        for (auto [id, value] : params) {
            BuildParamRecord(buf, id, value);
            Append(out, buf, kParamRecordLen);
        }
        return out;
    }
    Zeros(out);
    BuildCmdPageSpec(buf, s, platform);
    Append(out, buf, kCmdPageSpecLen);
    Zeros(out);
    BuildCmdCustomPaper(buf, s, platform);
    Append(out, buf, kCmdCustomPaperLen);
    Zeros(out);
    if (platform == 1) {
        Append(out, hostUseCmd, sizeof hostUseCmd);
        Zeros(out);
    }
    return out;
}

Bytes PageData(const TestPage& page, int platform)
{
    Bytes out;
    const TestImage& img = page.image;
    JbigParams p{};
    p.P = 1;
    p.XD = img.lineBits;
    p.YD = img.lines;
    PageDataInfo info{};
    info.rasterFlags[2] = 0x20;
    info.lineBits = static_cast<uint16_t>(img.lineBits);
    info.lineCount = static_cast<uint16_t>(img.lines);
    uint8_t buf[kBandRecordLen];
    if (platform == 1) {
        p.L0 = 768;
        p.MX = 8;
        p.options = 0x08;
        const Bytes data = JbigEncode(img.bits.data(), p);
        info.widthPixels = static_cast<uint16_t>(img.lineBits);
        info.stripeLines = 768;
        info.compressedSize = static_cast<uint32_t>(data.size());
        BuildCmdRasterImage(buf, info);
        Append(out, buf, kCmdRasterImageLen);
        Append(out, data);
    } else if (platform == 2) {
        BuildCmdCoveragePageData(buf, page.dots);
        Append(out, buf, kCmdCoveragePageDataLen);
        Zeros(out);
        BuildCmdRasterImage(buf, info);
        Append(out, buf, kCmdRasterImageLen);
        p.DL = 255;
        p.order = 3;
        p.options = 0x58;
        const size_t bandBytes = img.lineBits / 8 * 256;
        for (uint32_t first = 0; first < img.lines; first += 256) {
            const uint32_t lines = std::min<uint32_t>(256, img.lines - first);
            p.YD = p.L0 = lines;
            const Bytes data = JbigEncode(img.bits.data() + first / 256 * bandBytes, p);
            BuildBandRecord(buf, img.lineBits, lines, static_cast<uint32_t>(data.size()), first);
            Append(out, buf, kBandRecordLen);
            Append(out, data);
        }
    } else {
        p.L0 = 256;
        p.order = 3;
        p.options = 0x5C;
        const Bytes data = JbigEncode(img.bits.data(), p);
        uint8_t block[kJbigParamBlockLen];
        BuildJbigParamBlock(block, p);
        Append(out, block, kJbigParamBlockLen);
        for (size_t at = 0; at < data.size(); at += 65536) {
            const size_t n = std::min<size_t>(65536, data.size() - at);
            BuildBlockHeader(block, static_cast<uint32_t>(n + 16), kBlockJbigData, 0, 0);
            Append(out, block, kBlockHeaderLen);
            Append(out, data.data() + at, n);
        }
        BuildBlockHeader(block, 16, kBlockJbigEnd, 0, 0);
        Append(out, block, kBlockHeaderLen);
    }
    return out;
}

Bytes PageEnd(const TestPage& page, const TestJob& job)
{
    Bytes out;
    uint8_t buf[kBlockHeaderLen];
    if (job.platform == 3) {
        BuildBlockHeader(buf, 16, kBlockPageEnd, 0, 0);
        Append(out, buf, kBlockHeaderLen);
        return out;
    }
    if (job.platform == 1) {
        // The checksum covers the page's JBIG data and UEL_CMD_C.
        const Bytes data = PageData(page, 1);
        unsigned sum = 0;
        for (size_t i = kCmdRasterImageLen; i < data.size(); ++i)
            sum += data[i];
        for (uint8_t b : UEL_CMD_C)
            sum += b;
        Append(out, UEL_CMD_C, sizeof UEL_CMD_C);
        Zeros(out);
        BuildCmdImageDataChenksum(buf, sum & 0xFF);
        Append(out, buf, kCmdImageDataChenksumLen);
        Zeros(out);
        PageEndInfo end{};
        end.pageNumber = page.setup.pageNumber;
        end.machineDuplex = job.machineDuplex;
        end.xResolution = 600;
        end.pageWidthMm = 210;
        end.tonerLevel = 2;
        BuildCmdCoveragePageEnd(buf, page.dots, end);
        Append(out, buf, kCmdCoveragePageEndLen);
    }
    Zeros(out);
    Append(out, formFeedCmd, sizeof formFeedCmd);
    if (job.platform == 1 && job.machineDuplex && page.setup.pageNumber % 2) {
        Zeros(out);
        Append(out, machineDuplexCmd, sizeof machineDuplexCmd);
    }
    return out;
}

Bytes ManualDuplexPause(int platform)
{
    Bytes out;
    if (platform == 1)
        Append(out, manualDuplexCmdP1, sizeof manualDuplexCmdP1);
    else if (platform == 2)
        Append(out, manualDuplexCmdP2, sizeof manualDuplexCmdP2);
    else {
        uint8_t buf[kBlockHeaderLen];
        BuildBlockHeader(buf, 16, kBlockManualDuplex, 0, 0);
        Append(out, buf, kBlockHeaderLen);
    }
    return out;
}

Bytes BuildStream(const TestJob& job, const std::vector<TestPage>& pages)
{
    Bytes out = DocStart(job);
    for (const TestPage& page : pages) {
        Append(out, PageStart(page, job.platform));
        Append(out, PageData(page, job.platform));
        Append(out, PageEnd(page, job));
    }
    Append(out, DocEnd(job, static_cast<int>(pages.size())));
    return out;
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        Append(out, p);
    return out;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

size_t Find(const Bytes& haystack, const Bytes& needle, size_t from)
{
    if (needle.empty() || haystack.size() < needle.size())
        return std::string::npos;
    for (size_t i = from; i + needle.size() <= haystack.size(); ++i)
        if (std::memcmp(haystack.data() + i, needle.data(), needle.size()) == 0)
            return i;
    return std::string::npos;
}
