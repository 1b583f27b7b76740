#include "printing.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "drivers.h"
#include "engine.h"
#include "job_settings.h"
#include "page_layout.h"

unsigned manualDuplexPauseSeconds = 10;

const char* ManualDuplexText()
{
    return
#include "manual_duplex_text.inc"
        ;
}

namespace {

constexpr int kKeepAliveSeconds = 10;

// What the printer application keeps for one job.
struct AppJob {
    pappl_job_t* job = nullptr;
    pappl_printer_t* printer = nullptr;
    pappl_device_t* device = nullptr;
    EngineJob* engine = nullptr;
    int model = 0;
    JobSettings settings;
    int copies = 1;
    PageLayout layout;
    unsigned sourceWidth = 0;  // pixels of a raster line from PAPPL
    std::vector<uint8_t> line;
    time_t lastSent = 0;
    bool writeFailed = false;
};

AppJob* Get(pappl_job_t* job) { return static_cast<AppJob*>(papplJobGetData(job)); }

bool Cancelled(AppJob* a)
{
    if (!papplJobIsCanceled(a->job))
        return false;
    EngineCancel(a->engine);
    return true;
}

bool WriteDevice(void* context, const uint8_t* bytes, size_t count)
{
    auto* a = static_cast<AppJob*>(context);
    if (papplDeviceWrite(a->device, bytes, count) != static_cast<ssize_t>(count)) {
        a->writeFailed = true;
        return false;
    }
    a->lastSent = time(nullptr);
    return true;
}

void KeepAlive(AppJob* a, bool waiting = false)
{
    if (EnginePlatform(a->engine) == 3 || time(nullptr) - a->lastSent < kKeepAliveSeconds)
        return;
    if (waiting)
        EngineKeepAliveWhileWaiting(a->engine);
    else
        EngineKeepAlive(a->engine);
    papplDeviceFlush(a->device);
    a->lastSent = time(nullptr);
}

// The printer has the odd pages; the user turns the stack. The job waits
// a while with the instruction shown (a cancel ends the wait at once).
void WaitForTurnedStack(AppJob* a, const char* instruction)
{
    papplDeviceFlush(a->device);
    papplJobSetMessage(a->job, "%s", instruction);
    papplPrinterSetReasons(a->printer, PAPPL_PREASON_MEDIA_NEEDED, PAPPL_PREASON_NONE);
    papplLogJob(a->job, PAPPL_LOGLEVEL_INFO, "Waiting for the turned stack: %s", instruction);
    for (unsigned tenths = 0; tenths < manualDuplexPauseSeconds * 10 && !Cancelled(a); ++tenths) {
        timespec pause{0, 100000000};
        nanosleep(&pause, nullptr);
        KeepAlive(a, true);
    }
    papplPrinterSetReasons(a->printer, PAPPL_PREASON_NONE, PAPPL_PREASON_MEDIA_NEEDED);
}

void StatusLine(void* context, const char* text)
{
    auto* a = static_cast<AppJob*>(context);
    std::string line = text;
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    if (line.rfind("INFO:", 0) == 0 && line.substr(5) == ManualDuplexText()) {
        WaitForTurnedStack(a, ManualDuplexText());
    } else if (line.rfind("ERROR:", 0) == 0) {
        papplLogJob(a->job, PAPPL_LOGLEVEL_ERROR, "%s", line.c_str() + 7);
        papplJobSetMessage(a->job, "%s", line.c_str() + 7);
    } else {
        papplLogJob(a->job, PAPPL_LOGLEVEL_DEBUG, "%s", line.c_str());
    }
}

const char* SidesKeyword(pappl_sides_t sides)
{
    if (sides & PAPPL_SIDES_TWO_SIDED_LONG_EDGE)
        return "two-sided-long-edge";
    if (sides & PAPPL_SIDES_TWO_SIDED_SHORT_EDGE)
        return "two-sided-short-edge";
    return "one-sided";
}

// The vendor options of the job, else the printer's defaults for them
// (PAPPL 1.3.1 hands the driver only what the job itself names).
std::map<std::string, std::string> VendorValues(pappl_printer_t* printer, pappl_pr_options_t* options)
{
    std::map<std::string, std::string> values;
    ipp_t* attrs = papplPrinterGetDriverAttributes(printer);
    for (const VendorOption& option : vendorOptions) {
        if (const char* v = cupsGetOption(option.name, options->num_vendor, options->vendor)) {
            values[option.name] = v;
            continue;
        }
        const std::string name = std::string(option.name) + "-default";
        ipp_attribute_t* attr = ippFindAttribute(attrs, name.c_str(), IPP_TAG_ZERO);
        if (attr == nullptr)
            continue;
        if (ippGetValueTag(attr) == IPP_TAG_BOOLEAN)
            values[option.name] = ippGetBoolean(attr, 0) ? "true" : "false";
        else if (const char* v = ippGetString(attr, 0, nullptr))
            values[option.name] = v;
    }
    ippDelete(attrs);
    return values;
}

// The tray the job asked for in its media-col, else the printer's default
// (PAPPL fills in the tray where the job's size is loaded, which a job that
// names only a size did not choose).
std::string MediaSource(pappl_job_t* job, pappl_printer_t* printer, const pappl_pr_options_t* options)
{
    ipp_attribute_t* col = papplJobGetAttribute(job, "media-col");
    if (col != nullptr && ippFindAttribute(ippGetCollection(col, 0), "media-source", IPP_TAG_ZERO))
        return options->media.source;
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    return data.media_default.source;
}

bool Collated(pappl_job_t* job)
{
    ipp_attribute_t* attr = papplJobGetAttribute(job, "multiple-document-handling");
    const char* value = attr != nullptr ? ippGetString(attr, 0, nullptr) : nullptr;
    // Collated copies unless the job asks otherwise, as the printer offers.
    return value == nullptr || std::strcmp(value, "separate-documents-uncollated-copies") != 0;
}

}  // namespace

bool StartRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device)
{
    pappl_printer_t* printer = papplJobGetPrinter(job);
    const int model = ModelForDriverName(papplPrinterGetDriverName(printer));
    if (model < 0) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The printer has no Norvane driver.");
        return false;
    }
    auto* a = new AppJob;
    a->job = job;
    a->printer = printer;
    a->device = device;
    a->model = model;

    const std::map<std::string, std::string> vendor = VendorValues(printer, options);
    const std::string source = MediaSource(job, printer, options);
    JobChoices choices;
    choices.sides = SidesKeyword(options->sides);
    choices.mediaSource = source.c_str();
    choices.darknessConfigured = options->darkness_configured;
    choices.printDarkness = options->print_darkness;
    choices.highQuality = options->print_quality == IPP_QUALITY_HIGH;
    choices.collate = Collated(job);
    choices.vendor = [&vendor](const char* name) -> const char* {
        auto it = vendor.find(name);
        return it == vendor.end() ? nullptr : it->second.c_str();
    };
    a->settings = SettingsFromChoices(choices);

    // PAPPL repeats the pages of images itself, never those of raster.
    const char* format = papplJobGetFormat(job);
    const bool raster = format != nullptr && (!std::strcmp(format, "image/pwg-raster") ||
                                              !std::strcmp(format, "image/urf"));
    a->copies = raster && options->copies > 0 ? options->copies : 1;

    EngineJobStart start;
    start.model = model;
    start.jobId = papplJobGetID(job);
    start.manualDuplexText = ManualDuplexText();
    if (const char* clock = std::getenv("NORVANE_TEST_CLOCK"))
        start.clockSeconds = std::atoll(clock);
    start.hostName = std::getenv("NORVANE_TEST_HOST");
    papplJobSetData(job, a);
    a->lastSent = time(nullptr);
    a->engine = StartEngineJob(start, EngineOutput{a, WriteDevice, StatusLine});
    papplLogJob(job, PAPPL_LOGLEVEL_INFO,
                "Norvane job: %s, duplex %d, manual duplex %d, density %d, %d copies%s.",
                GetModel(model).name, a->settings.duplex, a->settings.manualDuplex,
                a->settings.density, a->copies, a->settings.collate ? " collated" : "");
    return true;
}

bool StartRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned page)
{
    AppJob* a = Get(job);
    if (a == nullptr || Cancelled(a))
        return false;
    const cups_page_header2_t& h = options->header;
    if (h.cupsBitsPerPixel != 8 || h.cupsNumColors != 1) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Page %u is not 8-bit grey raster.", page);
        papplJobSetMessage(job, "Page %u is not 8-bit grey raster.", page);
        return false;
    }
    // The page's own size: by its PWG name, else by its points (a raster
    // page may carry no name), else the job's media.
    const char* name = h.cupsPageSizeName;
    int widthHmm = static_cast<int>(h.PageSize[0] * 2540 / 72);
    int lengthHmm = static_cast<int>(h.PageSize[1] * 2540 / 72);
    if (h.PageSize[0] == 0 || h.PageSize[1] == 0) {
        name = options->media.size_name;
        widthHmm = options->media.size_width;
        lengthHmm = options->media.size_length;
    }
    std::string error;
    if (!LayOutPage(a->model, name, widthHmm, lengthHmm, static_cast<int>(h.HWResolution[0]),
                    static_cast<int>(h.HWResolution[1]), &a->layout, &error)) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Page %u: %s.", page, error.c_str());
        papplJobSetMessage(job, "%s.", error.c_str());
        return false;
    }
    a->sourceWidth = h.cupsWidth;
    a->line.assign(a->layout.width, 0xFF);
    return EngineBeginPage(a->engine, a->layout, a->settings, a->copies);
}

bool WriteRasterLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned y,
                     const unsigned char* line)
{
    AppJob* a = Get(job);
    if (a == nullptr || Cancelled(a))
        return false;
    // The sheet's lines outside its bitmap are paper the printer never
    // images.
    const PageLayout& l = a->layout;
    if (y < l.cropTop || y - l.cropTop >= l.height)
        return true;
    std::fill(a->line.begin(), a->line.end(), 0xFF);
    if (l.cropLeft < a->sourceWidth) {
        const size_t count = std::min<size_t>(l.width, a->sourceWidth - l.cropLeft);
        std::memcpy(a->line.data(), line + l.cropLeft, count);
    }
    EngineAddLine(a->engine, a->line.data());
    KeepAlive(a);
    return !a->writeFailed;
}

bool EndRasterPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned)
{
    AppJob* a = Get(job);
    if (a == nullptr)
        return false;
    Cancelled(a);
    return EngineFinishPage(a->engine) && !a->writeFailed;
}

bool EndRasterJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device)
{
    AppJob* a = Get(job);
    if (a == nullptr)
        return false;
    Cancelled(a);
    bool ok = EndEngineJob(a->engine);
    papplDeviceFlush(device);
    ok = ok && !a->writeFailed;
    papplJobSetData(job, nullptr);
    delete a;
    return ok;
}
