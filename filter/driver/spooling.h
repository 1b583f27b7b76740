// Spool files for collated copies and manual duplex, the routing of a page's
// bytes into them, and their replays at the end of the job.
//
// Page accounting: the page loop writes "PAGE: <page> <copies>" for every
// page it sends to the printer itself (sendToStdout 1 while the page is
// produced); ReplaySpools writes it for every page the printer receives from
// a replay and for every blank page it adds.
#pragma once

#include <cups/raster.h>

#include "stream/records.h"

// Names of the three spool files (from cupsTempFd); empty when none. A spool
// file is removed from its directory as soon as it is open: the filter
// keeps only its descriptor.
extern char copySpoolName[255];
extern char oddSpoolName[255];
extern char evenSpoolName[255];

// On page 1, right after the document start. Returns 1, or 0 when a spool
// cannot be made: then the reason has been reported, every spool made so far
// is removed, and the caller ends the job at once with status 1.
int CreateSpools(int collate, int copies, int manualDuplex);

// After every page: 1 while every spool write of the job went through.
// Otherwise reports it, and the caller ends the job at once with status 1,
// as when a spool cannot be made: a spool that missed bytes cannot be
// replayed.
int SpoolWritesIntact();

// Per page, before the page's first byte: with manual duplex, odd pages go
// to the printer (and the odd spool), even pages only to the even spool.
void RoutePageOutput(int manualDuplex);

// End of the job, before the blank back page and the end of the document.
struct EndOfJobSettings {
    int collate;
    int copies;            // NumCopies of the last page
    int manualDuplex;
    int machineDuplex;     // Duplex setting not 0
    int outputOrder;
    const char* manualDuplexText;  // the PPD's "MDuplex" text ("" when none)
    int platform;
};
// Runs the replays (collated copies, or the second half of a manual-duplex
// job) and closes the spools it has read. Call it on every normal end of
// the job, also after a cancel request: it then replays nothing but routes
// the output back to the printer, so that the end of the document still
// reaches it after an even page of a manual-duplex job.
// Returns 1 when it already gave the job its blank back page(s) (machine
// duplex, collated copies, odd page count: one blank per copy), so the
// caller must not add another one; 0 otherwise.
int ReplaySpools(const EndOfJobSettings& settings, const cups_page_header2_t& lastHeader,
                 PageSetup& lastSetup);

// Closes every spool that exists, which frees its file; routes output back
// to standard output. Safe to call any number of times, on every exit path.
void RemoveSpools();
