// JBIG compression of a page bitmap into one growing output buffer: a single
// image, or the 256-line bands of platform 2 each behind its band record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "stream/packets.h"
#include "stream/records.h"

// Lines per band on platform 2 (and per stripe on platform 3).
constexpr uint32_t kBandLines = 256;

// The page's compressed output. The encoder's callback appends to it and it
// grows as needed; jbigOutFailed is set when it could not grow, and the data
// is then incomplete.
extern uint8_t* jbigOut;
extern size_t jbigOutLen;
extern size_t jbigOutCap;
extern int jbigOutFailed;
// Allocator behind jbigOut (realloc semantics, released with free); tests
// swap it to play out a full heap.
extern void* (*jbigOutRealloc)(void* block, size_t size);

// Makes room for extra more bytes in jbigOut; 0 (and jbigOutFailed set)
// when memory ran out.
int ReserveJbigOut(size_t extra);
// Frees jbigOut and clears its counts and failure flag.
void ReleaseJbigOut();

// Compresses lines of (XD + 7) / 8 bytes from bitmap, appending to jbigOut:
// one run on platforms 1 and 3; on platform 2 one run per band, each behind
// its band record, with params.YD and L0 rewritten per band. Sets
// imageChecksum after each run. 0 when memory ran out.
int CompressPageBands(const PageDataInfo& info, JbigParams& params, const uint8_t* bitmap,
                      int platform);
// One JBIG encoder run over params.XD x params.YD bits of band, appended to
// jbigOut. Only single-plane images are supported (0 otherwise).
int JbigEncodeBand(const JbigParams& params, const uint8_t* band);
// The encoder's output callback: appends to jbigOut. file is not used.
void AppendJbigOutput(unsigned char* data, size_t length, void* file);
