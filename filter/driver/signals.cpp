#include "driver/signals.h"

#include <cerrno>
#include <csignal>
#include <sys/time.h>
#include <unistd.h>

#include "stream/output_port.h"

namespace {

constexpr int kKeepAliveSeconds = 10;

// SA_RESTART: a signal must not break a blocking read of the raster, or the
// page loop would take it for the end of the page's data.
void Install(int signalNumber, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}

}  // namespace

volatile std::sig_atomic_t cancelRequested = 0;
volatile std::sig_atomic_t keepAliveFd = -1;

void OnTerminate(int)
{
    cancelRequested = 1;
}

void OnKeepAliveTimer(int)
{
    const int fd = keepAliveFd;
    if (outputBusy != 0 || fd < 0)
        return;
    // Nothing is buffered on the way to the port's descriptor and it is idle
    // whenever outputBusy is 0, so the filler can go straight to it. A pipe
    // write of two bytes is never split; a failed write (back end gone) is
    // simply dropped.
    static const unsigned char filler[2] = {0x00, 0x00};
    const int savedErrno = errno;
    ssize_t written = write(fd, filler, sizeof filler);
    if (written == 1)
        written = write(fd, filler + 1, 1);
    (void)written;
    errno = savedErrno;
}

void InstallTerminateHandler()
{
    Install(SIGTERM, OnTerminate);
    // Without this a vanished back end would kill the filter in the middle
    // of a write, leaving its spool files behind; likewise a spool that
    // outgrows the file-size limit. Both then show up as failed writes.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

void StartKeepAliveTimer(int fillerFd)
{
    keepAliveFd = fillerFd;
    Install(SIGALRM, OnKeepAliveTimer);
    itimerval interval{};
    interval.it_value.tv_sec = kKeepAliveSeconds;
    interval.it_interval.tv_sec = kKeepAliveSeconds;
    setitimer(ITIMER_REAL, &interval, nullptr);
}
