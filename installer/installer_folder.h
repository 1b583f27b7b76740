// The folder the installer takes its locale/ folder and the packages from.
#pragma once

#include <string>

// The working directory when it holds a locale/ folder. Otherwise the
// folder of the program itself (/proc/self/exe) when that holds one: a file
// manager or a shell elsewhere may start the installer without changing into
// its folder. Failing both, the working directory. Empty when not even that
// can be read and the program's folder has no locale/ folder.
// *programFolder tells whether the program's folder was taken.
std::string installerFolder(bool* programFolder = nullptr);
