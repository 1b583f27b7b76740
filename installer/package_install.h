// Finding the driver package beside the installer and installing it with
// administrator rights (pkexec dpkg -i ...).
#pragma once

#include <string>
#include <vector>

inline constexpr int kRpmPathSize = 1024;

// Every package file found, as "<cwd>/<name> " one after another.
extern char rpmPath[kRpmPathSize];
// The same files, one path each, as they are handed to dpkg.
extern std::vector<std::string> rpmPathList;

// The folder initRPMPath looked in.
extern std::string packageFolder;

// How the name of a package built for this machine ends, e.g. "_amd64.deb".
const char* packageSuffix();

// Collects the package files of the installer's folder (installer_folder.h),
// in directory order: regular files whose names end in packageSuffix().
void initRPMPath();

// Runs "pkexec dpkg -i <packages>" and waits for it. Prints and returns the
// raw wait status: 0 means installed. What pkexec and dpkg write is echoed to
// the console and, when output is given, kept there (its end at least).
// Without a package nothing is started and the result is -1.
int installPackages(std::string* output = nullptr);

// The last `count` lines of text, without the final line feed.
std::string lastLines(const std::string& text, int count);
