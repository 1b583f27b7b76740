#include "package_install.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "installer_folder.h"

extern char** environ;

char rpmPath[kRpmPathSize];
std::vector<std::string> rpmPathList;
std::string packageFolder;

// The package this project builds is named after the Debian architecture of
// the build, so look for exactly that one.
#if defined(__i386__)
#define NORVANE_DEB_ARCH "i386"
#elif defined(__x86_64__) && defined(__ILP32__)
#define NORVANE_DEB_ARCH "x32"
#elif defined(__x86_64__)
#define NORVANE_DEB_ARCH "amd64"
#elif defined(__aarch64__)
#define NORVANE_DEB_ARCH "arm64"
#elif defined(__arm__) && defined(__ARM_PCS_VFP)
#define NORVANE_DEB_ARCH "armhf"
#elif defined(__arm__)
#define NORVANE_DEB_ARCH "armel"
#elif defined(__powerpc64__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define NORVANE_DEB_ARCH "ppc64el"
#elif defined(__s390x__)
#define NORVANE_DEB_ARCH "s390x"
#elif defined(__riscv) && __riscv_xlen == 64
#define NORVANE_DEB_ARCH "riscv64"
#elif defined(__mips64) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define NORVANE_DEB_ARCH "mips64el"
#elif defined(__mips__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define NORVANE_DEB_ARCH "mipsel"
#elif defined(__loongarch64)
#define NORVANE_DEB_ARCH "loong64"
#elif defined(NORVANE_DPKG_ARCH)
#define NORVANE_DEB_ARCH NORVANE_DPKG_ARCH
#else
#error "unknown Debian architecture for this build"
#endif

const char* packageSuffix() {
    return "_" NORVANE_DEB_ARCH ".deb";
}

namespace {

bool endsWith(const char* name, const char* end) {
    const size_t n = std::strlen(name);
    const size_t e = std::strlen(end);
    return n >= e && std::memcmp(name + n - e, end, e) == 0;
}

// dpkg runs as root: hand it nothing but plain files of this folder. A
// symbolic link is not followed, wherever it points (it could name a file
// only root may read, or a device); neither is a directory taken.
bool isPackageFile(DIR* dir, const char* name) {
    struct stat st;
    return endsWith(name, packageSuffix()) && fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(st.st_mode);
}

// Enough to show the end of what dpkg said; older output is dropped.
constexpr size_t kOutputKept = 16 * 1024;

void keep(std::string* output, const char* data, size_t size) {
    if (output == nullptr) {
        return;
    }
    output->append(data, size);
    if (output->size() > 2 * kOutputKept) {
        output->erase(0, output->size() - kOutputKept);
    }
}

void echo(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

// Reads the child's standard output and standard error until it has ended,
// echoing each to ours. A program it left running (a daemon restarted by a
// maintainer script) may hold the pipes open for good, so the end of the
// child, not the end of the pipes, ends the wait.
int collect(pid_t pid, int outFd, int errFd, std::string* output) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    const int echoFds[2] = {1, 2};
    int status = 0;
    bool ended = false;
    int drains = 0;
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        const int ready = poll(fds, 2, ended ? 0 : 100);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ended && (ready <= 0 || ++drains > 64)) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                echo(echoFds[i], buf, static_cast<size_t>(n));
                keep(output, buf, static_cast<size_t>(n));
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                fds[i].fd = -1;
            }
        }
        if (!ended) {
            const pid_t done = waitpid(pid, &status, WNOHANG);
            ended = done == pid || (done < 0 && errno != EINTR);
            if (done < 0 && ended) {
                std::printf("waiting for pkexec failed: %s\n", std::strerror(errno));
                return -1;
            }
        }
    }
    while (!ended) {
        const pid_t done = waitpid(pid, &status, 0);
        if (done == pid) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            std::printf("waiting for pkexec failed: %s\n", std::strerror(errno));
            return -1;
        }
    }
    return status;
}

}  // namespace

void initRPMPath() {
    rpmPath[0] = '\0';
    rpmPathList.clear();

    packageFolder = installerFolder();
    if (packageFolder.empty()) {
        std::printf("getcwd failed!\n");
        return;
    }
    const std::string& cwd = packageFolder;
    DIR* dir = opendir(cwd.c_str());
    if (dir == nullptr) {
        std::printf("opendir failed!\n");
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        if (!isPackageFile(dir, entry->d_name)) {
            continue;
        }
        std::string path = cwd + "/" + entry->d_name;
        size_t used = std::strlen(rpmPath);
        // Path, blank and the terminating zero must all fit.
        if (used + path.size() + 2 > sizeof rpmPath) {
            std::printf("package path too long, left out: %s\n", path.c_str());
            continue;
        }
        std::snprintf(rpmPath + used, sizeof rpmPath - used, "%s ", path.c_str());
        rpmPathList.push_back(std::move(path));
    }
    closedir(dir);
}

int installPackages(std::string* output) {
    if (output != nullptr) {
        output->clear();
    }
    if (rpmPathList.empty()) {
        // dpkg -i without a package would only fail after asking for a
        // password.
        std::printf("no package *%s in %s\n", packageSuffix(), packageFolder.c_str());
        std::fflush(stdout);
        return -1;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("pkexec"));
    argv.push_back(const_cast<char*>("dpkg"));
    argv.push_back(const_cast<char*>("-i"));
    for (std::string& path : rpmPathList) {
        argv.push_back(path.data());
    }
    argv.push_back(nullptr);

    // Without a shell every path reaches dpkg as one argument, whatever it
    // holds. Flush first so the child does not repeat buffered output.
    std::fflush(stdout);
    std::fflush(stderr);
    int status = 0;
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    int err = 0;
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        err = errno;
    } else {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
        pid_t pid = 0;
        err = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(outPipe[1]);
        close(errPipe[1]);
        outPipe[1] = errPipe[1] = -1;
        if (err == 0) {
            status = collect(pid, outPipe[0], errPipe[0], output);
        }
    }
    for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    if (err != 0) {
        char line[256];
        std::snprintf(line, sizeof line, "cannot start pkexec: %s\n", std::strerror(err));
        std::fputs(line, stdout);
        keep(output, line, std::strlen(line));
        // What system() gives when its shell cannot find the program.
        status = 127 << 8;
    }
    std::printf("system return %d\n", status);
    std::fflush(stdout);
    return status;
}

std::string lastLines(const std::string& text, int count) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t feed = text.find('\n', start);
        if (feed == std::string::npos) {
            feed = text.size();
        }
        lines.push_back(text.substr(start, feed - start));
        start = feed + 1;
    }
    while (!lines.empty() && lines.back().empty()) {
        lines.pop_back();
    }
    std::string tail;
    const size_t first = lines.size() > static_cast<size_t>(std::max(count, 0)) ? lines.size() - count : 0;
    for (size_t i = first; i < lines.size(); ++i) {
        tail += (i > first ? "\n" : "") + lines[i];
    }
    return tail;
}
