// Feeds arbitrary bytes to the installer as its strings file and as its
// licence: no line may be read outside its bounds, whatever it holds.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "local_strings.h"

namespace {

std::string workDir;

void RemoveWorkDir()
{
    const std::string dir = workDir + "/locale/xx_XX.UTF-8";
    unlink((dir + "/strings.txt").c_str());
    unlink((dir + "/license.txt").c_str());
    rmdir(dir.c_str());
    rmdir((workDir + "/locale").c_str());
    rmdir(workDir.c_str());
}

void Setup()
{
    char templ[] = "/tmp/strings-fuzz-XXXXXX";
    workDir = mkdtemp(templ);
    mkdir((workDir + "/locale").c_str(), 0700);
    mkdir((workDir + "/locale/xx_XX.UTF-8").c_str(), 0700);
    if (chdir(workDir.c_str()) != 0)
        std::abort();
    setenv("LANG", "xx_XX.UTF-8", 1);
    atexit(RemoveWorkDir);
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size))
        std::abort();
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = (Setup(), true);
    (void)ready;
    const std::string dir = workDir + "/locale/xx_XX.UTF-8";
    WriteFile(dir + "/strings.txt", data, size);
    WriteFile(dir + "/license.txt", data, size / 2);
    initialzeLocalStrings();
    return 0;
}
