// A private Xvfb server for the window tests: started on a free display,
// made the DISPLAY of this process, and stopped when the tests end.
#pragma once

#include <string>

#include <sys/types.h>

class XvfbDisplay {
public:
    XvfbDisplay() = default;
    ~XvfbDisplay() { Stop(); }
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    // Whether the Xvfb program is there at all.
    static bool Installed();
    // Empty on success, otherwise why no server could be had.
    std::string Start();
    void Stop();
    const std::string& name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};
