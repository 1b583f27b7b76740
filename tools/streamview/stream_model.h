// What the stream viewer finds in a printer stream: documents, their pages,
// every packet, block and text in stream order, and the decoded page images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace streamview {

// One named value of a packet or block. Codes and flags are shown in hex.
struct Field {
    std::string name;
    uint64_t value = 0;
    bool hex = false;
    std::string text;  // set for text values (PJL settings, dates)
};

enum class ItemKind {
    Uel,            // universal exit language (ESC "%-12345X" or ESC 0xFF "-12345X")
    PjlLine,        // "@PJL ..." line
    Text,           // fixed text such as the firmware version or "JZJZ"
    ZeroPairs,      // run of 00 00 pairs (separators and keep-alive filler)
    Packet,         // command packet of platforms 1 and 2
    BandRecord,     // 48-byte band record of platform 2
    Block,          // block of platform 3
    JbigData,       // compressed page or band data
    StageMessage,   // failure text the filter printed into the stream
};

struct Item {
    ItemKind kind = ItemKind::Packet;
    size_t offset = 0;
    size_t length = 0;
    std::string name;          // packet or block name, e.g. "cmdPageSpec"
    std::vector<Field> fields;
    std::string text;          // PJL line, stage message, fixed text
    int page = -1;             // index into Document::pages, -1 for the document
};

// The 20-byte JBIG bi-level image header.
struct JbigHeader {
    uint8_t DL = 0, D = 0, P = 0, fill = 0;
    uint32_t XD = 0, YD = 0, L0 = 0;
    uint8_t MX = 0, MY = 0, order = 0, options = 0;
};

// A decoded page image: rows of lineBits bits, most significant bit first,
// each row padded to whole bytes. With 2 bits per pixel each pixel is two
// adjacent bits and a higher level means more toner.
struct Bitmap {
    uint32_t width = 0;         // pixels
    uint32_t height = 0;        // lines
    uint32_t bitsPerPixel = 1;
    uint32_t lineBits = 0;      // width * bitsPerPixel
    std::vector<uint8_t> bits;

    size_t RowBytes() const { return (static_cast<size_t>(lineBits) + 7) / 8; }
    bool Empty() const { return bits.empty(); }
    // Toner level of a pixel: 0 (white) … MaxLevel() (full toner).
    unsigned Level(uint32_t x, uint32_t y) const;
    unsigned MaxLevel() const { return (1u << bitsPerPixel) - 1; }
    // Level scaled to 0 (white) … 255 (black).
    uint8_t Darkness(uint32_t x, uint32_t y) const;
    // Pixels that carry any toner.
    uint64_t MarkedPixels() const;
};

struct Page {
    int platform = 0;
    size_t offset = 0;
    int sequence = 0;           // 1-based position in the whole stream
    // Page start.
    uint32_t paperCode = 0;
    uint32_t mediaType = 0;
    uint32_t xResolution = 0;
    uint32_t yResolution = 0;
    uint32_t inputTray = 0;
    uint32_t copies = 0;
    int pageNumber = -1;        // carried on platforms 1 and 2 only
    bool customPaper = false;
    uint32_t customWidth = 0, customHeight = 0;
    uint32_t imageWidth = 0, imageHeight = 0;  // announced line bits and lines, where the stream says
    bool hasImageSize = false;
    uint32_t bitsPerPixel = 1;
    // Page data.
    bool hasData = false;
    JbigHeader jbig;            // platforms 1 and 3; the first band's on platform 2
    uint32_t lineBits = 0;
    uint32_t lineCount = 0;
    uint32_t compressedSize = 0;  // bytes of JBIG data (all bands on platform 2)
    int bands = 0;
    // Page end.
    bool ended = false;
    bool machineDuplexTurn = false;  // platform 1: machineDuplexCmd after this page
    int coverage = -1;               // platform 1 page end; platform 2: dots / 1000
    int imageChecksum = -1;          // platform 1: value sent
    int computedChecksum = -1;       // platform 1: value the data gives
    uint64_t markedPixels = 0;
    bool hasBitmap = false;
    Bitmap bitmap;                   // empty unless bitmaps are kept
};

struct Document {
    int platform = 0;
    size_t offset = 0;
    size_t endOffset = 0;
    bool ended = false;
    bool fragment = false;      // pages without a document start (spool files)
    bool sawMessage = false;
    int jobId = -1;
    int jobFlags = -1;
    int density = -1;
    bool manualDuplex = false;  // a manual-duplex pause was sent
    bool machineDuplex = false; // a machine-duplex command was sent
    uint64_t keepAlivePairs = 0; // 00 00 pairs beyond the separators
    std::vector<Page> pages;
    std::vector<Item> items;    // everything in stream order

    // "manual", "duplex" or "simplex", from the commands and job flags.
    std::string DuplexMode() const;
};

struct Diagnostic {
    size_t offset = 0;
    std::string text;
};

struct StreamResult {
    size_t size = 0;
    std::vector<Document> documents;
    std::vector<Item> looseItems;        // stage messages and filler outside documents
    std::vector<Diagnostic> warnings;
    bool ok = true;
    Diagnostic error;                    // set when ok is false

    size_t PageCount() const;
};

}  // namespace streamview
