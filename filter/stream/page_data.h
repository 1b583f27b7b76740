// The JBIG-compressed page bitmap, wrapped for each platform: one image
// (platform 1), 256-line bands with their records (platform 2), or 64 KiB
// data blocks (platform 3).
#pragma once

#include <cstddef>
#include <cstdint>

#include "stream/output_sink.h"
#include "stream/packets.h"
#include "stream/records.h"

// Compresses and sends info.bitmap; writes info.compressedSize and
// info.imageChecksum.
int Prnt_SendPage(StreamSink& sink, PageDataInfo& info, int platform);

// Largest payload of one platform-3 data block.
constexpr size_t kJbigChunkBytes = 65536;

// The encoder settings of a platform for a page of info.lineBits x
// info.lineCount bits; 0 for an unknown platform.
int SetupJbigParams(JbigParams& params, const PageDataInfo& info, int platform);

// Platform 3: the data in blocks of at most 64 KiB, then the end block.
int SendJbigDataBlocks(StreamSink& sink, const uint8_t* data, size_t size);
