// Turns of grey pixels (one byte per pixel).
#pragma once

#include <cstdint>

// In place; a page of one line is that line reversed.
int Rotate180(uint8_t* bitmap, uint32_t width, uint32_t height);

// Lines of a quarter-turned page that are turned together: enough to fill
// whole 8 x 8 blocks and cache tiles, few enough to keep the band small.
constexpr uint32_t kTurnBandLines = 64;

// Puts lines first .. first + lines - 1 of a width x height page straight
// into their places on the page turned a quarter: clockwise (line r, byte c
// to row c, column height - 1 - r), or counter-clockwise (to row
// width - 1 - c, column r) when counterClockwise is 1.
// Line i of the band starts at band + i * stride; only its first `columns`
// bytes are placed, so the page rows of later columns are left alone. The
// turned page is height bytes wide and width rows tall. Returns 1, or 0 when
// an argument is null or out of range.
int TurnBand(const uint8_t* band, uint32_t stride, uint32_t lines, uint32_t columns, uint8_t* page,
             uint32_t width, uint32_t height, uint32_t first, int counterClockwise);
void SwapInt32(uint32_t* a, uint32_t* b);
void SwapInt16(uint16_t* a, uint16_t* b);
