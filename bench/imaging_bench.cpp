// Cost of the imaging stages on one A4 page at 600 dpi, the size the page
// loop handles most often. The page mixes what print jobs hold: white
// margins, lines of text, a grey ramp and a photograph-like area.
#include "imaging/page_bitmap.h"
#include "imaging/screening.h"
#include "imaging/transforms.h"

#include <benchmark/benchmark.h>
extern "C" {
#include <jbig.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr uint32_t kWidth = 4736;
constexpr uint32_t kHeight = 6784;
constexpr uint32_t kMargin = 100;

uint8_t Clamp(double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0)); }

void DrawText(std::vector<uint8_t>& page, uint32_t top, uint32_t bottom, std::mt19937& rng)
{
    // 40-pixel glyph cells on 60-pixel lines; each glyph a few strokes with
    // a grey fringe, as anti-aliased rendering leaves them.
    for (uint32_t line = top; line + 40 < bottom; line += 60) {
        uint32_t x = kMargin;
        while (x + 30 < kWidth - kMargin) {
            unsigned word = 2 + rng() % 9;
            for (unsigned c = 0; c < word && x + 30 < kWidth - kMargin; ++c, x += 30) {
                unsigned strokes = 1 + rng() % 3;
                for (unsigned s = 0; s < strokes; ++s) {
                    bool vertical = rng() & 1;
                    uint32_t off = rng() % 24;
                    for (uint32_t i = 0; i < (vertical ? 40u : 26u); ++i)
                        for (uint32_t t = 0; t < 5; ++t) {
                            uint32_t y = vertical ? line + i : line + off + t;
                            uint32_t px = vertical ? x + off + t : x + i;
                            uint8_t v = (t == 0 || t == 4) ? 128 : 0;
                            uint8_t& p = page[std::size_t(y) * kWidth + px];
                            p = std::min(p, v);
                        }
                }
            }
            x += 30;  // word gap
        }
    }
}

const std::vector<uint8_t>& SamplePage()
{
    static const std::vector<uint8_t> page = [] {
        std::vector<uint8_t> p(std::size_t(kWidth) * kHeight, 0xFF);
        std::mt19937 rng(600);
        DrawText(p, kMargin, 2600, rng);
        for (uint32_t y = 2700; y < 3700; ++y)
            for (uint32_t x = kMargin; x < kWidth - kMargin; ++x)
                p[std::size_t(y) * kWidth + x] = Clamp(255.0 * (x - kMargin) / (kWidth - 2 * kMargin));
        std::normal_distribution<double> noise(0.0, 18.0);
        for (uint32_t y = 3800; y < 6300; ++y)
            for (uint32_t x = kMargin; x < kWidth - kMargin; ++x)
                p[std::size_t(y) * kWidth + x] =
                    Clamp(128 + 70 * std::sin(x / 150.0) * std::cos(y / 210.0) + 40 * std::sin((x + y) / 900.0) +
                          noise(rng));
        DrawText(p, 6350, kHeight - kMargin, rng);
        return p;
    }();
    return page;
}

void BM_ScreenPage(benchmark::State& state)
{
    const int platform = static_cast<int>(state.range(0));
    const int mode = static_cast<int>(state.range(1));
    const int negative = static_cast<int>(state.range(2));
    const std::vector<uint8_t>& grey = SamplePage();
    const int bits = platform == 3 && mode == 1 ? 2 : 1;
    std::vector<uint8_t> bitmap(std::size_t(kWidth) * kHeight * bits / 8, 0);
    for (auto _ : state) {
        ScreenPage(grey.data(), kWidth, kHeight, bitmap.data(), kWidth - kMargin, negative, mode, platform);
        benchmark::DoNotOptimize(bitmap.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_ScreenPage)
    ->ArgNames({"platform", "mode", "negative"})
    ->Args({1, 0, 0})
    ->Args({1, 1, 0})
    ->Args({1, 0, 1})
    ->Args({2, 0, 0})
    ->Args({2, 1, 0})
    ->Args({3, 0, 0})
    ->Args({3, 0, 1})
    ->Args({3, 1, 0})
    ->Unit(benchmark::kMillisecond);

void BM_Rotate180(benchmark::State& state)
{
    std::vector<uint8_t> page = SamplePage();
    for (auto _ : state) {
        Rotate180(page.data(), kWidth, kHeight);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_Rotate180)->Unit(benchmark::kMillisecond);

// The page built line by line as the raster arrives: not turned, turned a
// half, turned a quarter (clockwise, and counter-clockwise after a half).
void BM_PageBitmapFromLines(benchmark::State& state)
{
    const int half = static_cast<int>(state.range(0));
    const int quarter = static_cast<int>(state.range(1));
    const std::vector<uint8_t>& grey = SamplePage();
    PageScreen screen;
    PreparePageScreen(screen, kWidth, 0, 0, 1);
    for (auto _ : state) {
        PageBitmap page;
        BeginPageBitmap(page, kWidth, kHeight, half, quarter, screen);
        for (uint32_t y = 0; y < kHeight; ++y)
            AddBitmapLine(page, grey.data() + std::size_t(y) * kWidth);
        FinishPageBitmap(page);
        benchmark::DoNotOptimize(page.bits);
        FreePageBitmap(page);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_PageBitmapFromLines)
    ->ArgNames({"half", "quarter"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

// For scale: JBIG-KIT with its default settings on the screened page, the
// stage that the imaging stages should stay well below.
void BM_JbigEncodeForScale(benchmark::State& state)
{
    std::vector<uint8_t> bitmap(std::size_t(kWidth) * kHeight / 8, 0);
    ScreenPage(SamplePage().data(), kWidth, kHeight, bitmap.data(), kWidth, 0, 0, 1);
    size_t total = 0;
    auto sink = [](unsigned char*, size_t len, void* file) { *static_cast<size_t*>(file) += len; };
    for (auto _ : state) {
        unsigned char* planes[1] = {bitmap.data()};
        jbg_enc_state s;
        jbg_enc_init(&s, kWidth, kHeight, 1, planes, sink, &total);
        jbg_enc_out(&s);
        jbg_enc_free(&s);
    }
    state.counters["compressed_bytes"] = double(total) / double(state.iterations());
}
BENCHMARK(BM_JbigEncodeForScale)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
