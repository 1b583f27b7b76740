#include "stream/page_data.h"

#include <cstdlib>

extern "C" {
#include <jbig.h>
}

#include "stream/jbig_compress.h"
#include "stream/output_sink.h"

namespace {

const char kMallocFail[] = "Prnt_SendPage() :: malloc Fail .  \n";
const char kDataFail[] = "Prnt_SendPage() :: Send compressed data and cmd fail.  \n";

// The sink takes an int length; a page beyond that goes out in pieces.
int SendBytes(StreamSink& sink, const uint8_t* data, size_t size)
{
    constexpr size_t kMaxSend = size_t{1} << 30;
    do {
        const size_t n = size < kMaxSend ? size : kMaxSend;
        if (!SendDataToFile(sink, data, static_cast<int>(n), 1))
            return 0;
        data += n;
        size -= n;
    } while (size > 0);
    return 1;
}

// The encoder wants every line to start on a byte. Lines whose width is not
// a multiple of 8 bits arrive packed back to back; lay them out one per
// byte-aligned row (bits beyond the end of the bitmap stay white).
uint8_t* AlignLines(const uint8_t* bitmap, uint32_t lineBits, uint32_t lineCount)
{
    const size_t stride = (lineBits + 7) / 8;
    auto* rows = static_cast<uint8_t*>(std::calloc(stride * lineCount, 1));
    if (rows == nullptr)
        return nullptr;
    const size_t bitsPresent = static_cast<size_t>(lineBits) * lineCount / 8 * 8;
    size_t bit = 0;
    for (uint32_t y = 0; y < lineCount; ++y) {
        uint8_t* row = rows + y * stride;
        for (uint32_t x = 0; x < lineBits && bit < bitsPresent; ++x, ++bit) {
            if ((bitmap[bit >> 3] >> (7 - (bit & 7))) & 1)
                row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
    }
    return rows;
}

// Text pages shrink some 10 to 50 times; the buffer grows when a page
// does not.
size_t FirstOutputSize(size_t pageBytes) { return pageBytes / 16 + 65536; }

int SendRasterImage(StreamSink& sink, const PageDataInfo& info)
{
    uint8_t cmd[kCmdRasterImageLen];
    BuildCmdRasterImage(cmd, info);
    if (SendDataToFile(sink, cmd, sizeof cmd, 1))
        return 1;
    PrependErrMsg(sink, "Prnt_SendPage() :: send cmdRasterImage Fail .  \n");
    return 0;
}

// Platform 1's whole page data, and the tail of platform 2's.
int SendRasterImageAndData(StreamSink& sink, const PageDataInfo& info, const JbigOutput& out)
{
    if (!SendRasterImage(sink, info))
        return 0;
    if (SendBytes(sink, out.data, out.length))
        return 1;
    PrependErrMsg(sink, kDataFail);
    return 0;
}

int SendPlatform2(StreamSink& sink, const PageDataInfo& info, const JbigOutput& out)
{
    uint8_t coverage[kCmdCoveragePageDataLen];
    BuildCmdCoveragePageData(coverage, info.dotCount);
    if (!SendDataToFile(sink, coverage, sizeof coverage, 1)) {
        PrependErrMsg(sink, "Prnt_EndPage() :: send cmdCoverage Fail 0 ==  \n");
        return 0;
    }
    Insert00(sink);
    return SendRasterImageAndData(sink, info, out);
}

int SendPlatform3(StreamSink& sink, const JbigParams& params, const JbigOutput& out)
{
    uint8_t block[kJbigParamBlockLen];
    BuildJbigParamBlock(block, params);
    if (!SendDataToFile(sink, block, sizeof block, 1)) {
        PrependErrMsg(sink, "Prnt_SendPage() :: send JBIG_PARAM_CMD Fail 0 ==  \n");
        return 0;
    }
    return SendJbigDataBlocks(sink, out.data, out.length);
}

}  // namespace

int SetupJbigParams(JbigParams& params, const PageDataInfo& info, int platform)
{
    params = JbigParams{};
    params.P = 1;
    params.XD = info.lineBits;
    params.YD = info.lineCount;
    switch (platform) {
    case 1:
        params.L0 = info.stripeLines;
        params.MX = 8;
        params.order = 0;
        params.options = JBG_TPBON;
        return 1;
    case 2:
        params.DL = 255;
        params.L0 = kBandLines;
        params.order = JBG_ILEAVE | JBG_SMID;
        params.options = JBG_LRLTWO | JBG_TPDON | JBG_TPBON;
        return 1;
    case 3:
        params.L0 = kBandLines;
        params.order = JBG_ILEAVE | JBG_SMID;
        params.options = JBG_LRLTWO | JBG_TPDON | JBG_TPBON | JBG_DPON;
        return 1;
    default:
        return 0;
    }
}

int SendJbigDataBlocks(StreamSink& sink, const uint8_t* data, size_t size)
{
    uint8_t header[kBlockHeaderLen];
    for (size_t at = 0; at < size; at += kJbigChunkBytes) {
        const size_t chunk = size - at < kJbigChunkBytes ? size - at : kJbigChunkBytes;
        BuildBlockHeader(header, static_cast<uint32_t>(chunk + kBlockHeaderLen), kBlockJbigData, 0, 0);
        if (!SendDataToFile(sink, header, sizeof header, 1)) {
            PrependErrMsg(sink, "Prnt_SendPage() :: send JBIG_DATA_CMD Fail 0 ==  \n");
            return 0;
        }
        if (!SendDataToFile(sink, data + at, static_cast<int>(chunk), 1)) {
            PrependErrMsg(sink, kDataFail);
            return 0;
        }
    }
    BuildBlockHeader(header, kBlockHeaderLen, kBlockJbigEnd, 0, 0);
    if (!SendDataToFile(sink, header, sizeof header, 1)) {
        PrependErrMsg(sink, "Prnt_SendPage() :: send JBIG_END_CMD Fail 0 ==  \n");
        return 0;
    }
    return 1;
}

int Prnt_SendPage(StreamSink& sink, PageDataInfo& info, int platform)
{
    JbigParams params;
    if (!SetupJbigParams(params, info, platform))
        return 0;
    if (info.bitmap == nullptr || info.lineBits == 0 || info.lineCount == 0) {
        PrependErrMsg(sink, "Prnt_SendPage() :: empty page bitmap .  \n");
        return 0;
    }

    const size_t pageBytes = static_cast<size_t>(info.lineCount) * info.lineBits / 8;
    const uint8_t* bitmap = info.bitmap;
    uint8_t* aligned = nullptr;
    if (info.lineBits % 8 != 0) {
        aligned = AlignLines(info.bitmap, info.lineBits, info.lineCount);
        bitmap = aligned;
    }

    JbigOutput out;
    const int compressed = bitmap != nullptr && ReserveJbigOut(out, FirstOutputSize(pageBytes)) &&
                           CompressPageBands(out, info, params, bitmap, platform);
    std::free(aligned);
    if (out.runs > 0)
        info.imageChecksum = out.checksum;
    if (!compressed) {
        ReleaseJbigOut(out);
        info.compressedSize = 0;
        PrependErrMsg(sink, kMallocFail);
        return 0;
    }
    info.compressedSize = platform == 2 ? 0 : static_cast<uint32_t>(out.length);

    int sent = 0;
    if (platform == 1)
        sent = SendRasterImageAndData(sink, info, out);
    else if (platform == 2)
        sent = SendPlatform2(sink, info, out);
    else
        sent = SendPlatform3(sink, params, out);
    ReleaseJbigOut(out);
    return sent;
}
