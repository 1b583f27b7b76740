#include "installer_test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}

}  // namespace

ScopedChdir::ScopedChdir(const std::string& dir) {
    char buf[4096];
    if (getcwd(buf, sizeof buf) != nullptr) {
        saved_ = buf;
    }
    if (chdir(dir.c_str()) != 0) {
        throw std::runtime_error("chdir failed: " + dir);
    }
}

ScopedChdir::~ScopedChdir() {
    if (!saved_.empty() && chdir(saved_.c_str()) != 0) {
        std::perror("chdir back");
    }
}

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value, bool unset) : name_(name) {
    const char* old = std::getenv(name.c_str());
    had_ = old != nullptr;
    if (had_) {
        old_ = old;
    }
    if (unset) {
        unsetenv(name.c_str());
    } else {
        setenv(name.c_str(), value.c_str(), 1);
    }
}

ScopedEnv::~ScopedEnv() {
    if (had_) {
        setenv(name_.c_str(), old_.c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

ConsoleCapture::ConsoleCapture() {
    std::fflush(stdout);
    char name[] = "/tmp/installer-console-XXXXXX";
    fileFd_ = mkstemp(name);
    if (fileFd_ < 0) {
        throw std::runtime_error("mkstemp failed");
    }
    unlink(name);
    savedFd_ = dup(1);
    dup2(fileFd_, 1);
}

ConsoleCapture::~ConsoleCapture() { Stop(); }

void ConsoleCapture::Stop() {
    if (savedFd_ < 0) {
        return;
    }
    std::fflush(stdout);
    dup2(savedFd_, 1);
    close(savedFd_);
    savedFd_ = -1;
    lseek(fileFd_, 0, SEEK_SET);
    char buf[4096];
    ssize_t n;
    while ((n = read(fileFd_, buf, sizeof buf)) > 0) {
        text_.append(buf, static_cast<size_t>(n));
    }
    close(fileFd_);
    fileFd_ = -1;
}

std::string ConsoleCapture::Text() {
    Stop();
    return text_;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void MakeDirs(const std::string& path) {
    for (size_t pos = 1; pos != std::string::npos;) {
        pos = path.find('/', pos + 1);
        mkdir(path.substr(0, pos).c_str(), 0755);
    }
}

FakePkexec::FakePkexec()
    : path_("PATH", dir_.path() + ":" + Env("PATH")),
      log_("FAKE_PKEXEC_LOG", dir_.File("calls.log")),
      status_("FAKE_PKEXEC_STATUS", "0"),
      out_("FAKE_PKEXEC_OUT", ""),
      err_("FAKE_PKEXEC_ERR", ""),
      linger_("FAKE_PKEXEC_LINGER", "0") {
    const std::string script = dir_.File("pkexec");
    WriteFile(script,
              "#!/bin/sh\n"
              "printf '%s\\n' \"$@\" >> \"$FAKE_PKEXEC_LOG\"\n"
              "echo '<end>' >> \"$FAKE_PKEXEC_LOG\"\n"
              "printf '%s' \"$FAKE_PKEXEC_OUT\"\n"
              "printf '%s' \"$FAKE_PKEXEC_ERR\" >&2\n"
              "[ \"$FAKE_PKEXEC_LINGER\" = 0 ] || sleep \"$FAKE_PKEXEC_LINGER\" &\n"
              "exit \"$FAKE_PKEXEC_STATUS\"\n");
    chmod(script.c_str(), 0755);
}

void FakePkexec::SetStatus(int status) {
    setenv("FAKE_PKEXEC_STATUS", std::to_string(status).c_str(), 1);
}

void FakePkexec::SetOutput(const std::string& out, const std::string& err) {
    setenv("FAKE_PKEXEC_OUT", out.c_str(), 1);
    setenv("FAKE_PKEXEC_ERR", err.c_str(), 1);
}

void FakePkexec::SetLinger(int seconds) {
    setenv("FAKE_PKEXEC_LINGER", std::to_string(seconds).c_str(), 1);
}

std::vector<std::vector<std::string>> FakePkexec::Calls() const {
    std::vector<std::vector<std::string>> calls;
    std::ifstream in(dir_.File("calls.log"));
    std::vector<std::string> current;
    for (std::string line; std::getline(in, line);) {
        if (line == "<end>") {
            calls.push_back(current);
            current.clear();
        } else {
            current.push_back(line);
        }
    }
    return calls;
}

std::vector<std::string> DirectoryOrder(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            names.push_back(e->d_name);
        }
        closedir(d);
    }
    return names;
}
