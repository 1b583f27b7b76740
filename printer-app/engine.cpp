#include "engine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "driver/cups_binding.h"
#include "driver/page_geometry.h"
#include "driver/paper_tables.h"
#include "driver/print_job.h"
#include "driver/printer_models.h"
#include "driver/signals.h"
#include "page_layout.h"

ModelInfo GetModel(int index)
{
    return {printerModels[index].name, printerModels[index].platform};
}

bool FindSheet(int model, int widthPt, int heightPt, SheetInfo* sheet)
{
    const PaperSize* table = printerModels[model].paperTable;
    for (int row = 0; table[row].widthPt != -1; ++row) {
        const PaperSize& p = table[row];
        if (p.widthPt == widthPt && p.heightPt == heightPt) {
            *sheet = {p.widthPt, p.heightPt, static_cast<uint32_t>(p.imageWidth),
                      static_cast<uint32_t>(p.imageHeight), p.offsetX, p.offsetY};
            return true;
        }
    }
    return false;
}

unsigned CustomMaxWidthPt() { return kMaxCustomWidthPt; }
unsigned CustomMaxHeightPt() { return kMaxCustomHeightPt; }

bool CustomBitmap(unsigned widthPt, unsigned heightPt, uint32_t* width, uint32_t* height)
{
    const float margins[4] = {kCustomMarginPt, kCustomMarginPt, kCustomMarginPt, kCustomMarginPt};
    return CustomPageSize(widthPt, heightPt, margins, width, height) != 0;
}

// ---- A job on the engine ----


namespace {

// cancelRequested and outputBusy belong to the whole process.
std::mutex engineInUse;

thread_local long long testClock = 0;
thread_local const char* testHost = nullptr;

std::time_t TestClock(std::time_t* now)
{
    const std::time_t t = static_cast<std::time_t>(testClock);
    if (now != nullptr)
        *now = t;
    return t;
}

int TestHostName(char* name, std::size_t size)
{
    std::snprintf(name, size, "%s", testHost);
    return 0;
}

}  // namespace

struct EngineJob {
    PrintJob job;
    EngineOutput output;
    int model = 0;
    JobStep step = JobStep::Continue;
    std::unique_lock<std::mutex> lock;
};

namespace {

int WritePort(void* context, const uint8_t* bytes, std::size_t count)
{
    auto* job = static_cast<EngineJob*>(context);
    if (job->output.write(job->output.context, bytes, count))
        return 1;
    errno = EIO;
    return 0;
}

void StatusLine(void* context, const char* text)
{
    auto* job = static_cast<EngineJob*>(context);
    job->output.status(job->output.context, text);
}

}  // namespace

EngineJob* StartEngineJob(const EngineJobStart& start, EngineOutput output)
{
    auto* job = new EngineJob;
    job->lock = std::unique_lock<std::mutex>(engineInUse);
    // The engine makes its CUPS calls (spool files) through its table.
    static const bool bound = BindCupsImageLibrary() + BindCupsLibrary() >= 0;
    (void)bound;
    job->output = output;
    job->model = start.model;
    cancelRequested = 0;
    testClock = start.clockSeconds;
    testHost = start.hostName;

    JobStart js;
    js.jobId = start.jobId;
    js.modelName = printerModels[start.model].name;
    for (float& m : js.customMargins)
        m = kCustomMarginPt;
    js.manualDuplexText = start.manualDuplexText;
    // The front end pauses for the turn of the stack itself.
    js.manualDuplexPauseSeconds = 0;
    if (start.clockSeconds != 0)
        js.clock = TestClock;
    if (start.hostName != nullptr)
        js.hostName = TestHostName;
    // No descriptor: the front end sends the keep-alive filler itself.
    const OutputPort port{job, WritePort, -1};
    BeginPrintJob(job->job, js, port, StatusReporter{job, StatusLine});
    return job;
}

bool EngineBeginPage(EngineJob* job, const PageLayout& layout, const JobSettings& s, int copies)
{
    if (job->step != JobStep::Continue)
        return false;
    cups_page_header2_t header{};
    header.PageSize[0] = static_cast<unsigned>(layout.widthPt);
    header.PageSize[1] = static_cast<unsigned>(layout.heightPt);
    header.HWResolution[0] = static_cast<unsigned>(layout.xdpi);
    header.HWResolution[1] = static_cast<unsigned>(layout.ydpi);
    header.cupsWidth = layout.width;
    header.cupsHeight = layout.height;
    header.cupsBytesPerLine = layout.width;
    header.cupsBitsPerColor = 8;
    header.cupsBitsPerPixel = 8;
    header.cupsNumColors = 1;
    header.cupsColorSpace = CUPS_CSPACE_SW;
    header.NumCopies = static_cast<unsigned>(copies > 0 ? copies : 1);

    JobOption options[kJobOptionCount];
    LoadDefaultJobOptions(options);
    options[kDuplex].value = s.duplex;
    options[kSides].value = s.duplex;
    options[kManualDuplex].value = s.manualDuplex;
    options[kDensity].value = s.density;
    options[kTonerMode].value = s.tonerSave;
    options[kFeedLongEdge].value = s.feedLongEdge;
    options[kOutputOrder].value = s.blankBackAfter;
    options[kDpi1200].value = s.fineScreen;
    options[kNegativePrint].value = s.negative;
    options[kInputSlot].value = s.inputSlot;
    options[kImageRotation].value = s.rotate180;
    options[kCollate].value = s.collate;

    job->step = BeginPage(job->job, header, options, printerModels[job->model].platform);
    if (job->step == JobStep::Continue)
        outputBusy = 0;  // the port is idle while lines come
    return job->step == JobStep::Continue;
}

void EngineAddLine(EngineJob* job, const uint8_t* line)
{
    if (job->step == JobStep::Continue)
        AddLine(job->job, line);
}

bool EngineFinishPage(EngineJob* job)
{
    if (job->step != JobStep::Continue)
        return false;
    job->step = FinishPage(job->job);
    if (job->step == JobStep::Continue)
        outputBusy = 0;  // between pages the port is idle
    return job->step == JobStep::Continue;
}

void EngineCancel(EngineJob*) { cancelRequested = 1; }

void EngineKeepAlive(EngineJob* job) { SendKeepAliveFiller(job->job); }

void EngineKeepAliveWhileWaiting(EngineJob* job)
{
    // The turn-the-stack instruction is reported before the replay of the
    // even pages sends anything: no stage is half-way through its bytes.
    const std::sig_atomic_t busy = outputBusy;
    outputBusy = 0;
    SendKeepAliveFiller(job->job);
    outputBusy = busy;
}

int EnginePlatform(const EngineJob* job) { return printerModels[job->model].platform; }

bool EndEngineJob(EngineJob* job)
{
    int status;
    if (job->step == JobStep::ExitNow) {
        status = AbortJob(job->job);
    } else {
        // A job without pages has no document to end.
        if ((job->step == JobStep::Continue || job->step == JobStep::EndOfJob) && job->job.pageCount > 0)
            EndPrintJob(job->job);
        status = CloseJob(job->job);
    }
    const bool ok = status == 0 && !cancelRequested && job->job.sink.printerWriteError == 0;
    cancelRequested = 0;
    outputBusy = 0;
    delete job;
    return ok;
}
