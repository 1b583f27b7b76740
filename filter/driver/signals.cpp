#include "driver/signals.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include "stream/output_port.h"

namespace {

constexpr int kKeepAliveSeconds = 10;

void Install(int signalNumber, void (*handler)(int), int flags)
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
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
    // No descriptor until the timer runs: a SIGALRM from elsewhere, or on
    // platform 3, must not put filler into the stream.
    const int fd = keepAliveFd;
    if (outputBusy != 0 || fd < 0)
        return;
    const int savedErrno = errno;
    // A pipe with no room holds data the printer has yet to take: the
    // connection is not idle, and the handler must never wait on it.
    pollfd room{fd, POLLOUT, 0};
    if (poll(&room, 1, 0) == 1 && (room.revents & POLLOUT)) {
        // Nothing is buffered on the way to the port's descriptor and it is
        // idle whenever outputBusy is 0, so the filler can go straight to
        // it. A pipe write of two bytes is never split; a failed write (back
        // end gone) is dropped.
        static const unsigned char filler[2] = {0x00, 0x00};
        ssize_t written = write(fd, filler, sizeof filler);
        if (written == 1)
            written = write(fd, filler + 1, 1);
        (void)written;
    }
    errno = savedErrno;
}

void InstallTerminateHandler()
{
    // Without SA_RESTART: a cancel request breaks a read or write that waits
    // on a stalled peer, and whoever waited sees EINTR with the flag set.
    Install(SIGTERM, OnTerminate, 0);
    keepAliveFd = -1;
    // Caught from the start, so that an alarm before the timer runs cannot
    // end the filter; with SA_RESTART, so that the ticks break nothing.
    Install(SIGALRM, OnKeepAliveTimer, SA_RESTART);
    // Without this a vanished back end would kill the filter in the middle
    // of a write, leaving its spool files behind; likewise a spool that
    // outgrows the file-size limit. Both then show up as failed writes.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

void StartKeepAliveTimer(int fillerFd)
{
    Install(SIGALRM, OnKeepAliveTimer, SA_RESTART);
    keepAliveFd = fillerFd;
    itimerval interval{};
    interval.it_value.tv_sec = kKeepAliveSeconds;
    interval.it_interval.tv_sec = kKeepAliveSeconds;
    setitimer(ITIMER_REAL, &interval, nullptr);
}
