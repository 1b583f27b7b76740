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
#include "driver/filter_state.h"
#include "stream/blank_page.h"
#include "stream/output_sink.h"
#include "stream/page_framing.h"

char copySpoolName[255];
char oddSpoolName[255];
char evenSpoolName[255];

namespace {

constexpr size_t kCollateChunk = 16384;
constexpr size_t kOddPageChunk = 4096;
constexpr size_t kEvenPageChunk = 16384;
// The sink already rides out interrupted and partial writes, so a refusal
// means the back end is in trouble: a few more offers, then give up.
constexpr int kOfferTries = 5;
constexpr long kOfferPauseNs = 20 * 1000 * 1000;

// The routing variable (copySpoolFd, ...) is what the sink writes to; it is
// cleared while a spool is read back, so nothing sent meanwhile can land in
// the file being read. The descriptor kept here is all that is left of the
// file, whose name is removed as soon as it is open.
struct Spool {
    int* route;
    char* name;
    const char* what;
    int fd;
};

Spool copySpool{&copySpoolFd, copySpoolName, "collated copies", -1};
Spool oddSpool{&oddSpoolFd, oddSpoolName, "odd pages", -1};
Spool evenSpool{&evenSpoolFd, evenSpoolName, "even pages", -1};
Spool* const allSpools[] = {&copySpool, &oddSpool, &evenSpool};

void CleanUpAtExit()
{
    RemoveSpools();
}

int OpenSpool(Spool& spool)
{
    if (spool.fd >= 0)
        return 1;
    int fd = cups.cupsTempFd(spool.name, sizeof copySpoolName);
    if (fd >= 0 && fd <= STDERR_FILENO) {
        // Descriptor 0 would read as "no spool" to the sink, and 1 and 2
        // carry the printer stream and the status lines.
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
    *spool.route = fd;
    return 1;
}

void CloseSpool(Spool& spool)
{
    *spool.route = 0;
    if (spool.fd >= 0) {
        close(spool.fd);
        spool.fd = -1;
    }
    spool.name[0] = '\0';
}

void ReportPage(int page, int copies)
{
    std::fprintf(stderr, "PAGE: %d %d\n", page, copies);
}

void PauseBeforeOffer()
{
    timespec pause{0, kOfferPauseNs};
    nanosleep(&pause, nullptr);
}

// Hands one chunk to the sink, offering it again while the sink refuses it,
// but only a few times, not at all once the job is cancelled, and not when
// the printer has failed a write: then the job cannot be printed whole.
int OfferChunk(const unsigned char* bytes, int length)
{
    for (int attempt = 0; attempt < kOfferTries; ++attempt) {
        if (cancelRequested || printerWriteError != 0)
            return 0;
        if (attempt > 0)
            PauseBeforeOffer();
        if (SendDataToFile(bytes, length, 0))
            return 1;
    }
    return 0;
}

ssize_t ReadSome(int fd, unsigned char* buffer, size_t count)
{
    ssize_t n;
    do
        n = read(fd, buffer, count);
    while (n < 0 && errno == EINTR && !cancelRequested);
    return n;
}

enum class PassEnd { Done, Cancelled, Refused, ReadFailed };

PassEnd ReplayPass(const Spool& spool, unsigned char* buffer, size_t chunk)
{
    if (lseek(spool.fd, 0, SEEK_SET) != 0)
        return PassEnd::ReadFailed;
    for (;;) {
        if (cancelRequested)
            return PassEnd::Cancelled;
        ssize_t n = ReadSome(spool.fd, buffer, chunk);
        if (n == 0)
            return PassEnd::Done;
        if (n < 0)
            return PassEnd::ReadFailed;
        if (!OfferChunk(buffer, static_cast<int>(n)))
            return cancelRequested ? PassEnd::Cancelled : PassEnd::Refused;
    }
}

// Sends the whole spool `passes` times. After each complete pass the pages
// firstPage, firstPage + step, ... up to lastPage are reported as printed.
void ReplayCopies(Spool& spool, size_t chunk, int passes, int firstPage, int step, int lastPage)
{
    static unsigned char buffer[kCollateChunk];
    *spool.route = 0;
    for (int pass = 0; pass < passes && !cancelRequested; ++pass) {
        PassEnd end = ReplayPass(spool, buffer, chunk);
        if (end == PassEnd::ReadFailed)
            std::fprintf(stderr, "ERROR: Unable to read back the spool file of the %s: %s\n", spool.what,
                         std::strerror(errno));
        else if (end == PassEnd::Refused)
            std::fprintf(stderr, "ERROR: The printer connection refuses data; the copies of the %s are not sent\n",
                         spool.what);
        std::fflush(stdout);
        if (end != PassEnd::Done)
            return;
        for (int page = firstPage; page <= lastPage; page += step)
            ReportPage(page, 1);
    }
}

// Sends even page 2 (k + 1), which lies at [start, start + length) of the
// even-page spool. It goes out in pieces, each offered once; the bytes are
// the same as if the page were sent whole. Returns 0 when the printer
// refused it.
int SendEvenPage(int fd, int k, long start, long length, int copies)
{
    static unsigned char buffer[kEvenPageChunk];
    const int page = 2 * (k + 1);
    if (length <= 0) {
        if (length < 0)
            std::fprintf(stderr, "ERROR: Page %d has a bad spooled length and is not sent\n", page);
        return 1;
    }
    long sent = 0;
    bool refused = false;
    if (lseek(fd, start, SEEK_SET) == start) {
        while (sent < length) {
            const size_t want = static_cast<size_t>(length - sent);
            ssize_t n = ReadSome(fd, buffer, want < sizeof buffer ? want : sizeof buffer);
            if (n <= 0)
                break;
            if (!SendDataToFile(buffer, static_cast<int>(n), 0)) {
                refused = true;
                break;
            }
            sent += n;
        }
    }
    if (refused) {
        std::fprintf(stderr, "ERROR: The printer connection refused page %d after %ld of %ld bytes\n", page, sent,
                     length);
        return 0;
    }
    if (sent < length)
        std::fprintf(stderr, "ERROR: Page %d could be read back only in part (%ld of %ld bytes); sent as read\n",
                     page, sent, length);
    if (sent > 0)
        ReportPage(page, copies);
    return 1;
}

long EvenPageLength(int k)
{
    return k >= 0 && static_cast<size_t>(k) < evenPageLen.size() ? evenPageLen[static_cast<size_t>(k)] : 0;
}

void AddBlankPage(const cups_page_header2_t& header, PageSetup& setup, int platform, int copies)
{
    InsertBlankPage(header, setup, platform);
    if (printerWriteError == 0)
        ReportPage(curPageNum + 1, copies);
}

// The second half of a manual-duplex job: the odd pages of the further
// copies, the pause for turning the stack, then the even pages backwards.
void ReplayManualDuplex(const EndOfJobSettings& settings, int copies, const cups_page_header2_t& header,
                        PageSetup& setup)
{
    std::fprintf(stderr, "INFO:%s\n", settings.manualDuplexText ? settings.manualDuplexText : "");
    *evenSpool.route = 0;

    int evenPasses = 1;
    if (settings.collate == 1) {
        ReplayCopies(oddSpool, kOddPageChunk, copies - 1, 1, 2, curPageNum);
        evenPasses = copies;
    }
    CloseSpool(oddSpool);

    // From here on, a printer that stopped taking the stream ends the
    // second half: nothing would print as it should.
    if (printerWriteError == 0)
        SendManualDuplexCmd(settings.platform);

    const int copiesPerPage = settings.collate == 1 ? 1 : (setup.copies > 0 ? setup.copies : 1);
    const bool oddCount = curPageNum % 2 == 1;
    const bool blankLast = settings.outputOrder == 1;
    long total = 0;
    for (int k = 0; k < curPageNum / 2; ++k)
        total += EvenPageLength(k) > 0 ? EvenPageLength(k) : 0;

    for (int pass = 0; pass < evenPasses && printerWriteError == 0; ++pass) {
        if (oddCount && !blankLast)
            AddBlankPage(header, setup, settings.platform, copiesPerPage);
        long end = total;
        for (int k = curPageNum / 2 - 1; k >= 0 && printerWriteError == 0; --k) {
            long length = EvenPageLength(k);
            long start = end - (length > 0 ? length : 0);
            if (!SendEvenPage(evenSpool.fd, k, start, length, copiesPerPage))
                break;
            end = start;
        }
        if (oddCount && blankLast && printerWriteError == 0)
            AddBlankPage(header, setup, settings.platform, copiesPerPage);
        std::fflush(stdout);
    }
    CloseSpool(evenSpool);
}

}  // namespace

int CreateSpools(int collate, int copies, int manualDuplex)
{
    static bool cleanUpRegistered = false;
    if (!cleanUpRegistered) {
        // Whatever way the process ends, no spool file outlives it.
        std::atexit(CleanUpAtExit);
        cleanUpRegistered = true;
    }

    if (collate == 1 && copies > 1 && !OpenSpool(copySpool)) {
        std::fprintf(stderr, "ERROR: Unable to create the spool file for collated copies: %s\n",
                     std::strerror(errno));
        RemoveSpools();
        return 0;
    }
    if (manualDuplex == 1) {
        sendToStdout = 0;
        for (Spool* spool : {&oddSpool, &evenSpool}) {
            if (OpenSpool(*spool))
                continue;
            const int savedErrno = errno;
            outputBusy = 1;
            std::printf("%s file open fail", spool->name);
            std::fflush(stdout);
            std::fprintf(stderr, "ERROR: Unable to create the spool file for the %s of manual duplex: %s\n",
                         spool->what, std::strerror(savedErrno));
            // A name left by the failed attempt is not ours to remove, and
            // RemoveSpools only removes the files it holds.
            RemoveSpools();
            return 0;
        }
    }
    return 1;
}

int SpoolWritesIntact()
{
    if (spoolWriteError == 0)
        return 1;
    std::fprintf(stderr, "ERROR: Unable to write the spool file of this job: %s\n", std::strerror(spoolWriteError));
    return 0;
}

void RoutePageOutput(int manualDuplex)
{
    if (manualDuplex == 1)
        sendToStdout = curPageNum % 2 == 1 ? 1 : 0;
}

int ReplaySpools(const EndOfJobSettings& settings, const cups_page_header2_t& lastHeader, PageSetup& lastSetup)
{
    // Whatever follows (replays, blank page, end of document) is for the
    // printer, also when the last page was an even one of manual duplex.
    sendToStdout = 1;
    if (cancelRequested || curPageNum <= 0) {
        RemoveSpools();
        return 0;
    }
    const int copies = settings.copies > 1 ? settings.copies : 1;
    int blankAdded = 0;

    if (settings.collate == 1 && copies > 1 && settings.manualDuplex != 1 && copySpool.fd >= 0) {
        if (settings.machineDuplex && curPageNum % 2 == 1) {
            // Recorded with the pages, so that every copy ends on a full
            // sheet and the next one starts on a new one.
            AddBlankPage(lastHeader, lastSetup, settings.platform, 1);
            blankAdded = 1;
        }
        if (SpoolWritesIntact() && printerWriteError == 0)
            ReplayCopies(copySpool, kCollateChunk, copies - 1, 1, 1, curPageNum + blankAdded);
    }
    // A manual-duplex job replays its odd-page spool instead.
    CloseSpool(copySpool);
    std::fflush(stdout);

    if (settings.manualDuplex == 1 && oddSpool.fd >= 0 && evenSpool.fd >= 0)
        ReplayManualDuplex(settings, copies, lastHeader, lastSetup);
    RemoveSpools();
    return blankAdded;
}

void RemoveSpools()
{
    for (Spool* spool : allSpools)
        CloseSpool(*spool);
    sendToStdout = 1;
}
