#include "driver/status.h"

#include <cstdarg>
#include <cstdio>

namespace {

void ToStderr(void*, const char* text)
{
    std::fputs(text, stderr);
}

}  // namespace

StatusReporter StderrReporter()
{
    return {nullptr, ToStderr};
}

void ReportStatus(const StatusReporter& status, const char* format, ...)
{
    // Longer than any line the filter writes: the longest carries the PPD's
    // 1024-byte manual-duplex text.
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (status.line != nullptr)
        status.line(status.context, text);
}
