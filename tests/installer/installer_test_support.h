// Small helpers for the installer tests: working
// directory and environment that are put back afterwards, console capture,
// and a stand-in pkexec that records how it was started.
#pragma once

#include <string>
#include <vector>

#include "support/temp_dir.h"

// Leak-check suppressions for toolkit programs: fontconfig keeps its
// one-time allocations until exit.
inline constexpr char kToolkitLeaks[] = "leak:libfontconfig\n";

class ScopedChdir {
public:
    explicit ScopedChdir(const std::string& dir);
    ~ScopedChdir();
    ScopedChdir(const ScopedChdir&) = delete;
    ScopedChdir& operator=(const ScopedChdir&) = delete;

private:
    std::string saved_;
};

// Sets (or, with unset = true, removes) one environment variable for the
// lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const std::string& name, const std::string& value, bool unset = false);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

// Collects what is written to descriptor 1 (stdio is flushed on both ends).
class ConsoleCapture {
public:
    ConsoleCapture();
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;
    std::string Text();

private:
    void Stop();
    int savedFd_ = -1;
    int fileFd_ = -1;
    std::string text_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
void MakeDirs(const std::string& path);

// Puts an executable "pkexec" first on PATH. Each run appends its arguments,
// one per line, and a line "<end>" to a log, writes the texts set to its
// standard output and standard error, and exits with the status set.
class FakePkexec {
public:
    FakePkexec();
    void SetStatus(int status);
    void SetOutput(const std::string& out, const std::string& err);
    // Leaves a program running for that long that holds its output open.
    void SetLinger(int seconds);
    // The argument lists of every run so far.
    std::vector<std::vector<std::string>> Calls() const;

private:
    TempDir dir_;
    ScopedEnv path_;
    ScopedEnv log_;
    ScopedEnv status_;
    ScopedEnv out_;
    ScopedEnv err_;
    ScopedEnv linger_;
};

// Entry names of a directory in the order readdir yields them.
std::vector<std::string> DirectoryOrder(const std::string& dir);
