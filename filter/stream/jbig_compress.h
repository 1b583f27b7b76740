// JBIG compression of a page bitmap into one growing output buffer: a single
// image, or the 256-line bands of platform 2 each behind its band record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "stream/packets.h"
#include "stream/records.h"

// Lines per band on platform 2 (and per stripe on platform 3).
constexpr uint32_t kBandLines = 256;

// One page's compressed output. The encoder's callback appends to it and it
// grows as needed; failed is set when it could not grow, and the data is
// then incomplete. checksum is that of the last complete run.
struct JbigOutput {
    uint8_t* data = nullptr;
    std::size_t length = 0;
    std::size_t capacity = 0;
    int failed = 0;
    uint32_t checksum = 0;
    int runs = 0;  // complete runs, each with its checksum
};

// Allocator behind the output (realloc semantics, released with free);
// tests swap it to play out a full heap.
extern void* (*jbigOutRealloc)(void* block, std::size_t size);

// Makes room for extra more bytes; 0 (and out.failed set) when memory ran
// out.
int ReserveJbigOut(JbigOutput& out, std::size_t extra);
// Frees the data and clears the counts and failure flag.
void ReleaseJbigOut(JbigOutput& out);

// Compresses lines of (XD + 7) / 8 bytes from bitmap, appending to out:
// one run on platforms 1 and 3; on platform 2 one run per band, each behind
// its band record, with params.YD and L0 rewritten per band. Sets
// out.checksum after each run. 0 when memory ran out.
int CompressPageBands(JbigOutput& out, const PageDataInfo& info, JbigParams& params,
                      const uint8_t* bitmap, int platform);
// One JBIG encoder run over params.XD x params.YD bits of band, appended to
// out. Only single-plane images are supported (0 otherwise).
int JbigEncodeBand(JbigOutput& out, const JbigParams& params, const uint8_t* band);
// The encoder's output callback: appends to the JbigOutput that file points
// to.
void AppendJbigOutput(unsigned char* data, std::size_t length, void* file);
