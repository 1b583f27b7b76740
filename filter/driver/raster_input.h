// Reading the job's CUPS raster: what a page header must hold before the
// filter trusts it, and collecting a page's lines into the grey page.
#pragma once

#include <cups/raster.h>

#include <cstdint>

// Longest raster line the filter reads: far beyond the widest paper at the
// highest resolution any of the printers takes.
constexpr unsigned kMaxBytesPerLine = 65536;

// Most copies a page may ask for: the stream carries the count in 16 bits.
constexpr unsigned kMaxCopies = 65535;

// 1 when the page is 8-bit grey the filter can print: one colour of 8 bits
// in a luminance space (W, SW) or in black (K, read inverted), in lines the
// printer can take and copies the stream can carry. Otherwise writes an
// "ERROR:" line naming the page and what it holds, and returns 0.
int CheckRasterPage(const cups_page_header2_t& header, int pageNumber);

// 1 when the page's bytes count ink (0 = white) and must be inverted as read.
int RasterIsInverted(const cups_page_header2_t& header);

// Reads the page's lines into the grey page (width bytes per row, height
// rows), reporting progress every 128 lines, and stops early at a failed
// read (the raster ends too soon: an "ERROR:" line) or a cancel request;
// lines past height are read and dropped, bytes past width cut. lineBuf
// holds at least max(cupsBytesPerLine, width) bytes. Returns the number of
// lines read.
unsigned ReadPageLines(cups_raster_t* raster, const cups_page_header2_t& header, uint8_t* lineBuf,
                       uint8_t* grey, uint32_t width, uint32_t height, int pageNumber);

// After a header could not be read: 1 when the raster input still holds
// data, so the header was refused rather than the input at its end.
// Consumes a byte; blocks until there is one, the input ends or a cancel
// request comes (then 0).
int RasterInputContinues(int fd);

// Reads the page's lines as ReadPageLines does, for a page fed long edge
// first: the lines gather in band (kTurnBandLines x width bytes) and each
// full band goes straight to its place on the page turned a quarter turn,
// clockwise, or counter-clockwise when the page is also turned a half turn.
// page: height bytes wide and width rows tall, white beforehand; what the
// raster does not cover stays white. Returns the number of lines read.
unsigned ReadTurnedPageLines(cups_raster_t* raster, const cups_page_header2_t& header,
                             uint8_t* lineBuf, uint8_t* band, uint8_t* page, uint32_t width,
                             uint32_t height, int pageNumber, int counterClockwise);
