// Shared state of the platform parsers: a bounds-checked reader over the
// stream, the result being built, and the rule that ends parsing at the
// first malformed byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "stream_decoder.h"
#include "stream_model.h"

namespace streamview {

// Thrown at the first malformed byte; DecodeStream turns it into the
// result's error.
struct ParseError {
    size_t offset;
    std::string text;
};

[[noreturn]] inline void Fail(size_t offset, std::string text) { throw ParseError{offset, std::move(text)}; }

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t pos() const { return pos_; }
    size_t size() const { return size_; }
    size_t left() const { return size_ - pos_; }
    bool AtEnd() const { return pos_ >= size_; }
    bool Has(size_t n) const { return left() >= n; }
    // Byte k ahead of the cursor, or -1 past the end.
    int Peek(size_t k = 0) const { return k < left() ? data_[pos_ + k] : -1; }
    bool Matches(const void* bytes, size_t n) const
    {
        return Has(n) && std::memcmp(data_ + pos_, bytes, n) == 0;
    }
    bool Matches(const char* text) const { return Matches(text, std::strlen(text)); }
    const uint8_t* Here() const { return data_ + pos_; }

    // The next n bytes, or a "truncated" error naming what was being read.
    const uint8_t* Take(size_t n, const std::string& what)
    {
        if (!Has(n))
            Fail(pos_, "truncated " + what + ": needs " + std::to_string(n) + " bytes, only " +
                           std::to_string(left()) + " left");
        const uint8_t* p = data_ + pos_;
        pos_ += n;
        return p;
    }
    void Skip(size_t n) { Take(n, "data"); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

struct Context {
    Context(const uint8_t* data, size_t size, const DecodeOptions& o, StreamResult& r)
        : reader(data, size), options(o), result(r)
    {
    }

    Reader reader;
    const DecodeOptions& options;
    StreamResult& result;
    Document* doc = nullptr;
    int openPage = -1;      // index of the page being read, -1 between pages
    int pageSequence = 0;

    void Warn(size_t offset, std::string text) { result.warnings.push_back({offset, std::move(text)}); }
    // Adds to the current document (to the open page, if any) or, outside
    // documents, to the loose items.
    Item& Add(Item item);
    Page& OpenPage(size_t offset);
    Page& CurrentPage() { return doc->pages[static_cast<size_t>(openPage)]; }
    // Marks the page complete, hands it to onPage, drops its bitmap if asked.
    void ClosePage(bool ended);
};

// ---- Helpers shared by the parsers (stream_decoder.cpp) ----

// Universal exit language, and the platform-1 form with 0xFF for '%'.
inline constexpr char kUel[] = "\x1B%-12345X";
inline constexpr char kUelC[] = "\x1B\xFF-12345X";
inline constexpr size_t kUelLen = 9;

std::string HexByte(unsigned v);            // "0x0B", "0x0112" above a byte
std::string HexDump(const uint8_t* p, size_t n, size_t max = 16);  // "0B 04 …"
std::string Quoted(const uint8_t* p, size_t n);  // printable copy with \n, \r, \xNN
Field Num(const std::string& name, uint64_t value);
Field Hex(const std::string& name, uint64_t value);
Field Txt(const std::string& name, const std::string& text);

// A failure text of the filter: one or more lines of printable text, each
// ending in a newline, not starting with "@PJL". Consumes it and returns
// true, or leaves the reader where it was.
bool ReadStageMessage(Reader& r, Item& item);
// A run of 00 00 pairs at the cursor (at least one); a lone zero byte is an
// error.
Item ReadZeroPairs(Reader& r);
// Sum of bytes, modulo 256.
unsigned ByteSum(const uint8_t* p, size_t n);
JbigHeader ParseJbigHeader(const uint8_t* p);  // 20 bytes
void AddJbigHeaderFields(Item& item, const JbigHeader& h);

// Over three times the largest page (4864 x 8192 pixels at 600 dpi, doubled
// both ways at 1200 dpi): a forged size must not make the decoder allocate
// gigabytes from a few bytes of data.
inline constexpr uint64_t kMaxPageBits = uint64_t(1) << 29;

// Maps a position in a piece of JBIG data to its offset in the stream.
using OffsetMap = std::function<size_t(size_t)>;

// Decodes one JBIG image of exactly xd x yd bits into rows of (xd + 7) / 8
// bytes; Fail()s with the stream offset on any mismatch or decoder error.
// `what` names the data and `sizeSource` what announced its size.
std::vector<uint8_t> DecodeJbigImage(const uint8_t* data, size_t size, const OffsetMap& where,
                                     uint32_t xd, uint32_t yd, const std::string& what,
                                     const std::string& sizeSource);

// Stores a decoded image in the page and counts its marked pixels.
void SetPageImage(Page& page, std::vector<uint8_t>&& bits, uint32_t lineBits, uint32_t lineCount,
                  uint32_t bitsPerPixel);

// ---- Platform parsers ----
// Each reads one document from the reader's cursor, through its end.
void ParsePacketDocument(Context& ctx, int platform, bool fragment);  // platforms 1 and 2
void ParseBlockDocument(Context& ctx, bool fragment);                 // platform 3

}  // namespace streamview
