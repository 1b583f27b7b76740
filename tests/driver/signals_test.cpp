// The cancel and keep-alive handlers and how they are installed.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "driver/signals.h"
#include "stream/output_port.h"
#include "support/raster_job.h"
#include "support/stdout_capture.h"
#include "support/temp_dir.h"

namespace {

// The flags as a filter process starts.
void ResetFilterState()
{
    cancelRequested = 0;
    outputBusy = 1;
    keepAliveFd = -1;
}

// Puts a signal's disposition back when the test is done with it.
class SavedAction {
public:
    explicit SavedAction(int signalNumber) : signal_(signalNumber) { sigaction(signal_, nullptr, &saved_); }
    ~SavedAction() { sigaction(signal_, &saved_, nullptr); }
    SavedAction(const SavedAction&) = delete;
    SavedAction& operator=(const SavedAction&) = delete;

private:
    int signal_;
    struct sigaction saved_ {};
};

struct sigaction Current(int signalNumber)
{
    struct sigaction action {};
    sigaction(signalNumber, nullptr, &action);
    return action;
}

TEST(KeepAlive, FillerOnlyWhileTheTimerRunsAndTheOutputIsIdle)
{
    ResetFilterState();
    SavedAction savedTerm(SIGTERM), savedPipe(SIGPIPE), savedFileSize(SIGXFSZ), savedAlarm(SIGALRM);
    InstallTerminateHandler();
    StdoutCapture capture;
    // An alarm from elsewhere before the timer runs (or on platform 3, which
    // has none) neither ends the filter nor reaches the stream.
    EXPECT_EQ(Current(SIGALRM).sa_handler, &OnKeepAliveTimer);
    outputBusy = 0;
    raise(SIGALRM);
    StartKeepAliveTimer(STDOUT_FILENO);
    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    outputBusy = 1;
    OnKeepAliveTimer(SIGALRM);
    outputBusy = 0;
    OnKeepAliveTimer(SIGALRM);
    // A port without a descriptor of its own gets no filler from the handler.
    keepAliveFd = -1;
    OnKeepAliveTimer(SIGALRM);
    outputBusy = 1;
    EXPECT_EQ(ToHex(capture.Bytes()), "00 00");
    ResetFilterState();
}

TEST(KeepAlive, TimerTicksEveryTenSecondsIntoTheStream)
{
    ResetFilterState();
    SavedAction savedAlarm(SIGALRM);
    StartKeepAliveTimer(STDOUT_FILENO);
    itimerval timer{};
    getitimer(ITIMER_REAL, &timer);
    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    EXPECT_EQ(timer.it_interval.tv_sec, 10);
    EXPECT_EQ(timer.it_interval.tv_usec, 0);
    EXPECT_GT(timer.it_value.tv_sec * 1000000L + timer.it_value.tv_usec, 9000000L);

    struct sigaction action = Current(SIGALRM);
    EXPECT_EQ(action.sa_handler, &OnKeepAliveTimer);
    StdoutCapture capture;
    outputBusy = 0;
    raise(SIGALRM);
    outputBusy = 1;
    EXPECT_EQ(ToHex(capture.Bytes()), "00 00");
}

TEST(Cancel, TerminateOnlyRecordsTheRequest)
{
    ResetFilterState();
    SavedAction savedTerm(SIGTERM), savedPipe(SIGPIPE), savedFileSize(SIGXFSZ);
    InstallTerminateHandler();
    EXPECT_EQ(Current(SIGPIPE).sa_handler, SIG_IGN);
    EXPECT_EQ(Current(SIGTERM).sa_handler, &OnTerminate);
    EXPECT_EQ(cancelRequested, 0);
    raise(SIGTERM);
    EXPECT_EQ(cancelRequested, 1);
    raise(SIGTERM);  // a second request changes nothing
    EXPECT_EQ(cancelRequested, 1);
    ResetFilterState();
}

TEST(Cancel, ATickResumesAReadACancelBreaksIt)
{
    ResetFilterState();
    SavedAction savedTerm(SIGTERM), savedPipe(SIGPIPE), savedFileSize(SIGXFSZ), savedAlarm(SIGALRM);
    InstallTerminateHandler();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pthread_t reader = pthread_self();
    auto later = [&](int signalNumber, bool thenWrite) {
        return std::thread([&, signalNumber, thenWrite] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            pthread_kill(reader, signalNumber);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (thenWrite) {
                EXPECT_EQ(write(fds[1], "x", 1), 1);
            }
        });
    };
    char c = 0;
    std::thread writer = later(SIGALRM, true);
    ssize_t n = read(fds[0], &c, 1);
    writer.join();
    EXPECT_EQ(n, 1);
    EXPECT_EQ(cancelRequested, 0);

    writer = later(SIGTERM, false);
    n = read(fds[0], &c, 1);
    const int readErrno = errno;
    writer.join();
    EXPECT_EQ(n, -1);
    EXPECT_EQ(readErrno, EINTR);
    EXPECT_EQ(cancelRequested, 1);
    close(fds[0]);
    close(fds[1]);
    ResetFilterState();
}

TEST(Cancel, RasterReadResumesAfterACancelRequest)
{
    // libcups reads again after EINTR: a cancel request while the filter
    // waits for the next page header leaves the header to arrive, and the
    // page loop decides on it.
    ResetFilterState();
    SavedAction savedTerm(SIGTERM), savedPipe(SIGPIPE), savedFileSize(SIGXFSZ), savedAlarm(SIGALRM);
    InstallTerminateHandler();
    TempDir dir;
    std::ifstream in(WriteRasterJob(dir.File("page.ras"), {PaperPage(72, 72)}), std::ios::binary);
    const std::string raster((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], raster.data(), 4), 4);  // the sync word: the stream opens
    cups_raster_t* stream = cupsRasterOpen(fds[0], CUPS_RASTER_READ);
    ASSERT_NE(stream, nullptr);
    pthread_t reader = pthread_self();
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pthread_kill(reader, SIGTERM);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // The header and some lines: no more than the pipe holds.
        EXPECT_EQ(write(fds[1], raster.data() + 4, 16384), 16384);
        close(fds[1]);
    });
    cups_page_header2_t header;
    EXPECT_EQ(cupsRasterReadHeader2(stream, &header), 1u);
    writer.join();
    EXPECT_EQ(cancelRequested, 1);
    cupsRasterClose(stream);
    close(fds[0]);
    ResetFilterState();
}

}  // namespace
