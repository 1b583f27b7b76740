// The empty back page of a two-sided job with an odd page count.
#pragma once

#include <cups/raster.h>

#include <cstddef>
#include <cstdint>

#include "stream/output_sink.h"
#include "stream/records.h"

// Frames and sends one blank page after the last one: page number
// pageNumber, the geometry of setup (which keeps the new page number).
// imageChecksum: the checksum of the last compressed data, which the blank
// page's own replaces once compressed. Stage failures are reported in the
// printer stream; the page goes on.
void InsertBlankPage(StreamSink& sink, const cups_page_header2_t& header, PageSetup& setup, int platform,
                     int pageNumber, uint32_t& imageChecksum);

// Bytes of a blank bitmap of width x height pixels (two bits per pixel when
// twoBitMode is not 0), every line rounded up to whole bytes. 0 when the
// size cannot be held in memory.
int BlankBitmapSize(uint32_t width, uint32_t height, uint32_t twoBitMode, std::size_t* bytes);

// The page data record of a blank width x height page (bitmap not set).
PageDataInfo BlankPageData(uint32_t width, uint32_t height, uint32_t twoBitMode,
                           unsigned xResolution, int platform);

// Allocates the blank bitmap, zero-filled, released with free(); tests make
// it fail.
extern void* (*blankBitmapAlloc)(std::size_t count, std::size_t size);
