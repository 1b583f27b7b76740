// Ordered screening of the grey page into the printer's bitmap with
// clustered-dot threshold matrices.
#pragma once

#include <cstdint>

extern const uint8_t StandardScreen16[16][16];
extern const uint8_t AltScreen16[16][16];
extern const uint8_t AltScreen28[28][28];
extern const uint8_t TwoBitLevels[256];

constexpr int kMaxScreenPeriod = 28;
constexpr int kMaxScreenGroup = 8;

// A threshold matrix with its lines extended past the period by one group,
// so that the thresholds of any group that starts inside the period lie in
// one run.
struct ScreenMatrix {
    int period;
    uint8_t rows[kMaxScreenPeriod][kMaxScreenPeriod + kMaxScreenGroup];
};

// Everything screening a page needs, for screening it a run of pixels at a
// time, in any order, each run straight into its place in the bitmap.
struct PageScreen {
    int mode;             // how bits are made and counted (see screening.cpp)
    int bits;             // bits per pixel: 1, or 2 in two-bit mode
    uint32_t countLimit;  // columns below it hold raster data
    uint8_t invert;       // platform 3, one bit: 0xFF in negative print
    ScreenMatrix matrix;
    uint8_t levels[512];  // two-bit mode: level by g + T, entry 511 for g == 0
};

// The screen of a page: as ScreenPage below. Returns 0 for a platform
// other than 1-3.
int PreparePageScreen(PageScreen& screen, uint32_t countLimit, int negative, int screenMode,
                      int platform);

// Screens count grey pixels (0 black, 255 white) that land on bitmap line y
// from column x on, with the thresholds of that place, into out: the
// bitmap byte that holds column x. x and count are multiples of 8 (of 4 in
// two-bit mode). Returns the toner dots counted (platforms 1 and 2).
uint32_t ScreenRun(const PageScreen& screen, const uint8_t* grey, uint32_t count, uint32_t y,
                   uint32_t x, uint8_t* out);

// grey: lines x width bytes (0 black, 255 white). bitmap: 1 bit per pixel
// (2 on platform 3 with screenMode 1), most significant bit first; its
// earlier content does not matter. bitmap may be grey itself: the page is
// then screened in place, the bitmap filling the start of the grey page
// (other overlaps are not allowed). countLimit: columns below it hold
// raster data. The toner dots counted (platforms 1 and 2) are added to
// *dots when given. Returns 1, or 0 when a buffer is missing or the
// platform is not 1-3.
int ScreenPage(const uint8_t* grey, uint32_t width, uint32_t lines, uint8_t* bitmap,
               uint32_t countLimit, int negative, int screenMode, int platform,
               uint32_t* dots = nullptr);
