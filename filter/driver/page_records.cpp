#include "driver/page_records.h"

#include <cstdint>

#include "imaging/transforms.h"

namespace {

uint16_t Low16(long long value) { return static_cast<uint16_t>(value & 0xFFFF); }

uint8_t Density(const JobOption* options)
{
    return options[kTonerMode].value == 1 ? 0 : static_cast<uint8_t>(options[kDensity].value & 0xFF);
}

// Paper size in dots; the page size is already known to fit the printer, so
// the product cannot overflow.
long long PaperDots(unsigned dpi, unsigned sizePt)
{
    return static_cast<long long>(static_cast<double>(dpi) * (sizePt / 72.0));
}

int IsA5(int paperCode, int platform) { return paperCode == (platform == 1 ? 6 : 11); }

}  // namespace

DocStartInfo MakeDocStartInfo(int jobId, const JobOption* options, int platform)
{
    DocStartInfo info{};
    info.jobId = jobId;
    info.specBit80 = 0;
    info.duplexBits =
        (options[kDuplex].value != 0 || options[kManualDuplex].value == 1) ? 0x20 : 0;
    info.platformBits = platform != 3 ? 0x10 : 0;
    info.specBit08 = info.specBit04 = info.specBit02 = info.specBit01 = 0;
    info.tonerSave = 0;
    info.density = Density(options);
    return info;
}

PageSetup MakePageSetup(const cups_page_header2_t& header, const PageGeometry& geometry,
                        const JobOption* options, int platform, int copies, int pageNumber,
                        int twoBitMode)
{
    PageSetup s{};
    s.paperCode = Low16(geometry.paperCode);
    s.mediaType = Low16(header.cupsMediaType);
    s.xResolution = Low16(geometry.xResolution);
    s.yResolution = Low16(geometry.yResolution);
    const bool traySelectable =
        header.cupsMediaType == 0 || (platform == 3 && header.cupsMediaType == 1);
    s.inputTray = Low16(traySelectable ? options[kInputSlot].value : 1);
    s.optionFlags1 = 0;
    s.feedFlags = 0;
    s.optionFlags2 = 0;
    s.copies = Low16(options[kCollate].value == 1 ? 1 : copies);
    s.offsetX = geometry.offsetX;
    s.offsetY = geometry.offsetY;
    s.pageNumber = Low16(pageNumber);
    s.customWidth = Low16(PaperDots(header.HWResolution[0], header.PageSize[0]));
    s.customHeight = Low16(PaperDots(header.HWResolution[1], header.PageSize[1]));
    s.imageWidth = Low16(geometry.width);
    s.imageHeight = Low16(geometry.height);
    s.twoBitMode = static_cast<uint32_t>(twoBitMode);
    s.density = Density(options);

    if (IsA5(geometry.paperCode, platform) && options[kFeedLongEdge].value == 1) {
        s.feedFlags = kLongEdgeFeed;
        if (platform == 2)
            s.paperCode = 0x12;
        else if (platform == 3)
            s.paperCode = 0x3D;
        SwapInt16(&s.customWidth, &s.customHeight);
        SwapInt16(&s.imageWidth, &s.imageHeight);
    }
    return s;
}

PageDataInfo MakePageDataInfo(const cups_page_header2_t& header, uint32_t width, uint32_t height,
                              int twoBitMode, int platform, uint8_t* bitmap)
{
    PageDataInfo d{};
    d.rasterMode = 0;
    d.rasterFlags[0] = 0;
    d.rasterFlags[1] = 0;
    d.rasterFlags[2] = 0x20;
    d.lineBits = Low16(twoBitMode == 1 ? 2LL * width : width);
    d.lineCount = Low16(height);
    if (platform == 1) {
        d.widthPixels = Low16(width);
        d.stripeLines = header.HWResolution[0] == 600 ? 768 : 384;
    }
    d.compressedSize = 0;
    d.bitmap = bitmap;
    return d;
}

PageEndInfo MakePageEndInfo(const cups_page_header2_t& header, const JobOption* options,
                            int pageNumber)
{
    PageEndInfo e{};
    e.pageNumber = pageNumber;
    e.machineDuplex = options[kDuplex].value != 0 ? 1 : 0;
    e.xResolution = static_cast<int32_t>(header.HWResolution[0]);
    e.pageWidthMm = static_cast<int32_t>(header.PageSize[0] / 72.0 * 25.4);
    e.tonerLevel = options[kDensity].value;
    e.coverage = 0;
    return e;
}

DocEndInfo MakeDocEndInfo(const JobOption* options, int pageCount)
{
    DocEndInfo e{};
    e.pageCount = pageCount;
    e.duplex = options[kDuplex].value != 0 ? 1 : 0;
    return e;
}
