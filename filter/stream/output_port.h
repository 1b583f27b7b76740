// Where the printer stream goes: a front end's own device (standard output
// for the CUPS filter, a USB or network device for another front end).
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>

// 1 while a stream stage produces output: the keep-alive filler only goes
// out while it is 0. Process-wide because the timer's signal handler reads
// it; the sink sets it with every send, the page flow clears it between
// stages.
extern volatile std::sig_atomic_t outputBusy;

struct OutputPort {
    void* context;
    // Writes all count bytes, or returns 0 with errno set.
    int (*write)(void* context, const uint8_t* bytes, std::size_t count);
    // A descriptor the keep-alive filler may be written to straight from the
    // timer's signal handler, or -1 when the port has none (a front end
    // without one sends the filler itself, see SendKeepAliveFiller).
    int fillerFd;
};

// Writes all count bytes to fd, resuming after partial and interrupted
// writes and waiting while a non-blocking descriptor is full. 0 on error.
// Once *cancel is set (when given), a blocked write is given up: the bytes
// go in pieces the reader takes at once, and a reader that takes nothing
// for a few seconds makes the write fail with EINTR, since a stalled reader
// may never take more.
int WriteAllToFd(int fd, const uint8_t* bytes, std::size_t count,
                 const volatile std::sig_atomic_t* cancel = nullptr);

// A port on an open descriptor (the filter: descriptor 1), whose filler may
// go straight to that descriptor. With a cancel flag, a write given up on a
// cancel request leaves the descriptor on /dev/null, so that nothing after
// it waits on that reader again.
struct FdPort {
    int fd;
    const volatile std::sig_atomic_t* cancel;
};
OutputPort FdOutputPort(FdPort& port);
// The same without a cancel flag, the descriptor kept in the port itself.
OutputPort FdOutputPort(int fd);
