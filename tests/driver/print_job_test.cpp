// The engine as a front end other than the CUPS filter drives it: its own
// output port and status reporter, a fixed clock and host name, one job
// object used for one job after another.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "driver/cups_binding.h"
#include "driver/print_job.h"
#include "driver/signals.h"
#include "support/filter_process.h"
#include "support/raster_job.h"

namespace {

// What the front end's device and job log received.
struct Received {
    std::string bytes;
    std::string status;
};

int ToDevice(void* context, const uint8_t* bytes, size_t count)
{
    static_cast<Received*>(context)->bytes.append(reinterpret_cast<const char*>(bytes), count);
    return 1;
}

void ToLog(void* context, const char* text) { static_cast<Received*>(context)->status += text; }

std::time_t FixedClock(std::time_t* now)
{
    const std::time_t t = 1796000000;
    if (now)
        *now = t;
    return t;
}

int FixedHost(char* name, size_t size)
{
    std::snprintf(name, size, "%s", "frontend");
    return 0;
}

// Feeds the raster file to the job page by page and line by line; returns
// the exit status.
int RunJob(PrintJob& job, const std::string& raster, const char* model, const std::string& options,
           Received& out)
{
    JobStart start;
    start.jobId = 42;
    start.modelName = model;
    start.clock = FixedClock;
    start.hostName = FixedHost;
    BeginPrintJob(job, start, OutputPort{&out, ToDevice, -1}, StatusReporter{&out, ToLog});

    JobOption table[kJobOptionCount];
    LoadDefaultJobOptions(table);
    cups_option_t* parsed = nullptr;
    const int count = cupsParseOptions(options.c_str(), 0, &parsed);
    ParseJobOptions(table, count, parsed);
    cupsFreeOptions(count, parsed);

    const int fd = open(raster.c_str(), O_RDONLY);
    cups_raster_t* ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t header;
    JobStep step = JobStep::Continue;
    std::vector<uint8_t> line;
    while (step == JobStep::Continue && cupsRasterReadHeader2(ras, &header)) {
        step = BeginPage(job, header, table, -1);
        if (step != JobStep::Continue)
            break;
        line.resize(header.cupsBytesPerLine);
        for (unsigned y = 0; y < header.cupsHeight; ++y) {
            EXPECT_EQ(cupsRasterReadPixels(ras, line.data(), header.cupsBytesPerLine), header.cupsBytesPerLine);
            AddLine(job, line.data());
        }
        step = FinishPage(job);
    }
    cupsRasterClose(ras);
    close(fd);
    if (step == JobStep::ExitNow)
        return AbortJob(job);
    if (step != JobStep::CleanUp)
        EndPrintJob(job);
    return CloseJob(job);
}

TEST(PrintJob, OwnPortAndReporterTwiceInOneProcessAsTheFilterPrints)
{
    BindCupsLibrary();
    BindCupsImageLibrary();
    cancelRequested = 0;
    TempDir dir;
    struct Case {
        const char* model;
        const char* options;
        unsigned pages, copies;
        const char* statusLines;
        bool sameAsFilter;  // no clock or host name in the stream
    };
    const Case cases[] = {
        {"Norvane R05 Series", "", 2, 1, "PAGE: 1 1\nPAGE: 2 1\nINFO: Ready to print.\n", true},
        {"Norvane R05 Series", "Collate=True DPI1200=True ImageRotation=True", 3, 2,
         "PAGE: 1 1\nPAGE: 2 1\nPAGE: 3 1\nPAGE: 1 1\nPAGE: 2 1\nPAGE: 3 1\nINFO: Ready to print.\n", true},
        {"Norvane R03 Series", "Duplex=DuplexNoTumble", 1, 1, "PAGE: 1 1\nINFO: Ready to print.\n",
         false},
        {"Norvane R32 Series", "NegativePrint=True", 1, 3, "PAGE: 1 3\nINFO: Ready to print.\n", false},
    };
    PrintJob job;  // one object for every job
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.model << " " << c.options);
        RasterPage page = PaperPage(144, 160);
        page.copies = c.copies;
        page.pixel = [](unsigned x, unsigned y) { return static_cast<uint8_t>((x * 3 + y * 5) % 256); };
        const std::string raster =
            WriteRasterJob(dir.File("job.ras"), std::vector<RasterPage>(c.pages, page));

        Received first, second;
        EXPECT_EQ(RunJob(job, raster, c.model, c.options, first), 0);
        EXPECT_EQ(RunJob(job, raster, c.model, c.options, second), 0);
        EXPECT_GT(first.bytes.size(), 200u);
        EXPECT_TRUE(first.bytes == second.bytes) << "the second job differs from the first";
        EXPECT_EQ(first.status, second.status);
        std::string pages;
        for (size_t at = 0; (at = first.status.find("PAGE:", at)) != std::string::npos; ++at)
            pages += first.status.substr(at, first.status.find('\n', at) + 1 - at);
        EXPECT_EQ(pages + "INFO: Ready to print.\n", c.statusLines) << first.status;
        if (c.sameAsFilter) {
            TestPpd ppd;
            ppd.modelName = c.model;
            FilterRun run;
            run.args = JobArgs(c.options, raster);
            run.env["PPD"] = WriteTestPpd(dir.File("p.ppd"), ppd);
            const FilterResult r = RunFilterProcess(run);
            EXPECT_EQ(r.exitStatus, 0);
            EXPECT_TRUE(r.OutText() == first.bytes) << "the filter sent other bytes";
        }
    }
}

// A front end running several jobs gives each its own cancel flag: raised,
// it ends that job as SIGTERM ends the filter's, and nothing else.
TEST(PrintJob, OwnCancelFlagEndsOnlyItsJob)
{
    BindCupsLibrary();
    cancelRequested = 0;
    cups_page_header2_t header{};
    header.PageSize[0] = 144;
    header.PageSize[1] = 160;
    header.HWResolution[0] = header.HWResolution[1] = 600;
    header.NumCopies = 2;
    header.cupsWidth = header.cupsBytesPerLine = 1200;
    header.cupsHeight = 1333;
    header.cupsBitsPerColor = header.cupsBitsPerPixel = 8;
    header.cupsNumColors = 1;
    header.cupsColorSpace = CUPS_CSPACE_W;
    JobOption options[kJobOptionCount];
    LoadDefaultJobOptions(options);
    options[kCollate].value = 1;
    const std::vector<uint8_t> line(header.cupsBytesPerLine, 0x40);

    for (const char* model : {"Norvane R05 Series", "Norvane R32 Series"}) {
        SCOPED_TRACE(model);
        volatile std::sig_atomic_t cancel = 0;
        JobStart start;
        start.modelName = model;
        start.cancel = &cancel;
        Received out;
        PrintJob job;
        BeginPrintJob(job, start, OutputPort{&out, ToDevice, -1}, StatusReporter{&out, ToLog});
        ASSERT_EQ(BeginPage(job, header, options, -1), JobStep::Continue);
        for (int y = 0; y < 100; ++y)
            AddLine(job, line.data());
        cancel = 1;
        const JobStep step = FinishPage(job);
        if (step == JobStep::EndOfJob)
            EndPrintJob(job);
        EXPECT_EQ(CloseJob(job), 0);
        // Platform 3 drops the cancelled page; platform 1 sends what it
        // read, and no collated copy follows.
        EXPECT_EQ(step, std::string(model).find("R05") != std::string::npos ? JobStep::CleanUp : JobStep::EndOfJob);
        EXPECT_EQ(out.status.find("PAGE: 1 1\nPAGE: 1 1"), std::string::npos) << out.status;
        EXPECT_EQ(cancelRequested, 0);
    }
}

}  // namespace
