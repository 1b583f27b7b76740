// The empty back page of a two-sided job with an odd page count.
#pragma once

#include <cups/raster.h>

#include "stream/records.h"

void InsertBlankPage(cups_page_header2_t header, PageSetup& setup, int platform);
