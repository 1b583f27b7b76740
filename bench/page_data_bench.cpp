// Time and memory of sending one page of compressed data, against the floor
// of JBIG-KIT encoding the same bitmap with the same settings.
//
//   build/tests/bench/page_data_bench
//
// extraRSS is the growth of the process's resident peak during one send,
// over what the page bitmap already takes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" {
#include <jbig.h>
}

#include "stream/output_sink.h"
#include "stream/jbig_compress.h"
#include "stream/page_data.h"

namespace {

// Glyph-like strokes in lines of text with margins: 600-dpi A4 text page.
std::vector<uint8_t> TextPage(uint32_t lineBits, uint32_t lines)
{
    const size_t stride = lineBits / 8;
    std::vector<uint8_t> bm(stride * lines, 0);
    std::mt19937 rng(1);
    auto set = [&](uint32_t x, uint32_t y) { bm[y * stride + x / 8] |= 0x80 >> (x % 8); };
    for (uint32_t top = 300; top + 400 < lines; top += 100) {
        for (uint32_t x = 300; x + 360 < lineBits;) {
            const uint32_t w = 30 + rng() % 30;
            if (rng() % 6 != 0) {
                for (int s = 0; s < 4; ++s) {
                    if (rng() & 1) {
                        const uint32_t sx = x + rng() % (w - 6);
                        for (uint32_t y = top; y < top + 70; ++y)
                            for (uint32_t d = 0; d < 6; ++d)
                                set(sx + d, y);
                    } else {
                        const uint32_t sy = top + rng() % 64;
                        for (uint32_t y = sy; y < sy + 6; ++y)
                            for (uint32_t xx = x; xx < x + w; ++xx)
                                set(xx, y);
                    }
                }
            }
            x += w + 10;
        }
    }
    return bm;
}

struct Geometry {
    uint32_t lineBits, lines, stripe;
};

Geometry GeometryFor(int platform, bool hires)
{
    if (platform == 1)
        return hires ? Geometry{9600, 13560, 384} : Geometry{4800, 6780, 768};
    if (platform == 2)
        return {4736, 6780, 0};
    return hires ? Geometry{2 * 4736, 6784, 0} : Geometry{4736, 6784, 0};
}

long ProcStatusKb(const char* field)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr)
        return -1;
    char line[256];
    long kb = -1;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, n) == 0)
            kb = std::atol(line + n);
    }
    std::fclose(f);
    return kb;
}

void ResetPeak()
{
    const int fd = open("/proc/self/clear_refs", O_WRONLY);
    if (fd >= 0) {
        (void)!write(fd, "5", 1);
        close(fd);
    }
}

class QuietStdout {
public:
    QuietStdout()
    {
        std::cout.flush();
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~QuietStdout()
    {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }

private:
    int saved_;
};

void BM_SendPage(benchmark::State& state)
{
    const int platform = static_cast<int>(state.range(0));
    const Geometry g = GeometryFor(platform, state.range(1) != 0);
    std::vector<uint8_t> bm = TextPage(g.lineBits, g.lines);
    StreamSink sink;
    OpenStreamSink(sink, FdOutputPort(STDOUT_FILENO));
    PageDataInfo info{};
    info.rasterFlags[2] = 0x20;
    info.lineBits = static_cast<uint16_t>(g.lineBits);
    info.lineCount = static_cast<uint16_t>(g.lines);
    if (platform == 1) {
        info.widthPixels = static_cast<uint16_t>(g.lineBits);
        info.stripeLines = g.stripe;
    }
    info.bitmap = bm.data();
    long extraKb = 0;
    {
        QuietStdout quiet;
        for (auto _ : state) {
            ResetPeak();
            const long before = ProcStatusKb("VmRSS:");
            if (!Prnt_SendPage(sink, info, platform))
                state.SkipWithError("send failed");
            extraKb = std::max(extraKb, ProcStatusKb("VmHWM:") - before);
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bm.size()));
    state.counters["bitmapMB"] = bm.size() / 1e6;
    state.counters["outKB"] = info.compressedSize / 1e3;
    state.counters["extraRSSKB"] = static_cast<double>(extraKb);
}

size_t floorBytes = 0;
void CountOutput(unsigned char*, size_t length, void*) { floorBytes += length; }

// JBIG-KIT alone, output counted and dropped.
void BM_EncoderFloor(benchmark::State& state)
{
    const int platform = static_cast<int>(state.range(0));
    const Geometry g = GeometryFor(platform, state.range(1) != 0);
    std::vector<uint8_t> bm = TextPage(g.lineBits, g.lines);
    PageDataInfo info{};
    info.lineBits = static_cast<uint16_t>(g.lineBits);
    info.lineCount = static_cast<uint16_t>(g.lines);
    info.stripeLines = g.stripe;
    JbigParams p;
    SetupJbigParams(p, info, platform);
    const uint32_t bandLines = platform == 2 ? kBandLines : g.lines;
    for (auto _ : state) {
        floorBytes = 0;
        for (uint32_t first = 0; first < g.lines; first += bandLines) {
            const uint32_t lines = g.lines - first < bandLines ? g.lines - first : bandLines;
            unsigned char* planes[1] = {bm.data() + size_t{first} * (g.lineBits / 8)};
            jbg_enc_state enc;
            jbg_enc_init(&enc, g.lineBits, lines, 1, planes, CountOutput, nullptr);
            jbg_enc_layers(&enc, 0);
            jbg_enc_lrange(&enc, p.DL, -1);
            jbg_enc_options(&enc, p.order, p.options, platform == 2 ? lines : p.L0, p.MX, 0);
            jbg_enc_out(&enc);
            jbg_enc_free(&enc);
        }
        benchmark::DoNotOptimize(floorBytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bm.size()));
    state.counters["outKB"] = floorBytes / 1e3;
}

// Arguments: platform, 1200 dpi (platform 1) or two bits per pixel (platform 3).
#define PAGE_ARGS Args({1, 0})->Args({1, 1})->Args({2, 0})->Args({3, 0})->Args({3, 1})
BENCHMARK(BM_EncoderFloor)->PAGE_ARGS->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SendPage)->PAGE_ARGS->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
