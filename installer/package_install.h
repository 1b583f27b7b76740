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

// Name part that marks the package built for this machine, e.g. "amd64.deb".
const char* packageSuffix();

// Collects the package files of the working directory, in directory order.
void initRPMPath();

// Runs "pkexec dpkg -i <packages>" and waits for it. Prints and returns the
// raw wait status: 0 means installed.
int installPackages();
