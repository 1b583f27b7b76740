#include "driver/page_loop.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "driver/cups_binding.h"
#include "driver/job_options.h"
#include "driver/print_job.h"
#include "driver/printer_models.h"
#include "driver/raster_input.h"
#include "driver/signals.h"
#include "driver/status.h"

// The PPD API is deprecated in CUPS 2.x but is what reads a driver's PPD.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

// What the filter holds besides the job: its input and the PPD.
struct FilterInput {
    StatusReporter status = StderrReporter();
    // The printer stream: standard output, given up on a cancel request
    // when its reader stalls.
    FdPort out{STDOUT_FILENO, &cancelRequested};
    const char* jobIdText = nullptr;
    const char* optionText = nullptr;
    int inputFd = 0;
    cups_raster_t* raster = nullptr;
    ppd_file_t* ppd = nullptr;
    JobOption options[kJobOptionCount]{};
    char platformText[kPpdTextSize] = "";
    char manualDuplexText[kPpdTextSize] = "";
    uint8_t* line = nullptr;  // one raster line as read
};

void CloseInput(FilterInput& in)
{
    if (in.ppd != nullptr) {
        cups.ppdClose(in.ppd);
        in.ppd = nullptr;
    }
    if (in.raster != nullptr) {
        cups.cupsRasterClose(in.raster);
        in.raster = nullptr;
    }
    if (in.inputFd > 0) {
        close(in.inputFd);
        in.inputFd = 0;
    }
    std::free(in.line);
    in.line = nullptr;
    UnbindCupsLibraries();
}

int OpenPpd(FilterInput& in)
{
    const char* path = std::getenv("PPD");
    if (path == nullptr || *path == '\0') {
        ReportStatus(in.status, "ERROR: No PPD file for this printer (PPD is not set)\n");
        return 0;
    }
    in.ppd = cups.ppdOpenFile(path);
    if (in.ppd == nullptr) {
        ReportStatus(in.status, "ERROR: Unable to open PPD file %s\n", path);
        return 0;
    }
    return 1;
}

// Start-up steps up to the first page header. Returns 1 to go on, 0 to
// exit with status 1.
int StartUp(FilterInput& in, int argc, char* argv[])
{
    // A cancel request may come at any moment, also while the first bytes
    // of raster are awaited.
    InstallTerminateHandler();
#ifdef __GLIBC__
    // A page bitmap of some 4 MiB (up to 32 MiB at 1200 dpi), kept on the
    // heap, is reused by the next page instead of being faulted in again.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);  // the most glibc takes on 64-bit
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
    BindCupsImageLibrary();
    BindCupsLibrary();
    LoadDefaultJobOptions(in.options);
    outputBusy = 1;
    std::setbuf(stderr, nullptr);

    if (argc != 6 && argc != 7) {
        ReportStatus(in.status, "ERROR: job-id user title copies options [file]\n");
        return 0;
    }
    in.jobIdText = argv[1];
    in.optionText = argv[5];

    // Without it the first file opened would take descriptor 1 and receive
    // the printer stream.
    const int outFlags = fcntl(STDOUT_FILENO, F_GETFL);
    if (outFlags < 0 || (outFlags & O_ACCMODE) == O_RDONLY) {
        ReportStatus(in.status,
                     "ERROR: Standard output is not open for writing: there is no printer stream to write to\n");
        return 0;
    }

    if (argc == 7) {
        in.inputFd = open(argv[6], O_RDONLY);
        if (in.inputFd < 0) {
            in.inputFd = 0;
            ReportStatus(in.status, "ERROR: Unable to open raster file - : %s\n", std::strerror(errno));
            sleep(1);
            return 0;
        }
    }
    // Null when the input holds no raster at all: a job without pages.
    in.raster = cups.cupsRasterOpen(in.inputFd, CUPS_RASTER_READ);
    return OpenPpd(in);
}

JobStart MakeJobStart(FilterInput& in, unsigned pauseSeconds)
{
    JobStart start;
    start.jobId = static_cast<int>(std::strtol(in.jobIdText, nullptr, 10));
    start.modelName = in.ppd->modelname != nullptr ? in.ppd->modelname : "";
    std::memcpy(start.customMargins, in.ppd->custom_margins, sizeof start.customMargins);
    cups.ppdLocalizeIPPReason(in.ppd, "MDuplex", nullptr, in.manualDuplexText, sizeof in.manualDuplexText);
    start.manualDuplexText = in.manualDuplexText;
    start.manualDuplexPauseSeconds = pauseSeconds;
    return start;
}

// Once, on the first page: the queue's defaults, then the job's own
// choices over them. Neither changes during the job.
void ApplyJobOptions(FilterInput& in)
{
    cups_option_t* options = nullptr;
    const int count = cups.cupsParseOptions(in.optionText, 0, &options);
    ApplyPpdDefaults(in.options, in.ppd, in.status);
    ParseJobOptions(in.options, count, options, in.status);
    cups.cupsFreeOptions(count, options);
    if (ExcludeMachineDuplex(in.options))
        ReportStatus(in.status, "INFO: Manual two-sided printing was asked for together with the printer's own; "
                                "the pages are printed two-sided by hand\n");
}

// The platform the PPD names, or -1 when it names none.
int NamedPlatform(FilterInput& in)
{
    int platform = -1;
    PlatformFromPpd(in.ppd, in.platformText, sizeof in.platformText, &platform);
    return platform;
}

// Reads the next header and feeds the page to the job.
JobStep FeedPage(FilterInput& in, PrintJob& job)
{
    // CUPS clears the header it fails to read; the blank back page and the
    // replays still need the last page's, which the job keeps.
    cups_page_header2_t header;
    if (in.raster == nullptr || !cups.cupsRasterReadHeader2(in.raster, &header)) {
        // The raster library also stops at a header it cannot use (no lines,
        // lines of no or absurd length); then more input follows.
        if (in.raster != nullptr && !cancelRequested && RasterInputContinues(in.inputFd)) {
            ReportStatus(job.status, "ERROR: The raster header of page %d is damaged; the job is stopped\n",
                         job.pageCount + 1);
            return JobStep::ExitNow;
        }
        return JobStep::EndOfJob;
    }
    if (cancelRequested)
        return JobStep::CleanUp;

    if (job.pageCount == 0)
        ApplyJobOptions(in);
    JobStep step = BeginPage(job, header, in.options, NamedPlatform(in));
    if (step != JobStep::Continue)
        return step;

    // One raster line at a time, straight into the page.
    std::free(in.line);
    in.line = static_cast<uint8_t*>(std::malloc(header.cupsBytesPerLine));
    if (in.line == nullptr) {
        ReportStatus(job.status, "ERROR: No memory for a raster line of page %d\n", job.pageCount);
        return JobStep::ExitNow;
    }
    for (unsigned y = 0; y < header.cupsHeight && cancelRequested == 0; ++y) {
        if (!ReadRasterLine(in.raster, header, in.line, y, job.pageCount, job.status))
            break;  // the rest of the page stays white
        AddLine(job, in.line);
    }
    return FinishPage(job);
}

}  // namespace

int RunFilter(int argc, char* argv[], unsigned manualDuplexPauseSeconds)
{
    FilterInput in;
    PrintJob job;
    if (!StartUp(in, argc, argv)) {
        CloseInput(in);
        return 1;
    }
    BeginPrintJob(job, MakeJobStart(in, manualDuplexPauseSeconds), FdOutputPort(in.out), in.status);

    JobStep step = JobStep::Continue;
    while (step == JobStep::Continue) {
        step = FeedPage(in, job);
        if (step == JobStep::Continue)
            outputBusy = 0;  // between pages the port is idle
    }

    int status = 0;
    if (step == JobStep::ExitNow) {
        status = AbortJob(job);
    } else {
        if (step == JobStep::EndOfJob)
            EndPrintJob(job);
        status = CloseJob(job);
    }
    CloseInput(in);
    return status;
}
