// Cancellation and a vanishing back end, on the real filter process: the
// test feeds the raster through a pipe, so it knows where the filter is when
// the signal arrives.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/filter_process.h"
#include "support/raster_job.h"
#include "support/stdout_capture.h"

namespace {

const char* const kPlatform1Model = "Norvane R32 Series";
const char* const kPlatform3Model = "Norvane R05 Series";

// The platform-3 document end: the end block, then the UEL.
const std::vector<uint8_t> kPlatform3DocEnd =
    HexBytes("00 00 00 10 00 00 00 01 00 00 00 00 00 00 5A 5A 1B 25 2D 31 32 33 34 35 58");
const std::string kEndOfJob = "\x1B%-12345X@PJL\r\n@PJL EOJ\r\n\x1B%-12345X\r\n";

bool EndsWith(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& tail)
{
    return bytes.size() >= tail.size() && std::equal(tail.begin(), tail.end(), bytes.end() - tail.size());
}
bool EndsWith(const std::vector<uint8_t>& bytes, const std::string& tail)
{
    return EndsWith(bytes, std::vector<uint8_t>(tail.begin(), tail.end()));
}

// A raster job as bytes, with where each page's header and lines start.
struct Raster {
    std::vector<uint8_t> bytes;
    std::vector<size_t> header, data;
    size_t lineBytes = 0;
    size_t Line(int page, unsigned line) const { return data[static_cast<size_t>(page)] + line * lineBytes; }
    size_t PageEnd(int page) const
    {
        return static_cast<size_t>(page) + 1 < header.size() ? header[static_cast<size_t>(page) + 1] : bytes.size();
    }
};

// Pages of one square inch; noisy pages screen to bitmaps that JBIG cannot
// shrink much, so that a replay takes a while.
Raster MakeRaster(const std::string& path, int pages, unsigned copies, bool noisy)
{
    RasterPage page = PaperPage(72, 72);
    page.copies = copies;
    if (noisy)
        page.pixel = [](unsigned x, unsigned y) -> uint8_t {
            uint32_t h = (x * 2654435761u) ^ (y * 40503u + 0x9E3779B9u);
            h ^= h >> 13;
            h *= 0x5bd1e995u;
            return (h >> 15) & 1 ? 0x00 : 0xFF;
        };
    WriteRasterJob(path, std::vector<RasterPage>(static_cast<size_t>(pages), page));
    std::ifstream in(path, std::ios::binary);
    Raster r;
    r.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    r.lineBytes = 600;
    size_t pos = 4;  // sync word
    for (int p = 0; p < pages; ++p) {
        r.header.push_back(pos);
        r.data.push_back(pos + sizeof(cups_page_header2_t));
        pos = r.data.back() + 600 * r.lineBytes;
    }
    EXPECT_EQ(pos, r.bytes.size()) << "unexpected raster layout";
    return r;
}

class JobControlProcess : public ::testing::Test {
protected:
    FilterRun Run(const char* model, const std::string& options)
    {
        TestPpd ppd;
        ppd.modelName = model;
        FilterRun run;
        run.args = JobArgs(options);
        run.env["PPD"] = WriteTestPpd(dir_.File("test.ppd"), ppd);
        run.env["TMPDIR"] = spoolDir_.path();
        run.timeoutSeconds = 60;
        return run;
    }
    Raster Job(int pages, unsigned copies, bool noisy = false)
    {
        return MakeRaster(dir_.File("job.ras"), pages, copies, noisy);
    }
    void ExpectCleanEnd(const FilterResult& result, int status = 0)
    {
        EXPECT_EQ(result.termSignal, 0);
        EXPECT_EQ(result.exitStatus, status) << result.err;
        EXPECT_EQ(result.err.find("INFO: Ready to print.\n") != std::string::npos, status == 0) << result.err;
        EXPECT_TRUE(spoolDir_.Entries().empty()) << "spool files left behind";
    }

    TempDir dir_;
    TempDir spoolDir_;
};

bool ErrHas(const LiveFilter& filter, const std::string& text)
{
    return filter.Collected().err.find(text) != std::string::npos;
}

// Feeds a whole page and waits until the filter has ended it.
void FeedPage(LiveFilter& filter, const Raster& raster, int page)
{
    const size_t from = page == 0 ? 0 : raster.header[static_cast<size_t>(page)];  // with the sync word
    ASSERT_TRUE(filter.Feed(raster.bytes, from, raster.PageEnd(page)));
    const std::string done = "PAGE: " + std::to_string(page + 1) + " ";
    ASSERT_TRUE(filter.WaitUntil([&] { return ErrHas(filter, done); }, 30000)) << filter.Collected().err;
    filter.WaitForQuiet(100);
}

TEST_F(JobControlProcess, CancelBetweenPagesEndsTheJobAtTheNextHeader)
{
    // The request arrives while the filter waits for page 2's header: that
    // header ends the job, without replays and without the document end.
    Raster raster = Job(2, 2);
    LiveFilter filter(Run(kPlatform3Model, "Collate=True"));
    FeedPage(filter, raster, 0);
    const std::vector<uint8_t> sent = filter.Collected().out;
    EXPECT_EQ(filter.OpenFilesUnder(spoolDir_.path()).size(), 1u);
    filter.Signal(SIGTERM);
    // The filter stops reading after the header, so this may not all go in.
    filter.Feed(raster.bytes, raster.header[1], raster.bytes.size());
    FilterResult result = filter.Finish();
    EXPECT_TRUE(result.out == sent) << result.out.size() << " bytes, " << sent.size() << " before the cancel";
    EXPECT_EQ(result.err.find("PAGE: 2 "), std::string::npos) << result.err;
    ExpectCleanEnd(result);
}

TEST_F(JobControlProcess, CancelBeforeTheInputEndsSkipsTheCopiesButEndsTheDocument)
{
    Raster raster = Job(1, 3);
    LiveFilter filter(Run(kPlatform3Model, "Collate=True"));
    FeedPage(filter, raster, 0);
    std::vector<uint8_t> expected = filter.Collected().out;
    filter.Signal(SIGTERM);
    FilterResult result = filter.Finish();
    expected.insert(expected.end(), kPlatform3DocEnd.begin(), kPlatform3DocEnd.end());
    EXPECT_TRUE(result.out == expected) << result.out.size() << " bytes, expected " << expected.size();
    ExpectCleanEnd(result);
}

TEST_F(JobControlProcess, CancelDuringTheLinesOfAPage)
{
    // Platform 3 abandons the page and the document; platforms 1 and 2
    // finish the page with the lines read so far and end the document.
    for (const char* model : {kPlatform3Model, kPlatform1Model}) {
        SCOPED_TRACE(model);
        Raster raster = Job(2, 1);
        LiveFilter filter(Run(model, ""));
        ASSERT_TRUE(filter.Feed(raster.bytes, 0, raster.Line(0, 100)));
        ASSERT_TRUE(filter.WaitUntil([&] { return ErrHas(filter, "INFO: Printing page 1, 0% complete"); }, 30000));
        filter.WaitForQuiet(200);
        const std::vector<uint8_t> started = filter.Collected().out;
        filter.Signal(SIGTERM);
        // The read in progress resumes and takes one more line; then the
        // filter sees the request.
        ASSERT_TRUE(filter.Feed(raster.bytes, raster.Line(0, 100), raster.Line(0, 101)));
        filter.WaitForQuiet(200);
        FilterResult result = filter.Finish();
        if (model == kPlatform3Model) {
            EXPECT_TRUE(result.out == started) << result.out.size() << " bytes, " << started.size() << " before";
        } else {
            EXPECT_GT(result.out.size(), started.size());
            EXPECT_TRUE(std::equal(started.begin(), started.end(), result.out.begin()));
            EXPECT_TRUE(EndsWith(result.out, kEndOfJob));
            EXPECT_NE(result.err.find("PAGE: 1 "), std::string::npos) << result.err;
        }
        EXPECT_EQ(result.err.find("PAGE: 2 "), std::string::npos) << result.err;
        ExpectCleanEnd(result);
    }
}

TEST_F(JobControlProcess, CancelAfterAnEvenPageOfManualDuplexStillEndsTheDocument)
{
    // Page 2 went only to the spool; the end of the document must not.
    Raster raster = Job(3, 1);
    LiveFilter filter(Run(kPlatform1Model, "ManualDuplex=True"));
    FeedPage(filter, raster, 0);
    ASSERT_TRUE(filter.Feed(raster.bytes, raster.header[1], raster.PageEnd(1)));
    ASSERT_TRUE(filter.WaitUntil([&] { return ErrHas(filter, "INFO: Printing page 2, 85% complete"); }, 30000));
    // Page 2 is done once its spool stops growing.
    auto spooled = [&] {
        uintmax_t total = 0;
        for (const std::string& fd : filter.OpenFilesUnder(spoolDir_.path()))
            total += std::filesystem::file_size(fd);
        return total;
    };
    for (int round = 0, stable = 0; round < 100 && stable < 2; ++round) {
        const uintmax_t before = spooled();
        filter.WaitForQuiet(200);
        stable = spooled() == before ? stable + 1 : 0;
    }
    const std::vector<uint8_t> sent = filter.Collected().out;
    filter.Signal(SIGTERM);
    FilterResult result = filter.Finish();
    EXPECT_GT(result.out.size(), sent.size());
    EXPECT_TRUE(EndsWith(result.out, kEndOfJob));
    EXPECT_EQ(result.err.find("PAGE: 2 "), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("INFO:\n"), std::string::npos) << "the instruction was shown";
    ExpectCleanEnd(result);
}

TEST_F(JobControlProcess, CancelDuringACollateReplayStopsItAndEndsTheDocument)
{
    Raster raster = Job(2, 100, true);
    LiveFilter filter(Run(kPlatform3Model, "Collate=True"));
    FeedPage(filter, raster, 0);
    FeedPage(filter, raster, 1);
    const size_t onePass = filter.Collected().out.size();
    filter.CloseInput();
    const size_t replaying = onePass + 4 * onePass;
    ASSERT_TRUE(filter.WaitUntil([&] { return filter.Collected().out.size() >= replaying; }, 30000));
    const size_t atCancel = filter.Collected().out.size();
    filter.Signal(SIGTERM);
    FilterResult result = filter.Finish();
    // What was in the pipe and the chunk being written, no further pass.
    EXPECT_LT(result.out.size(), atCancel + 256 * 1024) << "of about " << 100 * onePass;
    EXPECT_TRUE(EndsWith(result.out, kPlatform3DocEnd));
    ExpectCleanEnd(result);
}

TEST_F(JobControlProcess, VanishedBackEndEndsTheJobCleanly)
{
    // The back end goes away during the copies, then during the pages: the
    // filter is not killed by SIGPIPE, gives up on the output, removes its
    // spool and fails the job.
    {
        Raster raster = Job(2, 50, true);
        LiveFilter filter(Run(kPlatform3Model, "Collate=True"));
        FeedPage(filter, raster, 0);
        FeedPage(filter, raster, 1);
        filter.CloseInput();
        const size_t replaying = 3 * filter.Collected().out.size();
        ASSERT_TRUE(filter.WaitUntil([&] { return filter.Collected().out.size() >= replaying; }, 30000));
        filter.CloseOutput();
        FilterResult result = filter.Finish();
        EXPECT_NE(result.err.find("ERROR:"), std::string::npos) << result.err;
        ExpectCleanEnd(result, 1);
    }
    {
        Raster raster = Job(3, 2, true);
        LiveFilter filter(Run(kPlatform1Model, "Collate=True"));
        FeedPage(filter, raster, 0);
        filter.CloseOutput();
        // The filter may stop reading once the printer is gone.
        filter.Feed(raster.bytes, raster.header[1], raster.bytes.size());
        FilterResult result = filter.Finish();
        EXPECT_EQ(result.err.find("PAGE: 2 "), std::string::npos) << result.err;
        ExpectCleanEnd(result, 1);
    }
}

TEST_F(JobControlProcess, CancelWhileBlockedOnAStalledPrinter)
{
    // Nothing reads the printer stream: the filter blocks in a write, and a
    // cancel request must free it at once, not after the scheduler's
    // SIGKILL. Its spool is open but already gone from TMPDIR.
    Job(2, 100, true);
    FilterRun run = Run(kPlatform3Model, "Collate=True");
    run.args = JobArgs("Collate=True", dir_.File("job.ras"));
    LiveFilter filter(run);
    ASSERT_TRUE(filter.WaitForFullOutputPipe(30000)) << filter.Collected().err;
    EXPECT_EQ(filter.OpenFilesUnder(spoolDir_.path()).size(), 1u);
    EXPECT_TRUE(spoolDir_.Entries().empty());
    filter.Signal(SIGTERM);
    EXPECT_TRUE(filter.WaitForExitWithoutReadingOutput(10000)) << filter.Collected().err;
    ExpectCleanEnd(filter.Finish());
}

TEST_F(JobControlProcess, AlarmFromElsewhereChangesNothing)
{
    // Before the first page, and between the pages of a platform-3 job,
    // which has no keep-alive: the job prints as it would without it.
    Raster raster = Job(2, 2);
    const FilterRun run = Run(kPlatform3Model, "Collate=True");
    FilterRun fromFile = run;
    fromFile.args = JobArgs("Collate=True", dir_.File("job.ras"));
    const FilterResult undisturbed = RunFilterProcess(fromFile);
    ASSERT_EQ(undisturbed.exitStatus, 0) << undisturbed.err;

    LiveFilter filter(run);
    ASSERT_TRUE(filter.WaitUntil([&] { return filter.Catches(SIGTERM); }, 10000));
    filter.Signal(SIGALRM);
    FeedPage(filter, raster, 0);
    filter.Signal(SIGALRM);
    filter.WaitForQuiet(100);
    ASSERT_TRUE(filter.Feed(raster.bytes, raster.header[1], raster.bytes.size()));
    FilterResult result = filter.Finish();
    ExpectCleanEnd(result);
    EXPECT_TRUE(result.out == undisturbed.out) << result.out.size() << " bytes, " << undisturbed.out.size()
                                              << " undisturbed";
}

}  // namespace
