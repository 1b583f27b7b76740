#include "stream/packets.h"

#include <cstring>

#include "stream/byte_order.h"

namespace {

// Writes the packet head (mark, length, opcode) and zeroes the rest.
void StartPacket(uint8_t* out, int length, uint8_t opcode)
{
    std::memset(out, 0, static_cast<size_t>(length));
    out[0] = 0x0B;
    out[1] = static_cast<uint8_t>(length);
    out[2] = opcode;
}

int FinishPacket(uint8_t* out, int length)
{
    out[length - 1] = PacketChecksum(out, length - 1);
    return 1;
}

const uint16_t kTonerParamValues[36] = {
    0,   81,  115, 110, 150, 122, 100, 150, 200, 100, 81,  100,
    100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100,
    120, 135, 150, 180, 200, 120, 150, 190, 350, 400, 100, 100,
};

}  // namespace

uint8_t PacketChecksum(const uint8_t* bytes, int count)
{
    if (count <= 0)
        return 0;
    unsigned sum = 0;
    for (int i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<uint8_t>(0x100 - (sum & 0xFF));
}

const uint8_t cmdTonerParamR01ForR01[36] = {
    0x0B, 0x24, 0x1E, 0x00, 0x1E, 0x24, 0x26, 0x2F, 0x50, 0x06, 0x20, 0x20,
    0x20, 0x28, 0x2C, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x0A, 0x00, 0xC8,
};

const uint8_t cmdTonerParamR01ForR02[40] = {
    0x0B, 0x28, 0x1E, 0x00, 0x17, 0x26, 0x00, 0x30, 0x40, 0x20, 0x17, 0x20,
    0x20, 0x00, 0x00, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x08, 0x0A, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x59,
};

uint8_t JobFlags(const DocStartInfo& info)
{
    uint8_t flags = info.duplexBits | info.platformBits;
    if (info.specBit80)
        flags |= 0x80;
    if (info.specBit08)
        flags |= 0x08;
    if (info.specBit04)
        flags |= 0x04;
    if (info.specBit02)
        flags |= 0x02;
    if (info.specBit01)
        flags |= 0x01;
    return flags;
}

int BuildCmdJobSpecP2(uint8_t* out, const DocStartInfo& info)
{
    StartPacket(out, kCmdJobSpecLenP2, 0x11);
    out[3] = JobFlags(info);
    PutLE32(out + 4, static_cast<uint32_t>(info.jobId));
    return FinishPacket(out, kCmdJobSpecLenP2);
}

int BuildCmdJobSpecP1(uint8_t* out, const DocStartInfo& info)
{
    StartPacket(out, kCmdJobSpecLenP1, 0x11);
    out[3] = static_cast<uint8_t>(info.jobId);
    out[4] = JobFlags(info);
    return FinishPacket(out, kCmdJobSpecLenP1);
}

int BuildCmdDensity(uint8_t* out, uint8_t density)
{
    StartPacket(out, kCmdDensityLen, 0x15);
    out[3] = density;
    return FinishPacket(out, kCmdDensityLen);
}

int BuildCmdTonerSave(uint8_t* out, int32_t tonerSave)
{
    StartPacket(out, kCmdTonerSaveLen, 0x19);
    out[3] = static_cast<uint8_t>(tonerSave);
    return FinishPacket(out, kCmdTonerSaveLen);
}

int BuildCmdSysTimeAt(uint8_t* out, const std::tm& t)
{
    if (out == nullptr)
        return 0;
    StartPacket(out, kCmdSysTimeLen, 0x1F);
    PutLE16(out + 3, static_cast<uint32_t>(t.tm_year + 1900));
    out[5] = static_cast<uint8_t>(t.tm_mon + 1);
    out[6] = static_cast<uint8_t>(t.tm_mday);
    return FinishPacket(out, kCmdSysTimeLen);
}

int BuildCmdSysTime(uint8_t* out)
{
    if (out == nullptr)
        return 0;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return BuildCmdSysTimeAt(out, local);
}

int BuildCmdPageSpec(uint8_t* out, const PageSetup& s, int platform)
{
    StartPacket(out, kCmdPageSpecLen, 0x12);
    out[3] = static_cast<uint8_t>(s.paperCode);
    out[4] = static_cast<uint8_t>(s.mediaType);
    out[5] = static_cast<uint8_t>(s.xResolution);
    out[6] = static_cast<uint8_t>(s.yResolution);
    out[7] = static_cast<uint8_t>(s.inputTray);
    out[8] = platform == 2 ? 0 : static_cast<uint8_t>(s.optionFlags1 | s.feedFlags | s.optionFlags2);
    PutLE16(out + 9, s.copies);
    PutLE16(out + 11, s.offsetX);
    PutLE16(out + 13, s.offsetY);
    PutLE16(out + 15, s.pageNumber);
    return FinishPacket(out, kCmdPageSpecLen);
}

int BuildCmdCustomPaper(uint8_t* out, const PageSetup& s, int platform)
{
    StartPacket(out, kCmdCustomPaperLen, 0x13);
    bool custom = (platform == 1 && s.paperCode == 0xFF) || (platform == 2 && s.paperCode == 0);
    if (custom) {
        PutLE16(out + 3, s.customWidth);
        PutLE16(out + 5, s.customHeight);
        PutLE16(out + 7, s.imageWidth);
        PutLE16(out + 9, s.imageHeight);
    }
    return FinishPacket(out, kCmdCustomPaperLen);
}

int BuildCmdRasterImage(uint8_t* out, const PageDataInfo& info)
{
    StartPacket(out, kCmdRasterImageLen, 0x0C);
    out[3] = info.rasterMode;
    out[4] = info.rasterFlags[0] | info.rasterFlags[1] | info.rasterFlags[2];
    PutLE16(out + 5, info.lineBits);
    PutLE16(out + 7, info.lineCount);
    PutLE16(out + 9, info.widthPixels);
    PutLE16(out + 11, info.stripeLines);
    PutLE32(out + 13, info.compressedSize);
    return FinishPacket(out, kCmdRasterImageLen);
}

int BuildCmdImageDataChenksum(uint8_t* out, uint32_t checksum)
{
    StartPacket(out, kCmdImageDataChenksumLen, 0x1A);
    PutLE16(out + 3, checksum);
    return FinishPacket(out, kCmdImageDataChenksumLen);
}

uint16_t CoverageValue(uint32_t dots, const PageEndInfo& info)
{
    // The printer's tables use the single-precision factors 0.7 and 1.2.
    const double r = info.xResolution == 1200 ? 0.25 : 1.0;
    double t = 1.0;
    if (info.tonerLevel == 0 || info.tonerLevel == 1)
        t = static_cast<double>(0.7f);
    else if (info.tonerLevel == 3 || info.tonerLevel == 4)
        t = static_cast<double>(1.2f);
    double w = 1.0;
    if (info.pageWidthMm >= 126 && info.pageWidthMm <= 174)
        w = 1.5;
    else if (info.pageWidthMm <= 124)
        w = 2.0;
    const double coverage = static_cast<double>(dots) * r * t * w / 1000.0;
    return static_cast<uint16_t>(static_cast<int64_t>(coverage));
}

int BuildCmdCoveragePageEnd(uint8_t* out, uint32_t dots, PageEndInfo& info)
{
    info.coverage = CoverageValue(dots, info);
    StartPacket(out, kCmdCoveragePageEndLen, 0x1E);
    PutLE16(out + 3, info.coverage);
    return FinishPacket(out, kCmdCoveragePageEndLen);
}

int BuildCmdCoveragePageData(uint8_t* out, uint32_t dots)
{
    const uint32_t q = dots / 1000;
    StartPacket(out, kCmdCoveragePageDataLen, 0x19);
    out[3] = q & 0x3F;
    out[4] = (q >> 6) & 0x3F;
    out[5] = (q >> 12) & 0x0F;
    return FinishPacket(out, kCmdCoveragePageDataLen);
}

int BuildBandRecord(uint8_t* out, uint32_t lineBits, uint32_t bandLines,
                    uint32_t compressedLength, uint32_t firstLine)
{
    StartPacket(out, kBandRecordLen, 0x1A);
    out[5] = 1;  // planes
    PutLE32(out + 7, lineBits);
    PutLE32(out + 11, bandLines);
    PutLE32(out + 15, bandLines);
    out[21] = 3;     // interleaved order
    out[22] = 0x58;  // LRLTWO, TPDON, TPBON
    PutLE32(out + 23, compressedLength);
    PutLE32(out + 27, compressedLength);
    PutLE32(out + 35, firstLine);
    PutLE32(out + 39, 3);
    return FinishPacket(out, kBandRecordLen);
}

int BuildBlockHeader(uint8_t* out, uint32_t totalLength, uint32_t blockType,
                     uint32_t paramCount, uint16_t paramBytes, uint16_t magic)
{
    PutBE32(out, totalLength);
    PutBE32(out + 4, blockType);
    PutBE32(out + 8, paramCount);
    PutBE16(out + 12, paramBytes);
    PutBE16(out + 14, magic);
    return 1;
}

int BuildParamRecord(uint8_t* out, uint16_t paramId, uint32_t value)
{
    PutBE32(out, kParamRecordLen);
    PutBE16(out + 4, paramId);
    out[6] = 1;  // value kind
    out[7] = 0;
    PutBE32(out + 8, value);
    return 1;
}

int BuildTonerParamBlock(uint8_t* out)
{
    BuildBlockHeader(out, kTonerParamBlockLen, kBlockTonerParams, 0, 0);
    for (int i = 0; i < 36; ++i)
        PutBE16(out + kBlockHeaderLen + 2 * i, kTonerParamValues[i]);
    return 1;
}

int BuildJbigParamBlock(uint8_t* out, const JbigParams& p)
{
    BuildBlockHeader(out, kJbigParamBlockLen, kBlockJbigParams, 0, 0);
    uint8_t* bih = out + kBlockHeaderLen;
    bih[0] = p.DL;
    bih[1] = p.D;
    bih[2] = p.P;
    bih[3] = p.fill;
    PutBE32(bih + 4, p.XD);
    PutBE32(bih + 8, p.YD);
    PutBE32(bih + 12, p.L0);
    bih[16] = p.MX;
    bih[17] = p.MY;
    bih[18] = p.order;
    bih[19] = p.options;
    return 1;
}
