#include "imaging/transforms.h"
// Placeholder until the transforms land.
int Rotate180(uint8_t*, uint32_t, uint32_t) { return 0; }
int Rotate90(uint8_t*, uint32_t, uint32_t) { return 0; }
void SwapInt32(uint32_t* a, uint32_t* b) { uint32_t t = *a; *a = *b; *b = t; }
void SwapInt16(uint16_t* a, uint16_t* b) { uint16_t t = *a; *a = *b; *b = t; }
