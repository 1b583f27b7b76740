// The print engine: one job, from its first page to the end of its
// document, fed a page header and its raster lines at a time. A front end
// (the CUPS filter, a printer application) owns the PrintJob, binds its
// output port and status reporter, and drives it:
//
//   BeginPrintJob
//   for every page:  BeginPage, AddLine for each raster line, FinishPage
//   EndPrintJob (replays, blank back, end of document), then CloseJob;
//   or AbortJob when a step says the job must end at once.
//
// Everything a job holds lives in the PrintJob; a process may run any
// number of jobs one after the other. Only the signal flags of
// driver/signals.h are shared by the whole process.
#pragma once

#include <cups/raster.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <ctime>

#include "driver/job_options.h"
#include "driver/paper_tables.h"
#include "driver/spooling.h"
#include "driver/status.h"
#include "imaging/page_bitmap.h"
#include "stream/output_sink.h"
#include "stream/records.h"

constexpr std::size_t kModelNameSize = 1024;
constexpr std::size_t kPpdTextSize = 1024;

// What a front end knows about the job before its first page.
struct JobStart {
    int jobId = 0;
    const char* modelName = "";  // the printer's model name; a longer name than fits matches no model
    float customMargins[4] = {};  // custom-size margins: left, bottom, right, top, in points
    const char* manualDuplexText = "";  // the instruction to turn the stack
    // Seconds the end of a manual-duplex job waits, so that the user sees
    // the instruction before the job is reported done.
    unsigned manualDuplexPauseSeconds = 10;
    // Where the document start takes its time and host name from; null for
    // the system's (see DocStartInfo).
    std::time_t (*clock)(std::time_t* now) = nullptr;
    int (*hostName)(char* name, std::size_t size) = nullptr;
    // The flag that cancels this job; null for the process's own, which
    // SIGTERM raises (see driver/signals.h). A front end that runs several
    // jobs at once gives each its own.
    const volatile std::sig_atomic_t* cancel = nullptr;
};

// What a step tells the front end to do next.
enum class JobStep {
    Continue,  // go on: feed the page's lines, or read the next page
    EndOfJob,  // no more pages: EndPrintJob, then CloseJob
    CleanUp,   // straight to CloseJob: the document stays open
    ExitNow,   // a failure that ends the job at once: AbortJob
};

struct PrintJob {
    // Bound by BeginPrintJob.
    StreamSink sink;
    StatusReporter status{};
    int jobId = 0;
    char modelName[kModelNameSize] = "";
    float customMargins[4] = {};
    char manualDuplexText[kPpdTextSize] = "";
    unsigned manualDuplexPauseSeconds = 10;
    std::time_t (*clock)(std::time_t* now) = nullptr;
    int (*hostName)(char* name, std::size_t size) = nullptr;
    const volatile std::sig_atomic_t* cancel = nullptr;  // never null once begun

    // The job so far.
    int platform = 0;  // 0 until the first page settles it
    const PaperSize* paperTable = nullptr;
    int twoBitMode = 0;
    int copies = 1;     // NumCopies of the latest page
    int pageCount = 0;  // number of the page being processed, from 1
    JobOption options[kJobOptionCount]{};  // the latest page's
    cups_page_header2_t header{};          // the latest page's
    PageSetup setup{};                     // the latest page's
    Spools spools;
    uint32_t imageChecksum = 0;  // of the latest compressed page data

    // The page being built.
    int pageOpen = 0;
    int invert = 0;          // raster counts ink: inverted as read
    uint32_t copyBytes = 0;  // bytes of a raster line that reach the page
    uint8_t* pGrayImgLineBuf = nullptr;  // one grey line, white beyond the raster's
    PageBitmap bitmap;
};

// A fresh job writing its stream to port and its status lines to status.
void BeginPrintJob(PrintJob& job, const JobStart& start, OutputPort port, StatusReporter status);

// Opens the next page: settles platform, model and paper from the header
// and the options (on the first page also the document start and the
// spools), then the page's geometry and its start in the stream.
// namedPlatform: the platform the printer's description names (1-3, 0 for a
// name that is none), or -1 when it names none. Continue: feed the page's
// header.cupsHeight lines.
JobStep BeginPage(PrintJob& job, const cups_page_header2_t& header, const JobOption* options,
                  int namedPlatform);

// One raster line of the open page: header.cupsBytesPerLine bytes of 8-bit
// grey, screened at once into its place on the page.
void AddLine(PrintJob& job, const uint8_t* line);

// Completes the open page (lines not fed are white), compresses it and sends
// it with its end, and reports it.
JobStep FinishPage(PrintJob& job);

// After the last page: replays, blank back page, end of the document.
void EndPrintJob(PrintJob& job);

// Releases the job and reports how it ended. Returns the exit status.
int CloseJob(PrintJob& job);

// Ends the job at once: only the spools and the page go away. Returns the
// exit status (1).
int AbortJob(PrintJob& job);

// Two zero bytes for a port without a descriptor of its own for the
// keep-alive timer; sent only while no stage is producing output.
void SendKeepAliveFiller(PrintJob& job);
