// Reading the job's CUPS raster: what a page header must hold before the
// engine trusts it, and reading a page's lines.
#pragma once

#include <cups/raster.h>

#include <cstdint>

#include "driver/status.h"

// Longest raster line the filter reads: far beyond the widest paper at the
// highest resolution any of the printers takes.
constexpr unsigned kMaxBytesPerLine = 65536;

// Most copies a page may ask for: the stream carries the count in 16 bits.
constexpr unsigned kMaxCopies = 65535;

// 1 when the page is 8-bit grey the filter can print: one colour of 8 bits
// in a luminance space (W, SW) or in black (K, read inverted), in lines the
// printer can take and copies the stream can carry. Otherwise writes an
// "ERROR:" line naming the page and what it holds, and returns 0.
int CheckRasterPage(const cups_page_header2_t& header, int pageNumber, const StatusReporter& status);

// 1 when the page's bytes count ink (0 = white) and must be inverted as read.
int RasterIsInverted(const cups_page_header2_t& header);

// Reads raster line `line` of the page into lineBuf (cupsBytesPerLine
// bytes), writing the progress line every 128 lines first. Returns 0 when
// it cannot be read: the raster ends too soon (an "ERROR:" line unless the
// job is being cancelled).
int ReadRasterLine(cups_raster_t* raster, const cups_page_header2_t& header, uint8_t* lineBuf,
                   unsigned line, int pageNumber, const StatusReporter& status);

// The grey line (0 black .. 255 white) of a raster line for a page `width`
// pixels wide: the raster's first copyBytes bytes, inverted when the raster
// counts ink, and white beyond. grey holds width bytes and is white beyond
// copyBytes already. Returns raster itself when it serves as it is.
const uint8_t* GreyLine(const uint8_t* raster, uint8_t* grey, uint32_t copyBytes, uint32_t width,
                        int invert);

// After a header could not be read: 1 when the raster input still holds
// data, so the header was refused rather than the input at its end.
// Consumes a byte; blocks until there is one, the input ends or a cancel
// request comes (then 0).
int RasterInputContinues(int fd);
