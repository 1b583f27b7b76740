// A fresh empty directory for one test, removed with everything in it when
// the object goes away.
#pragma once

#include <string>
#include <vector>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // Real path, as getcwd reports it after a chdir into it.
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Names of the entries in the directory (not . and ..).
    std::vector<std::string> Entries() const;

private:
    std::string path_;
};
