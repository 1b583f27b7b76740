// The command packets of platforms 1 and 2: which (opcode, length) pairs
// exist, on which platform, and the named fields of each.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder_context.h"

namespace streamview {

enum class Pk {
    Abort, Reset, FormFeed, ManualDuplexP2, ManualDuplexP1, QueryStatus, HostUse, MachineDuplex,
    JobSpecP2, JobSpecP1, Density, TonerSave, SysTime, TonerParamR01, TonerParamR02,
    PageSpec, CustomPaper, RasterImage, ImageChecksum, CoveragePageEnd, CoveragePageData, BandRecord,
};

struct PacketType {
    uint8_t opcode;
    uint8_t length;     // total, mark and checksum included
    Pk id;
    const char* name;
    unsigned platforms;  // bit 0: platform 1, bit 1: platform 2
};

struct Packet {
    const PacketType* type;
    const uint8_t* bytes;
    size_t offset;
};

const char* NameOf(Pk id);

// The packet at the cursor, checked: a known opcode with a length it comes
// in, one that belongs to the platform, and bytes that sum to 0.
Packet ReadPacket(Reader& r, int platform);

// The packet's named fields, its checksum last.
Item DescribePacket(const Packet& pk);

}  // namespace streamview
