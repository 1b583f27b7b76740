// In-place turns of the grey page (one byte per pixel).
#pragma once

#include <cstdint>

int Rotate180(uint8_t* bitmap, uint32_t width, uint32_t height);
// Clockwise; afterwards the bytes hold a bitmap height wide and width tall.
int Rotate90(uint8_t* bitmap, uint32_t width, uint32_t height);
void SwapInt32(uint32_t* a, uint32_t* b);
void SwapInt16(uint16_t* a, uint16_t* b);
