#include "stream/blank_page.h"

#include <cstdint>
#include <cstdlib>

#include "stream/page_data.h"
#include "stream/page_framing.h"

namespace {

void* ZeroedAlloc(std::size_t count, std::size_t size) { return std::calloc(count, size); }

void Report(StreamSink& sink, const char* text)
{
    PrependErrMsg(sink, text);
    PrintErrMsg(sink);
}

}  // namespace

void* (*blankBitmapAlloc)(std::size_t count, std::size_t size) = ZeroedAlloc;

int BlankBitmapSize(uint32_t width, uint32_t height, uint32_t twoBitMode, std::size_t* bytes)
{
    // Whole-byte lines, so that no reader of a line runs past the end.
    const uint64_t lineBits = static_cast<uint64_t>(width) * (twoBitMode != 0 ? 2 : 1);
    const uint64_t size = (lineBits + 7) / 8 * height;
    if (size > SIZE_MAX)
        return 0;
    *bytes = static_cast<std::size_t>(size);
    return 1;
}

PageDataInfo BlankPageData(uint32_t width, uint32_t height, uint32_t twoBitMode,
                           unsigned xResolution, int platform)
{
    PageDataInfo info{};
    info.rasterMode = 0;
    info.rasterFlags[2] = 0x20;
    info.lineBits = static_cast<uint16_t>(twoBitMode == 1 ? 2 * width : width);
    info.lineCount = static_cast<uint16_t>(height);
    if (platform == 1) {
        info.widthPixels = static_cast<uint16_t>(width);
        info.stripeLines = xResolution == 600 ? 768 : 384;
    }
    return info;
}

void InsertBlankPage(StreamSink& sink, const cups_page_header2_t& header, PageSetup& setup, int platform,
                     int pageNumber, uint32_t& imageChecksum)
{
    uint32_t width = setup.imageWidth;
    uint32_t height = setup.imageHeight;
    const uint32_t twoBitMode = setup.twoBitMode;

    // The blank page is never counted as a page read.
    setup.pageNumber = static_cast<uint16_t>(pageNumber);
    if (!Prnt_StartPage(sink, setup, platform))
        Report(sink, "InsertBlankPage() :: Start page Fail ! \n");

    // A page fed long edge first was turned a quarter, and its setup already
    // describes the turned bitmap: the blank back is sent in the same shape
    // its page start announces.

    std::size_t bytes = 0;
    uint8_t* bitmap = nullptr;
    // At least one byte: calloc may answer an empty request with null.
    if (BlankBitmapSize(width, height, twoBitMode, &bytes))
        bitmap = static_cast<uint8_t*>(blankBitmapAlloc(bytes > 0 ? bytes : 1, 1));
    if (bitmap == nullptr) {
        // Without a bitmap there is nothing to send; the page is still
        // closed so that the printer stays in step.
        Report(sink, "InsertBlankPage() :: malloc Fail ! \n");
    } else {
        PageDataInfo pageData = BlankPageData(width, height, twoBitMode, header.HWResolution[0], platform);
        pageData.bitmap = bitmap;
        pageData.imageChecksum = imageChecksum;
        if (!Prnt_SendPage(sink, pageData, platform))
            Report(sink, "InsertBlankPage() :: Send page Fail!\n");
        std::free(bitmap);
        imageChecksum = pageData.imageChecksum;
    }

    PageEndInfo pageEnd{};
    pageEnd.pageNumber = pageNumber;
    pageEnd.machineDuplex = 0;
    pageEnd.imageChecksum = imageChecksum;  // a blank page has no toner dots
    if (!Prnt_EndPage(sink, pageEnd, platform))
        Report(sink, "InsertBlankPage() :: End page Fail ! \n");
}
