#include "stream/jbig_compress.h"

#include <cstdlib>
#include <cstring>
#include <limits>

extern "C" {
#include <jbig.h>
}

void* (*jbigOutRealloc)(void* block, std::size_t size) = std::realloc;

namespace {

unsigned ByteSum(const uint8_t* bytes, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return sum;
}

// The printer checks each run's bytes together with the UEL that closes a
// platform-1 page.
uint32_t RunChecksum(const uint8_t* run, std::size_t count)
{
    return (ByteSum(run, count) + ByteSum(UEL_CMD_C, sizeof UEL_CMD_C)) & 0xFF;
}

// One run appended at the end of the output, with its checksum.
int EncodeRun(JbigOutput& out, const JbigParams& params, const uint8_t* band)
{
    const std::size_t start = out.length;
    if (!JbigEncodeBand(out, params, band) || out.failed)
        return 0;
    out.checksum = RunChecksum(out.data + start, out.length - start);
    ++out.runs;
    return 1;
}

}  // namespace

int ReserveJbigOut(JbigOutput& out, std::size_t extra)
{
    if (extra <= out.capacity - out.length)
        return 1;
    if (extra > std::numeric_limits<std::size_t>::max() - out.length) {
        out.failed = 1;
        return 0;
    }
    const std::size_t need = out.length + extra;
    // Doubling keeps the appends linear over a page.
    std::size_t cap = out.capacity > std::numeric_limits<std::size_t>::max() / 2 ? need : 2 * out.capacity;
    if (cap < need)
        cap = need;
    void* grown = jbigOutRealloc(out.data, cap);
    if (grown == nullptr) {
        out.failed = 1;
        return 0;
    }
    out.data = static_cast<uint8_t*>(grown);
    out.capacity = cap;
    return 1;
}

void ReleaseJbigOut(JbigOutput& out)
{
    std::free(out.data);
    out.data = nullptr;
    out.length = 0;
    out.capacity = 0;
    out.failed = 0;
}

void AppendJbigOutput(unsigned char* data, std::size_t length, void* file)
{
    auto& out = *static_cast<JbigOutput*>(file);
    // After a failed growth the rest of the run is dropped; the caller sees
    // out.failed and discards the page.
    if (out.failed || length == 0 || !ReserveJbigOut(out, length))
        return;
    std::memcpy(out.data + out.length, data, length);
    out.length += length;
}

int JbigEncodeBand(JbigOutput& out, const JbigParams& params, const uint8_t* band)
{
    if (params.P != 1 || band == nullptr)
        return 0;
    // With a single layer the encoder only reads the plane, so it can work
    // on the caller's bitmap in place.
    unsigned char* planes[1] = {const_cast<unsigned char*>(band)};
    jbg_enc_state enc;
    jbg_enc_init(&enc, params.XD, params.YD, params.P, planes, AppendJbigOutput, &out);
    jbg_enc_layers(&enc, 0);
    jbg_enc_lrange(&enc, params.DL, -1);
    jbg_enc_options(&enc, params.order, params.options, params.L0, params.MX, 0);
    jbg_enc_out(&enc);
    jbg_enc_free(&enc);
    return 1;
}

int CompressPageBands(JbigOutput& out, const PageDataInfo& info, JbigParams& params,
                      const uint8_t* bitmap, int platform)
{
    if (platform != 2) {
        if (EncodeRun(out, params, bitmap))
            return 1;
        ReleaseJbigOut(out);
        return 0;
    }

    // Platform 2: independent images of 256 lines; the last one keeps only
    // the lines that are left, so the encoder never reads past the page.
    const std::size_t stride = (params.XD + 7) / 8;
    const uint32_t lineCount = info.lineCount;
    for (uint32_t first = 0; first < lineCount; first += kBandLines) {
        const uint32_t lines = lineCount - first < kBandLines ? lineCount - first : kBandLines;
        params.YD = lines;
        params.L0 = lines;
        if (!ReserveJbigOut(out, kBandRecordLen)) {
            ReleaseJbigOut(out);
            return 0;
        }
        const std::size_t recordAt = out.length;
        out.length += kBandRecordLen;
        if (!EncodeRun(out, params, bitmap + first * stride)) {
            ReleaseJbigOut(out);
            return 0;
        }
        const std::size_t bandLen = out.length - recordAt - kBandRecordLen;
        BuildBandRecord(out.data + recordAt, params.XD, lines, static_cast<uint32_t>(bandLen), first);
    }
    return 1;
}
