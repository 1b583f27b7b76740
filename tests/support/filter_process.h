// Runs the built rasterfilter as the scheduler does: arguments, a PPD in the
// environment, raster on standard input or as a file; collects its output.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

struct FilterRun {
    std::vector<std::string> args;  // job-id user title copies options [file]
    std::string stdinPath;          // raster fed on standard input ("" = empty input)
    // Environment changes: a value sets the variable, nullopt removes it.
    std::map<std::string, std::optional<std::string>> env;
    int timeoutSeconds = 120;
    // Address-space limit of the filter process in bytes (0 = none), to make
    // large allocations fail. Meaningless under AddressSanitizer.
    unsigned long long addressSpaceLimit = 0;
    // File-size limit of the filter process in bytes (0 = none): writes to
    // regular files beyond it fail, as on a full disk.
    unsigned long long fileSizeLimit = 0;
    // Start the filter with its standard output closed.
    bool stdoutClosed = false;
    // Standard output goes to this file (such as /dev/full) instead of
    // being collected; RunFilterProcess only.
    std::string stdoutPath;
};

struct FilterResult {
    int exitStatus = -1;   // -1 when killed by a signal
    int termSignal = 0;
    std::vector<uint8_t> out;
    std::string err;
    std::string OutText() const { return std::string(out.begin(), out.end()); }
};

FilterResult RunFilterProcess(const FilterRun& run);

// A running filter whose standard input the test feeds piece by piece, so
// that it can act at a chosen point of the raster: send a signal, stall the
// input, or close the reading end of the filter's standard output. Output
// is collected all along. run.stdinPath is not used.
class LiveFilter {
public:
    explicit LiveFilter(const FilterRun& run);
    ~LiveFilter();  // kills a filter that is still running
    LiveFilter(const LiveFilter&) = delete;
    LiveFilter& operator=(const LiveFilter&) = delete;

    // Writes the bytes to the filter's standard input; false when the
    // filter no longer reads it.
    bool Feed(const uint8_t* bytes, size_t count);
    bool Feed(const std::vector<uint8_t>& bytes, size_t from, size_t to);
    void CloseInput();
    void Signal(int signalNumber);
    // Collects output until done() holds or timeoutMs have passed; returns
    // done().
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs);
    // Collects output until none has come for quietMs (at most timeoutMs).
    void WaitForQuiet(int quietMs, int timeoutMs = 10000);
    // The back end goes away: the reading end of standard output is closed.
    void CloseOutput();
    // Closes the input and collects everything until the filter ends.
    FilterResult Finish();
    // What has been collected so far.
    const FilterResult& Collected() const { return result_; }
    // Collects only standard error until the filter has filled the pipe of
    // its standard output and is blocked writing to it; returns whether that
    // happened within timeoutMs.
    bool WaitForFullOutputPipe(int timeoutMs);
    // Waits for the filter to end while collecting only standard error, so
    // that a filter blocked writing to a full pipe stays blocked unless it
    // frees itself; returns whether it ended within timeoutMs. Finish()
    // then collects the rest.
    bool WaitForExitWithoutReadingOutput(int timeoutMs);
    // /proc/<pid>/fd entries of the files the filter holds open under dir,
    // removed ones too; stat() on them gives the files' sizes.
    std::vector<std::string> OpenFilesUnder(const std::string& dir) const;
    // Whether the filter has its own handler for the signal yet (under
    // qemu-user: and waits for raster on standard input).
    bool Catches(int signalNumber) const;
    // Whether the filter is blocked reading its standard input now.
    bool BlockedReadingInput() const;
    pid_t pid() const { return pid_; }

private:
    void Pump(int timeoutMs);
    bool BlockedIn(bool write, int fd) const;
    pid_t pid_ = -1;
    bool reaped_ = false;
    int in_ = -1, out_ = -1, err_ = -1;
    int timeoutSeconds_ = 120;
    FilterResult result_;
};

// The usual arguments: job 42, options as given, no file.
std::vector<std::string> JobArgs(const std::string& options = "", const std::string& file = "");


struct TestPpd {
    std::string modelName = "Norvane R05 Series";
    std::string platform;            // PlatForm text; empty: no entry
    std::string manualDuplexText;    // MDuplex text; empty: no entry
    double margins[4] = {0, 0, 0, 0};  // left, bottom, right, top (points)
    std::string extra;               // further PPD lines, as they stand
};

// Writes a small PPD that CUPS's PPD reader accepts; returns its path.
std::string WriteTestPpd(const std::string& path, const TestPpd& ppd);
