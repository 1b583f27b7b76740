// The cancel and keep-alive handlers and how they are installed.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "driver/signals.h"
#include "stream/output_port.h"
#include "support/stdout_capture.h"

namespace {

// The flags as a filter process starts, its filler bound to standard output.
void ResetFilterState()
{
    cancelRequested = 0;
    outputBusy = 1;
    keepAliveFd = STDOUT_FILENO;
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

TEST(KeepAlive, FillerOnlyWhileTheOutputIsIdle)
{
    ResetFilterState();
    StdoutCapture capture;
    outputBusy = 1;
    OnKeepAliveTimer(SIGALRM);
    outputBusy = 0;
    OnKeepAliveTimer(SIGALRM);
    // A port without a descriptor of its own gets no filler from the handler.
    keepAliveFd = -1;
    OnKeepAliveTimer(SIGALRM);
    outputBusy = 1;
    EXPECT_EQ(ToHex(capture.Bytes()), "00 00");
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

TEST(Cancel, InterruptedRasterReadResumes)
{
    // A tick or a cancel request in the middle of a blocking read must not
    // make the read fail: the page loop would take it as the page's end.
    ResetFilterState();
    SavedAction savedTerm(SIGTERM), savedPipe(SIGPIPE), savedFileSize(SIGXFSZ), savedAlarm(SIGALRM);
    InstallTerminateHandler();
    StartKeepAliveTimer(STDOUT_FILENO);
    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pthread_t reader = pthread_self();
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pthread_kill(reader, SIGALRM);
        pthread_kill(reader, SIGTERM);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(write(fds[1], "x", 1), 1);
    });
    char c = 0;
    ssize_t n = read(fds[0], &c, 1);
    writer.join();
    EXPECT_EQ(n, 1);
    EXPECT_EQ(c, 'x');
    EXPECT_EQ(cancelRequested, 1);
    close(fds[0]);
    close(fds[1]);
    ResetFilterState();
}

}  // namespace
