#include "driver/spooling.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "driver/cups_binding.h"
#include "driver/signals.h"
#include "stream/blank_page.h"
#include "stream/output_sink.h"
#include "stream/page_framing.h"

namespace {

constexpr size_t kCollateChunk = 16384;
constexpr size_t kOddPageChunk = 4096;
constexpr size_t kEvenPageChunk = 16384;
// The sink already rides out interrupted and partial writes, so a refusal
// means the back end is in trouble: a few more offers, then give up.
constexpr int kOfferTries = 5;
constexpr long kOfferPauseNs = 20 * 1000 * 1000;
// The spools pass 2 GiB in long jobs; 32-bit builds need large-file offsets.
static_assert(sizeof(off_t) >= 8, "build with _FILE_OFFSET_BITS=64");

// The sink's route to each spool.
int& Route(StreamSink& sink, const Spools& spools, const Spool& spool)
{
    if (&spool == &spools.copy)
        return sink.copySpoolFd;
    if (&spool == &spools.odd)
        return sink.oddSpoolFd;
    return sink.evenSpoolFd;
}

int OpenSpool(Spools& spools, StreamSink& sink, Spool& spool)
{
    if (spool.fd >= 0)
        return 1;
    int fd = cups.cupsTempFd(spool.name, sizeof spool.name);
    if (fd >= 0 && fd <= STDERR_FILENO) {
        // Descriptors 1 and 2 carry the printer stream and the status
        // lines, and 0 may be the raster.
        int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        int savedErrno = errno;
        close(fd);
        if (moved < 0)
            std::remove(spool.name);
        errno = savedErrno;
        fd = moved;
    }
    if (fd < 0)
        return 0;
    // Only the descriptor is needed from here on: however the process ends,
    // even by SIGKILL, the file goes with it.
    std::remove(spool.name);
    spool.fd = fd;
    Route(sink, spools, spool) = fd;
    return 1;
}

void CloseSpool(Spools& spools, StreamSink& sink, Spool& spool)
{
    Route(sink, spools, spool) = -1;
    if (spool.fd >= 0) {
        close(spool.fd);
        spool.fd = -1;
    }
    spool.name[0] = '\0';
}

void PauseBeforeOffer()
{
    timespec pause{0, kOfferPauseNs};
    nanosleep(&pause, nullptr);
}

// What one end of the job works with.
struct Replay {
    Spools& spools;
    StreamSink& sink;
    const StatusReporter& status;
    int pageCount;
    uint32_t& imageChecksum;
    const volatile std::sig_atomic_t& cancel;
};

void ReportPage(const Replay& r, int page, int copies)
{
    ReportStatus(r.status, "PAGE: %d %d\n", page, copies);
}

// Hands one chunk to the sink, offering it again while the sink refuses it,
// but only a few times, not at all once the job is cancelled, and not when
// the printer has failed a write: then the job cannot be printed whole.
int OfferChunk(const Replay& r, const unsigned char* bytes, int length)
{
    for (int attempt = 0; attempt < kOfferTries; ++attempt) {
        if (r.cancel || r.sink.printerWriteError != 0)
            return 0;
        if (attempt > 0)
            PauseBeforeOffer();
        if (SendDataToFile(r.sink, bytes, length, 0))
            return 1;
    }
    return 0;
}

ssize_t ReadSome(const Replay& r, int fd, unsigned char* buffer, size_t count)
{
    ssize_t n;
    do
        n = read(fd, buffer, count);
    while (n < 0 && errno == EINTR && !r.cancel);
    return n;
}

enum class PassEnd { Done, Cancelled, Refused, ReadFailed };

PassEnd ReplayPass(const Replay& r, const Spool& spool, unsigned char* buffer, size_t chunk)
{
    if (lseek(spool.fd, 0, SEEK_SET) != 0)
        return PassEnd::ReadFailed;
    for (;;) {
        if (r.cancel)
            return PassEnd::Cancelled;
        ssize_t n = ReadSome(r, spool.fd, buffer, chunk);
        if (n == 0)
            return PassEnd::Done;
        if (n < 0)
            return PassEnd::ReadFailed;
        if (!OfferChunk(r, buffer, static_cast<int>(n)))
            return r.cancel ? PassEnd::Cancelled : PassEnd::Refused;
    }
}

// Sends the whole spool `passes` times. After each complete pass the pages
// firstPage, firstPage + step, ... up to lastPage are reported as printed.
void ReplayCopies(const Replay& r, Spool& spool, size_t chunk, int passes, int firstPage, int step,
                  int lastPage)
{
    unsigned char buffer[kCollateChunk];
    Route(r.sink, r.spools, spool) = -1;
    for (int pass = 0; pass < passes && !r.cancel; ++pass) {
        PassEnd end = ReplayPass(r, spool, buffer, chunk);
        if (end == PassEnd::ReadFailed)
            ReportStatus(r.status, "ERROR: Unable to read back the spool file of the %s: %s\n", spool.what,
                         std::strerror(errno));
        else if (end == PassEnd::Refused)
            ReportStatus(r.status,
                         "ERROR: The printer connection refuses data; the copies of the %s are not sent\n",
                         spool.what);
        if (end != PassEnd::Done)
            return;
        for (int page = firstPage; page <= lastPage; page += step)
            ReportPage(r, page, 1);
    }
}

// Sends even page 2 (k + 1), which lies at [start, start + length) of the
// even-page spool. It goes out in pieces, each offered once; the bytes are
// the same as if the page were sent whole. Returns 0 when the printer
// refused it.
int SendEvenPage(const Replay& r, int fd, int k, off_t start, off_t length, int copies)
{
    unsigned char buffer[kEvenPageChunk];
    const int page = 2 * (k + 1);
    if (length <= 0) {
        if (length < 0)
            ReportStatus(r.status, "ERROR: Page %d has a bad spooled length and is not sent\n", page);
        return 1;
    }
    off_t sent = 0;
    bool refused = false;
    if (lseek(fd, start, SEEK_SET) == start) {
        while (sent < length) {
            const size_t want = static_cast<size_t>(length - sent);
            ssize_t n = ReadSome(r, fd, buffer, want < sizeof buffer ? want : sizeof buffer);
            if (n <= 0)
                break;
            if (!SendDataToFile(r.sink, buffer, static_cast<int>(n), 0)) {
                refused = true;
                break;
            }
            sent += n;
        }
    }
    if (refused) {
        ReportStatus(r.status, "ERROR: The printer connection refused page %d after %jd of %jd bytes\n", page,
                     static_cast<intmax_t>(sent), static_cast<intmax_t>(length));
        return 0;
    }
    if (sent < length)
        ReportStatus(r.status,
                     "ERROR: Page %d could be read back only in part (%jd of %jd bytes); sent as read\n", page,
                     static_cast<intmax_t>(sent), static_cast<intmax_t>(length));
    if (sent > 0)
        ReportPage(r, page, copies);
    return 1;
}

off_t EvenPageLength(const StreamSink& sink, int k)
{
    const std::vector<off_t>& lengths = sink.evenPageLen;
    return k >= 0 && static_cast<size_t>(k) < lengths.size() ? lengths[static_cast<size_t>(k)] : 0;
}

void AddBlankPage(const Replay& r, const cups_page_header2_t& header, PageSetup& setup, int platform,
                  int copies)
{
    InsertBlankPage(r.sink, header, setup, platform, r.pageCount + 1, r.imageChecksum);
    if (r.sink.printerWriteError == 0)
        ReportPage(r, r.pageCount + 1, copies);
}

// The second half of a manual-duplex job: the odd pages of the further
// copies, the pause for turning the stack, then the even pages backwards.
void ReplayManualDuplex(const Replay& r, const EndOfJobSettings& settings, int copies,
                        const cups_page_header2_t& header, PageSetup& setup)
{
    ReportStatus(r.status, "INFO:%s\n", settings.manualDuplexText ? settings.manualDuplexText : "");
    r.sink.evenSpoolFd = -1;
    const int curPageNum = r.pageCount;

    int evenPasses = 1;
    if (settings.collate == 1) {
        ReplayCopies(r, r.spools.odd, kOddPageChunk, copies - 1, 1, 2, curPageNum);
        evenPasses = copies;
    }
    CloseSpool(r.spools, r.sink, r.spools.odd);

    // From here on, a printer that stopped taking the stream ends the
    // second half: nothing would print as it should.
    if (r.sink.printerWriteError == 0)
        SendManualDuplexCmd(r.sink, settings.platform);

    const int copiesPerPage = settings.collate == 1 ? 1 : (setup.copies > 0 ? setup.copies : 1);
    const bool oddCount = curPageNum % 2 == 1;
    const bool blankLast = settings.outputOrder == 1;
    const off_t total = EvenSpoolBytes(r.sink, curPageNum / 2);

    for (int pass = 0; pass < evenPasses && r.sink.printerWriteError == 0; ++pass) {
        if (oddCount && !blankLast)
            AddBlankPage(r, header, setup, settings.platform, copiesPerPage);
        off_t end = total;
        for (int k = curPageNum / 2 - 1; k >= 0 && r.sink.printerWriteError == 0; --k) {
            const off_t length = EvenPageLength(r.sink, k);
            const off_t start = end - (length > 0 ? length : 0);
            if (!SendEvenPage(r, r.spools.even.fd, k, start, length, copiesPerPage))
                break;
            end = start;
        }
        if (oddCount && blankLast && r.sink.printerWriteError == 0)
            AddBlankPage(r, header, setup, settings.platform, copiesPerPage);
    }
    CloseSpool(r.spools, r.sink, r.spools.even);
}

}  // namespace

int CreateSpools(Spools& spools, StreamSink& sink, const StatusReporter& status, int collate, int copies,
                 int manualDuplex)
{
    if (collate == 1 && copies > 1 && !OpenSpool(spools, sink, spools.copy)) {
        ReportStatus(status, "ERROR: Unable to create the spool file for collated copies: %s\n",
                     std::strerror(errno));
        RemoveSpools(spools, sink);
        return 0;
    }
    if (manualDuplex == 1) {
        sink.toPrinter = 0;
        for (Spool* spool : {&spools.odd, &spools.even}) {
            if (OpenSpool(spools, sink, *spool))
                continue;
            const int savedErrno = errno;
            char text[kSpoolNameSize + 32];
            const int length = std::snprintf(text, sizeof text, "%s file open fail", spool->name);
            outputBusy = 1;
            sink.port.write(sink.port.context, reinterpret_cast<const uint8_t*>(text),
                            static_cast<size_t>(length));
            ReportStatus(status, "ERROR: Unable to create the spool file for the %s of manual duplex: %s\n",
                         spool->what, std::strerror(savedErrno));
            // A name left by the failed attempt is not ours to remove, and
            // RemoveSpools only removes the files it holds.
            RemoveSpools(spools, sink);
            return 0;
        }
    }
    return 1;
}

int SpoolWritesIntact(const StreamSink& sink, const StatusReporter& status)
{
    if (sink.spoolWriteError == 0)
        return 1;
    ReportStatus(status, "ERROR: Unable to write the spool file of this job: %s\n",
                 std::strerror(sink.spoolWriteError));
    return 0;
}

void RoutePageOutput(StreamSink& sink, int manualDuplex, int pageNumber)
{
    RouteSpooledPage(sink, pageNumber);
    if (manualDuplex == 1)
        sink.toPrinter = pageNumber % 2 == 1 ? 1 : 0;
}

int ReplaySpools(Spools& spools, StreamSink& sink, const StatusReporter& status,
                 const EndOfJobSettings& settings, const cups_page_header2_t& lastHeader,
                 PageSetup& lastSetup, uint32_t& imageChecksum)
{
    // Whatever follows (replays, blank page, end of document) is for the
    // printer, also when the last page was an even one of manual duplex.
    sink.toPrinter = 1;
    const int curPageNum = settings.pageCount;
    const volatile std::sig_atomic_t& cancel = settings.cancel != nullptr ? *settings.cancel : cancelRequested;
    if (cancel || curPageNum <= 0) {
        RemoveSpools(spools, sink);
        return 0;
    }
    const Replay r{spools, sink, status, curPageNum, imageChecksum, cancel};
    const int copies = settings.copies > 1 ? settings.copies : 1;
    int blankAdded = 0;

    if (settings.collate == 1 && copies > 1 && settings.manualDuplex != 1 && spools.copy.fd >= 0) {
        if (settings.machineDuplex && curPageNum % 2 == 1) {
            // Recorded with the pages, so that every copy ends on a full
            // sheet and the next one starts on a new one.
            AddBlankPage(r, lastHeader, lastSetup, settings.platform, 1);
            blankAdded = 1;
        }
        if (SpoolWritesIntact(sink, status) && sink.printerWriteError == 0)
            ReplayCopies(r, spools.copy, kCollateChunk, copies - 1, 1, 1, curPageNum + blankAdded);
    }
    // A manual-duplex job replays its odd-page spool instead.
    CloseSpool(spools, sink, spools.copy);

    if (settings.manualDuplex == 1 && spools.odd.fd >= 0 && spools.even.fd >= 0)
        ReplayManualDuplex(r, settings, copies, lastHeader, lastSetup);
    RemoveSpools(spools, sink);
    return blankAdded;
}

off_t EvenSpoolBytes(const StreamSink& sink, int evenPages)
{
    off_t total = 0;
    for (int k = 0; k < evenPages; ++k) {
        const off_t length = EvenPageLength(sink, k);
        total += length > 0 ? length : 0;
    }
    return total;
}

void RemoveSpools(Spools& spools, StreamSink& sink)
{
    for (Spool* spool : {&spools.copy, &spools.odd, &spools.even})
        CloseSpool(spools, sink, *spool);
    sink.toPrinter = 1;
}
