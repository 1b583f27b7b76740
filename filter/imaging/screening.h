// Ordered screening of the grey page into the printer's bitmap with
// clustered-dot threshold matrices.
#pragma once

#include <cstdint>

extern const uint8_t StandardScreen16[16][16];
extern const uint8_t AltScreen16[16][16];
extern const uint8_t AltScreen28[28][28];
extern const uint8_t TwoBitLevels[256];

// grey: lines x width bytes (0 black, 255 white). bitmap: 1 bit per pixel
// (2 on platform 3 with screenMode 1), most significant bit first; its
// earlier content does not matter. bitmap may be grey itself: the page is
// then screened in place, the bitmap filling the start of the grey page
// (other overlaps are not allowed). countLimit: columns below it hold
// raster data. Returns 1, or 0 when a buffer is missing or the platform is
// not 1-3.
int ScreenPage(const uint8_t* grey, uint32_t width, uint32_t lines, uint8_t* bitmap,
               uint32_t countLimit, int negative, int screenMode, int platform);
