#include "packet_catalog.h"

#include "stream/byte_order.h"

namespace streamview {

namespace {

constexpr unsigned kP1 = 1, kP2 = 2;  // platform bits

// The opcode alone does not name a packet: 0x11, 0x19, 0x1A and 0x1E come
// in more than one length.
constexpr PacketType kPackets[] = {
    {0x16, 4, Pk::Abort, "abortCmd", kP1},
    {0x17, 4, Pk::Reset, "resetCmd", kP1 | kP2},
    {0x18, 4, Pk::FormFeed, "formFeedCmd", kP1 | kP2},
    {0x1B, 4, Pk::ManualDuplexP2, "manualDuplexCmd", kP2},
    {0x30, 4, Pk::ManualDuplexP1, "manualDuplexCmd", kP1},
    {0x31, 5, Pk::QueryStatus, "queryStatusCmd", kP1},
    {0x32, 4, Pk::HostUse, "hostUseCmd", kP1},
    {0x40, 4, Pk::MachineDuplex, "machineDuplexCmd", kP1},
    {0x11, 9, Pk::JobSpecP2, "cmdJobSpec", kP2},
    {0x11, 6, Pk::JobSpecP1, "cmdJobSpec", kP1},
    {0x15, 5, Pk::Density, "cmdDensity", kP1 | kP2},
    {0x19, 5, Pk::TonerSave, "cmdTonerSave", kP1},
    {0x1F, 8, Pk::SysTime, "cmdSysTime", kP1},
    {0x1E, 36, Pk::TonerParamR01, "cmdTonerParamR01", kP2},
    {0x1E, 40, Pk::TonerParamR02, "cmdTonerParamR01", kP2},
    {0x12, 18, Pk::PageSpec, "cmdPageSpec", kP1 | kP2},
    {0x13, 12, Pk::CustomPaper, "cmdCustomPaper", kP1 | kP2},
    {0x0C, 18, Pk::RasterImage, "cmdRasterImage", kP1 | kP2},
    {0x1A, 6, Pk::ImageChecksum, "cmdImageDataChenksum", kP1},
    {0x1E, 6, Pk::CoveragePageEnd, "cmdCoverage", kP1},
    {0x19, 7, Pk::CoveragePageData, "cmdCoverage", kP2},
    {0x1A, 48, Pk::BandRecord, "band record", kP2},
};

}  // namespace

const char* NameOf(Pk id)
{
    for (const PacketType& t : kPackets)
        if (t.id == id)
            return t.name;
    return "?";
}

Packet ReadPacket(Reader& r, int platform)
{
    const size_t off = r.pos();
    if (!r.Has(3))
        Fail(off, "truncated packet: the stream ends " + std::to_string(r.left()) +
                      " byte(s) into its 3-byte head");
    const uint8_t length = static_cast<uint8_t>(r.Peek(1));
    const uint8_t opcode = static_cast<uint8_t>(r.Peek(2));
    const PacketType* type = nullptr;
    std::string lengths;
    for (const PacketType& t : kPackets) {
        if (t.opcode != opcode)
            continue;
        if (t.length == length)
            type = &t;
        lengths += (lengths.empty() ? "" : " or ") + std::to_string(t.length);
    }
    if (!type) {
        if (lengths.empty())
            Fail(off + 2, "unknown packet opcode " + HexByte(opcode) + " (length " +
                              std::to_string(length) + ")");
        Fail(off + 1, "packet with opcode " + HexByte(opcode) + " has length " +
                          std::to_string(length) + "; that opcode comes with length " + lengths);
    }
    if (!(type->platforms & (1u << (platform - 1))))
        Fail(off, std::string(type->name) + " (opcode " + HexByte(opcode) + ", " +
                      std::to_string(length) + " bytes) does not belong in a platform-" +
                      std::to_string(platform) + " stream");
    const uint8_t* p = r.Take(length, std::string(type->name) + " packet");
    const unsigned sum = ByteSum(p, length);
    if (sum != 0) {
        const unsigned good = (256 - ByteSum(p, length - 1u)) & 0xFFu;
        Fail(off + length - 1, std::string(type->name) + " checksum " + HexByte(p[length - 1]) +
                                   " is wrong: the packet sums to " + HexByte(sum) +
                                   ", not 0 (checksum should be " + HexByte(good) + ")");
    }
    return Packet{type, p, off};
}

// The named fields of a packet.
Item DescribePacket(const Packet& pk)
{
    const uint8_t* p = pk.bytes;
    Item item;
    item.kind = pk.type->id == Pk::BandRecord ? ItemKind::BandRecord : ItemKind::Packet;
    item.offset = pk.offset;
    item.length = pk.type->length;
    item.name = pk.type->name;
    auto& f = item.fields;
    switch (pk.type->id) {
    case Pk::JobSpecP2:
        f = {Hex("jobFlags", p[3]), Num("jobId", GetLE32(p + 4))};
        break;
    case Pk::JobSpecP1:
        f = {Num("jobId", p[3]), Hex("jobFlags", p[4])};
        break;
    case Pk::Density:
        f = {Num("density", p[3])};
        break;
    case Pk::TonerSave:
        f = {Num("tonerSave", p[3])};
        break;
    case Pk::SysTime:
        f = {Num("year", GetLE16(p + 3)), Num("month", p[5]), Num("day", p[6])};
        break;
    case Pk::TonerParamR01:
    case Pk::TonerParamR02:
        f = {Txt("model", pk.type->id == Pk::TonerParamR01 ? "R01" : "R02"),
             Txt("payload", HexDump(p + 3, pk.type->length - 4u, 64))};
        break;
    case Pk::QueryStatus:
        f = {Hex("query", p[3])};
        break;
    case Pk::PageSpec:
        f = {Hex("paperCode", p[3]),     Num("mediaType", p[4]),   Num("xResolution", p[5]),
             Num("yResolution", p[6]),   Num("inputTray", p[7]),   Hex("flags", p[8]),
             Num("copies", GetLE16(p + 9)), Num("offsetX", GetLE16(p + 11)),
             Num("offsetY", GetLE16(p + 13)), Num("pageNumber", GetLE16(p + 15))};
        break;
    case Pk::CustomPaper:
        f = {Num("customWidth", GetLE16(p + 3)), Num("customHeight", GetLE16(p + 5)),
             Num("imageWidth", GetLE16(p + 7)), Num("imageHeight", GetLE16(p + 9))};
        break;
    case Pk::RasterImage:
        f = {Num("rasterMode", p[3]),          Hex("rasterFlags", p[4]),
             Num("lineBits", GetLE16(p + 5)),  Num("lineCount", GetLE16(p + 7)),
             Num("widthPixels", GetLE16(p + 9)), Num("stripeLines", GetLE16(p + 11)),
             Num("compressedSize", GetLE32(p + 13))};
        break;
    case Pk::ImageChecksum:
        f = {Hex("imageChecksum", GetLE16(p + 3))};
        break;
    case Pk::CoveragePageEnd:
        f = {Num("coverage", GetLE16(p + 3))};
        break;
    case Pk::CoveragePageData:
        f = {Num("dotCount/1000", (p[3] & 0x3Fu) | ((p[4] & 0x3Fu) << 6) | ((p[5] & 0x0Fu) << 12))};
        break;
    case Pk::BandRecord:
        f = {Num("P", p[5]),
             Num("XD", GetLE32(p + 7)),
             Num("YD", GetLE32(p + 11)),
             Num("L0", GetLE32(p + 15)),
             Num("MX", p[19]),
             Num("MY", p[20]),
             Num("order", p[21]),
             Hex("options", p[22]),
             Num("length", GetLE32(p + 23)),
             Num("length2", GetLE32(p + 27)),
             Num("firstLine", GetLE32(p + 35))};
        break;
    default:
        break;
    }
    f.push_back(Hex("checksum", p[pk.type->length - 1]));
    return item;
}

}  // namespace streamview
