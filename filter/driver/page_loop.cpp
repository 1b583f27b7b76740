#include "driver/page_loop.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "driver/cups_binding.h"
#include "driver/filter_state.h"
#include "driver/job_options.h"
#include "driver/page_geometry.h"
#include "driver/page_records.h"
#include "driver/printer_models.h"
#include "driver/raster_input.h"
#include "driver/signals.h"
#include "driver/spooling.h"
#include "imaging/screening.h"
#include "imaging/transforms.h"
#include "stream/blank_page.h"
#include "stream/doc_framing.h"
#include "stream/page_data.h"
#include "stream/page_framing.h"
#include "stream/records.h"

// The PPD API is deprecated in CUPS 2.x but is what reads a driver's PPD.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

unsigned manualDuplexPauseSeconds = 10;

namespace {

constexpr size_t kPpdTextSize = 1024;

// Everything one job holds between its pages.
struct FilterJob {
    const char* jobIdText;
    const char* optionText;
    int inputFd;
    cups_raster_t* raster;
    ppd_file_t* ppd;
    int platform;
    const PaperSize* paperTable;
    int twoBitMode;
    int copies;                        // NumCopies of the latest page
    cups_page_header2_t header;        // the latest page's header
    PageSetup setup;                   // the latest page's setup
    char platformText[kPpdTextSize];
    char manualDuplexText[kPpdTextSize];
};

// The page's buffers, owned by the page loop for one page. The grey page is
// screened in place, so the bitmap is the start of the same block.
struct PageBuffers {
    uint8_t* pGrayImgLineBuf;  // one raster line
    uint8_t* pGrayBandBuf;     // lines waiting to be turned a quarter (long edge first only)
    uint8_t* pMonoImgLineBuf;  // the grey page, then the screened bitmap
};

// How the page leaves the printer turned. Settled before its lines are read:
// a page turned a quarter is read straight into its turned place.
struct PageTurn {
    int half;     // 180 degrees
    int quarter;  // 90 degrees clockwise, after the half turn
};

// How a pass of the page loop ends.
enum class PageEnd {
    NextPage,   // read the next header
    EndOfJob,   // replays, blank back, end of document, clean-up
    CleanUp,    // straight to clean-up: the document stays open
    ExitNow,    // a failure that ends the job at once with status 1
};

int Option(JobOptionRow row) { return jobOptions[row].value; }

// Puts the page loop's text in front of errMsgBuf and sends the whole buffer
// down the printer stream, unless the printer no longer takes it. Leaves
// outputBusy 1 with standard output flushed.
void ReportFailure(const char* text)
{
    outputBusy = 1;
    PrependErrMsg(text);
    if (printerWriteError == 0)
        PrintErrMsg();
    std::fflush(stdout);
}

// Once the printer has not taken part of the stream, the job cannot be
// printed whole. Says so, unless the job was cancelled anyway.
void ReportPrinterFailure()
{
    if (printerWriteError != 0 && !cancelRequested)
        std::fprintf(stderr, "ERROR: Unable to send the print data to the printer: %s\n",
                     std::strerror(printerWriteError));
}

// Between stages: standard output idle, so the keep-alive filler may go out.
void EndStage()
{
    std::fflush(stdout);
    outputBusy = 0;
}

// ---- Start-up, and the exits at once ----

void CloseJobInput(FilterJob& job)
{
    if (job.ppd != nullptr) {
        cups.ppdClose(job.ppd);
        job.ppd = nullptr;
    }
    if (job.raster != nullptr) {
        cups.cupsRasterClose(job.raster);
        job.raster = nullptr;
    }
    if (job.inputFd > 0) {
        close(job.inputFd);
        job.inputFd = 0;
    }
    UnbindCupsLibraries();
}

// Ends the job at once: only the spools and what the process holds go away.
int ExitAtOnce(FilterJob& job)
{
    outputBusy = 1;  // no filler behind a half-written job
    RemoveSpools();
    CloseJobInput(job);
    ReportPrinterFailure();
    return 1;
}

int OpenPpd(FilterJob& job)
{
    const char* path = std::getenv("PPD");
    if (path == nullptr || *path == '\0') {
        std::fputs("ERROR: No PPD file for this printer (PPD is not set)\n", stderr);
        return 0;
    }
    job.ppd = cups.ppdOpenFile(path);
    if (job.ppd == nullptr) {
        std::fprintf(stderr, "ERROR: Unable to open PPD file %s\n", path);
        return 0;
    }
    // A name too long for the buffer is cut and so matches no model.
    std::snprintf(modelName, sizeof modelName, "%s",
                  job.ppd->modelname != nullptr ? job.ppd->modelname : "");
    return 1;
}

// Start-up steps up to the first page header. Returns -1 to go on, else the
// exit status.
int StartUp(FilterJob& job, int argc, char* argv[])
{
    ResetFilterState();
    // A cancel request may come at any moment, also while the first bytes
    // of raster are awaited.
    InstallTerminateHandler();
#ifdef __GLIBC__
    // A grey page is one block of some 30 MiB. Mapped afresh for every page,
    // its memory would be faulted in again each time (some 10 ms a page);
    // kept on the heap, the next page reuses it, and compression reuses the
    // tail that screening frees. Larger pages are still mapped.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);  // the most glibc takes on 64-bit
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
    std::memset(copySpoolName, 0, sizeof copySpoolName);
    std::memset(oddSpoolName, 0, sizeof oddSpoolName);
    std::memset(evenSpoolName, 0, sizeof evenSpoolName);

    BindCupsImageLibrary();
    BindCupsLibrary();

    LoadDefaultJobOptions(jobOptions);
    job.platform = 0;
    outputBusy = 1;
    std::setbuf(stderr, nullptr);

    if (argc != 6 && argc != 7) {
        std::fputs("ERROR: job-id user title copies options [file]\n", stderr);
        return ExitAtOnce(job);
    }
    job.jobIdText = argv[1];
    job.optionText = argv[5];

    // Without it the first file opened would take descriptor 1 and receive
    // the printer stream.
    const int outFlags = fcntl(STDOUT_FILENO, F_GETFL);
    if (outFlags < 0 || (outFlags & O_ACCMODE) == O_RDONLY) {
        std::fputs("ERROR: Standard output is not open for writing: there is no printer stream to write to\n",
                   stderr);
        return ExitAtOnce(job);
    }

    if (argc == 7) {
        job.inputFd = open(argv[6], O_RDONLY);
        if (job.inputFd < 0) {
            job.inputFd = 0;
            std::perror("ERROR: Unable to open raster file - ");
            sleep(1);
            return ExitAtOnce(job);
        }
    }
    // Null when the input holds no raster at all: a job without pages.
    job.raster = cups.cupsRasterOpen(job.inputFd, CUPS_RASTER_READ);

    if (!OpenPpd(job))
        return ExitAtOnce(job);

    job.copies = 1;
    curPageNum = 0;
    job.twoBitMode = 0;
    return -1;
}

// ---- Per-page settings ----

// Once, on the first page: the queue's defaults, then the job's own
// choices over them. Neither changes during the job, and applied again they
// would undo what a page size set (A5 fed long edge first).
void ApplyJobOptions(const FilterJob& job)
{
    cups_option_t* options = nullptr;
    const int count = cups.cupsParseOptions(job.optionText, 0, &options);
    ApplyPpdDefaults(jobOptions, job.ppd);
    ParseJobOptions(jobOptions, count, options);
    cups.cupsFreeOptions(count, options);
    if (ExcludeMachineDuplex(jobOptions))
        std::fputs("INFO: Manual two-sided printing was asked for together with the printer's own; "
                   "the pages are printed two-sided by hand\n",
                   stderr);
}

void SettlePlatform(FilterJob& job)
{
    PlatformFromPpd(job.ppd, job.platformText, sizeof job.platformText, &job.platform);
    if (Option(kManualDuplex) == 1)
        cups.ppdLocalizeIPPReason(job.ppd, "MDuplex", nullptr, job.manualDuplexText,
                                  sizeof job.manualDuplexText);
    job.paperTable = SelectModel(modelName, &job.platform);
    if (Option(kDpi1200) == 1 && job.platform == 3)
        job.twoBitMode = 1;
}

// Page 1: keep-alive, document start, spools. Returns 0 when a spool cannot
// be made.
int OpenDocument(FilterJob& job)
{
    if (job.platform == 1 || job.platform == 2)
        StartKeepAliveTimer();

    const DocStartInfo info = MakeDocStartInfo(
        static_cast<int>(std::strtol(job.jobIdText, nullptr, 10)), jobOptions, job.platform);
    outputBusy = 1;
    if (!Prnt_StartDoc(info, job.platform))
        ReportFailure("main() :: Start doc Fail ! \n");
    EndStage();

    return CreateSpools(Option(kCollate), job.copies, Option(kManualDuplex));
}

// ---- The page's buffers ----

size_t BitmapBytes(const FilterJob& job, uint32_t width, uint32_t height)
{
    const size_t pageBytes = static_cast<size_t>(width) * height;
    return (job.twoBitMode == 1 ? 2 * pageBytes : pageBytes) / 8;
}

int AllocatePageBuffers(const FilterJob& job, uint32_t width, uint32_t height, PageTurn turn,
                        PageBuffers& buf)
{
    const size_t lineBytes =
        job.header.cupsBytesPerLine > width ? job.header.cupsBytesPerLine : width;
    const size_t pageBytes = static_cast<size_t>(width) * height;
    buf.pGrayImgLineBuf = static_cast<uint8_t*>(std::malloc(lineBytes));
    if (turn.quarter)
        buf.pGrayBandBuf = static_cast<uint8_t*>(std::malloc(size_t{kTurnBandLines} * width));
    buf.pMonoImgLineBuf = static_cast<uint8_t*>(std::malloc(pageBytes));
    if (buf.pGrayImgLineBuf == nullptr || (turn.quarter && buf.pGrayBandBuf == nullptr) ||
        buf.pMonoImgLineBuf == nullptr)
        return 0;
    std::memset(buf.pMonoImgLineBuf, 0xFF, pageBytes);
    return 1;
}

// Once screened, only the bitmap at the start of the page is needed: the
// grey tail is freed before compression, which allocates from it (or, for a
// page too large for the heap, it goes back to the system).
void KeepOnlyBitmap(PageBuffers& buf, size_t bitmapBytes)
{
    if (bitmapBytes == 0)
        return;  // realloc to nothing would free the block
    void* bitmap = std::realloc(buf.pMonoImgLineBuf, bitmapBytes);
    if (bitmap != nullptr)
        buf.pMonoImgLineBuf = static_cast<uint8_t*>(bitmap);
}

void FreePageBuffers(PageBuffers& buf)
{
    std::free(buf.pGrayImgLineBuf);
    std::free(buf.pGrayBandBuf);
    std::free(buf.pMonoImgLineBuf);
    buf = PageBuffers{};
}

// ---- Reading, turning and screening ----

PageTurn SettleTurn(const FilterJob& job)
{
    return {NeedsRotate180(jobOptions, job.setup.feedFlags, curPageNum),
            job.setup.feedFlags == kLongEdgeFeed};
}

void ReadPage(const FilterJob& job, const PageBuffers& buf, uint32_t width, uint32_t height,
              PageTurn turn)
{
    if (turn.quarter)
        ReadTurnedPageLines(job.raster, job.header, buf.pGrayImgLineBuf, buf.pGrayBandBuf,
                            buf.pMonoImgLineBuf, width, height, curPageNum, turn.half);
    else
        ReadPageLines(job.raster, job.header, buf.pGrayImgLineBuf, buf.pMonoImgLineBuf, width,
                      height, curPageNum);
}

// A page turned a quarter was read in its turned place, half turn and all;
// only its width and height are exchanged now.
void TurnPage(PageTurn turn, uint8_t* grey, uint32_t* width, uint32_t* height)
{
    if (turn.quarter) {
        SwapInt32(width, height);
        return;
    }
    if (turn.half && !Rotate180(grey, *width, *height)) {
        ReportFailure("main() :: Rotate 180 Fail. \n");
        EndStage();
    }
}

void ScreenGreyPage(const FilterJob& job, const PageBuffers& buf, uint32_t width,
                    uint32_t height, PageTurn turn)
{
    // Columns beyond the raster line (or, turned, beyond its last line) are
    // paper the raster never covered.
    uint32_t columns = turn.quarter ? job.header.cupsHeight : job.header.cupsBytesPerLine;
    if (columns > width)
        columns = width;
    ScreenPage(buf.pMonoImgLineBuf, width, height, buf.pMonoImgLineBuf, columns,
               Option(kNegativePrint), Option(kDpi1200), job.platform);
}

// ---- One page ----

// Geometry, PageSetup and the page's opening in the stream. Returns 0 when
// the page size is one the printer cannot take.
int OpenPage(FilterJob& job, PageGeometry* geometry)
{
    if (!ComputePageGeometry(job.header, job.paperTable, job.ppd->custom_margins, job.platform,
                             &jobOptions[kFeedLongEdge].value, geometry)) {
        ReportFailure("main(): Paper Size error!");
        std::fprintf(stderr, "ERROR: Page %d has a paper size the printer cannot take: %u x %u points\n",
                     curPageNum, job.header.PageSize[0], job.header.PageSize[1]);
        return 0;
    }
    job.setup = MakePageSetup(job.header, *geometry, jobOptions, job.platform, job.copies,
                              curPageNum, job.twoBitMode);
    outputBusy = 1;
    if (!Prnt_StartPage(job.setup, job.platform))
        ReportFailure("main() :: Start page Fail ! \n");
    EndStage();
    return 1;
}

void ReportAllocationFailure()
{
    outputBusy = 1;
    SetErrMsg("main() :: Malloc pGrayImgLineBuf or pMonoImgLineBuf or pMonoImgBuf Fail ! \n");
    PrintErrMsg();
    std::fflush(stdout);
}

// The screened bitmap and the page's end, with the page's accounting line.
// Returns 0 when the page's data did not go out whole: the printer or a
// spool refused it, or there was no memory to compress it.
int SendPage(FilterJob& job, const PageBuffers& buf, uint32_t width, uint32_t height)
{
    PageDataInfo data = MakePageDataInfo(job.header, width, height, job.twoBitMode, job.platform,
                                         buf.pMonoImgLineBuf);
    outputBusy = 1;
    const int dataSent = Prnt_SendPage(data, job.platform);
    if (!dataSent)
        ReportFailure("main() :: Send page Fail!\n");
    std::fflush(stdout);

    PageEndInfo end = MakePageEndInfo(job.header, jobOptions, curPageNum);
    if (!Prnt_EndPage(end, job.platform))
        ReportFailure("main() :: End page Fail ! \n");
    // An even page of a manual-duplex job reaches the printer only from the
    // replay at the end, which counts it then.
    if (sendToStdout == 1 && dataSent && printerWriteError == 0)
        std::fprintf(stderr, "PAGE: %d %d\n", curPageNum, job.setup.copies);
    EndStage();
    return dataSent;
}

// After a stage: the printer did not take all of it. A cancelled job ends
// as cancelled; any other stops at once with status 1.
PageEnd StopSending()
{
    return cancelRequested ? PageEnd::CleanUp : PageEnd::ExitNow;
}

PageEnd ProcessPage(FilterJob& job)
{
    // CUPS clears the header it fails to read; the blank back page and the
    // replays still need the last page's.
    cups_page_header2_t next;
    if (job.raster == nullptr || !cups.cupsRasterReadHeader2(job.raster, &next)) {
        // The raster library also stops at a header it cannot use (no lines,
        // lines of no or absurd length); then more input follows.
        if (job.raster != nullptr && !cancelRequested && RasterInputContinues(job.inputFd)) {
            std::fprintf(stderr, "ERROR: The raster header of page %d is damaged; the job is stopped\n",
                         curPageNum + 1);
            return PageEnd::ExitNow;
        }
        return PageEnd::EndOfJob;
    }
    job.header = next;
    if (cancelRequested)
        return PageEnd::CleanUp;
    curPageNum += 1;
    job.copies = static_cast<int>(job.header.NumCopies);
    if (!CheckRasterPage(job.header, curPageNum))
        return PageEnd::ExitNow;

    if (curPageNum == 1)
        ApplyJobOptions(job);
    SettlePlatform(job);
    if (curPageNum == 1 && !OpenDocument(job))
        return PageEnd::ExitNow;
    if (printerWriteError != 0)
        return StopSending();
    RoutePageOutput(Option(kManualDuplex));

    PageGeometry geometry{};
    if (!OpenPage(job, &geometry))
        return PageEnd::ExitNow;
    if (printerWriteError != 0)
        return StopSending();

    uint32_t width = geometry.width;
    uint32_t height = geometry.height;
    const PageTurn turn = SettleTurn(job);
    PageBuffers buf{};
    if (!AllocatePageBuffers(job, width, height, turn, buf)) {
        FreePageBuffers(buf);
        ReportAllocationFailure();
        std::fprintf(stderr, "ERROR: Not enough memory for page %d (%u x %u pixels); the job is stopped\n",
                     curPageNum, width, height);
        return PageEnd::ExitNow;
    }

    ReadPage(job, buf, width, height, turn);
    // A cancelled page is dropped unfinished on platform 3; the others
    // print what was read.
    if (cancelRequested && job.platform == 3) {
        FreePageBuffers(buf);
        return PageEnd::CleanUp;
    }

    TurnPage(turn, buf.pMonoImgLineBuf, &width, &height);
    ScreenGreyPage(job, buf, width, height, turn);
    KeepOnlyBitmap(buf, BitmapBytes(job, width, height));
    const int sent = SendPage(job, buf, width, height);

    FreePageBuffers(buf);
    if (printerWriteError != 0)
        return StopSending();
    if (!SpoolWritesIntact())
        return PageEnd::ExitNow;
    if (!sent) {
        std::fprintf(stderr, "ERROR: Not enough memory to compress page %d; the job is stopped\n", curPageNum);
        return PageEnd::ExitNow;
    }
    if (cancelRequested)
        return PageEnd::EndOfJob;
    EndStage();
    return cancelRequested ? PageEnd::EndOfJob : PageEnd::NextPage;
}

// ---- End of the job and clean-up ----

void EndJob(FilterJob& job)
{
    outputBusy = 1;
    EndOfJobSettings settings{};
    settings.collate = Option(kCollate);
    settings.copies = job.copies;
    settings.manualDuplex = Option(kManualDuplex);
    settings.machineDuplex = Option(kDuplex) != 0 ? 1 : 0;
    settings.outputOrder = Option(kOutputOrder);
    settings.manualDuplexText = job.manualDuplexText;
    settings.platform = job.platform;
    // After a cancel request this replays nothing, but still routes the
    // output back to the printer for the end of the document.
    const int blankBackDone = ReplaySpools(settings, job.header, job.setup);
    std::fflush(stdout);
    if (printerWriteError != 0)
        return;  // nothing more reaches the printer

    outputBusy = 1;
    const DocEndInfo info = MakeDocEndInfo(jobOptions, curPageNum);
    // The last sheet of a two-sided job needs a back.
    if (Option(kDuplex) != 0 && curPageNum % 2 == 1 && !blankBackDone)
        InsertBlankPage(job.header, job.setup, job.platform);
    if (!Prnt_EndDoc(info, job.platform))
        ReportFailure("main() :: End doc Fail ! \n");
    std::fflush(stdout);
}

int CleanUp(FilterJob& job)
{
    CloseJobInput(job);
    RemoveSpools();
    if (printerWriteError != 0 && !cancelRequested) {
        // Not printed whole: no pause for turning the stack, status 1.
        ReportPrinterFailure();
        return 1;
    }
    // Give the user time to see the instruction to turn the stack.
    // The keep-alive tick cuts sleep() short, so sleep on; a cancelled job
    // showed no instruction and needs no pause.
    if (Option(kManualDuplex) == 1) {
        unsigned left = manualDuplexPauseSeconds;
        while (left > 0 && !cancelRequested)
            left = sleep(left);
    }
    std::fflush(stdout);
    outputBusy = 0;
    if (curPageNum == 0) {
        std::fputs("ERROR: No pages found!\n", stderr);
        return 1;
    }
    std::fputs("INFO: Ready to print.\n", stderr);
    return 0;
}

}  // namespace

int RunFilter(int argc, char* argv[])
{
    FilterJob job{};
    const int status = StartUp(job, argc, argv);
    if (status >= 0)
        return status;

    PageEnd end = PageEnd::NextPage;
    while (end == PageEnd::NextPage)
        end = ProcessPage(job);

    if (end == PageEnd::ExitNow)
        return ExitAtOnce(job);
    if (end == PageEnd::EndOfJob)
        EndJob(job);
    return CleanUp(job);
}
