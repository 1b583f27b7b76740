#include "stream/output_sink.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "driver/filter_state.h"

namespace {

// After a cancel request a write waits only while its reader takes data:
// room must come within this time.
constexpr int kCancelGraceMs = 3000;

// Whether fd takes data within the grace time (a descriptor in error counts
// as ready: the write then reports it).
bool RoomComesSoon(int fd)
{
    pollfd p{fd, POLLOUT, 0};
    int ready;
    do
        ready = poll(&p, 1, kCancelGraceMs);
    while (ready < 0 && errno == EINTR);
    return ready != 0;
}

// Writes all bytes to fd, resuming after partial and interrupted writes and
// waiting while a non-blocking descriptor is full. Returns false on error.
// A cancel request interrupts a blocked write; from then on the bytes go in
// pieces that the room poll() found takes without blocking, and a reader
// that takes nothing for the grace time makes the write fail with EINTR:
// the scheduler wants the job gone, and a stalled reader may never take
// more.
bool WriteAll(int fd, const unsigned char* bytes, size_t count)
{
    while (count > 0) {
        size_t piece = count;
        if (cancelRequested) {
            if (!RoomComesSoon(fd)) {
                errno = EINTR;
                return false;
            }
            piece = count < PIPE_BUF ? count : PIPE_BUF;
        }
        ssize_t n = write(fd, bytes, piece);
        if (n > 0) {
            bytes += n;
            count -= static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            if (poll(&p, 1, -1) < 0 && errno != EINTR)
                return false;
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

// After a write to the printer was given up on a cancel request, nothing
// more may wait on its reader: what stdio or the keep-alive still send goes
// nowhere.
void LeavePrinterStream()
{
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
}

// Keeps the errno of the first failed write of its kind for the page loop.
bool Noted(bool ok, int& firstError)
{
    if (!ok && firstError == 0)
        firstError = errno != 0 ? errno : EIO;
    return ok;
}

enum class Result { NothingWritten, Written, Failed };

void Record(Result& result, bool ok)
{
    // A failure anywhere in the call stays a failure.
    if (!ok)
        result = Result::Failed;
    else if (result == Result::NothingWritten)
        result = Result::Written;
}

}  // namespace

int SendDataToFile(const void* data, int length, int spoolMark)
{
    std::fflush(stdout);
    outputBusy = 1;
    if (data == nullptr) {
        SetErrMsg("SendDataToFile() :: NULL == pData");
        return 0;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    const size_t count = length > 0 ? static_cast<size_t>(length) : 0;
    // Zero bytes transfer nothing: such a send fails wherever it goes.
    const bool any = count > 0;
    Result result = Result::NothingWritten;

    if (sendToStdout == 1) {
        const bool ok = !any || WriteAll(STDOUT_FILENO, bytes, count);
        if (!ok && errno == EINTR) {
            LeavePrinterStream();
            errno = EINTR;
        }
        Record(result, any && Noted(ok, printerWriteError));
    }

    if (spoolMark == 1) {
        if (copySpoolFd != 0)
            Record(result, any && Noted(WriteAll(copySpoolFd, bytes, count), spoolWriteError));
        if (oddSpoolFd != 0 && curPageNum % 2 == 1)
            Record(result, any && Noted(WriteAll(oddSpoolFd, bytes, count), spoolWriteError));
        if (evenSpoolFd != 0 && curPageNum > 0 && curPageNum % 2 == 0) {
            Record(result, any && Noted(WriteAll(evenSpoolFd, bytes, count), spoolWriteError));
            size_t slot = static_cast<size_t>(curPageNum / 2 - 1);
            if (slot >= evenPageLen.size())
                evenPageLen.resize(slot + 1 + evenPageLen.size(), 0);
            evenPageLen[slot] += static_cast<long>(count);
        }
    }

    std::fflush(stdout);
    outputBusy = 1;
    return result == Result::Written ? 1 : 0;
}

int Insert00()
{
    static const unsigned char zeros[2] = {0x00, 0x00};
    if (SendDataToFile(zeros, 2, 1))
        return 1;
    PrependErrMsg("Insert00() :: Send 00 00 to file Fail0 ==  \n");
    return 0;
}
