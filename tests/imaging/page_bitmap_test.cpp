// The page built line by line against the whole-page path it replaces: the
// grey page read in full, turned, then screened. Every platform, bit depth,
// negative print and turn; rasters that cover the page, fall short of it
// and run past it.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "imaging/page_bitmap.h"
#include "imaging/screening.h"
#include "support/turn_reference.h"

namespace {

struct Shape {
    uint32_t width, height;  // the grey page as it arrives
    uint32_t lines;          // raster lines fed (may fall short or run past)
};

// Lines of random grey with runs of white and black, as pages hold.
std::vector<uint8_t> Lines(uint32_t width, uint32_t lines, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(size_t(width) * lines);
    for (auto& b : v) {
        const unsigned r = rng() % 8;
        b = r == 0 ? 0 : r == 1 ? 255 : static_cast<uint8_t>(rng());
    }
    return v;
}

TEST(PageBitmap, LineByLineEqualsTheTurnedAndScreenedGreyPage)
{
    // Heights off the 64-line bands; widths of whole bytes, as the paper
    // tables make them.
    const Shape shapes[] = {{48, 136, 136}, {40, 72, 50}, {32, 80, 90}};
    const int turns[][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};  // half, quarter
    for (const Shape& s : shapes)
        for (int platform = 1; platform <= 3; ++platform)
            for (int mode = 0; mode <= 1; ++mode)
                for (int negative = 0; negative <= 1; ++negative)
                    for (const auto& turn : turns) {
                        const int half = turn[0], quarter = turn[1];
                        SCOPED_TRACE(testing::Message() << s.width << "x" << s.height << " fed " << s.lines
                                                        << ", platform " << platform << " mode " << mode
                                                        << " negative " << negative << " half " << half
                                                        << " quarter " << quarter);
                        const std::vector<uint8_t> fed = Lines(s.width, s.lines, s.width + s.lines);
                        const uint32_t bitmapWidth = quarter ? s.height : s.width;
                        const uint32_t bitmapHeight = quarter ? s.width : s.height;
                        const uint32_t countLimit = bitmapWidth - 9;

                        // Today's path: the whole grey page, turned, screened.
                        std::vector<uint8_t> grey(size_t(s.width) * s.height, 0xFF);
                        std::memcpy(grey.data(), fed.data(), std::min(grey.size(), fed.size()));
                        if (half)
                            grey = HalfTurnReference(grey);
                        if (quarter)
                            grey = QuarterTurnReference(grey, s.width, s.height);
                        const int bits = platform == 3 && mode == 1 ? 2 : 1;
                        std::vector<uint8_t> expected(size_t(bitmapWidth) * bitmapHeight * bits / 8);
                        uint32_t expectedDots = 0;
                        ASSERT_EQ(ScreenPage(grey.data(), bitmapWidth, bitmapHeight, expected.data(), countLimit,
                                             negative, mode, platform, &expectedDots),
                                  1);

                        PageScreen screen;
                        ASSERT_EQ(PreparePageScreen(screen, countLimit, negative, mode, platform), 1);
                        PageBitmap page;
                        ASSERT_EQ(BeginPageBitmap(page, s.width, s.height, half, quarter, screen), 1);
                        for (uint32_t y = 0; y < s.lines; ++y)
                            AddBitmapLine(page, fed.data() + size_t(y) * s.width);
                        FinishPageBitmap(page);
                        EXPECT_EQ(page.bitmapWidth, bitmapWidth);
                        EXPECT_EQ(page.bitmapHeight, bitmapHeight);
                        ASSERT_EQ(page.rowBytes * page.bitmapHeight, expected.size());
                        EXPECT_TRUE(std::memcmp(page.bits, expected.data(), expected.size()) == 0);
                        EXPECT_EQ(page.dots, expectedDots);
                        FreePageBitmap(page);
                    }
}

TEST(PageBitmap, RefusesLinesThatWouldNotStartOnAByte)
{
    PageScreen one, two;
    PreparePageScreen(one, 0, 0, 0, 1);
    PreparePageScreen(two, 0, 0, 1, 3);
    PageBitmap page;
    EXPECT_EQ(BeginPageBitmap(page, 12, 16, 0, 0, one), 0);  // 12 bits a line
    FreePageBitmap(page);
    EXPECT_EQ(BeginPageBitmap(page, 12, 16, 0, 0, two), 1);  // 24 bits a line
    FreePageBitmap(page);
    EXPECT_EQ(BeginPageBitmap(page, 16, 12, 0, 1, one), 0);  // turned: 12 bits a line
    FreePageBitmap(page);
    EXPECT_EQ(PreparePageScreen(one, 0, 0, 0, 4), 0);
}

}  // namespace
