// The one way bytes reach the printer: the job's output port and, for the
// bytes of a page, the spool files of collated copies and manual duplex.
// The sink belongs to one job; the stream stages borrow it for one call.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <vector>

#include "stream/output_port.h"

constexpr std::size_t kErrMsgBufSize = 1024;

struct StreamSink {
    OutputPort port{};
    // 1: bytes go to the printer (0 while an even page of a manual-duplex
    // job is produced: it only goes to its spool).
    int toPrinter = 1;
    // Spool descriptors the page bytes go to, -1 for none.
    int copySpoolFd = -1;
    int oddSpoolFd = -1;
    int evenSpoolFd = -1;
    // Which of the odd and even spools takes the current page (see
    // RouteSpooledPage); even page 2k counts its bytes in evenPageLen[k - 1].
    // Counted as file offsets: a long job's spool passes 2 GiB, beyond a
    // 32-bit long.
    int spoolOdd = 0;
    int spoolEven = 0;
    std::size_t evenSlot = 0;
    std::vector<off_t> evenPageLen = std::vector<off_t>(1024, 0);
    // errno of the first write to the printer, and to a spool, that failed
    // in this job; 0 while every such write went through.
    int printerWriteError = 0;
    int spoolWriteError = 0;
    // The job's cancel request, which gives up spool writes that block
    // (see WriteAllToFd); none when null.
    const volatile std::sig_atomic_t* cancel = nullptr;
    // The failure texts of the stages, newest first; printed into the
    // printer stream by the page flow.
    char errMsg[kErrMsgBufSize] = "";
};

// The sink of a fresh job writing to port.
void OpenStreamSink(StreamSink& sink, OutputPort port);

// Per page, before its first byte: an odd pageNumber's bytes go to the odd
// spool, an even one's to the even spool (when those are open).
void RouteSpooledPage(StreamSink& sink, int pageNumber);

// Sends length bytes. spoolMark 1 marks a page's bytes, which also go to the
// open spool files (the collate spool; the odd or even spool as routed);
// spoolMark 0 bytes go to the printer only. Every write transfers all its
// bytes. Returns 1 when at least one write was made and none failed, else 0
// (a send of zero bytes fails). Leaves outputBusy 1.
int SendDataToFile(StreamSink& sink, const void* data, int length, int spoolMark);

// Sends the two zero bytes that separate the packets of platforms 1 and 2.
int Insert00(StreamSink& sink);

// Puts text in front of errMsg. When both do not fit, the new text stays
// whole at the front and the oldest text is cut.
void PrependErrMsg(StreamSink& sink, const char* text);
// Replaces the content of errMsg with text.
void SetErrMsg(StreamSink& sink, const char* text);
// Writes errMsg into the printer stream (never spooled).
void PrintErrMsg(StreamSink& sink);
