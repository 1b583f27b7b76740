#include "stream/records.h"

uint32_t dotCount = 0;
uint32_t imageChecksum = 0;
