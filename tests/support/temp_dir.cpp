#include "support/temp_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir()
{
    std::string templ = fs::temp_directory_path() / "norvane-test-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    std::error_code ec;
    fs::path real = fs::canonical(templ, ec);
    path_ = ec ? templ : real.string();
}

TempDir::~TempDir()
{
    std::error_code ec;
    // A test may have taken the write permission away.
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::vector<std::string> TempDir::Entries() const
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_))
        names.push_back(e.path().filename());
    return names;
}
