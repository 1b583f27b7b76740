#include "imaging/screening.h"
// Placeholder until screening lands.
int ScreenPage(const uint8_t*, uint32_t, uint32_t, uint8_t*, uint32_t, int, int, int) { return 0; }
