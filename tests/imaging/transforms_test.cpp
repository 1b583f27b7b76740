#include "imaging/transforms.h"
#include "support/turn_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<uint8_t> RandomPage(uint32_t w, uint32_t h, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(std::size_t(w) * h);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

TEST(Rotate180, WorkedExamples)
{
    std::vector<uint8_t> one{9};
    EXPECT_EQ(Rotate180(one.data(), 1, 1), 1);
    EXPECT_EQ(one, std::vector<uint8_t>{9});

    std::vector<uint8_t> square{1, 2, 3, 4};
    EXPECT_EQ(Rotate180(square.data(), 2, 2), 1);
    EXPECT_EQ(square, (std::vector<uint8_t>{4, 3, 2, 1}));
}

TEST(Rotate180, ReversesEveryByteAndTwoTurnsRestore)
{
    // Sizes around the eight-byte steps taken from both ends.
    for (uint32_t w : {1u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 33u, 4736u})
        for (uint32_t h : {1u, 2u, 3u, 5u}) {
            std::vector<uint8_t> page = RandomPage(w, h, w * 31 + h);
            const std::vector<uint8_t> original = page;
            ASSERT_EQ(Rotate180(page.data(), w, h), 1);
            ASSERT_TRUE(std::equal(page.begin(), page.end(), original.rbegin())) << w << "x" << h;
            ASSERT_EQ(Rotate180(page.data(), w, h), 1);
            ASSERT_EQ(page, original) << w << "x" << h;
        }
}

// Turns a w x h page band by band (bands of `bandLines` lines, the page's
// lines copied into a band buffer as the page loop does) onto a page
// prefilled with `fill`.
std::vector<uint8_t> TurnInBands(const std::vector<uint8_t>& src, uint32_t w, uint32_t h, uint32_t bandLines,
                                 int counterClockwise, uint8_t fill = 0xEE)
{
    std::vector<uint8_t> page(src.size(), fill);
    for (uint32_t first = 0; first < h; first += bandLines) {
        const uint32_t lines = std::min(bandLines, h - first);
        std::vector<uint8_t> band(src.begin() + std::ptrdiff_t(first) * w,
                                  src.begin() + std::ptrdiff_t(first + lines) * w);
        EXPECT_EQ(TurnBand(band.data(), w, lines, w, page.data(), w, h, first, counterClockwise), 1);
    }
    return page;
}

TEST(TurnBand, BandsGiveTheQuarterTurnEitherWay)
{
    const std::pair<uint32_t, uint32_t> sizes[] = {{65, 130}, {130, 65}, {1, 200}, {200, 1}, {64, 64},
                                                  {63, 129}, {257, 127}, {9, 7}, {8, 16}};
    for (auto [w, h] : sizes)
        for (uint32_t bandLines : {kTurnBandLines, 1u, 7u, 8u, 13u}) {
            SCOPED_TRACE(testing::Message() << w << "x" << h << " bands of " << bandLines);
            const std::vector<uint8_t> src = RandomPage(w, h, w * 7 + h);

            ASSERT_EQ(TurnInBands(src, w, h, bandLines, 0), QuarterTurnReference(src, w, h));
            ASSERT_EQ(TurnInBands(src, w, h, bandLines, 1), QuarterTurnReference(HalfTurnReference(src), w, h));
        }
}

TEST(TurnBand, PlacesOnlyItsColumnsAndLines)
{
    // Lines 3..12 of a 21 x 17 page, 11 columns of each held with a stride
    // of 30: the rest of the turned page keeps what it held.
    const uint32_t w = 21, h = 17, first = 3, lines = 10, columns = 11, stride = 30;
    const std::vector<uint8_t> band = RandomPage(stride, lines, 99);
    for (int counterClockwise = 0; counterClockwise <= 1; ++counterClockwise) {
        SCOPED_TRACE(counterClockwise ? "counter-clockwise" : "clockwise");
        std::vector<uint8_t> page(std::size_t(w) * h, 0xEE);
        ASSERT_EQ(TurnBand(band.data(), stride, lines, columns, page.data(), w, h, first, counterClockwise), 1);
        for (uint32_t r = 0; r < h; ++r)
            for (uint32_t c = 0; c < w; ++c) {
                const std::size_t at = counterClockwise ? std::size_t(w - 1 - c) * h + r : std::size_t(c) * h + (h - 1 - r);
                const bool placed = r >= first && r < first + lines && c < columns;
                ASSERT_EQ(page[at], placed ? band[(r - first) * stride + c] : 0xEE) << "line " << r << " column " << c;
            }
    }
}

TEST(TurnBand, RefusesBandsOutsideThePage)
{
    std::vector<uint8_t> band(64, 1), page(6 * 4, 0xEE);
    const std::vector<uint8_t> original = page;
    EXPECT_EQ(TurnBand(nullptr, 6, 1, 6, page.data(), 6, 4, 0, 0), 0);
    EXPECT_EQ(TurnBand(band.data(), 6, 1, 6, nullptr, 6, 4, 0, 0), 0);
    EXPECT_EQ(TurnBand(band.data(), 6, 2, 6, page.data(), 6, 4, 3, 0), 0);  // past the last line
    EXPECT_EQ(TurnBand(band.data(), 6, 5, 6, page.data(), 6, 4, 0, 1), 0);
    EXPECT_EQ(TurnBand(band.data(), 6, 1, 7, page.data(), 6, 4, 0, 0), 0);  // wider than the page
    EXPECT_EQ(TurnBand(band.data(), 5, 2, 6, page.data(), 6, 4, 0, 0), 0);  // lines overlap
    EXPECT_EQ(TurnBand(band.data(), 6, 1, 6, page.data(), 0, 4, 0, 0), 0);
    EXPECT_EQ(page, original);
    EXPECT_EQ(TurnBand(band.data(), 6, 0, 6, page.data(), 6, 4, 4, 0), 1);  // nothing to place
    EXPECT_EQ(page, original);
}

TEST(Transforms, ZeroOrNullArgumentsTouchNothing)
{
    std::vector<uint8_t> page{1, 2, 3, 4, 5, 6};
    const std::vector<uint8_t> original = page;
    EXPECT_EQ(Rotate180(nullptr, 3, 2), 0);
    EXPECT_EQ(Rotate180(page.data(), 0, 2), 0);
    EXPECT_EQ(Rotate180(page.data(), 3, 0), 0);
    EXPECT_EQ(page, original);
}

}  // namespace
