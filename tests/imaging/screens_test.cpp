// The threshold matrices are long tables of hand-copied numbers; these checks
// catch a slipped cell.
#include "imaging/screening.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct Cell {
    int y, x, value;
};

template <int N>
void ExpectCells(const uint8_t (&m)[N][N], std::initializer_list<Cell> cells)
{
    for (const Cell& c : cells)
        EXPECT_EQ(m[c.y][c.x], c.value) << "cell " << c.y << "," << c.x;
}

// The lower half repeats the upper half with the left and right halves
// exchanged; the two copies in one line differ by a few steps only.
template <int N>
void ExpectCellStructure(const uint8_t (&m)[N][N])
{
    constexpr int h = N / 2;
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            EXPECT_EQ(m[(y + h) % N][x], m[y][(x + h) % N]) << y << "," << x;
            EXPECT_LE(std::abs(m[y][x] - m[y][(x + h) % N]), 4) << y << "," << x;
            EXPECT_GE(m[y][x], 1) << y << "," << x;
        }
}

TEST(Screens, SampledCells)
{
    ExpectCells(StandardScreen16, {{0, 0, 6}, {0, 3, 254}, {3, 2, 18}, {3, 4, 1}, {6, 0, 22}, {8, 3, 255},
                                   {10, 4, 31}, {14, 15, 38}, {15, 15, 2}});
    ExpectCells(AltScreen16, {{0, 0, 5}, {0, 11, 255}, {2, 14, 123}, {3, 2, 14}, {3, 4, 1}, {6, 15, 29},
                              {13, 12, 62}, {15, 0, 1}});
    ExpectCells(AltScreen28, {{0, 0, 2}, {0, 20, 255}, {3, 0, 143}, {10, 7, 148}, {13, 6, 253},
                              {17, 24, 62}, {24, 26, 88}, {27, 27, 1}});
}

TEST(Screens, TwoByTwoCells)
{
    ExpectCellStructure(StandardScreen16);
    ExpectCellStructure(AltScreen16);
    ExpectCellStructure(AltScreen28);
}

TEST(Screens, TwoBitLevelBoundaries)
{
    const int edges[][2] = {{0, 0}, {1, 1}, {23, 1}, {24, 2}, {63, 2}, {64, 3}, {255, 3}};
    for (auto [t, level] : edges)
        EXPECT_EQ(TwoBitLevels[t], level) << t;
    for (int t = 1; t < 256; ++t)
        EXPECT_GE(TwoBitLevels[t], TwoBitLevels[t - 1]) << t;
}

}  // namespace
