#include "stream/jbig_compress.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

extern "C" {
#include <jbig.h>
}

uint8_t* jbigOut = nullptr;
size_t jbigOutLen = 0;
size_t jbigOutCap = 0;
int jbigOutFailed = 0;
void* (*jbigOutRealloc)(void* block, size_t size) = std::realloc;

namespace {

unsigned ByteSum(const uint8_t* bytes, size_t count)
{
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return sum;
}

// The printer checks each run's bytes together with the UEL that closes a
// platform-1 page.
uint32_t RunChecksum(const uint8_t* run, size_t count)
{
    return (ByteSum(run, count) + ByteSum(UEL_CMD_C, sizeof UEL_CMD_C)) & 0xFF;
}

// One run appended at the end of jbigOut; its bytes feed imageChecksum.
int EncodeRun(const JbigParams& params, const uint8_t* band)
{
    const size_t start = jbigOutLen;
    if (!JbigEncodeBand(params, band) || jbigOutFailed)
        return 0;
    imageChecksum = RunChecksum(jbigOut + start, jbigOutLen - start);
    return 1;
}

}  // namespace

int ReserveJbigOut(size_t extra)
{
    if (extra <= jbigOutCap - jbigOutLen)
        return 1;
    if (extra > std::numeric_limits<size_t>::max() - jbigOutLen) {
        jbigOutFailed = 1;
        return 0;
    }
    const size_t need = jbigOutLen + extra;
    // Doubling keeps the appends linear over a page.
    size_t cap = jbigOutCap > std::numeric_limits<size_t>::max() / 2 ? need : 2 * jbigOutCap;
    if (cap < need)
        cap = need;
    void* grown = jbigOutRealloc(jbigOut, cap);
    if (grown == nullptr) {
        jbigOutFailed = 1;
        return 0;
    }
    jbigOut = static_cast<uint8_t*>(grown);
    jbigOutCap = cap;
    return 1;
}

void ReleaseJbigOut()
{
    std::free(jbigOut);
    jbigOut = nullptr;
    jbigOutLen = 0;
    jbigOutCap = 0;
    jbigOutFailed = 0;
}

void AppendJbigOutput(unsigned char* data, size_t length, void* /*file*/)
{
    // After a failed growth the rest of the run is dropped; the caller sees
    // jbigOutFailed and discards the page.
    if (jbigOutFailed || length == 0 || !ReserveJbigOut(length))
        return;
    std::memcpy(jbigOut + jbigOutLen, data, length);
    jbigOutLen += length;
}

int JbigEncodeBand(const JbigParams& params, const uint8_t* band)
{
    if (params.P != 1 || band == nullptr)
        return 0;
    // With a single layer the encoder only reads the plane, so it can work
    // on the caller's bitmap in place.
    unsigned char* planes[1] = {const_cast<unsigned char*>(band)};
    jbg_enc_state enc;
    jbg_enc_init(&enc, params.XD, params.YD, params.P, planes, AppendJbigOutput, stdout);
    jbg_enc_layers(&enc, 0);
    jbg_enc_lrange(&enc, params.DL, -1);
    jbg_enc_options(&enc, params.order, params.options, params.L0, params.MX, 0);
    jbg_enc_out(&enc);
    jbg_enc_free(&enc);
    return 1;
}

int CompressPageBands(const PageDataInfo& info, JbigParams& params, const uint8_t* bitmap,
                      int platform)
{
    if (platform != 2) {
        if (EncodeRun(params, bitmap))
            return 1;
        ReleaseJbigOut();
        return 0;
    }

    // Platform 2: independent images of 256 lines; the last one keeps only
    // the lines that are left, so the encoder never reads past the page.
    const size_t stride = (params.XD + 7) / 8;
    const uint32_t lineCount = info.lineCount;
    for (uint32_t first = 0; first < lineCount; first += kBandLines) {
        const uint32_t lines = lineCount - first < kBandLines ? lineCount - first : kBandLines;
        params.YD = lines;
        params.L0 = lines;
        if (!ReserveJbigOut(kBandRecordLen)) {
            ReleaseJbigOut();
            return 0;
        }
        const size_t recordAt = jbigOutLen;
        jbigOutLen += kBandRecordLen;
        if (!EncodeRun(params, bitmap + first * stride)) {
            ReleaseJbigOut();
            return 0;
        }
        const size_t bandLen = jbigOutLen - recordAt - kBandRecordLen;
        BuildBandRecord(jbigOut + recordAt, params.XD, lines, static_cast<uint32_t>(bandLen), first);
    }
    return 1;
}
