// Collated copies and manual duplex: pages are fake page bytes that carry
// their page number, sent through the real sink; the blank page and the
// manual-duplex block are taken from the framing routines themselves.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "driver/cups_binding.h"
#include "driver/signals.h"
#include "driver/spooling.h"
#include "stream/blank_page.h"
#include "stream/output_sink.h"
#include "stream/page_framing.h"
#include "support/filter_process.h"
#include "support/stdout_capture.h"
#include "support/test_sink.h"

namespace {

// The job's spools, one test at a time.
Spools spools;

void ResetJobState()
{
    RemoveSpools(spools, TestSink());
    spools = Spools{};
    ResetTestSink();
    cancelRequested = 0;
}

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Page bytes as a page stage might send them: a head and a body of a length
// that differs from page to page.
std::string PageHead(int page) { return "[p" + std::to_string(page) + "]"; }
std::string PageBody(int page, size_t extra = 0)
{
    return std::string(3 + page % 11 + extra, static_cast<char>('a' + page % 26)) + "/";
}
std::string Page(int page, size_t extra = 0) { return PageHead(page) + PageBody(page, extra); }

void SendText(const std::string& text, int spoolMark)
{
    SendDataToFile(TestSink(), text.data(), static_cast<int>(text.size()), spoolMark);
}

struct Job {
    int pages = 1;
    int collate = 0;
    int firstCopies = 1;
    int lastCopies = 1;
    int manualDuplex = 0;
    int machineDuplex = 0;
    int outputOrder = 0;
    size_t pageExtra = 0;  // bytes added to every page body
};

struct JobRun {
    std::string out;
    std::string err;
    int replayResult = -1;
    size_t spoolsDuringJob = 0;
};

const char* const kTurnText = "Turn the printed stack over";
constexpr int kPlatform = 3;

cups_page_header2_t LastHeader()
{
    cups_page_header2_t header{};
    header.HWResolution[0] = header.HWResolution[1] = 600;
    header.NumCopies = 1;
    return header;
}

PageSetup LastSetup(const Job& job)
{
    PageSetup setup{};
    setup.xResolution = setup.yResolution = 600;
    setup.inputTray = 1;
    setup.copies = static_cast<uint16_t>(job.collate == 1 ? 1 : job.lastCopies);
    setup.pageNumber = static_cast<uint16_t>(job.pages);
    setup.customWidth = setup.imageWidth = 64;
    setup.customHeight = setup.imageHeight = 32;
    return setup;
}

class Spooling : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetJobState();
        savedTempFd_ = cups.cupsTempFd;
        cups.cupsTempFd = &::cupsTempFd;
        if (const char* old = std::getenv("TMPDIR"))
            savedTmpDir_ = old;
        tmp_ = std::make_unique<TempDir>();
        setenv("TMPDIR", tmp_->path().c_str(), 1);
    }

    void TearDown() override
    {
        RemoveSpools(spools, TestSink());
        EXPECT_TRUE(tmp_->Entries().empty()) << "spool files left behind";
        if (savedTmpDir_)
            setenv("TMPDIR", savedTmpDir_->c_str(), 1);
        else
            unsetenv("TMPDIR");
        tmp_.reset();
        cups.cupsTempFd = savedTempFd_;
        ResetJobState();
    }

    // What the framing routines send for the blank back page and for the
    // manual-duplex block, produced on their own.
    std::string Blank(const Job& job)
    {
        PageSetup setup = LastSetup(job);
        uint32_t checksum = 0;
        StdoutCapture capture;
        InsertBlankPage(TestSink(), LastHeader(), setup, kPlatform, job.pages + 1, checksum);
        std::string bytes = Text(capture.Bytes());
        ResetJobState();
        return bytes;
    }
    std::string ManualDuplexBlock()
    {
        StdoutCapture capture;
        SendManualDuplexCmd(TestSink(), kPlatform);
        std::string bytes = Text(capture.Bytes());
        ResetJobState();
        return bytes;
    }

    // Runs the job as the page loop does: document start, spools on page 1,
    // the pages, the replays, the machine-duplex blank page when still due,
    // the end of the document.
    JobRun Run(const Job& job, const std::function<void()>& beforeReplay = {})
    {
        JobRun run;
        testing::internal::CaptureStderr();
        {
            StdoutCapture capture;
            SendText("<doc>", 1);
            for (int page = 1; page <= job.pages; ++page) {
                if (page == 1) {
                    EXPECT_EQ(CreateSpools(spools, TestSink(), StderrReporter(), job.collate, job.firstCopies,
                                           job.manualDuplex),
                              1);
                }
                RoutePageOutput(TestSink(), job.manualDuplex, page);
                SendText(PageHead(page), 1);
                SendText(PageBody(page, job.pageExtra), 1);
            }
            // Spool files leave TMPDIR as soon as they are open.
            EXPECT_TRUE(tmp_->Entries().empty());
            run.spoolsDuringJob = (TestSink().copySpoolFd >= 0) + (TestSink().oddSpoolFd >= 0) +
                                  (TestSink().evenSpoolFd >= 0);
            if (beforeReplay)
                beforeReplay();
            EndOfJobSettings settings{job.collate,       job.lastCopies, job.manualDuplex, job.machineDuplex,
                                      job.outputOrder,   kTurnText,      kPlatform,        job.pages,
                                      nullptr};
            cups_page_header2_t header = LastHeader();
            PageSetup setup = LastSetup(job);
            uint32_t checksum = 0;
            run.replayResult = ReplaySpools(spools, TestSink(), StderrReporter(), settings, header, setup, checksum);
            if (job.machineDuplex && job.pages % 2 == 1 && run.replayResult == 0)
                InsertBlankPage(TestSink(), header, setup, kPlatform, job.pages + 1, checksum);
            SendText("<end>", 1);
            run.out = Text(capture.Bytes());
        }
        run.err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(TestSink().toPrinter, 1);
        return run;
    }

    std::unique_ptr<TempDir> tmp_;
    std::optional<std::string> savedTmpDir_;
    int (*savedTempFd_)(char*, int) = nullptr;
};

std::string Pages(std::initializer_list<int> pages)
{
    std::string s;
    for (int p : pages)
        s += Page(p);
    return s;
}

TEST_F(Spooling, ManualDuplexSendsOddPagesAtOnceThenEvenPagesBackwards)
{
    Job job;
    job.pages = 5;
    job.manualDuplex = 1;
    const std::string blank = Blank(job), block = ManualDuplexBlock();
    ASSERT_FALSE(blank.empty());
    ASSERT_FALSE(block.empty());
    JobRun run = Run(job, [] {
        // Page 4 is counted whole in its slot; odd pages are not counted.
        EXPECT_EQ(TestSink().evenPageLen[0], static_cast<off_t>(Page(2).size()));
        EXPECT_EQ(TestSink().evenPageLen[1], static_cast<off_t>(Page(4).size()));
        EXPECT_EQ(TestSink().evenPageLen[2], 0);
    });
    EXPECT_EQ(run.spoolsDuringJob, 2u);
    EXPECT_EQ(run.out, "<doc>" + Pages({1, 3, 5}) + block + blank + Pages({4, 2}) + "<end>");
    EXPECT_EQ(run.replayResult, 0);
    EXPECT_NE(run.err.find(std::string("INFO:") + kTurnText + "\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("PAGE: 6 1\nPAGE: 4 1\nPAGE: 2 1\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("ERROR:"), std::string::npos) << run.err;
}

TEST_F(Spooling, ManualDuplexPlacesTheBlankPageByOutputOrder)
{
    struct Case {
        int pages, outputOrder;
        std::string tail;  // after the block; "B" stands for the blank page
    };
    for (const Case& c : {Case{4, 0, Pages({4, 2})}, Case{5, 1, Pages({4, 2}) + "B"}, Case{1, 0, "B"},
                          Case{1, 1, "B"}, Case{2, 1, Pages({2})}, Case{3, 0, "B" + Pages({2})}}) {
        SCOPED_TRACE(testing::Message() << c.pages << " pages, outputorder " << c.outputOrder);
        Job job;
        job.pages = c.pages;
        job.manualDuplex = 1;
        job.outputOrder = c.outputOrder;
        const std::string blank = Blank(job), block = ManualDuplexBlock();
        std::string tail = c.tail;
        if (size_t b = tail.find('B'); b != std::string::npos)
            tail.replace(b, 1, blank);
        std::string live;
        for (int p = 1; p <= c.pages; p += 2)
            live += Page(p);
        JobRun run = Run(job);
        EXPECT_EQ(run.out, "<doc>" + live + block + tail + "<end>");
        EXPECT_EQ(tmp_->Entries().size(), 0u);
        ResetJobState();
    }
}

TEST_F(Spooling, ManualDuplexWithCollatedCopiesRepeatsBothHalves)
{
    Job job;
    job.pages = 5;
    job.manualDuplex = 1;
    job.collate = 1;
    job.firstCopies = job.lastCopies = 2;
    const std::string blank = Blank(job), block = ManualDuplexBlock();
    JobRun run = Run(job);
    // The collate spool is made and filled but the odd-page spool serves.
    EXPECT_EQ(run.spoolsDuringJob, 3u);
    const std::string evenHalf = blank + Pages({4, 2});
    EXPECT_EQ(run.out, "<doc>" + Pages({1, 3, 5}) + Pages({1, 3, 5}) + block + evenHalf + evenHalf + "<end>");
    EXPECT_NE(run.err.find("PAGE: 1 1\nPAGE: 3 1\nPAGE: 5 1\n"), std::string::npos) << run.err;
}

TEST_F(Spooling, CollatedCopiesReplayTheWholeJob)
{
    struct Case {
        int firstCopies, lastCopies;
        size_t spools;
        int timesSent;
    };
    // Page 1's copy count decides whether there is a spool, the last page's
    // how often it is replayed.
    for (const Case& c : {Case{3, 3, 1, 3}, Case{1, 1, 0, 1}, Case{1, 3, 0, 1}, Case{3, 1, 1, 1}, Case{2, 3, 1, 3}}) {
        SCOPED_TRACE(testing::Message() << "copies " << c.firstCopies << " then " << c.lastCopies);
        Job job;
        job.pages = 3;
        job.collate = 1;
        job.firstCopies = c.firstCopies;
        job.lastCopies = c.lastCopies;
        JobRun run = Run(job);
        EXPECT_EQ(run.spoolsDuringJob, c.spools);
        std::string expected = "<doc>";
        for (int i = 0; i < c.timesSent; ++i)
            expected += Pages({1, 2, 3});
        EXPECT_EQ(run.out, expected + "<end>");
        EXPECT_EQ(run.replayResult, 0);
        EXPECT_EQ(tmp_->Entries().size(), 0u);
        ResetJobState();
    }
}

TEST_F(Spooling, CollatedCopiesLongerThanOneChunkArriveWhole)
{
    Job job;
    job.pages = 2;
    job.collate = 1;
    job.firstCopies = job.lastCopies = 2;
    job.pageExtra = 40000;  // several 16384-byte chunks per pass
    JobRun run = Run(job);
    const std::string pass = Page(1, 40000) + Page(2, 40000);
    EXPECT_TRUE(run.out == "<doc>" + pass + pass + "<end>") << run.out.size() << " bytes";
}

TEST_F(Spooling, MachineDuplexCollatedCopiesEachEndOnAFullSheet)
{
    Job job;
    job.pages = 3;
    job.collate = 1;
    job.firstCopies = job.lastCopies = 2;
    job.machineDuplex = 1;
    const std::string blank = Blank(job);
    JobRun run = Run(job);
    EXPECT_EQ(run.replayResult, 1);
    const std::string copy = Pages({1, 2, 3}) + blank;
    EXPECT_EQ(run.out, "<doc>" + copy + copy + "<end>");
    EXPECT_NE(run.err.find("PAGE: 4 1\nPAGE: 1 1\nPAGE: 2 1\nPAGE: 3 1\nPAGE: 4 1\n"), std::string::npos)
        << run.err;

    // An even page count needs no blank page; one copy leaves it to the
    // page loop.
    ResetJobState();
    job.pages = 2;
    run = Run(job);
    EXPECT_EQ(run.replayResult, 0);
    EXPECT_EQ(run.out, "<doc>" + Pages({1, 2}) + Pages({1, 2}) + "<end>");

    ResetJobState();
    job.pages = 3;
    job.firstCopies = job.lastCopies = 1;
    run = Run(job);
    EXPECT_EQ(run.replayResult, 0);
    EXPECT_EQ(run.out, "<doc>" + Pages({1, 2, 3}) + blank + "<end>");
}

TEST_F(Spooling, ManualDuplexKeepsMoreThan1024EvenPages)
{
    Job job;
    job.pages = 2051;
    job.manualDuplex = 1;
    job.outputOrder = 1;
    const std::string blank = Blank(job), block = ManualDuplexBlock();
    JobRun run = Run(job);
    std::string expected = "<doc>";
    for (int p = 1; p <= job.pages; p += 2)
        expected += Page(p);
    expected += block;
    for (int p = 2050; p >= 2; p -= 2)
        expected += Page(p);
    expected += blank + "<end>";
    EXPECT_TRUE(run.out == expected) << "output differs; " << run.out.size() << " of " << expected.size()
                                     << " bytes";
}

TEST_F(Spooling, EvenPagesAreFoundPast4GiBOfSpool)
{
    // Pages of 1.5 GiB: where they end overflows a 32-bit long. A bad
    // length counts none, slots beyond the job none.
    constexpr off_t kPage = off_t{3} << 29;
    TestSink().evenPageLen = {kPage, kPage, -1, kPage};
    EXPECT_EQ(EvenSpoolBytes(TestSink(), 2), 2 * kPage);
    EXPECT_EQ(EvenSpoolBytes(TestSink(), 4), 3 * kPage);
    EXPECT_EQ(EvenSpoolBytes(TestSink(), 6), 3 * kPage);
}

TEST_F(Spooling, EvenPageReadBackInPartIsSentAsReadAndReported)
{
    Job job;
    job.pages = 4;
    job.manualDuplex = 1;
    const std::string block = ManualDuplexBlock();
    // The even spool holds page 2, then page 4; cut it 3 bytes into page 4.
    JobRun run = Run(job, [] { ASSERT_EQ(ftruncate(spools.even.fd, static_cast<off_t>(Page(2).size() + 3)), 0); });
    EXPECT_EQ(run.out, "<doc>" + Pages({1, 3}) + block + Page(4).substr(0, 3) + Page(2) + "<end>");
    EXPECT_NE(run.err.find("ERROR: Page 4 could be read back only in part"), std::string::npos) << run.err;
}

TEST_F(Spooling, RefusingPrinterConnectionEndsTheReplays)
{
    // /dev/full refuses every write: the replays must give up, not loop.
    int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    Job job;
    job.pages = 4;
    job.collate = 1;
    job.firstCopies = job.lastCopies = 3;
    JobRun run = Run(job, [full] { dup2(full, STDOUT_FILENO); });
    EXPECT_EQ(run.out, "<doc>" + Pages({1, 2, 3, 4}));
    EXPECT_NE(run.err.find("ERROR: The printer connection refuses data"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("PAGE:"), std::string::npos) << run.err;

    // Nothing of the second half is offered once the printer refused the
    // manual-duplex block.
    ResetJobState();
    job.collate = 0;
    job.manualDuplex = 1;
    run = Run(job, [full] { dup2(full, STDOUT_FILENO); });
    EXPECT_EQ(run.out, "<doc>" + Pages({1, 3}));
    EXPECT_NE(TestSink().printerWriteError, 0);
    EXPECT_EQ(run.err.find("PAGE:"), std::string::npos) << run.err;
    close(full);
}

TEST_F(Spooling, CancelBeforeTheEndSkipsReplaysAndStillEndsTheDocument)
{
    // Cancelled right after an even page of a manual-duplex job.
    Job job;
    job.pages = 4;
    job.manualDuplex = 1;
    JobRun run = Run(job, [] { cancelRequested = 1; });
    EXPECT_EQ(run.out, "<doc>" + Pages({1, 3}) + "<end>");
    EXPECT_EQ(run.err.find("INFO:"), std::string::npos) << run.err;

    ResetJobState();
    job = Job{};
    job.pages = 2;
    job.collate = 1;
    job.firstCopies = job.lastCopies = 4;
    run = Run(job, [] { cancelRequested = 1; });
    EXPECT_EQ(run.out, "<doc>" + Pages({1, 2}) + "<end>");
}

TEST_F(Spooling, CancelDuringACollateReplayStopsBetweenChunks)
{
    Job job;
    job.pages = 1;
    job.collate = 1;
    job.firstCopies = job.lastCopies = 5;
    job.pageExtra = 256 * 1024;
    const size_t pass = Page(1, job.pageExtra).size();

    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const long pipeSize = fcntl(pipeFds[0], F_GETPIPE_SZ);
    std::atomic<size_t> received{0};
    std::thread reader;
    int savedOut = -1;
    JobRun run = Run(job, [&] {
        savedOut = dup(STDOUT_FILENO);
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[1]);
        reader = std::thread([&] {
            char buf[65536];
            ssize_t n;
            while ((n = read(pipeFds[0], buf, sizeof buf)) > 0) {
                received += static_cast<size_t>(n);
                if (received >= 16384)
                    cancelRequested = 1;
            }
        });
    });
    // fd 1 went back to the capture at its end; the pipe's write end is gone.
    reader.join();
    close(pipeFds[0]);
    close(savedOut);
    EXPECT_GE(received.load(), 16384u);
    // At most what was in the pipe and one chunk in flight after the cancel.
    EXPECT_LE(received.load(), 16384 + 2 * static_cast<size_t>(pipeSize) + 16384 + 5) << "of " << 4 * pass;
    EXPECT_EQ(run.err.find("PAGE:"), std::string::npos) << run.err;
}

int failingCallsFrom = 0;
int tempFdCalls = 0;

int TempFdFailingFrom(char* name, int size)
{
    if (++tempFdCalls < failingCallsFrom)
        return ::cupsTempFd(name, size);
    std::snprintf(name, static_cast<size_t>(size), "/nonexistent/spool%d", tempFdCalls);
    errno = EACCES;
    return -1;
}

TEST_F(Spooling, SpoolThatCannotBeMadeEndsTheJobAndLeavesNoFile)
{
    struct Case {
        int collate, manualDuplex, failingCall;
        std::string out;
    };
    for (const Case& c : {Case{1, 0, 1, ""}, Case{0, 1, 1, "/nonexistent/spool1 file open fail"},
                          Case{0, 1, 2, "/nonexistent/spool2 file open fail"},
                          Case{1, 1, 3, "/nonexistent/spool3 file open fail"}}) {
        SCOPED_TRACE(testing::Message() << "collate " << c.collate << ", call " << c.failingCall << " fails");
        ResetJobState();
        tempFdCalls = 0;
        failingCallsFrom = c.failingCall;
        cups.cupsTempFd = TempFdFailingFrom;
        testing::internal::CaptureStderr();
        StdoutCapture capture;
        EXPECT_EQ(CreateSpools(spools, TestSink(), StderrReporter(), c.collate, 2, c.manualDuplex), 0);
        EXPECT_EQ(Text(capture.Bytes()), c.out);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("ERROR: Unable to create the spool file", 0), 0u) << err;
        EXPECT_TRUE(tmp_->Entries().empty());
        EXPECT_EQ(TestSink().copySpoolFd, -1);
        EXPECT_EQ(TestSink().oddSpoolFd, -1);
        EXPECT_EQ(TestSink().evenSpoolFd, -1);
    }
}

}  // namespace
