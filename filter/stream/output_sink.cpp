#include "stream/output_sink.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

volatile std::sig_atomic_t outputBusy = 1;

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

}  // namespace

int WriteAllToFd(int fd, const uint8_t* bytes, std::size_t count, const volatile std::sig_atomic_t* cancel)
{
    while (count > 0) {
        std::size_t piece = count;
        if (cancel != nullptr && *cancel) {
            if (!RoomComesSoon(fd)) {
                errno = EINTR;
                return 0;
            }
            piece = count < PIPE_BUF ? count : PIPE_BUF;
        }
        ssize_t n = write(fd, bytes, piece);
        if (n > 0) {
            bytes += n;
            count -= static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            if (poll(&p, 1, -1) < 0 && errno != EINTR)
                return 0;
        } else if (!(n < 0 && errno == EINTR)) {
            return 0;
        }
    }
    return 1;
}

namespace {

int WriteToFd(void* context, const uint8_t* bytes, std::size_t count)
{
    return WriteAllToFd(static_cast<int>(reinterpret_cast<intptr_t>(context)), bytes, count);
}

// After a write to the printer was given up on a cancel request, nothing
// more may wait on its reader: what is still sent (the keep-alive filler
// too) goes nowhere.
int WriteToFdPort(void* context, const uint8_t* bytes, std::size_t count)
{
    const FdPort& port = *static_cast<FdPort*>(context);
    if (WriteAllToFd(port.fd, bytes, count, port.cancel))
        return 1;
    if (errno == EINTR && port.cancel != nullptr && *port.cancel) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, port.fd);
            close(null);
        }
        errno = EINTR;
    }
    return 0;
}

// Keeps the errno of the first failed write of its kind for the page flow.
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

bool ToSpool(const StreamSink& sink, int fd, const uint8_t* bytes, std::size_t count)
{
    return WriteAllToFd(fd, bytes, count, sink.cancel) != 0;
}

}  // namespace

OutputPort FdOutputPort(FdPort& port)
{
    return {&port, WriteToFdPort, port.fd};
}

OutputPort FdOutputPort(int fd)
{
    return {reinterpret_cast<void*>(static_cast<intptr_t>(fd)), WriteToFd, fd};
}

void OpenStreamSink(StreamSink& sink, OutputPort port)
{
    sink = StreamSink{};
    sink.port = port;
}

void RouteSpooledPage(StreamSink& sink, int pageNumber)
{
    sink.spoolOdd = pageNumber > 0 && pageNumber % 2 == 1;
    sink.spoolEven = pageNumber > 0 && pageNumber % 2 == 0;
    sink.evenSlot = sink.spoolEven ? static_cast<std::size_t>(pageNumber / 2 - 1) : 0;
}

int SendDataToFile(StreamSink& sink, const void* data, int length, int spoolMark)
{
    outputBusy = 1;
    if (data == nullptr) {
        SetErrMsg(sink, "SendDataToFile() :: NULL == pData");
        return 0;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    const std::size_t count = length > 0 ? static_cast<std::size_t>(length) : 0;
    // Zero bytes transfer nothing: such a send fails wherever it goes.
    const bool any = count > 0;
    Result result = Result::NothingWritten;

    if (sink.toPrinter == 1)
        Record(result, any && Noted(sink.port.write(sink.port.context, bytes, count) != 0,
                                    sink.printerWriteError));

    if (spoolMark == 1) {
        if (sink.copySpoolFd >= 0)
            Record(result, any && Noted(ToSpool(sink, sink.copySpoolFd, bytes, count), sink.spoolWriteError));
        if (sink.oddSpoolFd >= 0 && sink.spoolOdd)
            Record(result, any && Noted(ToSpool(sink, sink.oddSpoolFd, bytes, count), sink.spoolWriteError));
        if (sink.evenSpoolFd >= 0 && sink.spoolEven) {
            Record(result, any && Noted(ToSpool(sink, sink.evenSpoolFd, bytes, count), sink.spoolWriteError));
            if (sink.evenSlot >= sink.evenPageLen.size())
                sink.evenPageLen.resize(sink.evenSlot + 1 + sink.evenPageLen.size(), 0);
            sink.evenPageLen[sink.evenSlot] += static_cast<off_t>(count);
        }
    }

    outputBusy = 1;
    return result == Result::Written ? 1 : 0;
}

int Insert00(StreamSink& sink)
{
    static const uint8_t zeros[2] = {0x00, 0x00};
    if (SendDataToFile(sink, zeros, 2, 1))
        return 1;
    PrependErrMsg(sink, "Insert00() :: Send 00 00 to file Fail0 ==  \n");
    return 0;
}

void PrependErrMsg(StreamSink& sink, const char* text)
{
    if (text == nullptr)
        return;
    char* buf = sink.errMsg;
    std::size_t newLen = std::strlen(text);
    if (newLen >= kErrMsgBufSize)
        newLen = kErrMsgBufSize - 1;
    std::size_t oldLen = std::strlen(buf);
    std::size_t keepOld = kErrMsgBufSize - 1 - newLen;
    if (oldLen > keepOld)
        oldLen = keepOld;
    std::memmove(buf + newLen, buf, oldLen);
    std::memcpy(buf, text, newLen);
    buf[newLen + oldLen] = '\0';
}

void SetErrMsg(StreamSink& sink, const char* text)
{
    std::snprintf(sink.errMsg, sizeof sink.errMsg, "%s", text ? text : "");
}

void PrintErrMsg(StreamSink& sink)
{
    outputBusy = 1;
    const std::size_t length = std::strlen(sink.errMsg);
    // As the text went out before, whatever the routing: a failure to write
    // it is not noted, the stream failure itself already is.
    if (length > 0)
        sink.port.write(sink.port.context, reinterpret_cast<const uint8_t*>(sink.errMsg), length);
}
