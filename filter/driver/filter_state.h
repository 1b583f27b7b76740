// Process-wide state of one filter run: the page counter, the two flags that
// the signal handlers share with the page loop, the output routing of the
// sink, the model name and the error-message buffer.
#pragma once

#include <csignal>
#include <cstddef>
#include <vector>

// Number of the page being processed, counted from 1 (0 before the first).
extern int curPageNum;

// Set by the SIGTERM handler; polled by the page loop and the replays.
extern volatile std::sig_atomic_t cancelRequested;
// 1 while a stream stage produces output; the keep-alive filler only goes
// out while it is 0.
extern volatile std::sig_atomic_t outputBusy;

// Routing of the output sink (see stream/output_sink.h).
extern int sendToStdout;
extern int copySpoolFd;
extern int oddSpoolFd;
extern int evenSpoolFd;
// errno of the first write to standard output, and of the first write to a
// spool file, that failed in this job; 0 while every such write went
// through. Kept by the output sink.
extern int printerWriteError;
extern int spoolWriteError;
// Bytes spooled per even page: page 2k is counted in entry k - 1. Grows as
// needed, so a manual-duplex job of any length keeps all its even pages.
extern std::vector<long> evenPageLen;

constexpr std::size_t kModelNameSize = 1024;
extern char modelName[kModelNameSize];

constexpr std::size_t kErrMsgBufSize = 1024;
extern char errMsgBuf[kErrMsgBufSize];

// Puts text in front of errMsgBuf. When both do not fit, the new text stays
// whole at the front and the oldest text is cut.
void PrependErrMsg(const char* text);
// Replaces the content of errMsgBuf with text.
void SetErrMsg(const char* text);
// Writes errMsgBuf to standard output as plain text (the printer stream).
void PrintErrMsg();

// Puts every piece of the state above back to its start-up value.
void ResetFilterState();
