// The JBIG-compressed page bitmap, wrapped for each platform: one image
// (platform 1), 256-line bands with their records (platform 2), or 64 KiB
// data blocks (platform 3).
#pragma once

#include <cstddef>
#include <cstdint>

#include "stream/packets.h"
#include "stream/records.h"

// Compresses and sends info.bitmap; writes info.compressedSize.
int Prnt_SendPage(PageDataInfo& info, int platform);

// The encoder's output for one run; grows as the encoder produces data.
extern uint8_t* jbigOut;
extern size_t jbigOutLen;

// Compresses the page into out (which the function may grow; *outCapacity
// is its size) and returns the number of bytes placed there.
size_t CompressPageBands(const PageDataInfo& info, JbigParams& params, uint8_t*& out,
                         size_t& outCapacity, int platform);
// One JBIG encoder run of params.XD x params.YD bits into jbigOut.
int JbigEncodeBand(const JbigParams& params, uint8_t* band);
// The encoder's output callback: appends to jbigOut.
void AppendJbigOutput(unsigned char* data, size_t length, void* file);
