#include "stream/page_framing.h"

#include <cstddef>
#include <cstdint>

#include "stream/output_sink.h"
#include "stream/packets.h"

namespace {

int SendPiece(StreamSink& sink, const void* data, std::size_t length, int spoolMark, const char* failText)
{
    if (SendDataToFile(sink, data, static_cast<int>(length), spoolMark))
        return 1;
    PrependErrMsg(sink, failText);
    return 0;
}

// Page pieces go to the spools too, so that copies and the second pass of
// a manual-duplex job replay whole pages.
int SendPagePiece(StreamSink& sink, const void* data, std::size_t length, const char* failText)
{
    return SendPiece(sink, data, length, 1, failText);
}

// The records of a platform-3 page start, in the printer's order. The
// custom-size ones only go out for paper code 0.
enum class PageValue {
    PaperCode, Zero, One, CustomWidth, CustomHeight, Copies, InputTray, MediaType,
    XResolution, YResolution, LineBits, ImageWidth, ImageHeight, Depth, Density,
};

struct PageParam {
    uint16_t id;
    const char* failText;
    PageValue value;
    bool customOnly;
};

constexpr PageParam kPageParams[] = {
    {3, "Prnt_StartPage() :: send PAPER_SIZE_PARAM Fail 0 ==  \n", PageValue::PaperCode, false},
    {26, "Prnt_StartPage() :: send CUSTOM_PAPER_UNIT_PARAM Fail 0 ==  \n", PageValue::Zero, true},
    {24, "Prnt_StartPage() :: send CUSTOM_WIDTH_PARAM Fail 0 ==  \n", PageValue::CustomWidth, true},
    {25, "Prnt_StartPage() :: send CUSTOM_HEIGHT_PARAM Fail 0 ==  \n", PageValue::CustomHeight, true},
    {4, "Prnt_StartPage() :: send COPIES_PARAM Fail 0 ==  \n", PageValue::Copies, false},
    {5, "Prnt_StartPage() :: send INPUT_TRAY_PARAM Fail 0 ==  \n", PageValue::InputTray, false},
    {6, "Prnt_StartPage() :: send MEDIA_TYPE_PARAM Fail 0 ==  \n", PageValue::MediaType, false},
    {7, "Prnt_StartPage() :: send CHANNEL_NUM_PARAM Fail 0 ==  \n", PageValue::One, false},
    {8, "Prnt_StartPage() :: send H_RESOLUTION_PARAM Fail 0 ==  \n", PageValue::XResolution, false},
    {9, "Prnt_StartPage() :: send V_RESOLUTION_PARAM Fail 0 ==  \n", PageValue::YResolution, false},
    {22, "Prnt_StartPage() :: send RET_PARAM Fail 0 ==  \n", PageValue::Zero, false},
    {12, "Prnt_StartPage() :: send IMG_WIDTH_PARAM Fail 0 ==  \n", PageValue::LineBits, false},
    {13, "Prnt_StartPage() :: send IMG_HEIGHT_PARAM Fail 0 ==  \n", PageValue::ImageHeight, false},
    {16, "Prnt_StartPage() :: send VIDEO_DEPTH_PARAM Fail 0 ==  \n", PageValue::Depth, false},
    {17, "Prnt_StartPage() :: send VIDEO_WIDTH_PARAM Fail 0 ==  \n", PageValue::ImageWidth, false},
    {18, "Prnt_StartPage() :: send VIDEO_HEIGHT_PARAM Fail 0 ==  \n", PageValue::ImageHeight, false},
    {0xFF00, "Prnt_StartPage() :: send DENSITY_PARAM Fail 0 ==  \n", PageValue::Density, false},
};

uint32_t ParamValue(const PageSetup& s, PageValue v)
{
    // Two bits per pixel only when the mode is exactly 1.
    const uint32_t bpp = s.twoBitMode == 1 ? 2 : 1;
    switch (v) {
    case PageValue::PaperCode: return s.paperCode;
    case PageValue::Zero: return 0;
    case PageValue::One: return 1;
    case PageValue::CustomWidth: return s.customWidth;
    case PageValue::CustomHeight: return s.customHeight;
    case PageValue::Copies: return s.copies;
    case PageValue::InputTray: return s.inputTray;
    case PageValue::MediaType: return s.mediaType;
    case PageValue::XResolution: return s.xResolution;
    case PageValue::YResolution: return s.yResolution;
    case PageValue::LineBits: return static_cast<uint32_t>(s.imageWidth) * bpp;
    case PageValue::ImageWidth: return s.imageWidth;
    case PageValue::ImageHeight: return s.imageHeight;
    case PageValue::Depth: return bpp;
    case PageValue::Density: return s.density;
    }
    return 0;
}

int StartPageP3(StreamSink& sink, const PageSetup& s)
{
    const bool custom = s.paperCode == 0;
    const uint32_t count = custom ? 17 : 14;
    uint8_t header[kBlockHeaderLen];
    BuildBlockHeader(header, kBlockHeaderLen + kParamRecordLen * count, kBlockPageStart, count,
                     static_cast<uint16_t>(kParamRecordLen * count));
    if (!SendPagePiece(sink, header, sizeof header, "Prnt_StartPage() :: send START_PAGE_CMD Fail 0 ==  \n"))
        return 0;
    for (const PageParam& p : kPageParams) {
        if (p.customOnly && !custom)
            continue;
        uint8_t record[kParamRecordLen];
        BuildParamRecord(record, p.id, ParamValue(s, p.value));
        if (!SendPagePiece(sink, record, sizeof record, p.failText))
            return 0;
    }
    return 1;
}

int StartPageP12(StreamSink& sink, const PageSetup& s, int platform)
{
    Insert00(sink);
    uint8_t pageSpec[kCmdPageSpecLen];
    BuildCmdPageSpec(pageSpec, s, platform);
    if (!SendPagePiece(sink, pageSpec, sizeof pageSpec, "Prnt_StartPage() :: send cmdPageSpec Fail 0 ==  \n"))
        return 0;
    Insert00(sink);
    uint8_t customPaper[kCmdCustomPaperLen];
    BuildCmdCustomPaper(customPaper, s, platform);
    if (!SendPagePiece(sink, customPaper, sizeof customPaper,
                       "Prnt_StartPage() :: send cmdCustomPaper Fail 0 ==  \n"))
        return 0;
    Insert00(sink);
    if (platform == 1) {
        if (!SendPagePiece(sink, hostUseCmd, sizeof hostUseCmd,
                           "Prnt_StartPage() :: send hostUseCmd Fail 0 ==  \n"))
            return 0;
        Insert00(sink);
    }
    return 1;
}

int EndPageP1(StreamSink& sink, PageEndInfo& info)
{
    // Follows the page data directly; no separator in between.
    if (!SendPagePiece(sink, UEL_CMD_C, sizeof UEL_CMD_C, "Prnt_EndPage() :: send UEL_CMD_C Fail 0 ==  \n"))
        return 0;
    Insert00(sink);
    uint8_t checksum[kCmdImageDataChenksumLen];
    BuildCmdImageDataChenksum(checksum, info.imageChecksum);
    if (!SendPagePiece(sink, checksum, sizeof checksum,
                       "Prnt_EndPage() :: send cmdImageDataChenksum Fail 0 ==  \n"))
        return 0;
    Insert00(sink);
    uint8_t coverage[kCmdCoveragePageEndLen];
    BuildCmdCoveragePageEnd(coverage, info.dotCount, info);
    if (!SendPagePiece(sink, coverage, sizeof coverage, "Prnt_EndPage() :: send cmdCoverage Fail 0 ==  \n"))
        return 0;
    Insert00(sink);
    if (!SendPagePiece(sink, formFeedCmd, sizeof formFeedCmd, "Prnt_EndPage() :: send formFeedCmd Fail 0 ==  \n"))
        return 0;
    if (info.machineDuplex == 1 && !SendMachineDuplexCmd(sink, info.pageNumber, 1)) {
        PrependErrMsg(sink, "Prnt_EndPage() :: MachineDuplexCmd Fail .\n");
        return 0;
    }
    return 1;
}

}  // namespace

int Prnt_StartPage(StreamSink& sink, const PageSetup& setup, int platform)
{
    switch (platform) {
    case 1:
    case 2:
        return StartPageP12(sink, setup, platform);
    case 3:
        return StartPageP3(sink, setup);
    default:
        return 0;
    }
}

int Prnt_EndPage(StreamSink& sink, PageEndInfo& info, int platform)
{
    switch (platform) {
    case 1:
        return EndPageP1(sink, info);
    case 2:
        Insert00(sink);
        return SendPagePiece(sink, formFeedCmd, sizeof formFeedCmd,
                             "Prnt_EndPage() :: send formFeedCmd Fail 0 ==  \n");
    case 3: {
        uint8_t header[kBlockHeaderLen];
        BuildBlockHeader(header, kBlockHeaderLen, kBlockPageEnd, 0, 0);
        return SendPagePiece(sink, header, sizeof header, "Prnt_EndPage() :: send END_PAGE_CMD Fail 0 ==  \n");
    }
    default:
        return 0;
    }
}

// Sent between the passes of a manual-duplex job, after the odd pages; it
// must not land in a spool, or a replay would pause the printer again.
int SendManualDuplexCmd(StreamSink& sink, int platform)
{
    const char* fail = "Prnt_EndPage() :: send manualDuplexCmd Fail 0 ==  \n";
    switch (platform) {
    case 1:
        return SendPiece(sink, manualDuplexCmdP1, sizeof manualDuplexCmdP1, 0, fail);
    case 2:
        return SendPiece(sink, manualDuplexCmdP2, sizeof manualDuplexCmdP2, 0, fail);
    case 3: {
        uint8_t header[kBlockHeaderLen];
        BuildBlockHeader(header, kBlockHeaderLen, kBlockManualDuplex, 0, 0);
        return SendPiece(sink, header, sizeof header, 0,
                         "SendManualDuplexCmd() :: send MANUAL_DUPLEX_CMD Fail 0 ==  \n");
    }
    default:
        return 0;
    }
}

int SendMachineDuplexCmd(StreamSink& sink, int pageNumber, int oddPages)
{
    const bool odd = pageNumber % 2 != 0;
    if (odd != (oddPages != 0))
        return 1;
    Insert00(sink);
    return SendPagePiece(sink, machineDuplexCmd, sizeof machineDuplexCmd,
                         "SendMachineDuplexCmd() :: send machineDuplexCmd Fail 0 ==  \n");
}
