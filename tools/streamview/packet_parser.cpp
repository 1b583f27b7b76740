// Documents of platforms 1 and 2: a PJL job that enters the page language
// "PL", command packets separated by 00 00 pairs, JBIG page data, and the
// PJL end of job.
#include <algorithm>
#include <array>
#include <cstdint>

#include "decoder_context.h"
#include "packet_catalog.h"
#include "stream/byte_order.h"

namespace streamview {

namespace {

// The packets of one page, in the order the printer takes them.
constexpr std::array kPageStepsP1 = {Pk::PageSpec, Pk::CustomPaper, Pk::HostUse, Pk::RasterImage,
                                     Pk::ImageChecksum, Pk::CoveragePageEnd, Pk::FormFeed};
constexpr std::array kPageStepsP2 = {Pk::PageSpec, Pk::CustomPaper, Pk::CoveragePageData,
                                     Pk::RasterImage, Pk::FormFeed};

class PacketDocumentParser {
public:
    PacketDocumentParser(Context& ctx, int platform, bool fragment)
        : ctx_(ctx), r_(ctx.reader), doc_(*ctx.doc), platform_(platform), fragment_(fragment),
          phase_(fragment ? Phase::Job : Phase::Prologue)
    {
    }

    void Run()
    {
        while (phase_ != Phase::Done) {
            if (r_.AtEnd()) {
                if (fragment_ && ctx_.openPage < 0)
                    return;
                Fail(r_.pos(), EndOfDataText());
            }
            const size_t off = r_.pos();
            const int b = r_.Peek();
            if (b == 0) {
                zeroItem_ = doc_.items.size();
                ctx_.Add(ReadZeroPairs(r_));
                continue;
            }
            afterPageEnd_ = onlyZerosSincePageEnd_;
            onlyZerosSincePageEnd_ = false;
            Item message;
            if (b == 0x1B) {
                Settle(kUelPiece, off, "UEL");
                OnUel();
            } else if (r_.Matches("@PJL")) {
                Settle(kTextPiece, off, "PJL line");
                OnPjlLine();
            } else if (platform_ == 1 && phase_ == Phase::Prologue && r_.Matches("versions=")) {
                Settle(kTextPiece, off, "firmware version");
                OnFirmwareVersion();
                prevPiece_ = kVersionPiece;
                continue;
            } else if (b == 0x0B) {
                const Packet pk = ReadPacket(r_, platform_);
                Settle(static_cast<int>(pk.type->id), off, pk.type->name);
                OnPacket(pk);
                // The page data ends the piece: UEL_CMD_C or a band follows.
                if (pk.type->id == Pk::RasterImage)
                    prevPiece_ = kUelPiece;
                continue;
            } else if (ReadStageMessage(r_, message)) {
                Settle(kMessagePiece, off, "stage message");
                doc_.sawMessage = true;
                ctx_.Add(std::move(message));
            } else {
                Fail(off, "unexpected byte " + HexByte(static_cast<unsigned>(b)) +
                              " where a packet (0x0B), 00 00 or a line of text was expected: " +
                              HexDump(r_.Here(), r_.left(), 12));
            }
        }
    }

private:
    enum class Phase { Prologue, Job, Epilogue, Done };

    // Pieces other than packets, numbered after the packet ids.
    static constexpr int kNoPiece = -1;
    static constexpr int kUelPiece = 100;
    static constexpr int kTextPiece = 101;
    static constexpr int kVersionPiece = 102;
    static constexpr int kMessagePiece = 103;

    bool IsPiece(int piece, Pk id) const { return piece == static_cast<int>(id); }

    // 00 00 pairs that the format writes right after a piece ...
    int Trail(int piece) const
    {
        if (piece == kVersionPiece || IsPiece(piece, Pk::Reset))
            return 1;
        if (platform_ == 1)
            return IsPiece(piece, Pk::HostUse);
        return IsPiece(piece, Pk::Density) || IsPiece(piece, Pk::CustomPaper);
    }

    // ... and right before one.
    int Lead(int piece) const
    {
        if (piece < 0 || piece >= kUelPiece)
            return 0;
        switch (static_cast<Pk>(piece)) {
        case Pk::JobSpecP1: case Pk::JobSpecP2: case Pk::TonerSave: case Pk::Density:
        case Pk::PageSpec: case Pk::CustomPaper: case Pk::HostUse: case Pk::ImageChecksum:
        case Pk::CoveragePageEnd: case Pk::FormFeed: case Pk::MachineDuplex: case Pk::QueryStatus:
            return 1;
        case Pk::Reset:
            return platform_ == 1;
        case Pk::RasterImage:
            return platform_ == 2;
        default:
            return 0;
        }
    }

    // Where one stage ends and the next begins the keep-alive timer may add
    // filler; never inside a stage.
    bool StageBoundary(int prev, int next) const
    {
        if (prev == kNoPiece || prev == kMessagePiece || next == kMessagePiece)
            return true;
        switch (static_cast<Pk>(next)) {
        case Pk::PageSpec: case Pk::ManualDuplexP1: case Pk::ManualDuplexP2: case Pk::MachineDuplex:
        case Pk::QueryStatus:
            return true;
        case Pk::Reset:
            return platform_ == 2;
        case Pk::RasterImage:
            return platform_ == 1;
        case Pk::CoveragePageData:
            return true;
        default:
            return false;
        }
    }

    // Tells separators from keep-alive filler in the run of pairs before
    // the piece at `off`.
    void Settle(int next, size_t off, const std::string& name)
    {
        const int prev = prevPiece_;
        prevPiece_ = next;
        Item* zeros = zeroItem_ < doc_.items.size() ? &doc_.items[zeroItem_] : nullptr;
        zeroItem_ = SIZE_MAX;
        const uint64_t pairs = zeros ? zeros->fields[0].value : 0;
        const uint64_t expected = static_cast<uint64_t>(Trail(prev) + Lead(next));
        if (pairs < expected && !doc_.sawMessage)
            ctx_.Warn(off, "missing 00 00 before " + name + ": " + std::to_string(pairs) + " pair(s) where " +
                               std::to_string(expected) + " belong");
        if (pairs <= expected)
            return;
        const uint64_t filler = pairs - expected;
        zeros->fields.push_back(Num("keepAlive", filler));
        doc_.keepAlivePairs += filler;
        if (!StageBoundary(prev, next))
            ctx_.Warn(zeros->offset, std::to_string(filler) + " pair(s) of 00 00 filler inside a stage, before " +
                                         name);
    }

    std::string PageName() const { return "page " + std::to_string(ctx_.openPage + 1); }
    std::string PageName(const Page& page) const
    {
        return "page " + std::to_string(&page - doc_.pages.data() + 1);
    }

    std::string EndOfDataText() const
    {
        std::string where;
        if (ctx_.openPage >= 0)
            where = " inside " + PageName() + " (" + NameOf(Steps()[step_]) + " expected)";
        else if (phase_ == Phase::Prologue)
            where = " before \"@PJL ENTER LANGUAGE=PL\"";
        else
            where = " before the end of the document (end-of-job sequence)";
        return "the stream ends" + where;
    }

    const Pk* Steps() const { return platform_ == 1 ? kPageStepsP1.data() : kPageStepsP2.data(); }
    size_t StepCount() const { return platform_ == 1 ? kPageStepsP1.size() : kPageStepsP2.size(); }
    size_t StepIndex(Pk id) const
    {
        for (size_t i = 0; i < StepCount(); ++i)
            if (Steps()[i] == id)
                return i;
        return StepCount();
    }

    void OnUel()
    {
        const size_t off = r_.pos();
        const bool isC = r_.Matches(kUelC);
        if (!isC && !r_.Matches(kUel))
            Fail(off, "ESC not followed by \"%-12345X\" or 0xFF \"-12345X\": " +
                          HexDump(r_.Here(), r_.left(), 12));
        r_.Skip(kUelLen);
        const bool crlf = r_.Matches("\r\n");
        if (crlf)
            r_.Skip(2);
        Item item;
        item.kind = ItemKind::Uel;
        item.offset = off;
        item.length = r_.pos() - off;
        item.name = isC ? "UEL_CMD_C" : "UEL";
        if (crlf)
            item.text = "\\r\\n";

        if (phase_ == Phase::Job && ctx_.openPage >= 0 && platform_ == 1 && isC && !crlf &&
            step_ == StepIndex(Pk::RasterImage)) {
            // The page end of a page whose data never came.
            if (!doc_.sawMessage)
                Fail(off, "UEL_CMD_C in " + PageName() + " before its cmdRasterImage and page data");
            ctx_.Warn(off, PageName() + " has no page data");
            step_ = StepIndex(Pk::ImageChecksum);
            ctx_.Add(std::move(item));
            return;
        }
        if (phase_ == Phase::Job) {
            if (!doc_.sawMessage)
                Fail(off, std::string(isC ? "UEL_CMD_C" : "UEL") +
                              " inside the page-language part of the document: resetCmd must come first");
            ClosePageEarly(off, "the end of the document");
            ctx_.Warn(off, "the document ends without resetCmd");
            phase_ = Phase::Epilogue;
            sawReset_ = true;
        }
        if (phase_ == Phase::Epilogue) {
            if (isC)
                Fail(off, "UEL_CMD_C in the end-of-job sequence, where ESC \"%-12345X\" belongs");
            if (!sawReset_)
                Fail(off, "end-of-job sequence before resetCmd");
            if (crlf) {
                if (!sawEoj_)
                    Fail(off, "the end-of-job sequence closes before \"@PJL EOJ\"");
                phase_ = Phase::Done;
                doc_.ended = true;
            } else {
                eojStarted_ = true;
            }
        }
        ctx_.Add(std::move(item));
    }

    void OnPjlLine()
    {
        const size_t off = r_.pos();
        constexpr size_t kMaxLine = 256;
        size_t n = 0;
        while (n + 1 < r_.left() && n < kMaxLine && !(r_.Peek(n) == '\r' && r_.Peek(n + 1) == '\n'))
            ++n;
        if (!(r_.Peek(n) == '\r' && r_.Peek(n + 1) == '\n'))
            Fail(off, "PJL line without CR LF within " + std::to_string(kMaxLine) + " bytes");
        const uint8_t* p = r_.Take(n + 2, "PJL line");
        for (size_t i = 0; i < n; ++i)
            if (p[i] < 0x20 || p[i] >= 0x7F)
                Fail(off + i, "byte " + HexByte(p[i]) + " inside a PJL line");
        Item item;
        item.kind = ItemKind::PjlLine;
        item.offset = off;
        item.length = n + 2;
        item.name = "PJL";
        item.text.assign(reinterpret_cast<const char*>(p), n);
        const std::string& t = item.text;
        auto setting = [&](const char* label, const char* field) {
            if (t.rfind(label, 0) == 0)
                item.fields.push_back(Txt(field, t.substr(std::char_traits<char>::length(label))));
        };
        setting("@PJL JOBTIME=", "jobTime");
        setting("@PJL JOBOWNER=", "jobOwner");
        setting("@PJL LANGUAGEVERSION=", "languageVersion");

        switch (phase_) {
        case Phase::Prologue:
            if (t == "@PJL ENTER LANGUAGE=PL")
                phase_ = Phase::Job;
            break;
        case Phase::Epilogue:
            if (!eojStarted_)
                Fail(off, "PJL line before the UEL of the end-of-job sequence");
            if (t == "@PJL EOJ")
                sawEoj_ = true;
            break;
        default:
            Fail(off, "PJL line " + Quoted(p, n) + " inside the page-language part of the document");
        }
        ctx_.Add(std::move(item));
    }

    void OnFirmwareVersion()
    {
        const size_t off = r_.pos();
        size_t n = 0;
        while (r_.Peek(n) > 0x20 && r_.Peek(n) < 0x7F)
            ++n;
        Item item;
        item.kind = ItemKind::Text;
        item.offset = off;
        item.length = n;
        item.name = "firmware version";
        item.text.assign(reinterpret_cast<const char*>(r_.Take(n, "firmware version")), n);
        ctx_.Add(std::move(item));
    }

    void OnPacket(const Packet& pk)
    {
        const Pk id = pk.type->id;
        switch (phase_) {
        case Phase::Prologue:
            if (id == Pk::Abort) {
                ctx_.Add(DescribePacket(pk));
                return;
            }
            if (!doc_.sawMessage)
                Fail(pk.offset, std::string(pk.type->name) + " before \"@PJL ENTER LANGUAGE=PL\"");
            ctx_.Warn(pk.offset, "the document has no \"@PJL ENTER LANGUAGE=PL\"");
            phase_ = Phase::Job;
            break;
        case Phase::Epilogue:
            if (id == Pk::Reset && !sawReset_ && !eojStarted_) {
                sawReset_ = true;
                ctx_.Add(DescribePacket(pk));
                return;
            }
            Fail(pk.offset, std::string(pk.type->name) + " after the end of the document began");
        default:
            break;
        }
        if (ctx_.openPage >= 0)
            OnPagePacket(pk);
        else
            OnDocumentPacket(pk);
    }

    void OnDocumentPacket(const Packet& pk)
    {
        const uint8_t* p = pk.bytes;
        const std::string name = pk.type->name;
        switch (pk.type->id) {
        case Pk::JobSpecP1:
        case Pk::JobSpecP2:
        case Pk::Density:
        case Pk::TonerSave:
        case Pk::SysTime:
        case Pk::TonerParamR01:
        case Pk::TonerParamR02:
            if (!doc_.pages.empty())
                Fail(pk.offset, name + " after the first page; it belongs to the document start");
            if (pk.type->id == Pk::JobSpecP1) {
                doc_.jobId = p[3];
                doc_.jobFlags = p[4];
            } else if (pk.type->id == Pk::JobSpecP2) {
                doc_.jobId = static_cast<int>(GetLE32(p + 4));
                doc_.jobFlags = p[3];
            } else if (pk.type->id == Pk::Density) {
                doc_.density = p[3];
            } else if (pk.type->id == Pk::SysTime && (p[5] < 1 || p[5] > 12 || p[6] < 1 || p[6] > 31)) {
                ctx_.Warn(pk.offset, "cmdSysTime carries no valid date (month " + std::to_string(p[5]) +
                                         ", day " + std::to_string(p[6]) + ")");
            }
            ctx_.Add(DescribePacket(pk));
            return;
        case Pk::PageSpec:
            ctx_.OpenPage(pk.offset);
            step_ = 0;
            OnPagePacket(pk);
            return;
        case Pk::ManualDuplexP1:
        case Pk::ManualDuplexP2:
            doc_.manualDuplex = true;
            ctx_.Add(DescribePacket(pk));
            return;
        case Pk::MachineDuplex: {
            doc_.machineDuplex = true;
            Item item = DescribePacket(pk);
            // Right after an odd page it turns that page's sheet; later it
            // belongs to the document end.
            if (afterPageEnd_ && lastEndedPage_ >= 0) {
                Page& last = doc_.pages[static_cast<size_t>(lastEndedPage_)];
                if (last.pageNumber % 2 == 1 && !last.machineDuplexTurn) {
                    last.machineDuplexTurn = true;
                    // The pair in front of it belongs to the page end as well.
                    for (auto it = doc_.items.rbegin(); it != doc_.items.rend() && it->page < 0; ++it)
                        it->page = lastEndedPage_;
                    item.page = lastEndedPage_;
                    doc_.items.push_back(std::move(item));
                    return;
                }
            }
            ctx_.Add(std::move(item));
            return;
        }
        case Pk::QueryStatus:
            phase_ = Phase::Epilogue;
            ctx_.Add(DescribePacket(pk));
            return;
        case Pk::Reset:
            phase_ = Phase::Epilogue;
            sawReset_ = true;
            ctx_.Add(DescribePacket(pk));
            return;
        case Pk::Abort:
            Fail(pk.offset, "abortCmd after the document start");
        default:
            Fail(pk.offset, name + " outside a page (no cmdPageSpec before it)");
        }
    }

    // Closes an unfinished page when the filter reported why; else the
    // stream is malformed.
    void ClosePageEarly(size_t off, const std::string& by)
    {
        if (ctx_.openPage < 0)
            return;
        std::string missing;
        for (size_t i = step_; i < StepCount(); ++i)
            missing += std::string(missing.empty() ? "" : ", ") + NameOf(Steps()[i]);
        if (!doc_.sawMessage)
            Fail(off, PageName() + " is cut short by " + by + " (missing " + missing + ")");
        ctx_.Warn(off, PageName() + " ends without " + missing);
        ctx_.ClosePage(false);
    }

    void OnPagePacket(const Packet& pk)
    {
        const Pk id = pk.type->id;
        const size_t k = std::find(Steps() + step_, Steps() + StepCount(), id) - Steps();
        if (k == StepCount()) {
            const bool endsPage = id == Pk::PageSpec || id == Pk::Reset || id == Pk::QueryStatus ||
                                  id == Pk::ManualDuplexP1 || id == Pk::ManualDuplexP2;
            if (doc_.sawMessage && endsPage) {
                ClosePageEarly(pk.offset, pk.type->name);
                OnDocumentPacket(pk);
                return;
            }
            Fail(pk.offset, std::string(pk.type->name) + " in " + PageName() + " where " +
                                NameOf(Steps()[step_]) + " belongs");
        }
        if (k > step_) {
            std::string missing;
            for (size_t i = step_; i < k; ++i)
                missing += std::string(missing.empty() ? "" : ", ") + NameOf(Steps()[i]);
            if (!doc_.sawMessage)
                Fail(pk.offset, std::string(pk.type->name) + " in " + PageName() + " where " +
                                    NameOf(Steps()[step_]) + " belongs");
            ctx_.Warn(pk.offset, PageName() + " lacks " + missing);
        }
        step_ = k + 1;
        ctx_.Add(DescribePacket(pk));
        OnPageStep(pk);
        if (step_ == StepCount()) {
            lastEndedPage_ = ctx_.openPage;
            ctx_.ClosePage(true);
            onlyZerosSincePageEnd_ = true;
        }
    }

    void OnPageStep(const Packet& pk)
    {
        Page& page = ctx_.CurrentPage();
        const uint8_t* p = pk.bytes;
        switch (pk.type->id) {
        case Pk::PageSpec:
            page.paperCode = p[3];
            page.mediaType = p[4];
            page.xResolution = p[5];
            page.yResolution = p[6];
            page.inputTray = p[7];
            page.copies = GetLE16(p + 9);
            page.pageNumber = static_cast<int>(GetLE16(p + 15));
            break;
        case Pk::CustomPaper: {
            const bool custom = platform_ == 1 ? page.paperCode == 0xFF : page.paperCode == 0;
            if (custom) {
                page.customPaper = true;
                page.customWidth = GetLE16(p + 3);
                page.customHeight = GetLE16(p + 5);
                page.imageWidth = GetLE16(p + 7);
                page.imageHeight = GetLE16(p + 9);
                page.hasImageSize = true;
            } else if (std::any_of(p + 3, p + 11, [](uint8_t v) { return v != 0; })) {
                ctx_.Warn(pk.offset, "cmdCustomPaper of " + PageName() +
                                         " carries sizes although the paper is not custom");
            }
            break;
        }
        case Pk::RasterImage:
            page.lineBits = GetLE16(p + 5);
            page.lineCount = GetLE16(p + 7);
            if (platform_ == 1)
                ReadPageData(page, pk);
            else
                ReadBands(page, pk);
            break;
        case Pk::ImageChecksum:
            page.imageChecksum = static_cast<int>(GetLE16(p + 3));
            if (page.hasData && page.imageChecksum != page.computedChecksum)
                Fail(pk.offset + 3, "cmdImageDataChenksum of " + PageName() + " carries " +
                                        HexByte(static_cast<unsigned>(page.imageChecksum)) + ", the page data gives " +
                                        HexByte(static_cast<unsigned>(page.computedChecksum)));
            break;
        case Pk::CoveragePageEnd:
            page.coverage = static_cast<int>(GetLE16(p + 3));
            break;
        case Pk::CoveragePageData:
            page.coverage = static_cast<int>((p[3] & 0x3Fu) | ((p[4] & 0x3Fu) << 6) | ((p[5] & 0x0Fu) << 12));
            if (p[3] > 0x3F || p[4] > 0x3F || p[5] > 0x0F)
                ctx_.Warn(pk.offset, "cmdCoverage of " + PageName() + " has bits set outside its fields");
            break;
        default:
            break;
        }
    }

    void CheckImageSize(const Page& page, size_t off)
    {
        if (page.hasImageSize && (page.imageWidth != page.lineBits || page.imageHeight != page.lineCount))
            ctx_.Warn(off, PageName(page) + ": image is " + std::to_string(page.lineBits) + "x" +
                               std::to_string(page.lineCount) + ", cmdCustomPaper announces " +
                               std::to_string(page.imageWidth) + "x" + std::to_string(page.imageHeight));
    }

    // Platform 1: one JBIG image of compressedSize bytes, then UEL_CMD_C.
    void ReadPageData(Page& page, const Packet& pk)
    {
        const uint8_t* p = pk.bytes;
        const uint32_t size = GetLE32(p + 13);
        const uint32_t widthPixels = GetLE16(p + 9);
        page.compressedSize = size;
        const size_t dataOff = r_.pos();
        if (size > r_.left())
            Fail(dataOff, "page data of " + PageName() + " is truncated: cmdRasterImage announces " +
                              std::to_string(size) + " bytes, only " + std::to_string(r_.left()) + " left");
        const uint8_t* data = r_.Here();
        if (r_.left() - size < kUelLen || std::memcmp(data + size, kUelC, kUelLen) != 0)
            Fail(dataOff + size, "UEL_CMD_C must follow the " + std::to_string(size) +
                                     " bytes of page data that cmdRasterImage of " + PageName() +
                                     " announces; found " +
                                     HexDump(data + size, r_.left() - size, 12) +
                                     " (compressedSize does not match the data)");
        r_.Skip(size);

        Item item;
        item.kind = ItemKind::JbigData;
        item.offset = dataOff;
        item.length = size;
        item.name = "JBIG data";
        if (size >= 20) {
            page.jbig = ParseJbigHeader(data);
            AddJbigHeaderFields(item, page.jbig);
        }
        ctx_.Add(std::move(item));

        auto bits = DecodeJbigImage(data, size, [dataOff](size_t i) { return dataOff + i; },
                                    page.lineBits, page.lineCount, "page data of " + PageName(),
                                    "cmdRasterImage");
        SetPageImage(page, std::move(bits), page.lineBits, page.lineCount, 1);
        page.hasData = true;
        // The printer adds the bytes of the UEL_CMD_C that closes the data.
        page.computedChecksum = static_cast<int>(
            (ByteSum(data, size) + ByteSum(reinterpret_cast<const uint8_t*>(kUelC), kUelLen)) & 0xFFu);
        if (page.jbig.L0 != GetLE16(p + 11))
            ctx_.Warn(dataOff + 12, "page data of " + PageName() + ": stripes of " + std::to_string(page.jbig.L0) +
                                        " lines, cmdRasterImage announces " + std::to_string(GetLE16(p + 11)));
        if (widthPixels != page.lineBits)
            ctx_.Warn(pk.offset + 9, "cmdRasterImage of " + PageName() + ": widthPixels " +
                                         std::to_string(widthPixels) + " differs from lineBits " +
                                         std::to_string(page.lineBits));
        CheckImageSize(page, pk.offset);

        Item uel;
        uel.kind = ItemKind::Uel;
        uel.offset = r_.pos();
        uel.length = kUelLen;
        uel.name = "UEL_CMD_C";
        r_.Skip(kUelLen);
        ctx_.Add(std::move(uel));
    }

    // Platform 2: one band record and JBIG image per 256 lines.
    void ReadBands(Page& page, const Packet& pk)
    {
        constexpr uint32_t kBandLines = 256;
        const uint32_t lineBits = page.lineBits;
        const uint32_t lineCount = page.lineCount;
        if (GetLE32(pk.bytes + 13) != 0)
            ctx_.Warn(pk.offset + 13, "cmdRasterImage of " + PageName() +
                                          " carries a compressedSize; platform 2 sends 0 there");
        if (static_cast<uint64_t>(lineBits) * lineCount > kMaxPageBits)
            Fail(pk.offset + 5, "cmdRasterImage of " + PageName() + " announces " + std::to_string(lineBits) +
                                    "x" + std::to_string(lineCount) + " bits, larger than any page");
        const uint32_t bands = (lineCount + kBandLines - 1) / kBandLines;
        std::vector<uint8_t> pageBits;
        uint32_t total = 0;
        for (uint32_t i = 0; i < bands; ++i) {
            const uint32_t lines =
                (i + 1 == bands && lineCount % kBandLines) ? lineCount % kBandLines : kBandLines;
            const std::string band = "band " + std::to_string(i + 1) + " of " + std::to_string(bands) +
                                     " of " + PageName();
            const size_t recOff = r_.pos();
            if (!(r_.Peek() == 0x0B && r_.Peek(1) == 0x30 && r_.Peek(2) == 0x1A))
                Fail(recOff, "record of " + band + " expected (lineCount " + std::to_string(lineCount) +
                                 " gives " + std::to_string(bands) + " bands); found " +
                                 HexDump(r_.Here(), r_.left(), 12));
            const Packet rec = ReadPacket(r_, platform_);
            ctx_.Add(DescribePacket(rec));
            const uint8_t* q = rec.bytes;
            const uint32_t xd = GetLE32(q + 7), yd = GetLE32(q + 11), l0 = GetLE32(q + 15);
            const uint32_t length = GetLE32(q + 23), length2 = GetLE32(q + 27);
            const uint32_t firstLine = GetLE32(q + 35);
            if (xd != lineBits)
                Fail(recOff + 7, band + ": XD " + std::to_string(xd) + " differs from lineBits " +
                                     std::to_string(lineBits) + " of cmdRasterImage");
            if (yd != lines || l0 != lines)
                Fail(recOff + 11, band + ": YD " + std::to_string(yd) + " and L0 " + std::to_string(l0) +
                                      " should both be its " + std::to_string(lines) + " lines");
            if (length != length2)
                Fail(recOff + 27, band + ": its two data lengths differ (" + std::to_string(length) +
                                      " and " + std::to_string(length2) + ")");
            if (firstLine != i * kBandLines)
                Fail(recOff + 35, band + ": first line " + std::to_string(firstLine) + ", expected " +
                                      std::to_string(i * kBandLines));
            if (q[3] || q[4] || q[5] != 1 || q[6] || q[19] || q[20] || q[21] != 3 || q[22] != 0x58 ||
                GetLE32(q + 31) || GetLE32(q + 39) != 3 || GetLE32(q + 43))
                ctx_.Warn(recOff, band + ": record has unusual fixed fields: " + HexDump(q, 48, 48));

            const size_t dataOff = r_.pos();
            if (length > r_.left())
                Fail(dataOff, "data of " + band + " is truncated: its record announces " +
                                  std::to_string(length) + " bytes, only " + std::to_string(r_.left()) +
                                  " left");
            const uint8_t* data = r_.Take(length, "band data");
            Item item;
            item.kind = ItemKind::JbigData;
            item.offset = dataOff;
            item.length = length;
            item.name = "band data";
            JbigHeader header;
            if (length >= 20) {
                header = ParseJbigHeader(data);
                AddJbigHeaderFields(item, header);
            }
            ctx_.Add(std::move(item));
            if (i == 0)
                page.jbig = header;
            auto bits = DecodeJbigImage(data, length, [dataOff](size_t k) { return dataOff + k; },
                                        lineBits, lines, band, "its band record");
            pageBits.insert(pageBits.end(), bits.begin(), bits.end());
            total += length;
        }
        page.bands = static_cast<int>(bands);
        page.compressedSize = total;
        page.hasData = true;
        if (bands)
            SetPageImage(page, std::move(pageBits), lineBits, lineCount, 1);
        CheckImageSize(page, pk.offset);
    }

    Context& ctx_;
    Reader& r_;
    Document& doc_;
    int platform_;
    bool fragment_;
    Phase phase_;
    size_t step_ = 0;               // next packet of the open page
    int lastEndedPage_ = -1;
    bool onlyZerosSincePageEnd_ = false;
    bool afterPageEnd_ = false;
    bool sawReset_ = false;
    bool eojStarted_ = false;
    bool sawEoj_ = false;
    int prevPiece_ = kNoPiece;       // last piece other than 00 00
    size_t zeroItem_ = SIZE_MAX;     // the run of pairs in front of the next piece
};

}  // namespace

void ParsePacketDocument(Context& ctx, int platform, bool fragment)
{
    PacketDocumentParser(ctx, platform, fragment).Run();
}

}  // namespace streamview
