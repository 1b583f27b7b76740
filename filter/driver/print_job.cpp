// The flow of a job and of each of its pages, in the order the printer
// receives them.
#include "driver/print_job.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/page_geometry.h"
#include "driver/page_records.h"
#include "driver/printer_models.h"
#include "driver/raster_input.h"
#include "driver/signals.h"
#include "imaging/screening.h"
#include "stream/blank_page.h"
#include "stream/doc_framing.h"
#include "stream/page_data.h"
#include "stream/page_framing.h"

namespace {

int Option(const PrintJob& job, JobOptionRow row) { return job.options[row].value; }

bool Cancelled(const PrintJob& job) { return *job.cancel != 0; }

// Puts the page flow's text in front of the failure texts and sends them
// all down the printer stream, unless the printer no longer takes it.
// Leaves outputBusy 1.
void ReportFailure(PrintJob& job, const char* text)
{
    outputBusy = 1;
    PrependErrMsg(job.sink, text);
    if (job.sink.printerWriteError == 0)
        PrintErrMsg(job.sink);
}

// Once the printer has not taken part of the stream, the job cannot be
// printed whole. Says so, unless the job was cancelled anyway.
void ReportPrinterFailure(const PrintJob& job)
{
    if (job.sink.printerWriteError != 0 && !Cancelled(job))
        ReportStatus(job.status, "ERROR: Unable to send the print data to the printer: %s\n",
                     std::strerror(job.sink.printerWriteError));
}

// After a stage: the printer did not take all of it. A cancelled job ends
// as cancelled; any other stops at once with status 1.
JobStep StopSending(const PrintJob& job)
{
    return Cancelled(job) ? JobStep::CleanUp : JobStep::ExitNow;
}

// Between stages: the port is idle, so the keep-alive filler may go out.
void EndStage()
{
    outputBusy = 0;
}

void FreePage(PrintJob& job)
{
    std::free(job.pGrayImgLineBuf);
    job.pGrayImgLineBuf = nullptr;
    FreePageBitmap(job.bitmap);
    job.pageOpen = 0;
}

// ---- Per-page settings ----

void SettlePlatform(PrintJob& job, int namedPlatform)
{
    if (namedPlatform >= 0)
        job.platform = namedPlatform;
    job.paperTable = SelectModel(job.modelName, &job.platform);
    if (Option(job, kDpi1200) == 1 && job.platform == 3)
        job.twoBitMode = 1;
}

// Page 1: keep-alive, document start, spools. Returns 0 when a spool cannot
// be made.
int OpenDocument(PrintJob& job)
{
    if ((job.platform == 1 || job.platform == 2) && job.sink.port.fillerFd >= 0)
        StartKeepAliveTimer(job.sink.port.fillerFd);

    DocStartInfo info = MakeDocStartInfo(job.jobId, job.options, job.platform);
    info.modelName = job.modelName;
    info.clock = job.clock;
    info.hostName = job.hostName;
    outputBusy = 1;
    if (!Prnt_StartDoc(job.sink, info, job.platform))
        ReportFailure(job, "main() :: Start doc Fail ! \n");
    EndStage();

    return CreateSpools(job.spools, job.sink, job.status, Option(job, kCollate), job.copies,
                        Option(job, kManualDuplex));
}

// Geometry, PageSetup and the page's opening in the stream. Returns 0 when
// the page size is one the printer cannot take. The paper lookup may set
// the page's FeedLongEdge; the front end's options stay as they are.
int OpenPage(PrintJob& job, PageGeometry* geometry)
{
    if (!ComputePageGeometry(job.header, job.paperTable, job.customMargins, job.platform,
                             &job.options[kFeedLongEdge].value, geometry)) {
        ReportFailure(job, "main(): Paper Size error!");
        ReportStatus(job.status, "ERROR: Page %d has a paper size the printer cannot take: %u x %u points\n",
                     job.pageCount, job.header.PageSize[0], job.header.PageSize[1]);
        return 0;
    }
    job.setup = MakePageSetup(job.header, *geometry, job.options, job.platform, job.copies, job.pageCount,
                              job.twoBitMode);
    outputBusy = 1;
    if (!Prnt_StartPage(job.sink, job.setup, job.platform))
        ReportFailure(job, "main() :: Start page Fail ! \n");
    EndStage();
    return 1;
}

// The page's bitmap, turned as the page leaves the printer, and the line
// that takes each raster line to it. Returns 0 when memory is short.
int AllocatePage(PrintJob& job, const PageGeometry& geometry)
{
    const uint32_t width = geometry.width;
    const uint32_t height = geometry.height;
    const int half = NeedsRotate180(job.options, job.setup.feedFlags, job.pageCount);
    const int quarter = job.setup.feedFlags == kLongEdgeFeed;

    // Columns beyond the raster line (or, turned a quarter, beyond its last
    // line) are paper the raster never covered.
    const uint32_t bitmapWidth = quarter ? height : width;
    uint32_t columns = quarter ? job.header.cupsHeight : job.header.cupsBytesPerLine;
    if (columns > bitmapWidth)
        columns = bitmapWidth;
    PageScreen screen;
    PreparePageScreen(screen, columns, Option(job, kNegativePrint), Option(job, kDpi1200), job.platform);

    job.invert = RasterIsInverted(job.header);
    job.copyBytes = job.header.cupsBytesPerLine < width ? job.header.cupsBytesPerLine : width;
    job.pGrayImgLineBuf = static_cast<uint8_t*>(std::malloc(width));
    job.pageOpen = 1;
    if (job.pGrayImgLineBuf == nullptr || !BeginPageBitmap(job.bitmap, width, height, half, quarter, screen))
        return 0;
    std::memset(job.pGrayImgLineBuf, 0xFF, width);
    return 1;
}

void ReportAllocationFailure(PrintJob& job)
{
    outputBusy = 1;
    SetErrMsg(job.sink, "main() :: Malloc pGrayImgLineBuf or pMonoImgLineBuf or pMonoImgBuf Fail ! \n");
    PrintErrMsg(job.sink);
}

// The screened bitmap and the page's end, with the page's accounting line.
// Returns 0 when the page's data did not go out whole: the printer or a
// spool refused it, or there was no memory to compress it.
int SendPage(PrintJob& job)
{
    const PageBitmap& page = job.bitmap;
    PageDataInfo data = MakePageDataInfo(job.header, page.bitmapWidth, page.bitmapHeight, job.twoBitMode,
                                         job.platform, page.bits);
    data.dotCount = page.dots;
    data.imageChecksum = job.imageChecksum;
    outputBusy = 1;
    const int dataSent = Prnt_SendPage(job.sink, data, job.platform);
    if (!dataSent)
        ReportFailure(job, "main() :: Send page Fail!\n");
    job.imageChecksum = data.imageChecksum;

    PageEndInfo end = MakePageEndInfo(job.header, job.options, job.pageCount);
    end.dotCount = page.dots;
    end.imageChecksum = job.imageChecksum;
    if (!Prnt_EndPage(job.sink, end, job.platform))
        ReportFailure(job, "main() :: End page Fail ! \n");
    // An even page of a manual-duplex job reaches the printer only from the
    // replay at the end, which counts it then.
    if (job.sink.toPrinter == 1 && dataSent && job.sink.printerWriteError == 0)
        ReportStatus(job.status, "PAGE: %d %d\n", job.pageCount, job.setup.copies);
    EndStage();
    return dataSent;
}

}  // namespace

void BeginPrintJob(PrintJob& job, const JobStart& start, OutputPort port, StatusReporter status)
{
    // A job object used before holds nothing once closed; one that was not
    // closed gives its page and spools back first.
    FreePage(job);
    RemoveSpools(job.spools, job.sink);
    job = PrintJob{};
    OpenStreamSink(job.sink, port);
    job.status = status;
    job.jobId = start.jobId;
    std::snprintf(job.modelName, sizeof job.modelName, "%s", start.modelName ? start.modelName : "");
    std::memcpy(job.customMargins, start.customMargins, sizeof job.customMargins);
    std::snprintf(job.manualDuplexText, sizeof job.manualDuplexText, "%s",
                  start.manualDuplexText ? start.manualDuplexText : "");
    job.manualDuplexPauseSeconds = start.manualDuplexPauseSeconds;
    job.clock = start.clock;
    job.hostName = start.hostName;
    job.cancel = start.cancel != nullptr ? start.cancel : &cancelRequested;
    job.sink.cancel = job.cancel;
    LoadDefaultJobOptions(job.options);
    outputBusy = 1;
}

// ---- One page, in the order of its steps ----

JobStep BeginPage(PrintJob& job, const cups_page_header2_t& header, const JobOption* options,
                  int namedPlatform)
{
    // 1. The page's header: counted, and checked before anything trusts it.
    job.header = header;
    job.pageCount += 1;
    job.copies = static_cast<int>(header.NumCopies);
    if (!CheckRasterPage(header, job.pageCount, job.status))
        return JobStep::ExitNow;

    // 2. Its options, platform, model and paper table.
    std::memcpy(job.options, options, sizeof job.options);
    SettlePlatform(job, namedPlatform);

    // 3. The first page opens the document and the job's spools.
    if (job.pageCount == 1 && !OpenDocument(job))
        return JobStep::ExitNow;
    if (job.sink.printerWriteError != 0)
        return StopSending(job);
    RoutePageOutput(job.sink, Option(job, kManualDuplex), job.pageCount);

    // 4. Where the page lands, and its start in the stream.
    PageGeometry geometry{};
    if (!OpenPage(job, &geometry))
        return JobStep::ExitNow;
    if (job.sink.printerWriteError != 0)
        return StopSending(job);

    // 5. Its bitmap, turned as it leaves the printer.
    if (!AllocatePage(job, geometry)) {
        FreePage(job);
        ReportAllocationFailure(job);
        ReportStatus(job.status, "ERROR: Not enough memory for page %d (%u x %u pixels); the job is stopped\n",
                     job.pageCount, geometry.width, geometry.height);
        return JobStep::ExitNow;
    }
    return JobStep::Continue;
}

void AddLine(PrintJob& job, const uint8_t* line)
{
    // 6. Each raster line, screened at once into its place. Bytes beyond
    // the page are cut, columns beyond the raster line stay white.
    if (job.pageOpen)
        AddBitmapLine(job.bitmap, GreyLine(line, job.pGrayImgLineBuf, job.copyBytes, job.bitmap.width, job.invert));
}

JobStep FinishPage(PrintJob& job)
{
    if (!job.pageOpen)
        return JobStep::EndOfJob;
    // 7. A cancelled page is dropped unfinished on platform 3; the others
    // print what was read.
    if (Cancelled(job) && job.platform == 3) {
        FreePage(job);
        return JobStep::CleanUp;
    }

    // 8. What the raster did not cover is white; the bitmap is complete.
    FinishPageBitmap(job.bitmap);

    // 9. Compressed page data, the page's end, its PAGE: line.
    const int sent = SendPage(job);
    FreePage(job);

    // 10. A job the printer or a spool did not take whole, or a page that
    // could not be compressed, stops the job; a cancel ends the pages.
    if (job.sink.printerWriteError != 0)
        return StopSending(job);
    if (!SpoolWritesIntact(job.sink, job.status))
        return JobStep::ExitNow;
    if (!sent) {
        ReportStatus(job.status, "ERROR: Not enough memory to compress page %d; the job is stopped\n",
                     job.pageCount);
        return JobStep::ExitNow;
    }
    if (Cancelled(job))
        return JobStep::EndOfJob;
    return JobStep::Continue;
}

// ---- End of the job ----

void EndPrintJob(PrintJob& job)
{
    outputBusy = 1;
    EndOfJobSettings settings{};
    settings.collate = Option(job, kCollate);
    settings.copies = job.copies;
    settings.manualDuplex = Option(job, kManualDuplex);
    settings.machineDuplex = Option(job, kDuplex) != 0 ? 1 : 0;
    settings.outputOrder = Option(job, kOutputOrder);
    settings.manualDuplexText = job.manualDuplexText;
    settings.platform = job.platform;
    settings.pageCount = job.pageCount;
    settings.cancel = job.cancel;
    // After a cancel request this replays nothing, but still routes the
    // output back to the printer for the end of the document.
    const int blankBackDone =
        ReplaySpools(job.spools, job.sink, job.status, settings, job.header, job.setup, job.imageChecksum);
    if (job.sink.printerWriteError != 0)
        return;  // nothing more reaches the printer

    outputBusy = 1;
    const DocEndInfo info = MakeDocEndInfo(job.options, job.pageCount);
    // The last sheet of a two-sided job needs a back.
    if (Option(job, kDuplex) != 0 && job.pageCount % 2 == 1 && !blankBackDone)
        InsertBlankPage(job.sink, job.header, job.setup, job.platform, job.pageCount + 1, job.imageChecksum);
    if (!Prnt_EndDoc(job.sink, info, job.platform))
        ReportFailure(job, "main() :: End doc Fail ! \n");
}

int CloseJob(PrintJob& job)
{
    FreePage(job);
    RemoveSpools(job.spools, job.sink);
    if (job.sink.printerWriteError != 0 && !Cancelled(job)) {
        // Not printed whole: no pause for turning the stack, status 1.
        ReportPrinterFailure(job);
        return 1;
    }
    // Give the user time to see the instruction to turn the stack.
    // The keep-alive tick cuts sleep() short, so sleep on; a cancelled job
    // showed no instruction and needs no pause.
    if (Option(job, kManualDuplex) == 1) {
        unsigned left = job.manualDuplexPauseSeconds;
        while (left > 0 && !Cancelled(job))
            left = sleep(left);
    }
    outputBusy = 0;
    if (job.pageCount == 0) {
        ReportStatus(job.status, "ERROR: No pages found!\n");
        return 1;
    }
    ReportStatus(job.status, "INFO: Ready to print.\n");
    return 0;
}

int AbortJob(PrintJob& job)
{
    outputBusy = 1;  // no filler behind a half-written job
    FreePage(job);
    RemoveSpools(job.spools, job.sink);
    ReportPrinterFailure(job);
    return 1;
}

void SendKeepAliveFiller(PrintJob& job)
{
    static const uint8_t filler[2] = {0x00, 0x00};
    if (outputBusy == 0)
        job.sink.port.write(job.sink.port.context, filler, sizeof filler);
}
