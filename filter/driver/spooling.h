// Spool files for collated copies and manual duplex, the routing of a page's
// bytes into them, and their replays at the end of the job.
//
// Page accounting: the page flow reports "PAGE: <page> <copies>" for every
// page it sends to the printer itself; ReplaySpools reports it for every
// page the printer receives from a replay and for every blank page it adds.
#pragma once

#include <cups/raster.h>
#include <sys/types.h>

#include <csignal>
#include <cstdint>

#include "driver/status.h"
#include "stream/output_sink.h"
#include "stream/records.h"

constexpr int kSpoolNameSize = 255;

// One spool file of the job. Its descriptor owns the file until it is
// removed; the sink's route to it is cleared while it is read back, so
// nothing sent meanwhile can land in the file being read.
struct Spool {
    const char* what;
    char name[kSpoolNameSize] = "";  // from cupsTempFd; empty when none
    // All that is left of the file, whose name is removed as soon as it is
    // open.
    int fd = -1;
};

struct Spools {
    Spool copy{"collated copies"};
    Spool odd{"odd pages"};
    Spool even{"even pages"};
};

// On page 1, right after the document start. Returns 1, or 0 when a spool
// cannot be made: then the reason has been reported, every spool made so far
// is removed, and the caller ends the job at once with status 1.
int CreateSpools(Spools& spools, StreamSink& sink, const StatusReporter& status, int collate, int copies,
                 int manualDuplex);

// After every page: 1 while every spool write of the job went through.
// Otherwise reports it, and the caller ends the job at once with status 1,
// as when a spool cannot be made: a spool that missed bytes cannot be
// replayed.
int SpoolWritesIntact(const StreamSink& sink, const StatusReporter& status);

// Per page, before the page's first byte: the page's bytes go to the odd or
// the even spool by its number; with manual duplex, odd pages go to the
// printer (and the odd spool), even pages only to the even spool.
void RoutePageOutput(StreamSink& sink, int manualDuplex, int pageNumber);

// End of the job, before the blank back page and the end of the document.
struct EndOfJobSettings {
    int collate;
    int copies;            // NumCopies of the last page
    int manualDuplex;
    int machineDuplex;     // Duplex setting not 0
    int outputOrder;
    const char* manualDuplexText;  // the PPD's "MDuplex" text ("" when none)
    int platform;
    int pageCount;         // pages read
    // The job's cancel request; null for the process's (SIGTERM).
    const volatile std::sig_atomic_t* cancel;
};
// Runs the replays (collated copies, or the second half of a manual-duplex
// job) and closes the spools it has read. Call it on every normal end of
// the job, also after a cancel request: it then replays nothing but routes
// the output back to the printer, so that the end of the document still
// reaches it after an even page of a manual-duplex job. imageChecksum: the
// job's last, which a blank page it adds replaces.
// Returns 1 when it already gave the job its blank back page(s) (machine
// duplex, collated copies, odd page count: one blank per copy), so the
// caller must not add another one; 0 otherwise.
int ReplaySpools(Spools& spools, StreamSink& sink, const StatusReporter& status,
                 const EndOfJobSettings& settings, const cups_page_header2_t& lastHeader,
                 PageSetup& lastSetup, uint32_t& imageChecksum);

// Where the even pages end in the even-page spool: the bytes of its first
// evenPages pages (a bad, negative length counts none), as a file offset,
// since a long job passes 2 GiB.
off_t EvenSpoolBytes(const StreamSink& sink, int evenPages);

// Closes every spool that exists, which frees its file; routes output back
// to the printer. Safe to call any number of times, on every exit path.
void RemoveSpools(Spools& spools, StreamSink& sink);
