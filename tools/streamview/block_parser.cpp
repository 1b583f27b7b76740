// Documents of platform 3: UEL, "JZJZ", then 16-byte "ZZ" blocks with
// parameter records or payloads, then UEL again.
#include <algorithm>
#include <cstdint>

#include "decoder_context.h"
#include "stream/byte_order.h"

namespace streamview {

namespace {

constexpr size_t kHeaderLen = 16;
constexpr size_t kRecordLen = 12;
constexpr uint32_t kChunkMax = 65536;

enum BlockKind : uint32_t {
    kDocStart = 0, kDocEnd = 1, kPageStart = 2, kPageEnd = 3, kJbigParams = 4, kJbigData = 5,
    kJbigEnd = 6, kManualDuplex = 11, kTonerParams = 17,
};

const char* BlockName(uint32_t type)
{
    switch (type) {
    case kDocStart: return "START_DOC_CMD";
    case kDocEnd: return "END_DOC_CMD";
    case kPageStart: return "START_PAGE_CMD";
    case kPageEnd: return "END_PAGE_CMD";
    case kJbigParams: return "JBIG_PARAM_CMD";
    case kJbigData: return "JBIG_DATA_CMD";
    case kJbigEnd: return "JBIG_END_CMD";
    case kManualDuplex: return "MANUAL_DUPLEX_CMD";
    case kTonerParams: return "TONER_PARAM";
    default: return nullptr;
    }
}

std::string PageParamName(uint32_t id)
{
    switch (id) {
    case 3: return "PAPER_SIZE_PARAM";
    case 26: return "CUSTOM_PAPER_UNIT_PARAM";
    case 24: return "CUSTOM_WIDTH_PARAM";
    case 25: return "CUSTOM_HEIGHT_PARAM";
    case 4: return "COPIES_PARAM";
    case 5: return "INPUT_TRAY_PARAM";
    case 6: return "MEDIA_TYPE_PARAM";
    case 7: return "CHANNEL_NUM_PARAM";
    case 8: return "H_RESOLUTION_PARAM";
    case 9: return "V_RESOLUTION_PARAM";
    case 22: return "RET_PARAM";
    case 12: return "IMG_WIDTH_PARAM";
    case 13: return "IMG_HEIGHT_PARAM";
    case 16: return "VIDEO_DEPTH_PARAM";
    case 17: return "VIDEO_WIDTH_PARAM";
    case 18: return "VIDEO_HEIGHT_PARAM";
    case 0xFF00: return "DENSITY_PARAM";
    default: return "";
    }
}

std::string DocParamName(uint32_t id)
{
    return id == 0 ? "TOTAL_PAGE_PARAM" : id <= 2 ? "param " + std::to_string(id) : "";
}

struct Param {
    uint32_t id;
    uint32_t value;
    size_t offset;
};

class BlockDocumentParser {
public:
    BlockDocumentParser(Context& ctx, bool fragment)
        : ctx_(ctx), r_(ctx.reader), doc_(*ctx.doc), fragment_(fragment),
          phase_(fragment ? Phase::Pages : Phase::Start)
    {
    }

    void Run()
    {
        if (!fragment_)
            ReadSignature();
        while (phase_ != Phase::Done) {
            if (r_.AtEnd()) {
                if (fragment_ && ctx_.openPage < 0)
                    return;
                Fail(r_.pos(), "the stream ends " + Where() + ", before END_DOC_CMD");
            }
            const size_t off = r_.pos();
            Item message;
            if (ReadStageMessage(r_, message)) {
                doc_.sawMessage = true;
                ctx_.Add(std::move(message));
                continue;
            }
            if (r_.Peek() == 0x1B)
                Fail(off, "UEL " + Where() + ", before END_DOC_CMD");
            ReadBlock();
        }
        doc_.ended = true;
    }

private:
    enum class Phase { Start, Toner, Pages, Done };
    enum class Step { Started, Params, Data, DataEnded };

    std::string PageName() const { return "page " + std::to_string(ctx_.openPage + 1); }

    std::string Where() const
    {
        if (ctx_.openPage >= 0) {
            static const char* const next[] = {"JBIG_PARAM_CMD", "JBIG_DATA_CMD",
                                               "JBIG_DATA_CMD or JBIG_END_CMD", "END_PAGE_CMD"};
            return "inside " + PageName() + " (" + next[static_cast<int>(step_)] + " expected)";
        }
        switch (phase_) {
        case Phase::Start: return "before TONER_PARAM";
        case Phase::Toner: return "before START_DOC_CMD";
        default: return "between pages";
        }
    }

    void ReadSignature()
    {
        Item uel;
        uel.kind = ItemKind::Uel;
        uel.offset = r_.pos();
        uel.length = kUelLen;
        uel.name = "UEL";
        r_.Take(kUelLen, "UEL");
        ctx_.Add(std::move(uel));
        Item sig;
        sig.kind = ItemKind::Text;
        sig.offset = r_.pos();
        sig.length = 4;
        sig.name = "document signature";
        sig.text = "JZJZ";
        r_.Take(4, "document signature");
        ctx_.Add(std::move(sig));
    }

    // Blocks out of order are an error, unless the filter reported a failed
    // stage: then the page is closed as it stands.
    [[noreturn]] void Unexpected(size_t off, const char* name)
    {
        Fail(off, std::string(name) + " " + Where());
    }

    bool CloseBrokenPage(size_t off, const char* by)
    {
        if (ctx_.openPage < 0)
            return true;
        if (!doc_.sawMessage)
            return false;
        ctx_.Warn(off, PageName() + " is cut short by " + by);
        ctx_.ClosePage(false);
        return true;
    }

    void ReadBlock()
    {
        const size_t off = r_.pos();
        const uint8_t* h = r_.Take(kHeaderLen, "block header");
        const uint32_t total = GetBE32(h), type = GetBE32(h + 4), count = GetBE32(h + 8);
        const uint32_t paramBytes = GetBE16(h + 12);
        if (h[14] != 0x5A || h[15] != 0x5A)
            Fail(off + 14, "block magic is " + HexDump(h + 14, 2) + ", not \"ZZ\" (5A 5A): " +
                               HexDump(h, kHeaderLen));
        const char* name = BlockName(type);
        if (!name)
            Fail(off + 4, "unknown block type " + std::to_string(type));
        if (static_cast<uint64_t>(count) * kRecordLen != paramBytes)
            Fail(off + 8, std::string(name) + ": paramBytes " + std::to_string(paramBytes) +
                              " is not 12 x paramCount " + std::to_string(count));
        uint64_t expected = kHeaderLen + paramBytes;
        switch (type) {
        case kDocStart:
            if (count != 3)
                Fail(off + 8, std::string(name) + " has " + std::to_string(count) +
                                  " parameter records, not 3");
            break;
        case kPageStart:
            if (count != 14 && count != 17)
                Fail(off + 8, std::string(name) + " has " + std::to_string(count) +
                                  " parameter records, not 14 or 17");
            break;
        case kJbigParams: expected = 36; break;
        case kTonerParams: expected = 88; break;
        case kJbigData:
            if (total <= kHeaderLen || total - kHeaderLen > kChunkMax)
                Fail(off, std::string(name) + " totalLength " + std::to_string(total) +
                              ": a data block carries 1 to 65536 bytes");
            expected = total;
            break;
        default: break;
        }
        if (type != kDocStart && type != kPageStart && count != 0)
            Fail(off + 8, std::string(name) + " has " + std::to_string(count) +
                              " parameter records, expected none");
        if (total != expected)
            Fail(off, std::string(name) + " has totalLength " + std::to_string(total) + ", expected " +
                          std::to_string(expected));
        const uint8_t* payload = r_.Take(total - kHeaderLen, std::string(name) + " block");

        Item item;
        item.kind = ItemKind::Block;
        item.offset = off;
        item.length = total;
        item.name = name;
        item.fields = {Num("totalLength", total), Num("blockType", type)};
        if (count)
            item.fields.push_back(Num("paramCount", count));
        std::vector<Param> params;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* rec = payload + i * kRecordLen;
            const size_t recOff = off + kHeaderLen + i * kRecordLen;
            if (GetBE32(rec) != kRecordLen)
                Fail(recOff, "parameter record " + std::to_string(i + 1) + " of " + name +
                                 " has recordLength " + std::to_string(GetBE32(rec)) + ", not 12");
            if (rec[6] != 1)
                Fail(recOff + 6, "parameter record " + std::to_string(i + 1) + " of " + name +
                                     " has valueKind " + std::to_string(rec[6]) + ", not 1");
            if (rec[7] != 0)
                ctx_.Warn(recOff + 7, "parameter record " + std::to_string(i + 1) + " of " + name +
                                          " has a reserved byte of " + HexByte(rec[7]));
            params.push_back({GetBE16(rec + 4), GetBE32(rec + 8), recOff});
        }

        switch (type) {
        case kTonerParams: {
            if (phase_ != Phase::Start)
                Unexpected(off, name);
            std::string values;
            for (size_t i = 0; i < 36; ++i)
                values += (i ? " " : "") + std::to_string(GetBE16(payload + 2 * i));
            item.fields.push_back(Txt("values", values));
            phase_ = Phase::Toner;
            break;
        }
        case kDocStart:
            if (phase_ != Phase::Toner)
                Unexpected(off, name);
            NameParams(item, params, DocParamName);
            phase_ = Phase::Pages;
            break;
        case kPageStart:
            if (phase_ != Phase::Pages || !CloseBrokenPage(off, name))
                Unexpected(off, name);
            ctx_.OpenPage(off);
            step_ = Step::Started;
            NameParams(item, params, PageParamName);
            ctx_.Add(std::move(item));
            OnPageStart(params, off);
            return;
        case kJbigParams:
            if (ctx_.openPage < 0 || step_ != Step::Started)
                Unexpected(off, name);
            jbigParams_ = ParseJbigHeader(payload);
            jbigParamsOffset_ = off;
            AddJbigHeaderFields(item, jbigParams_);
            data_.clear();
            chunks_.clear();
            chunkOffsets_.clear();
            step_ = Step::Params;
            break;
        case kJbigData:
            if (ctx_.openPage < 0 || (step_ != Step::Params && step_ != Step::Data))
                Unexpected(off, name);
            if (!chunks_.empty() && chunks_.back().second < kChunkMax)
                ctx_.Warn(off, PageName() + ": a data block follows a short one of " +
                                   std::to_string(chunks_.back().second) + " bytes");
            item.fields.push_back(Num("chunk", total - kHeaderLen));
            chunkOffsets_.push_back({data_.size(), off + kHeaderLen});
            chunks_.push_back({off, total - kHeaderLen});
            data_.insert(data_.end(), payload, payload + (total - kHeaderLen));
            step_ = Step::Data;
            break;
        case kJbigEnd:
            if (ctx_.openPage < 0 || step_ != Step::Data)
                Unexpected(off, name);
            ctx_.Add(std::move(item));
            DecodePage(off);
            step_ = Step::DataEnded;
            return;
        case kPageEnd:
            if (ctx_.openPage < 0)
                Unexpected(off, name);
            if (step_ != Step::DataEnded) {
                if (!doc_.sawMessage)
                    Unexpected(off, name);
                ctx_.Warn(off, PageName() + " ends without its complete page data");
            }
            ctx_.Add(std::move(item));
            ctx_.ClosePage(step_ == Step::DataEnded);
            return;
        case kManualDuplex:
            if (phase_ != Phase::Pages || !CloseBrokenPage(off, name))
                Unexpected(off, name);
            doc_.manualDuplex = true;
            break;
        case kDocEnd: {
            if (phase_ != Phase::Pages || !CloseBrokenPage(off, name))
                Unexpected(off, name);
            ctx_.Add(std::move(item));
            const size_t uelOff = r_.pos();
            if (!r_.Matches(kUel))
                Fail(uelOff, "UEL (ESC \"%-12345X\") expected after END_DOC_CMD; found " +
                                 HexDump(r_.Here(), r_.left(), 12));
            r_.Skip(kUelLen);
            Item uel;
            uel.kind = ItemKind::Uel;
            uel.offset = uelOff;
            uel.length = kUelLen;
            uel.name = "UEL";
            ctx_.Add(std::move(uel));
            phase_ = Phase::Done;
            return;
        }
        default:
            break;
        }
        ctx_.Add(std::move(item));
    }

    void NameParams(Item& item, const std::vector<Param>& params, std::string (*nameOf)(uint32_t))
    {
        for (const Param& p : params) {
            std::string n = nameOf(p.id);
            if (n.empty()) {
                ctx_.Warn(p.offset, "unknown parameter id " + std::to_string(p.id) + " in " + item.name);
                n = "param " + std::to_string(p.id);
            }
            item.fields.push_back(Num(n, p.value));
        }
    }

    void OnPageStart(const std::vector<Param>& params, size_t off)
    {
        Page& page = ctx_.CurrentPage();
        bool hasDepth = false;
        uint32_t imgWidth = 0, videoWidth = 0;
        for (const Param& p : params) {
            switch (p.id) {
            case 3: page.paperCode = p.value; break;
            case 4: page.copies = p.value; break;
            case 5: page.inputTray = p.value; break;
            case 6: page.mediaType = p.value; break;
            case 8: page.xResolution = p.value; break;
            case 9: page.yResolution = p.value; break;
            case 12: imgWidth = p.value; break;
            case 13: page.imageHeight = p.value; break;
            case 16:
                if (p.value != 1 && p.value != 2)
                    Fail(p.offset + 8, "VIDEO_DEPTH_PARAM of " + PageName() + " is " +
                                           std::to_string(p.value) + "; pages have 1 or 2 bits per pixel");
                page.bitsPerPixel = p.value;
                hasDepth = true;
                break;
            case 17: videoWidth = p.value; break;
            case 24: page.customWidth = p.value; break;
            case 25: page.customHeight = p.value; break;
            default: break;
            }
        }
        page.customPaper = params.size() == 17;
        page.imageWidth = imgWidth;  // in bits, as the JBIG image has it
        page.hasImageSize = true;
        if (!hasDepth)
            ctx_.Warn(off, PageName() + " has no VIDEO_DEPTH_PARAM; taking 1 bit per pixel");
        if (imgWidth != videoWidth * page.bitsPerPixel)
            ctx_.Warn(off, PageName() + ": IMG_WIDTH_PARAM " + std::to_string(imgWidth) +
                               " is not VIDEO_WIDTH_PARAM " + std::to_string(videoWidth) + " x depth " +
                               std::to_string(page.bitsPerPixel));
        if (page.customPaper != (page.paperCode == 0))
            ctx_.Warn(off, PageName() + ": paper code " + std::to_string(page.paperCode) + " with " +
                               std::to_string(params.size()) + " parameter records");
    }

    void DecodePage(size_t endOff)
    {
        Page& page = ctx_.CurrentPage();
        const JbigHeader& h = jbigParams_;
        page.jbig = h;
        page.lineBits = h.XD;
        page.lineCount = h.YD;
        page.compressedSize = static_cast<uint32_t>(data_.size());
        if (page.bitsPerPixel == 2 && h.XD % 2)
            Fail(jbigParamsOffset_ + 20, PageName() + ": XD " + std::to_string(h.XD) +
                                             " is odd, but the page has 2 bits per pixel");
        const auto& chunks = chunkOffsets_;
        auto where = [&chunks, endOff](size_t i) {
            auto it = std::upper_bound(chunks.begin(), chunks.end(), std::make_pair(i, SIZE_MAX));
            if (it == chunks.begin())
                return endOff;
            --it;
            return it->second + (i - it->first);
        };
        auto bits = DecodeJbigImage(data_.data(), data_.size(), where, h.XD, h.YD,
                                    "page data of " + PageName(), "JBIG_PARAM_CMD");
        const JbigHeader inData = ParseJbigHeader(data_.data());
        if (inData.L0 != h.L0 || inData.order != h.order || inData.options != h.options ||
            inData.MX != h.MX || inData.MY != h.MY || inData.DL != h.DL || inData.D != h.D)
            ctx_.Warn(jbigParamsOffset_, PageName() +
                                             ": JBIG_PARAM_CMD differs from the header of the JBIG data");
        SetPageImage(page, std::move(bits), h.XD, h.YD, page.bitsPerPixel);
        page.hasData = true;
        if (page.imageWidth != h.XD || page.imageHeight != h.YD)
            ctx_.Warn(jbigParamsOffset_, PageName() + ": image is " + std::to_string(h.XD) + "x" +
                                             std::to_string(h.YD) + " bits, START_PAGE_CMD announces " +
                                             std::to_string(page.imageWidth) + "x" +
                                             std::to_string(page.imageHeight));
        data_.clear();
        data_.shrink_to_fit();
        chunkOffsets_.clear();
    }

    Context& ctx_;
    Reader& r_;
    Document& doc_;
    bool fragment_;
    Phase phase_;
    Step step_ = Step::Started;
    JbigHeader jbigParams_;
    size_t jbigParamsOffset_ = 0;
    std::vector<uint8_t> data_;                              // chunks of the open page
    std::vector<std::pair<size_t, size_t>> chunkOffsets_;    // data position -> stream offset
    std::vector<std::pair<size_t, uint32_t>> chunks_;        // offset, length
};

}  // namespace

void ParseBlockDocument(Context& ctx, bool fragment)
{
    BlockDocumentParser(ctx, fragment).Run();
}

}  // namespace streamview
