// The stream as a whole: documents one after the other, told apart by their
// first bytes, with failure texts and filler allowed between them.
#include "stream_decoder.h"

#include <cstdio>
#include <new>

#include "decoder_context.h"

namespace streamview {

// ---- Helpers ----

std::string HexByte(unsigned v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, v > 0xFF ? "0x%04X" : "0x%02X", v);
    return buf;
}

std::string HexDump(const uint8_t* p, size_t n, size_t max)
{
    std::string s;
    char buf[4];
    for (size_t i = 0; i < n && i < max; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", p[i]);
        if (i)
            s += ' ';
        s += buf;
    }
    if (n > max)
        s += " ...";
    return s;
}

std::string Quoted(const uint8_t* p, size_t n)
{
    std::string s = "\"";
    char buf[8];
    for (size_t i = 0; i < n; ++i) {
        const uint8_t c = p[i];
        if (c == '\n')
            s += "\\n";
        else if (c == '\r')
            s += "\\r";
        else if (c == '"' || c == '\\')
            s += std::string("\\") + static_cast<char>(c);
        else if (c >= 0x20 && c < 0x7F)
            s += static_cast<char>(c);
        else {
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            s += buf;
        }
    }
    return s + "\"";
}

Field Num(const std::string& name, uint64_t value) { return Field{name, value, false, {}}; }
Field Hex(const std::string& name, uint64_t value) { return Field{name, value, true, {}}; }
Field Txt(const std::string& name, const std::string& text) { return Field{name, 0, false, text}; }

unsigned ByteSum(const uint8_t* p, size_t n)
{
    unsigned sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += p[i];
    return sum & 0xFFu;
}

namespace {

// The filter's failure texts are plain lines; a CR marks PJL, not one of them.
bool IsTextByte(int b) { return (b >= 0x20 && b < 0x7F) || b == '\t'; }

bool PjlAt(const Reader& r, size_t k)
{
    return r.Peek(k) == '@' && r.Peek(k + 1) == 'P' && r.Peek(k + 2) == 'J' && r.Peek(k + 3) == 'L';
}

}  // namespace

bool ReadStageMessage(Reader& r, Item& item)
{
    if (!IsTextByte(r.Peek()))
        return false;
    size_t end = 0;  // bytes through the last complete line
    for (;;) {
        if (PjlAt(r, end))
            break;
        size_t j = end;
        while (IsTextByte(r.Peek(j)))
            ++j;
        if (r.Peek(j) != '\n')
            break;
        end = j + 1;
    }
    if (end == 0)
        return false;
    item = Item{};
    item.kind = ItemKind::StageMessage;
    item.offset = r.pos();
    item.length = end;
    item.name = "stage message";
    item.text.assign(reinterpret_cast<const char*>(r.Here()), end);
    r.Skip(end);
    return true;
}

Item ReadZeroPairs(Reader& r)
{
    size_t n = 0;
    while (r.Peek(n) == 0)
        ++n;
    if (n % 2)
        Fail(r.pos() + n - 1, "single zero byte: separators and filler come in 00 00 pairs");
    Item item;
    item.kind = ItemKind::ZeroPairs;
    item.offset = r.pos();
    item.length = n;
    item.name = "00 00";
    item.fields.push_back(Num("pairs", n / 2));
    r.Skip(n);
    return item;
}

// ---- Context ----

Item& Context::Add(Item item)
{
    if (!doc) {
        result.looseItems.push_back(std::move(item));
        return result.looseItems.back();
    }
    item.page = openPage;
    doc->items.push_back(std::move(item));
    return doc->items.back();
}

Page& Context::OpenPage(size_t offset)
{
    Page page;
    page.platform = doc->platform;
    page.offset = offset;
    page.sequence = ++pageSequence;
    doc->pages.push_back(std::move(page));
    openPage = static_cast<int>(doc->pages.size()) - 1;
    return doc->pages.back();
}

void Context::ClosePage(bool ended)
{
    Page& page = CurrentPage();
    page.ended = ended;
    if (options.onPage)
        options.onPage(*doc, page);
    if (!options.keepBitmaps) {
        page.bitmap.bits.clear();
        page.bitmap.bits.shrink_to_fit();
    }
    openPage = -1;
}

void SetPageImage(Page& page, std::vector<uint8_t>&& bits, uint32_t lineBits, uint32_t lineCount,
                  uint32_t bitsPerPixel)
{
    page.bitmap.bitsPerPixel = bitsPerPixel;
    page.bitmap.lineBits = lineBits;
    page.bitmap.width = lineBits / bitsPerPixel;
    page.bitmap.height = lineCount;
    page.bitmap.bits = std::move(bits);
    page.markedPixels = page.bitmap.MarkedPixels();
    page.hasBitmap = true;
}

// ---- The stream ----

namespace {

// 1, 2 or 3 for a document start at the cursor, else 0.
int DetectPlatform(const Reader& r)
{
    if (r.Matches("\x1B%-12345XJZJZ"))
        return 3;
    if (r.Matches("\x1B%-12345X@PJL"))
        return 2;
    if (r.Matches(kUelC))
        return 1;
    return 0;
}

void ParseStream(Context& ctx)
{
    Reader& r = ctx.reader;
    StreamResult& result = ctx.result;
    const int forced = ctx.options.platform;
    if (forced < 0 || forced > 3)
        Fail(0, "platform " + std::to_string(forced) + " does not exist (1, 2 or 3)");
    if (r.AtEnd())
        Fail(0, "empty stream");
    while (!r.AtEnd()) {
        const size_t off = r.pos();
        // Filler and failure texts may follow a document: the keep-alive
        // timer runs until the filter exits, and it prints late failures.
        if (r.Peek() == 0 && !result.documents.empty()) {
            Item filler = ReadZeroPairs(r);
            filler.fields.push_back(Num("keepAlive", filler.fields[0].value));
            ctx.Add(std::move(filler));
            continue;
        }
        Item message;
        if (ReadStageMessage(r, message)) {
            ctx.Add(std::move(message));
            continue;
        }
        int platform = DetectPlatform(r);
        bool fragment = false;
        if (platform == 0) {
            // Pages without a document start, as the spool files hold them.
            const bool looksLikePages =
                (forced == 1 || forced == 2) ? (r.Peek() == 0 || r.Peek() == 0x0B)
                                             : (forced == 3 && r.Peek(14) == 'Z' && r.Peek(15) == 'Z');
            if (!looksLikePages) {
                const std::string found = HexDump(r.Here(), r.left(), 12);
                if (r.Matches(kUel))
                    Fail(off, "UEL not followed by \"@PJL\" or \"JZJZ\": found " + found);
                Fail(off, "no document start here (ESC \"%-12345X\" or ESC 0xFF \"-12345X\"): found " +
                              found);
            }
            platform = forced;
            fragment = true;
        } else if (forced && platform != forced) {
            Fail(off, "document starts as platform " + std::to_string(platform) + ", not platform " +
                          std::to_string(forced));
        }
        result.documents.emplace_back();
        Document& doc = result.documents.back();
        doc.platform = platform;
        doc.offset = off;
        doc.fragment = fragment;
        ctx.doc = &doc;
        ctx.openPage = -1;
        if (platform == 3)
            ParseBlockDocument(ctx, fragment);
        else
            ParsePacketDocument(ctx, platform, fragment);
        doc.endOffset = r.pos();
        ctx.doc = nullptr;
    }
    if (result.documents.empty())
        ctx.Warn(0, "no document in the stream, only text");
}

}  // namespace

StreamResult DecodeStream(const uint8_t* data, size_t size, const DecodeOptions& options)
{
    StreamResult result;
    result.size = size;
    Context ctx(data, size, options, result);
    try {
        ParseStream(ctx);
    } catch (const ParseError& e) {
        result.ok = false;
        result.error = {e.offset, e.text};
    } catch (const std::bad_alloc&) {
        result.ok = false;
        result.error = {ctx.reader.pos(), "out of memory"};
    }
    return result;
}

StreamResult DecodeStream(const std::vector<uint8_t>& data, const DecodeOptions& options)
{
    return DecodeStream(data.data(), data.size(), options);
}

}  // namespace streamview
