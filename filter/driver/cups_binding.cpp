#include "driver/cups_binding.h"

#include <dlfcn.h>

// The PPD API is deprecated in CUPS 2.x but is what reads a driver's PPD.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

// The functions the filter is linked against: what the table holds until a
// library is bound, and again once it is closed, so that no entry is ever
// null or points into a library no longer loaded.
CupsFunctions LinkedFunctions()
{
    return {&::cupsRasterReadPixels, &::cupsRasterClose, &::cupsRasterReadHeader2, &::cupsRasterOpen,
            &::ppdClose,             &::ppdOpenFile,     &::ppdLocalizeIPPReason,  &::cupsGetOption,
            &::cupsParseOptions,     &::cupsSideChannelDoRequest, &::cupsTempFd,  &::cupsFreeOptions};
}

}  // namespace

CupsFunctions cups = LinkedFunctions();

const char* const kCupsImageLibraryPath = "/usr/lib/libcupsimage.so";
const char* const kCupsLibraryPath = "/usr/lib/libcups.so";

namespace {

void* imageLibrary = nullptr;
void* mainLibrary = nullptr;

template <typename Fn>
void Bind(void* library, const char* name, Fn& slot, Fn linked)
{
    void* found = library ? dlsym(library, name) : nullptr;
    slot = found ? reinterpret_cast<Fn>(found) : linked;
}

void* Reload(void*& handle, const char* path)
{
    if (handle != nullptr) {
        dlclose(handle);
        handle = nullptr;
    }
    handle = dlopen(path, RTLD_LAZY);
    return handle;
}

}  // namespace

int BindCupsImageLibrary()
{
    void* lib = Reload(imageLibrary, kCupsImageLibraryPath);
    Bind(lib, "cupsRasterReadPixels", cups.cupsRasterReadPixels, &::cupsRasterReadPixels);
    Bind(lib, "cupsRasterClose", cups.cupsRasterClose, &::cupsRasterClose);
    Bind(lib, "cupsRasterReadHeader2", cups.cupsRasterReadHeader2, &::cupsRasterReadHeader2);
    Bind(lib, "cupsRasterOpen", cups.cupsRasterOpen, &::cupsRasterOpen);
    return lib != nullptr ? 1 : 0;
}

int BindCupsLibrary()
{
    void* lib = Reload(mainLibrary, kCupsLibraryPath);
    Bind(lib, "ppdClose", cups.ppdClose, &::ppdClose);
    Bind(lib, "ppdOpenFile", cups.ppdOpenFile, &::ppdOpenFile);
    Bind(lib, "ppdLocalizeIPPReason", cups.ppdLocalizeIPPReason, &::ppdLocalizeIPPReason);
    Bind(lib, "cupsGetOption", cups.cupsGetOption, &::cupsGetOption);
    Bind(lib, "cupsParseOptions", cups.cupsParseOptions, &::cupsParseOptions);
    Bind(lib, "cupsSideChannelDoRequest", cups.cupsSideChannelDoRequest, &::cupsSideChannelDoRequest);
    Bind(lib, "cupsTempFd", cups.cupsTempFd, &::cupsTempFd);
    Bind(lib, "cupsFreeOptions", cups.cupsFreeOptions, &::cupsFreeOptions);
    return lib != nullptr ? 1 : 0;
}

void UnbindCupsLibraries()
{
    if (imageLibrary != nullptr) {
        dlclose(imageLibrary);
        imageLibrary = nullptr;
    }
    if (mainLibrary != nullptr) {
        dlclose(mainLibrary);
        mainLibrary = nullptr;
    }
    cups = LinkedFunctions();
}
