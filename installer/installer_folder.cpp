#include "installer_folder.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool hasLocaleFolder(const std::string& dir) {
    struct stat st;
    return stat((dir + "/locale").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ownFolder() {
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
        return "";
    }
    const std::string path(exe, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return "";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string installerFolder(bool* programFolder) {
    if (programFolder != nullptr) {
        *programFolder = false;
    }
    char cwd[1024];
    const bool haveCwd = getcwd(cwd, sizeof cwd) != nullptr;
    if (haveCwd && hasLocaleFolder(cwd)) {
        return cwd;
    }
    const std::string own = ownFolder();
    if (!own.empty() && (!haveCwd || own != cwd) && hasLocaleFolder(own)) {
        if (programFolder != nullptr) {
            *programFolder = true;
        }
        return own;
    }
    return haveCwd ? cwd : "";
}
