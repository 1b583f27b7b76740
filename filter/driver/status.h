// Where the job's status lines go: standard error for the CUPS filter (the
// scheduler reads "INFO:", "ERROR:", "WARNING:", "PAGE:" and "ATTR:" lines
// there), the job log of another front end.
#pragma once

struct StatusReporter {
    void* context;
    // One whole line, its prefix and line feed included.
    void (*line)(void* context, const char* text);
};

// A reporter writing to standard error, unbuffered.
StatusReporter StderrReporter();

// Formats one status line and hands it to the reporter.
void ReportStatus(const StatusReporter& status, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
