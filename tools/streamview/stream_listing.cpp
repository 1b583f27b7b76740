#include "stream_listing.h"

#include <cstdint>
#include <cstdio>
#include <sstream>

namespace streamview {

namespace {

std::string HexValue(uint64_t v)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, v > 0xFF ? "0x%04llX" : "0x%02llX", static_cast<unsigned long long>(v));
    return buf;
}

std::string Escaped(const std::string& s)
{
    std::string out = "\"";
    for (const char c : s) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out + "\"";
}

std::string Offset(size_t off)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "%9zu", off);
    return buf;
}

std::string PageHeading(const Page& page, int index)
{
    std::ostringstream s;
    s << "page " << index << " at offset " << page.offset << ":";
    if (page.platform == 3)
        s << " paper " << page.paperCode;
    else
        s << " paper " << HexValue(page.paperCode);
    if (page.customPaper)
        s << " (custom " << page.customWidth << "x" << page.customHeight << ")";
    s << ", copies " << page.copies;
    if (page.pageNumber >= 0)
        s << ", page number " << page.pageNumber;
    if (page.hasBitmap)
        s << ", image " << page.bitmap.width << "x" << page.bitmap.height << " pixels at "
          << page.bitmap.bitsPerPixel << " bit" << (page.bitmap.bitsPerPixel > 1 ? "s" : "")
          << " per pixel, " << page.markedPixels << " marked";
    else
        s << ", no image";
    if (page.compressedSize)
        s << ", " << page.compressedSize << " bytes compressed";
    if (page.bands)
        s << " in " << page.bands << (page.bands == 1 ? " band" : " bands");
    if (page.coverage >= 0)
        s << (page.platform == 2 ? ", dots/1000 " : ", coverage ") << page.coverage;
    if (page.imageChecksum >= 0) {
        s << ", imageChecksum " << HexValue(static_cast<uint64_t>(page.imageChecksum));
        if (page.computedChecksum >= 0)
            s << (page.imageChecksum == page.computedChecksum ? " (matches the data)" : " (data differs)");
    }
    if (page.machineDuplexTurn)
        s << ", machine-duplex turn";
    if (!page.ended)
        s << ", incomplete";
    return s.str();
}

std::string DocumentHeading(const Document& doc, int index)
{
    std::ostringstream s;
    s << "document " << index << " at offset " << doc.offset << ": platform " << doc.platform;
    if (doc.fragment)
        s << " (pages only)";
    if (doc.jobId >= 0)
        s << ", job " << doc.jobId;
    if (doc.jobFlags >= 0)
        s << ", job flags " << HexValue(static_cast<uint64_t>(doc.jobFlags));
    if (doc.density >= 0)
        s << ", density " << doc.density;
    s << ", " << doc.pages.size() << " page" << (doc.pages.size() == 1 ? "" : "s") << ", "
      << doc.DuplexMode();
    if (doc.keepAlivePairs)
        s << ", " << doc.keepAlivePairs << " keep-alive pair" << (doc.keepAlivePairs == 1 ? "" : "s");
    s << (doc.ended ? ", ended at offset " + std::to_string(doc.endOffset) : std::string(", not ended"));
    return s.str();
}

}  // namespace

std::string FormatItem(const Item& item)
{
    std::string s = item.name;
    if (item.kind == ItemKind::PjlLine || item.kind == ItemKind::StageMessage ||
        item.kind == ItemKind::Text)
        s += " " + Escaped(item.text);
    else if (item.kind == ItemKind::Uel && !item.text.empty())
        s += " + " + item.text;
    if (item.kind == ItemKind::JbigData || item.kind == ItemKind::Block)
        s += " (" + std::to_string(item.length) + " bytes)";
    for (const Field& f : item.fields) {
        s += "  " + f.name + "=";
        if (!f.text.empty())
            s += f.text;
        else if (f.hex)
            s += HexValue(f.value);
        else
            s += std::to_string(f.value);
    }
    return s;
}

void PrintListing(std::ostream& out, const StreamResult& result)
{
    const size_t pages = result.PageCount();
    out << "stream of " << result.size << " bytes: " << result.documents.size() << " document"
        << (result.documents.size() == 1 ? "" : "s") << ", " << pages << " page" << (pages == 1 ? "" : "s")
        << "\n";
    size_t loose = 0;
    auto looseBefore = [&](size_t offset) {
        for (; loose < result.looseItems.size() && result.looseItems[loose].offset < offset; ++loose)
            out << Offset(result.looseItems[loose].offset) << "  " << FormatItem(result.looseItems[loose])
                << "\n";
    };
    for (size_t d = 0; d < result.documents.size(); ++d) {
        const Document& doc = result.documents[d];
        looseBefore(doc.offset);
        out << DocumentHeading(doc, static_cast<int>(d + 1)) << "\n";
        int headed = -1;  // pages open and close in stream order
        for (const Item& item : doc.items) {
            if (item.page > headed) {
                headed = item.page;
                out << "  " << PageHeading(doc.pages[static_cast<size_t>(item.page)], item.page + 1) << "\n";
            }
            out << Offset(item.offset) << (item.page >= 0 ? "      " : "    ") << FormatItem(item) << "\n";
        }
    }
    looseBefore(SIZE_MAX);
}

std::string SummaryLine(const Document& doc, int docNumber, const Page& page)
{
    std::ostringstream s;
    const int number = page.pageNumber >= 0 ? page.pageNumber
                                            : static_cast<int>(&page - doc.pages.data()) + 1;
    s << "doc=" << docNumber << " seq=" << page.sequence << " platform=" << page.platform
      << " page=" << number << " paper=" << page.paperCode << " size=";
    if (page.hasBitmap)
        s << page.bitmap.width << "x" << page.bitmap.height;
    else
        s << "-";
    s << " bpp=" << page.bitsPerPixel << " copies=" << page.copies << " duplex=" << doc.DuplexMode()
      << " black=";
    if (page.hasBitmap)
        s << page.markedPixels;
    else
        s << "-";
    return s.str();
}

void PrintSummary(std::ostream& out, const StreamResult& result)
{
    for (size_t d = 0; d < result.documents.size(); ++d)
        for (const Page& page : result.documents[d].pages)
            out << SummaryLine(result.documents[d], static_cast<int>(d + 1), page) << "\n";
}

}  // namespace streamview
