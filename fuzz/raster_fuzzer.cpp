// Feeds arbitrary bytes to the filter's whole page path as the raster input,
// with job options and the printer platform chosen by the first bytes.
// Every run must end cleanly and leave no spool file behind.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/page_loop.h"
#include "driver/signals.h"

namespace {

const char* const kPlatformModels[][2] = {
    {"Norvane R33 Series", "PLATFORM_C"},
    {"Norvane R35 Series", "PLATFORM_C"},
    {"Norvane R01 Series", "PLATFORM_Z"},
    {"Norvane R02 Series", "PLATFORM_Z"},
    {"Norvane R07 Series", "PLATFORM_M"},
};

const char* const kOptions[] = {
    "Duplex=DuplexNoTumble", "Duplex=DuplexTumble", "ManualDuplex=true", "Collate=true",
    "Density=5",             "Density=-3",          "TonerMode=true",    "FeedLongEdge=true",
    "outputorder=true",      "DPI1200=true",        "NegativePrint=true", "InputSlot=ManualFeed",
    "ImageRotation=true",    "Sides=two-sided-short-edge", "Density=zz", "InputSlot=Tray9",
};

std::string tempDir;
std::vector<std::string> ppdPaths;

void RemoveTemp()
{
    for (const std::string& p : ppdPaths)
        unlink(p.c_str());
    rmdir((tempDir + "/spool").c_str());
    rmdir(tempDir.c_str());
}

void Setup()
{
    char templ[] = "/tmp/raster-fuzz-XXXXXX";
    tempDir = mkdtemp(templ);
    mkdir((tempDir + "/spool").c_str(), 0700);
    setenv("TMPDIR", (tempDir + "/spool").c_str(), 1);
    for (size_t i = 0; i < sizeof kPlatformModels / sizeof kPlatformModels[0]; ++i) {
        std::string path = tempDir + "/p" + std::to_string(i) + ".ppd";
        FILE* f = std::fopen(path.c_str(), "w");
        std::fprintf(f,
                     "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
                     "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n"
                     "*PCFileName: \"FUZZ.PPD\"\n*Manufacturer: \"Norvane\"\n*Product: \"(Fuzz)\"\n"
                     "*ModelName: \"%s\"\n*ShortNickName: \"Fuzz\"\n*NickName: \"Fuzz\"\n"
                     "*HWMargins: 12 12 12 12\n*cupsIPPReason PlatForm/%s: \"\"\n"
                     "*cupsIPPReason MDuplex/Turn the stack over: \"\"\n",
                     kPlatformModels[i][0], kPlatformModels[i][1]);
        std::fclose(f);
        ppdPaths.push_back(path);
    }
    // The printer stream is not looked at (the status lines on standard
    // error are silenced with -close_fd_mask=2).
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
    atexit(RemoveTemp);
}

bool SpoolDirEmpty()
{
    DIR* d = opendir((tempDir + "/spool").c_str());
    bool empty = true;
    while (dirent* e = readdir(d))
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
            empty = false;
    closedir(d);
    return empty;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = (Setup(), true);
    (void)ready;
    if (size < 3)
        return 0;
    const size_t model = data[0] % ppdPaths.size();
    const unsigned optionBits = data[1] | (data[2] << 8);
    std::string options;
    for (unsigned i = 0; i < 16; ++i)
        if (optionBits & (1u << i))
            options += std::string(options.empty() ? "" : " ") + kOptions[i];
    data += 3;
    size -= 3;

    int fd = memfd_create("raster", 0);
    if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size))
        std::abort();
    lseek(fd, 0, SEEK_SET);
    std::string input = "/proc/self/fd/" + std::to_string(fd);

    setenv("PPD", ppdPaths[model].c_str(), 1);
    cancelRequested = 0;
    std::string args[] = {"rasterfilter", "7", "fuzz", "fuzz", "1", options, input};
    char* argv[7];
    for (int i = 0; i < 7; ++i)
        argv[i] = args[i].data();
    RunFilter(7, argv, 0);
    close(fd);
    if (!SpoolDirEmpty())
        std::abort();  // a spool file outlived the job
    return 0;
}
