// Whole-filter benchmark: runs rasterfilter on a 10-page A4 600-dpi grey job
// for each printer platform and sets its time and peak memory against the
// floor that any filter built on libcups and JBIG-KIT must pay: reading the
// raster with libcups, and JBIG-KIT encoding the same page bitmaps with the
// platform's settings.
//
//   filter_bench RASTERFILTER [WORKDIR] [--record|--check FILE] [--streams-only]
//
// --record writes a digest of each platform's streams to FILE (the plain job,
// the turned jobs and a few option variants); --check compares against it,
// so an optimisation that changes a byte is caught. --streams-only runs each
// stream once and measures nothing: the check for a filter built for another
// architecture, which runs many times slower under an emulator.
//
// Memory: the peak resident size of each job above that of an empty job
// (the libraries' baseline), against the page's bitmap: the only page-sized
// memory the filter should hold.
#include <cups/raster.h>
#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <jbig.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "driver/printer_models.h"
#include "imaging/screening.h"

namespace {

constexpr unsigned kPages = 10;
constexpr unsigned kDpi = 600;

// A job of pages of one size; the raster covers the printer's bitmap.
struct JobShape {
    unsigned widthPt, heightPt;
    unsigned width, height;  // pixels and lines
    unsigned pages;
    unsigned dpi = kDpi;
    bool compressed = false;  // the 1200-dpi jobs would fill the disk otherwise
};
// A4 with the bitmap of the paper tables at 600 dpi (platform 3 row; the
// other platforms' rows differ by a few lines).
constexpr JobShape kA4 = {595, 842, 4736, 6784, kPages};
// A5 fed long edge first: every page is turned a quarter.
constexpr JobShape kA5 = {421, 595, 3264, 4736, 2};
// Platform 1 at 1200 dpi: one page each, for the memory figures.
constexpr JobShape kA4At1200 = {595, 842, 2 * 4736, 2 * 6784, 1, 1200, true};
constexpr JobShape kA5At1200 = {421, 595, 2 * 3264, 2 * 4736, 1, 1200, true};
constexpr unsigned kWidth = kA4.width, kHeight = kA4.height;

// Times are processor time (user and system), of the filter process and of
// this one for the floor: on a machine that others share, wall time says
// more about them than about the filter.
double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double Ms(const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; }

// Text-like rows of glyph boxes, a smooth gradient, a photo-like area and
// white margins: what a typical office page holds.
uint8_t Content(const JobShape& job, unsigned page, unsigned x, unsigned y,
              std::vector<uint8_t>& noise)
{
    const unsigned margin = 300 * job.dpi / kDpi;
    if (x < margin || y < margin || x >= job.width - margin || y >= job.height - margin)
        return 255;
    if (y < 2600) {  // text: 60-pixel lines, glyphs 30 wide with gaps
        unsigned line = (y - margin) % 100, col = (x - margin) % 40;
        bool ink = line < 60 && col < 30 && ((x / 40 + y / 100 + page) % 7 != 0) &&
                   ((x * 7 + y * 3) % 11 < 6);
        return ink ? 0 : 255;
    }
    if (y < 4000)  // gradient
        return static_cast<uint8_t>((x - margin) * 255 / (job.width - 2 * margin));
    // photo-like: smooth blobs plus grain
    double v = 128 + 60 * std::sin(x / 90.0 + page) * std::cos(y / 70.0) +
               40 * std::sin((x + y) / 33.0);
    v += noise[(x * 31 + y * 17) % noise.size()] - 16;
    return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
}

void WriteJob(const std::string& path, const JobShape& job)
{
    std::vector<uint8_t> noise(65537);
    std::mt19937 rng(7);
    for (auto& n : noise)
        n = rng() % 32;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    cups_raster_t* ras = cupsRasterOpen(fd, job.compressed ? CUPS_RASTER_WRITE_COMPRESSED : CUPS_RASTER_WRITE);
    std::vector<uint8_t> line(job.width);
    for (unsigned p = 0; p < job.pages; ++p) {
        cups_page_header2_t h{};
        h.PageSize[0] = job.widthPt;
        h.PageSize[1] = job.heightPt;
        h.HWResolution[0] = h.HWResolution[1] = job.dpi;
        h.NumCopies = 1;
        h.cupsWidth = job.width;
        h.cupsHeight = job.height;
        h.cupsBitsPerColor = 8;
        h.cupsBitsPerPixel = 8;
        h.cupsBytesPerLine = job.width;
        h.cupsColorSpace = CUPS_CSPACE_W;
        h.cupsNumColors = 1;
        cupsRasterWriteHeader2(ras, &h);
        for (unsigned y = 0; y < job.height; ++y) {
            for (unsigned x = 0; x < job.width; ++x)
                line[x] = job.dpi == kDpi ? Content(job, p, x, y, noise)
                                          : Content(kA4, p, x * kDpi / job.dpi % kA4.width,
                                                    y * kDpi / job.dpi % kA4.height, noise);
            cupsRasterWritePixels(ras, line.data(), job.width);
        }
    }
    cupsRasterClose(ras);
    close(fd);
}

struct Platform {
    int number;
    const char* model;
    const char* name;
};

const Platform kPlatforms[] = {
    {1, "Norvane R32 Series", "PLATFORM_C"},
    {2, "Norvane R03 Series", "PLATFORM_Z"},
    {3, "Norvane R05 Series", "PLATFORM_M"},
};

std::string WritePpd(const std::string& dir, const Platform& p)
{
    std::string path = dir + "/platform" + std::to_string(p.number) + ".ppd";
    std::ofstream f(path);
    f << "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
         "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n*PCFileName: \"BENCH.PPD\"\n"
         "*Manufacturer: \"Norvane\"\n*Product: \"(Bench)\"\n*ModelName: \"" << p.model << "\"\n"
      << "*ShortNickName: \"Bench\"\n*NickName: \"Bench\"\n*HWMargins: 0 0 0 0\n"
      << "*cupsIPPReason PlatForm/" << p.name << ": \"\"\n";
    return path;
}

// The document start carries the clock and the host's name (the PJL job
// time and owner on platform 2, the date packet on platform 1); they are
// blanked so that the digest covers only what the job's pages decide.
constexpr size_t kStreamHead = 4096;

void MaskClockAndHost(std::vector<uint8_t>& head, int platform)
{
    const auto end = head.end();
    for (const std::string label : {"@PJL JOBTIME=", "@PJL JOBOWNER="}) {
        auto at = std::search(head.begin(), end, label.begin(), label.end());
        if (at == end)
            continue;
        for (at += static_cast<std::ptrdiff_t>(label.size()); at < end && *at != '\r'; ++at)
            *at = '#';
    }
    const uint8_t sysTime[] = {0x0B, 0x08, 0x1F};  // mark, length, opcode
    auto at = std::search(head.begin(), end, std::begin(sysTime), std::end(sysTime));
    if (platform == 1 && end - at >= 8)
        std::fill(at + 3, at + 8, 0);  // date and checksum
}

// FNV-1a of the stream file, read piece by piece: this process stays small,
// since every filter it forks is charged for its resident memory until exec.
uint64_t DigestFile(const std::string& path, int platform)
{
    uint64_t h = 1469598103934665603ull;
    uint64_t size = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return 0;
    std::vector<uint8_t> piece(kStreamHead);
    for (bool head = true;; head = false) {
        piece.resize(std::fread(piece.data(), 1, kStreamHead, f));
        if (piece.empty())
            break;
        if (head)
            MaskClockAndHost(piece, platform);
        for (uint8_t b : piece)
            h = (h ^ b) * 1099511628211ull;
        size += piece.size();
        piece.resize(kStreamHead);
    }
    std::fclose(f);
    return h ^ size;
}

struct FilterFigures {
    double ms = 0;
    long peakKb = 0;
    uint64_t digest = 0;  // of the printer stream
};

FilterFigures RunFilter(const std::string& filter, const std::string& ppd, const std::string& job,
                        const std::string& options, const std::string& outPath, int platform,
                        int expectedStatus = 0)
{
    FilterFigures f;
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open("/dev/null", O_WRONLY);
        dup2(out, 1);
        dup2(err, 2);
        setenv("PPD", ppd.c_str(), 1);
        // The keep-alive filler goes out when a page takes the printer's
        // timeout to make, which under an emulator or on a busy machine
        // depends on the moment: the recorded streams are those of pages
        // made in time. A blocked SIGALRM stays blocked across exec.
        sigset_t alarm;
        sigemptyset(&alarm);
        sigaddset(&alarm, SIGALRM);
        sigprocmask(SIG_BLOCK, &alarm, nullptr);
        execl(filter.c_str(), filter.c_str(), "1", "bench", "bench", "1", options.c_str(),
              job.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage use{};
    wait4(pid, &status, 0, &use);
    f.ms = Ms(use.ru_utime) + Ms(use.ru_stime);
    f.peakKb = use.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != expectedStatus)
        std::fprintf(stderr, "filter_bench: rasterfilter failed (status %d)\n", status);
    f.digest = DigestFile(outPath, platform);
    unlink(outPath.c_str());
    return f;
}

// Reads every page of the job with libcups into one page buffer; hands each
// page to onPage when given.
double ReadFloorMs(const std::string& job,
                   const std::function<void(const std::vector<uint8_t>&)>& onPage = {})
{
    const double start = CpuMs();
    int fd = open(job.c_str(), O_RDONLY);
    cups_raster_t* ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t h;
    std::vector<uint8_t> page;
    while (cupsRasterReadHeader2(ras, &h)) {
        page.resize(static_cast<size_t>(h.cupsBytesPerLine) * h.cupsHeight);
        for (unsigned y = 0; y < h.cupsHeight; ++y)
            cupsRasterReadPixels(ras, page.data() + static_cast<size_t>(y) * h.cupsBytesPerLine,
                                 h.cupsBytesPerLine);
        if (onPage)
            onPage(page);
    }
    cupsRasterClose(ras);
    close(fd);
    return CpuMs() - start;
}

void CountBytes(unsigned char*, size_t len, void* total) { *static_cast<size_t*>(total) += len; }

size_t Encode(uint8_t* bits, unsigned xd, unsigned yd, int platform)
{
    size_t total = 0;
    unsigned char* planes[1] = {bits};
    jbg_enc_state s;
    jbg_enc_init(&s, xd, yd, 1, planes, CountBytes, &total);
    jbg_enc_layers(&s, 0);
    if (platform == 1) {
        jbg_enc_lrange(&s, 0, -1);
        jbg_enc_options(&s, 0, 0x08, 768, 8, 0);
    } else if (platform == 2) {
        jbg_enc_lrange(&s, 255, -1);
        jbg_enc_options(&s, 3, 0x58, yd, 0, 0);
    } else {
        jbg_enc_lrange(&s, 0, -1);
        jbg_enc_options(&s, 3, 0x5C, 256, 0, 0);
    }
    jbg_enc_out(&s);
    jbg_enc_free(&s);
    return total;
}

// JBIG-KIT's own encoding of the screened pages with the platform's settings.
double EncodeFloorMs(const std::vector<std::vector<uint8_t>>& bitmaps, int platform)
{
    const unsigned rowBytes = kWidth / 8;
    const double start = CpuMs();
    for (const auto& page : bitmaps) {
        std::vector<uint8_t> bits = page;  // the encoder may not keep its input
        if (platform == 2) {
            for (unsigned y = 0; y < kHeight; y += 256) {
                unsigned lines = std::min(256u, kHeight - y);
                Encode(bits.data() + static_cast<size_t>(y) * rowBytes, kWidth, lines, 2);
            }
        } else {
            Encode(bits.data(), kWidth, kHeight, platform);
        }
    }
    return CpuMs() - start;
}

// The floor of one job, measured in a child of its own: the page bitmaps
// it screens beforehand would otherwise stay in this process and be
// charged to every filter forked after them until its exec.
double FloorMsInChild(const std::string& job, int platform)
{
    int fds[2];
    if (pipe(fds) != 0)
        return 1e300;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::vector<std::vector<uint8_t>> bitmaps;
        ReadFloorMs(job, [&](const std::vector<uint8_t>& grey) {
            std::vector<uint8_t> bits(kWidth / 8 * static_cast<size_t>(kHeight), 0);
            ScreenPage(grey.data(), kWidth, kHeight, bits.data(), kWidth, 0, 0, platform);
            bitmaps.push_back(std::move(bits));
        });
        const double ms = ReadFloorMs(job) + EncodeFloorMs(bitmaps, platform);
        const bool sent = write(fds[1], &ms, sizeof ms) == static_cast<ssize_t>(sizeof ms);
        _exit(sent ? 0 : 1);
    }
    close(fds[1]);
    double ms = 1e300;
    if (pid < 0 || read(fds[0], &ms, sizeof ms) != static_cast<ssize_t>(sizeof ms))
        ms = 1e300;
    close(fds[0]);
    if (pid > 0)
        waitpid(pid, nullptr, 0);
    return ms;
}

// Bytes of the page's bitmap as the platform's paper table sizes it.
double BitmapMiB(const Platform& p, const JobShape& job, int bits)
{
    int platform = p.number;
    const PaperSize* table = SelectModel(p.model, &platform);
    int longEdge = 0;
    const unsigned size[2] = {job.widthPt, job.heightPt};
    const int row = FindPaperSize(size, table, &longEdge);
    if (row < 0)
        return 0;
    const double scale = job.dpi / double(kDpi);
    return table[row].imageWidth * scale * table[row].imageHeight * scale * bits / 8 / (1024.0 * 1024.0);
}

struct MemoryRow {
    std::string job;
    long peakKb;
    double bitmapMiB;
};

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: filter_bench RASTERFILTER [WORKDIR] [--record|--check FILE] "
                             "[--streams-only]\n");
        return 2;
    }
    std::string filter = argv[1];
    std::string dir = argc > 2 && argv[2][0] != '-' ? argv[2] : "/tmp";
    std::string mode, digestFile;
    bool streamsOnly = false;
    for (int i = 2; i < argc; ++i)
        if (i + 1 < argc && (!std::strcmp(argv[i], "--record") || !std::strcmp(argv[i], "--check"))) {
            mode = argv[i];
            digestFile = argv[i + 1];
        } else if (!std::strcmp(argv[i], "--streams-only")) {
            streamsOnly = true;
        }

    const std::string job = dir + "/bench-job.ras";
    const std::string a5job = dir + "/bench-a5.ras";
    const std::string hiresJob = dir + "/bench-1200.ras";
    const std::string hiresA5Job = dir + "/bench-a5-1200.ras";
    const std::string emptyJob = dir + "/bench-empty.ras";
    WriteJob(job, kA4);
    WriteJob(a5job, kA5);
    if (!streamsOnly) {  // for the memory figures only
        WriteJob(hiresJob, kA4At1200);
        WriteJob(hiresA5Job, kA5At1200);
        std::fclose(std::fopen(emptyJob.c_str(), "wb"));
    }

    // The jobs above are over a gigabyte: let the kernel write them out now,
    // not while the first platform is being timed.
    sync();
    ReadFloorMs(job);  // warm the file cache

    // One line per stream: platform, variant ("-" for the plain job), digest.
    std::map<std::string, uint64_t> expected;
    if (mode == "--check") {
        std::ifstream in(digestFile);
        std::string line;
        while (std::getline(in, line)) {
            char key[64];
            unsigned long long d;
            int p;
            if (std::sscanf(line.c_str(), "%d %63s %llx", &p, key, &d) == 3)
                expected[std::to_string(p) + " " + key] = d;
        }
    }
    std::ofstream record;
    if (mode == "--record")
        record.open(digestFile);

    if (!streamsOnly)
        std::printf("%-9s %12s %12s %7s   (processor time)\n", "platform", "filter ms/p", "floor ms/p",
                    "ratio");
    std::vector<std::pair<int, MemoryRow>> memory;
    int failures = 0, checked = 0;
    for (const Platform& p : kPlatforms) {
        std::string ppd = WritePpd(dir, p);
        std::string out = dir + "/bench-platform" + std::to_string(p.number) + ".prn";

        // Filter and floor take turns, best of seven each, so that a busy
        // moment of the machine weighs on both alike or on neither.
        FilterFigures best;
        double floorMs = 1e300;
        for (int run = 0; run < (streamsOnly ? 1 : 7); ++run) {
            FilterFigures f = RunFilter(filter, ppd, job, "", out, p.number);
            if (run == 0 || f.ms < best.ms)
                best = std::move(f);
            if (!streamsOnly)
                floorMs = std::min(floorMs, FloorMsInChild(job, p.number));
        }

        // Half turn (the rotation option) and quarter turn (A5 fed long
        // edge first): the turned page needs a second page of room.
        FilterFigures half = RunFilter(filter, ppd, job, "ImageRotation=true", out, p.number);
        FilterFigures quarter = RunFilter(filter, ppd, a5job, "FeedLongEdge=true", out, p.number);
        malloc_trim(0);

        if (!streamsOnly)
            std::printf("%-9d %12.1f %12.1f %7.2f\n", p.number, best.ms / kPages, floorMs / kPages,
                        best.ms / floorMs);
        const FilterFigures empty =
            streamsOnly ? FilterFigures{} : RunFilter(filter, ppd, emptyJob, "", out, p.number, 1);
        memory.push_back({p.number, {"empty job", empty.peakKb, 0}});
        memory.push_back({p.number, {"A4 600 dpi", best.peakKb, BitmapMiB(p, kA4, 1)}});
        memory.push_back({p.number, {"A4 600 dpi, turned 180", half.peakKb, BitmapMiB(p, kA4, 1)}});
        memory.push_back({p.number, {"A5 600 dpi, turned 90", quarter.peakKb, BitmapMiB(p, kA5, 1)}});
        if (p.number == 1 && !streamsOnly) {
            const FilterFigures hires = RunFilter(filter, ppd, hiresJob, "", out, p.number);
            const FilterFigures hiresHalf = RunFilter(filter, ppd, hiresJob, "ImageRotation=true", out, p.number);
            const FilterFigures hiresQuarter =
                RunFilter(filter, ppd, hiresA5Job, "FeedLongEdge=true", out, p.number);
            memory.push_back({p.number, {"A4 1200 dpi", hires.peakKb, BitmapMiB(p, kA4At1200, 1)}});
            memory.push_back({p.number, {"A4 1200 dpi, turned 180", hiresHalf.peakKb, BitmapMiB(p, kA4At1200, 1)}});
            memory.push_back(
                {p.number, {"A5 1200 dpi, turned 90", hiresQuarter.peakKb, BitmapMiB(p, kA5At1200, 1)}});
        }

        // Streams checked besides the measured ones: negative print, and
        // the quarter turn after a half turn, whose raster columns become
        // the bitmap's lines; two bits per pixel where the platform has it.
        std::vector<std::pair<std::string, uint64_t>> streams = {
            {"-", best.digest}, {"half", half.digest}, {"quarter", quarter.digest}};
        auto variant = [&](const char* name, const std::string& jobPath, const char* options) {
            const FilterFigures f = RunFilter(filter, ppd, jobPath, options, out, p.number);
            streams.emplace_back(name, f.digest);
            return f;
        };
        variant("negative", job, "NegativePrint=true");
        variant("quarter-half-negative", a5job, "FeedLongEdge=true ImageRotation=true NegativePrint=true");
        if (p.number == 3) {
            const FilterFigures twoBit = variant("two-bit", job, "DPI1200=true");
            const FilterFigures twoBitTurned =
                variant("two-bit-quarter-half", a5job, "DPI1200=true FeedLongEdge=true ImageRotation=true");
            memory.push_back({p.number, {"A4 600 dpi, 2-bit", twoBit.peakKb, BitmapMiB(p, kA4, 2)}});
            memory.push_back(
                {p.number, {"A5 600 dpi, 2-bit, turned 90 + 180", twoBitTurned.peakKb, BitmapMiB(p, kA5, 2)}});
        }
        unlink(ppd.c_str());

        for (const auto& [name, digest] : streams) {
            const std::string key = std::to_string(p.number) + " " + name;
            if (record.is_open())
                record << key << ' ' << std::hex << digest << std::dec << '\n';
            if (mode == "--check") {
                ++checked;
                auto it = expected.find(key);
                if (it == expected.end()) {
                    std::printf("platform %d, %s: no recorded stream\n", p.number, name.c_str());
                    ++failures;
                } else if (it->second != digest) {
                    std::printf("platform %d, %s: the stream differs from the recorded one\n",
                                p.number, name.c_str());
                    ++failures;
                }
            }
        }
    }
    for (const std::string& path : {job, a5job, hiresJob, hiresA5Job, emptyJob})
        unlink(path.c_str());
    if (mode == "--check")
        std::printf("streams: %d checked, %d not as recorded\n", checked, failures);
    if (streamsOnly)
        return failures ? 1 : 0;
    std::printf("ratio = filter / floor (10-page A4 600-dpi job)\n\n");

    std::printf("%-9s %-36s %9s %12s %11s %13s\n", "platform", "job", "peak MiB", "above empty",
                "bitmap MiB", "above/bitmap");
    long emptyKb = 0;
    for (const auto& [platform, row] : memory) {
        if (row.bitmapMiB == 0) {
            emptyKb = row.peakKb;
            std::printf("%-9d %-36s %9.1f\n", platform, row.job.c_str(), row.peakKb / 1024.0);
            continue;
        }
        const double above = (row.peakKb - emptyKb) / 1024.0;
        std::printf("%-9d %-36s %9.1f %12.1f %11.1f %13.2f\n", platform, row.job.c_str(), row.peakKb / 1024.0,
                    above, row.bitmapMiB, above / row.bitmapMiB);
    }
    std::printf("above empty = peak resident memory less that of an empty job; target: above/bitmap <= 1.5\n");
    return failures ? 1 : 0;
}
