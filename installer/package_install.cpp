#include "package_install.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

char rpmPath[kRpmPathSize];
std::vector<std::string> rpmPathList;

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
    return NORVANE_DEB_ARCH ".deb";
}

void initRPMPath() {
    rpmPath[0] = '\0';
    rpmPathList.clear();

    char cwd[kRpmPathSize];
    if (getcwd(cwd, sizeof cwd) == nullptr) {
        std::printf("getcwd failed!\n");
        return;
    }
    DIR* dir = opendir(cwd);
    if (dir == nullptr) {
        std::printf("opendir failed!\n");
        return;
    }
    const char* suffix = packageSuffix();
    while (const dirent* entry = readdir(dir)) {
        if (std::strstr(entry->d_name, suffix) == nullptr) {
            continue;
        }
        std::string path = std::string(cwd) + "/" + entry->d_name;
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

int installPackages() {
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
    int status = 0;
    pid_t pid = 0;
    int err = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (err != 0) {
        std::printf("cannot start pkexec: %s\n", std::strerror(err));
        // What system() gives when its shell cannot find the program.
        status = 127 << 8;
    } else {
        while (waitpid(pid, &status, 0) < 0) {
            if (errno != EINTR) {
                std::printf("waiting for pkexec failed: %s\n", std::strerror(errno));
                status = -1;
                break;
            }
        }
    }
    std::printf("system return %d\n", status);
    std::fflush(stdout);
    return status;
}
