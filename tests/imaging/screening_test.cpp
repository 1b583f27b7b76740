#include "imaging/screening.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr std::size_t kGuardBytes = 16;

struct Page {
    uint32_t width;
    uint32_t lines;
    int bits;  // per pixel
    std::vector<uint8_t> grey;
    std::vector<uint8_t> out;  // bitmap followed by guard bytes

    Page(uint32_t w, uint32_t h, uint8_t fill, int bitsPerPixel = 1)
        : width(w), lines(h), bits(bitsPerPixel), grey(std::size_t(w) * h, fill),
          out(Bytes() + kGuardBytes, kGuard)
    {
        std::fill(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(Bytes()), 0);
    }
    std::size_t Bytes() const { return std::size_t(width) * lines * bits / 8; }
    std::vector<uint8_t> Bitmap() const { return {out.begin(), out.begin() + static_cast<std::ptrdiff_t>(Bytes())}; }
    bool GuardIntact() const
    {
        for (std::size_t i = Bytes(); i < out.size(); ++i)
            if (out[i] != kGuard)
                return false;
        return true;
    }
    // Screens the page and returns how far dotCount moved.
    uint32_t Screen(uint32_t countLimit, int negative, int screenMode, int platform, int expectResult = 1)
    {
        uint32_t dotCount = 1000;
        EXPECT_EQ(ScreenPage(grey.data(), width, lines, out.data(), countLimit, negative, screenMode, platform,
                             &dotCount),
                  expectResult);
        EXPECT_TRUE(GuardIntact());
        return dotCount - 1000;
    }
};

bool AllBytes(const std::vector<uint8_t>& v, uint8_t value)
{
    for (uint8_t b : v)
        if (b != value)
            return false;
    return true;
}

// The screening rules, one pixel at a time, straight from the printer's
// description; the bitmap is one continuous bit stream, and a last
// incomplete byte is dropped.
struct Reference {
    std::vector<uint8_t> bitmap;
    uint32_t count = 0;
};

int LevelOf(int t) { return t == 0 ? 0 : t < 24 ? 1 : t < 64 ? 2 : 3; }

Reference ScreenReference(const std::vector<uint8_t>& grey, uint32_t width, uint32_t lines, uint32_t countLimit,
                          int negative, int screenMode, int platform)
{
    const bool twoBit = platform == 3 && screenMode == 1;
    const std::size_t bits = twoBit ? 2 : 1;
    const std::size_t bytes = std::size_t(width) * lines * bits / 8;
    const std::size_t stored = bytes * 8 / bits;  // pixels that fit
    Reference r;
    r.bitmap.assign(bytes, 0);
    for (uint32_t y = 0; y < lines; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            std::size_t n = std::size_t(y) * width + x;
            if (n >= stored)
                continue;
            int g = grey[n];
            int T;
            if (platform == 1 && screenMode != 0)
                T = AltScreen28[y % 28][x % 28];
            else if (platform == 2 && screenMode != 0)
                T = AltScreen16[y % 16][x % 16];
            else
                T = StandardScreen16[y % 16][x % 16];
            if (twoBit) {
                int t = g == 0 ? 255 : std::max(0, 255 - g - T);
                int level = LevelOf(t);
                if (negative)
                    level = 3 - level;
                r.bitmap[n / 4] |= static_cast<uint8_t>(level << (6 - 2 * (n % 4)));
                continue;
            }
            int bit = g < T;
            if (platform == 3 && negative)
                bit = g >= T;
            if (platform != 3)
                r.count += (negative && x < countLimit) ? !bit : bit;
            r.bitmap[n / 8] |= static_cast<uint8_t>(bit << (7 - n % 8));
        }
    if (platform != 3 && negative)
        for (std::size_t b = 0; b < bytes; ++b)
            if ((b * 8 + 7) % width < countLimit)
                r.bitmap[b] ^= 0xFF;
    return r;
}

TEST(ScreenPage, WhiteAndBlackPages)
{
    for (int platform = 1; platform <= 3; ++platform)
        for (int mode = 0; mode <= 1; ++mode) {
            const int bits = platform == 3 && mode == 1 ? 2 : 1;
            SCOPED_TRACE(testing::Message() << "platform " << platform << " mode " << mode);

            Page white(64, 40, 255, bits);
            EXPECT_EQ(white.Screen(64, 0, mode, platform), 0u);
            EXPECT_TRUE(AllBytes(white.Bitmap(), 0x00));

            // Every threshold is at least 1, so black prints everywhere.
            Page black(64, 40, 0, bits);
            uint32_t counted = black.Screen(64, 0, mode, platform);
            EXPECT_EQ(counted, platform == 3 ? 0u : 64u * 40u);
            EXPECT_TRUE(AllBytes(black.Bitmap(), 0xFF));
        }
}

TEST(ScreenPage, ThresholdBoundaryPixel)
{
    // Line 0, column 3 has threshold 254 in both 16 x 16 screens.
    for (auto [platform, mode] : {std::pair{1, 0}, {2, 0}, {2, 1}, {3, 0}}) {
        Page page(8, 1, 255);
        page.grey[3] = 253;
        EXPECT_EQ(page.Screen(8, 0, mode, platform), platform == 3 ? 0u : 1u);
        EXPECT_EQ(page.out[0], 0x10) << platform << "/" << mode;

        Page paler(8, 1, 255);
        paler.grey[3] = 254;
        EXPECT_EQ(paler.Screen(8, 0, mode, platform), 0u);
        EXPECT_EQ(paler.out[0], 0x00) << platform << "/" << mode;
    }
}

TEST(ScreenPage, NegativePrintTurnsBytesInsideTheRasterOnPlatforms1And2)
{
    for (int platform = 1; platform <= 2; ++platform) {
        // Bytes ending at columns 7 and 15 lie inside a limit of 20; the byte
        // ending at 23 straddles it and stays as screened.
        Page white(32, 3, 255);
        EXPECT_EQ(white.Screen(20, 1, 0, platform), 20u * 3u);
        for (uint32_t y = 0; y < 3; ++y) {
            const uint8_t* row = &white.out[y * 4];
            EXPECT_EQ(row[0], 0xFF);
            EXPECT_EQ(row[1], 0xFF);
            EXPECT_EQ(row[2], 0x00);
            EXPECT_EQ(row[3], 0x00);
        }

        // Black: dots inside the limit become white and are not counted.
        Page black(32, 3, 0);
        EXPECT_EQ(black.Screen(20, 1, 0, platform), 12u * 3u);
        EXPECT_EQ(black.out[0], 0x00);
        EXPECT_EQ(black.out[1], 0x00);
        EXPECT_EQ(black.out[2], 0xFF);
        EXPECT_EQ(black.out[3], 0xFF);

        // A limit on a byte boundary turns exactly the bytes before it.
        Page edge(32, 1, 255);
        EXPECT_EQ(edge.Screen(16, 1, 0, platform), 16u);
        EXPECT_EQ(edge.Bitmap(), (std::vector<uint8_t>{0xFF, 0xFF, 0x00, 0x00}));

        Page none(32, 1, 255);
        EXPECT_EQ(none.Screen(0, 1, 0, platform), 0u);
        EXPECT_TRUE(AllBytes(none.Bitmap(), 0x00));
    }
}

TEST(ScreenPage, NegativePrintOnPlatform3InvertsEveryPixel)
{
    Page white(32, 5, 255);
    EXPECT_EQ(white.Screen(8, 1, 0, 3), 0u);
    EXPECT_TRUE(AllBytes(white.Bitmap(), 0xFF));

    Page black(32, 5, 0);
    black.Screen(8, 1, 2, 3);  // any mode but 1 is one bit per pixel
    EXPECT_TRUE(AllBytes(black.Bitmap(), 0x00));

    Page twoBit(32, 5, 255, 2);
    twoBit.Screen(8, 1, 1, 3);
    EXPECT_TRUE(AllBytes(twoBit.Bitmap(), 0xFF));
}

TEST(ScreenPage, TwoBitLevels)
{
    Page black(16, 16, 0, 2);
    black.Screen(16, 0, 1, 3);
    EXPECT_TRUE(AllBytes(black.Bitmap(), 0xFF));

    Page white(16, 16, 255, 2);
    white.Screen(16, 0, 1, 3);
    EXPECT_TRUE(AllBytes(white.Bitmap(), 0x00));

    // g = 1: t = 254 - T, so level 3 needs T <= 190.
    Page nearBlack(16, 16, 1, 2);
    nearBlack.Screen(16, 0, 1, 3);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            int T = StandardScreen16[y][x];
            int expected = T <= 190 ? 3 : T <= 230 ? 2 : T <= 253 ? 1 : 0;
            int level = (nearBlack.out[y * 4 + x / 4] >> (6 - 2 * (x % 4))) & 3;
            EXPECT_EQ(level, expected) << y << "," << x;
        }
}

TEST(ScreenPage, RefusesMissingBuffersAndUnknownPlatforms)
{
    Page page(16, 2, 0);
    for (int platform : {0, 4, -1}) {
        page.Screen(16, 0, 0, platform, 0);
        EXPECT_TRUE(AllBytes(page.Bitmap(), 0x00));
    }
    uint32_t dotCount = 7;
    EXPECT_EQ(ScreenPage(nullptr, 16, 2, page.out.data(), 16, 0, 0, 1, &dotCount), 0);
    EXPECT_EQ(ScreenPage(page.grey.data(), 16, 2, nullptr, 16, 0, 0, 1, &dotCount), 0);
    EXPECT_EQ(dotCount, 7u);
    EXPECT_TRUE(AllBytes(page.Bitmap(), 0x00));

    // An empty page is screened into nothing.
    uint8_t grey = 0, bitmap = 0;
    EXPECT_EQ(ScreenPage(&grey, 0, 5, &bitmap, 0, 0, 0, 1, &dotCount), 1);
    EXPECT_EQ(ScreenPage(&grey, 5, 0, &bitmap, 0, 1, 0, 2, &dotCount), 1);
    EXPECT_EQ(bitmap, 0);
    EXPECT_EQ(dotCount, 7u);
}

// Screens grey in place: the bitmap is written over the start of the grey
// page itself. Returns the bitmap and how far dotCount moved; the bytes
// past the page must be untouched.
std::pair<std::vector<uint8_t>, uint32_t> ScreenInPlace(const std::vector<uint8_t>& grey, uint32_t width,
                                                        uint32_t lines, uint32_t countLimit, int negative,
                                                        int screenMode, int platform)
{
    std::vector<uint8_t> page(grey);
    page.insert(page.end(), kGuardBytes, kGuard);
    uint32_t dotCount = 1000;
    EXPECT_EQ(ScreenPage(page.data(), width, lines, page.data(), countLimit, negative, screenMode, platform,
                         &dotCount),
              1);
    for (std::size_t i = grey.size(); i < page.size(); ++i)
        EXPECT_EQ(page[i], kGuard) << "byte " << i << " past the page";
    const std::size_t bytes = std::size_t(width) * lines * (platform == 3 && screenMode == 1 ? 2 : 1) / 8;
    page.resize(bytes);
    return {page, dotCount - 1000};
}

// The optimised loops against the per-pixel rules, on random grey with
// widths that are and are not whole bytes, every platform, mode and
// negative setting, and limits inside, on and beyond the raster; both into
// a bitmap of its own and in place over the grey page, where a store that
// ran ahead of the reads would print bitmap bytes as grey.
TEST(ScreenPage, MatchesPixelRulesSeparateAndInPlace)
{
    std::mt19937 rng(20240611);
    const uint32_t widths[] = {1, 3, 6, 8, 13, 16, 29, 56, 64, 100, 203};
    const uint32_t heights[] = {1, 2, 5, 17, 33};
    for (uint32_t w : widths)
        for (uint32_t h : heights) {
            std::vector<uint8_t> grey(std::size_t(w) * h);
            for (auto& g : grey) {
                // Mostly the full range, with runs of paper white and solid black.
                unsigned r = rng();
                g = (r & 0x700) == 0 ? 0 : (r & 0x700) == 0x100 ? 255 : static_cast<uint8_t>(r);
            }
            const uint32_t limits[] = {0, w / 2, w - 1, w, w + 5, static_cast<uint32_t>(rng() % (w + 1))};
            for (int platform = 1; platform <= 3; ++platform)
                for (int mode = 0; mode <= 2; ++mode)
                    for (int negative = 0; negative <= 1; ++negative)
                        for (uint32_t limit : limits) {
                            SCOPED_TRACE(testing::Message() << "w " << w << " h " << h << " platform " << platform
                                                            << " mode " << mode << " negative " << negative
                                                            << " limit " << limit);
                            Page page(w, h, 0, platform == 3 && mode == 1 ? 2 : 1);
                            page.grey = grey;
                            uint32_t counted = page.Screen(limit, negative, mode, platform);
                            Reference ref = ScreenReference(grey, w, h, limit, negative, mode, platform);
                            ASSERT_EQ(page.Bitmap(), ref.bitmap);
                            ASSERT_EQ(counted, ref.count);

                            auto [inPlace, countedInPlace] = ScreenInPlace(grey, w, h, limit, negative, mode, platform);
                            ASSERT_EQ(inPlace, ref.bitmap) << "in place";
                            ASSERT_EQ(countedInPlace, ref.count) << "in place";
                        }
        }
}

}  // namespace
