#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "installer_test_support.h"
#include "package_install.h"

namespace {

using Args = std::vector<std::string>;

class PackageInstallTest : public testing::Test {
protected:
    PackageInstallTest() : cwd_(dir_.path()) {}

    void Touch(const std::string& name) { WriteFile(dir_.File(name), "!<arch>\n"); }

    std::string Discover() {
        ConsoleCapture console;
        initRPMPath();
        return console.Text();
    }

    int Install(std::string* printed = nullptr, std::string* output = nullptr) {
        ConsoleCapture console;
        int result = installPackages(output);
        if (printed != nullptr) {
            *printed = console.Text();
        }
        return result;
    }

    // Paths of the given names in the order the directory yields them.
    std::vector<std::string> InDirectoryOrder(const std::vector<std::string>& names) const {
        std::vector<std::string> paths;
        for (const std::string& entry : DirectoryOrder(dir_.path())) {
            for (const std::string& name : names) {
                if (entry == name) {
                    paths.push_back(dir_.File(name));
                }
            }
        }
        return paths;
    }

    TempDir dir_;
    ScopedChdir cwd_;
    FakePkexec pkexec_;
};

std::string Joined(const std::vector<std::string>& paths) {
    std::string all;
    for (const std::string& p : paths) {
        all += p + " ";
    }
    return all;
}

// dpkg runs as root: only regular files named like a package for this
// machine reach it, all of them.
TEST_F(PackageInstallTest, CollectsEveryPackageFileAndNothingElse) {
    const std::string suffix = packageSuffix();  // "_amd64.deb"
    const std::string arch = suffix.substr(1, suffix.size() - 5);
    const std::vector<std::string> matching = {
        "norvane-printer-driver_1.0.0" + suffix,
        "a" + suffix,
        "with blank" + suffix,
    };
    for (const std::string& name : matching) {
        Touch(name);
    }
    for (const std::string& decoy : {"notes-about-" + arch + ".deb.txt", "other-vendor_" + arch + ".debian",
                                     "mid" + suffix + ".part", arch + ".deb", "b_" + arch + ".DEB",
                                     std::string("readme.txt"), std::string("other_xyz.deb")}) {
        Touch(decoy);
    }
    MakeDirs(dir_.File("dir" + suffix));
    ASSERT_EQ(0, symlink("/etc/shadow", dir_.File("x" + suffix).c_str()));
    // Not even a link to a real package: what it names can change.
    ASSERT_EQ(0, symlink(dir_.File("a" + suffix).c_str(), dir_.File("link" + suffix).c_str()));

    EXPECT_EQ("", Discover());
    const std::vector<std::string> expected = InDirectoryOrder(matching);
    ASSERT_EQ(3u, expected.size());
    EXPECT_EQ(expected, rpmPathList);
    EXPECT_EQ(Joined(expected), rpmPath);

    // One dpkg run names every package, in that order.
    std::string printed;
    EXPECT_EQ(0, Install(&printed));
    EXPECT_EQ("system return 0\n", printed);
    Args args = {"dpkg", "-i"};
    args.insert(args.end(), expected.begin(), expected.end());
    EXPECT_EQ(std::vector<Args>{args}, pkexec_.Calls());
}

TEST_F(PackageInstallTest, EveryPathReachesDpkgAsOneArgument) {
    const std::string suffix = packageSuffix();
    const std::vector<std::string> names = {
        "with blank " + suffix,
        "semi;touch injected;" + suffix,
        "$(touch injected)" + suffix,
        "`touch injected`" + suffix,
        "quotes'\"" + suffix,
        "glob*?[a]&|<>" + suffix,
    };
    for (const std::string& name : names) {
        Touch(name);
    }
    MakeDirs(dir_.File("sub dir $(x)"));
    ScopedChdir inner(dir_.File("sub dir $(x)"));
    for (const std::string& name : names) {
        WriteFile(dir_.File("sub dir $(x)/" + name), "");
    }

    Discover();
    ASSERT_EQ(names.size(), rpmPathList.size());
    EXPECT_EQ(0, Install());
    ASSERT_EQ(1u, pkexec_.Calls().size());
    Args args = pkexec_.Calls()[0];
    ASSERT_EQ(names.size() + 2, args.size());
    EXPECT_EQ((Args{"dpkg", "-i"}), Args(args.begin(), args.begin() + 2));
    EXPECT_EQ(rpmPathList, Args(args.begin() + 2, args.end()));
    for (const std::string& path : rpmPathList) {
        EXPECT_EQ(0u, path.find(dir_.File("sub dir $(x)/"))) << path;
    }
    EXPECT_NE(0, access("injected", F_OK));
    EXPECT_NE(0, access(dir_.File("injected").c_str(), F_OK));
}

TEST_F(PackageInstallTest, FailureStatusAndOutputAreKept) {
    Touch(std::string("p") + packageSuffix());
    Discover();
    pkexec_.SetStatus(3);
    pkexec_.SetOutput("Selecting package\n", "dpkg: error processing archive\n");
    std::string printed, output;
    EXPECT_EQ(3 << 8, Install(&printed, &output));
    // Echoed to the console (standard error goes to ours, not shown here).
    EXPECT_EQ("Selecting package\nsystem return 768\n", printed);
    EXPECT_EQ("Selecting package\ndpkg: error processing archive\n", output);

    // pkexec not to be found at all: what a shell would have reported.
    TempDir empty;
    ScopedEnv path("PATH", empty.path());
    EXPECT_EQ(127 << 8, Install(&printed, &output));
#ifndef NORVANE_EMULATED  // qemu-user spawns by fork: a failed exec only shows as status 127
    EXPECT_NE(std::string::npos, printed.find("cannot start pkexec"));
    EXPECT_EQ(0u, output.find("cannot start pkexec: "));
#endif
    EXPECT_NE(std::string::npos, printed.find("system return 32512\n"));
}

// A maintainer script may leave a daemon running that holds the output open.
TEST_F(PackageInstallTest, ProgramLeftRunningDoesNotHoldTheInstallerUp) {
    Touch(std::string("p") + packageSuffix());
    Discover();
    pkexec_.SetLinger(5);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, Install());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

TEST(InstallOutput, LastLines) {
    const struct {
        const char* text;
        int count;
        const char* tail;
    } cases[] = {
        {"", 8, ""},
        {"\n\n", 8, ""},
        {"one line", 8, "one line"},
        {"a\nb\n", 8, "a\nb"},
        {"1\n2\n3\n4\n", 2, "3\n4"},
        {"1\n\n3\n\n\n", 2, "\n3"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.tail, lastLines(c.text, c.count)) << c.text;
    }
}

TEST_F(PackageInstallTest, ListIsTakenOnceAtStartUp) {
    Touch(std::string("first_") + packageSuffix());
    Discover();
    Touch(std::string("later_") + packageSuffix());
    EXPECT_EQ(0, Install());
    EXPECT_EQ(0, Install());
    const std::vector<Args> calls = pkexec_.Calls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ((Args{"dpkg", "-i", dir_.File(std::string("first_") + packageSuffix())}), calls[0]);
    EXPECT_EQ(calls[0], calls[1]);
}

TEST_F(PackageInstallTest, NoPackageStartsNothing) {
    Touch("something.deb");
    Discover();
    EXPECT_STREQ("", rpmPath);
    std::string printed;
    EXPECT_NE(0, Install(&printed));
    EXPECT_EQ("no package *" + std::string(packageSuffix()) + " in " + dir_.path() + "\n", printed);
    EXPECT_TRUE(pkexec_.Calls().empty());
}

TEST_F(PackageInstallTest, MatchesThatDoNotFitAreLeftOutAndNamed) {
    // Each path takes well over 250 bytes: only three fit into 1024.
    std::vector<std::string> names;
    for (char c = 'a'; c <= 'e'; ++c) {
        names.push_back(std::string(240, c) + packageSuffix());
        Touch(names.back());
    }
    std::string printed = Discover();
    EXPECT_LT(std::strlen(rpmPath), sizeof rpmPath);
    EXPECT_EQ(Joined(rpmPathList), rpmPath);
    const size_t fitting = (sizeof rpmPath - 1) / (dir_.File(names[0]).size() + 1);
    EXPECT_EQ(fitting, rpmPathList.size());

    // Exactly the first ones in directory order are kept; the rest are named.
    const std::vector<std::string> all = InDirectoryOrder(names);
    EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + fitting), rpmPathList);
    for (size_t i = fitting; i < all.size(); ++i) {
        EXPECT_NE(std::string::npos, printed.find("left out: " + all[i] + "\n"));
    }
}

TEST(PackageDiscovery, UnreadableWorkingDirectoryGivesAnEmptyList) {
    TempDir dir;
    const std::string gone = dir.File("gone");
    MakeDirs(gone);
    WriteFile(gone + "/x_" + packageSuffix(), "");
    ScopedChdir cwd(gone);
    ::remove((gone + "/x_" + packageSuffix()).c_str());
    ASSERT_EQ(0, rmdir(gone.c_str()));

    ConsoleCapture console;
    initRPMPath();
    EXPECT_EQ("getcwd failed!\n", console.Text());
    EXPECT_STREQ("", rpmPath);
    EXPECT_TRUE(rpmPathList.empty());
}

}  // namespace
