#include "xvfb_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) {
            end = dirs.size();
        }
        std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace

bool XvfbDisplay::Installed() { return OnPath("Xvfb"); }

std::string XvfbDisplay::Start() {
    if (!Installed()) {
        return "Xvfb is not installed (Debian package xvfb)";
    }
    int fds[2];
    if (pipe(fds) != 0) {
        return std::string("pipe: ") + std::strerror(errno);
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    // Xvfb picks a free display itself and writes its number once it accepts
    // connections.
    const std::string fd = std::to_string(fds[1]);
    std::vector<const char*> argv = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
                                     "-nolisten", "tcp", "-noreset", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    int err = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char* const*>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (err != 0) {
        close(fds[0]);
        pid_ = -1;
        return std::string("cannot start Xvfb: ") + std::strerror(err);
    }
    std::string number;
    pollfd p = {fds[0], POLLIN, 0};
    while (poll(&p, 1, 20000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n') {
            break;
        }
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        Stop();
        return "Xvfb did not report a display";
    }
    name_ = ":" + number;
    setenv("DISPLAY", name_.c_str(), 1);
    return "";
}

void XvfbDisplay::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
}
