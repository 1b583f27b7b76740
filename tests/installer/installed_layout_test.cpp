// The installer as a user gets it: installed into a release folder beside
// the driver package, started on a German desktop, and worked with the
// pointer and the keyboard like a person would.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "installer_test_support.h"
#include "package_install.h"
#include "x_windows.h"
#include "xvfb_display.h"

namespace fs = std::filesystem;

namespace {

// Bound of every wait; the sanitizer build needs a few seconds at most.
constexpr int kWaitSeconds = 20;

bool WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kWaitSeconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

// The window is drawn once two looks in a row agree and show some text.
bool WaitUntilDrawn(Display* dpy, Window w, const WindowRect& area, Picture* picture) {
    Picture last;
    const bool drawn = WaitUntil([&] {
        Picture now = Grab(dpy, w, area);
        const bool same = now == last && now.DarkPixels() > 200;
        last = std::move(now);
        return same;
    });
    *picture = std::move(last);
    return drawn;
}

void SaveScreenshot(const Picture& picture, const std::string& name) {
    GdkPixbuf* pixbuf =
        gdk_pixbuf_new_from_data(picture.rgb.data(), GDK_COLORSPACE_RGB, FALSE, 8, picture.width,
                                 picture.height, picture.width * 3, nullptr, nullptr);
    const std::string path = std::string(TEST_OUTPUT_DIR) + "/" + name + ".png";
    GError* error = nullptr;
    EXPECT_TRUE(gdk_pixbuf_save(pixbuf, path.c_str(), "png", &error, nullptr)) << (error ? error->message : "");
    if (error != nullptr) {
        g_error_free(error);
    }
    g_object_unref(pixbuf);
    std::printf("screenshot: %s\n", path.c_str());
}

void Click(Display* dpy, int x, int y) {
    XTestFakeMotionEvent(dpy, DefaultScreen(dpy), x, y, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
    XSync(dpy, False);
}

void PressKey(Display* dpy, KeySym key) {
    const KeyCode code = XKeysymToKeycode(dpy, key);
    XTestFakeKeyEvent(dpy, code, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, False, CurrentTime);
    XSync(dpy, False);
}

// The text of the "key = text" line of a strings file.
std::string StringsEntry(const std::string& file, const std::string& key) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key + " = ", 0) == 0) {
            return line.substr(key.size() + 3);
        }
    }
    return "";
}

// The Debian architecture the driver package is built for.
std::string PackageArch() {
#ifdef PACKAGE_ARCH
    return PACKAGE_ARCH;
#else
    const std::string suffix = packageSuffix();
    return suffix.substr(0, suffix.size() - 4);
#endif
}

// The check box sits at the left edge of the bottom row, below everything
// else: the lowest thing drawn in the page's left margin, a square.
WindowRect FindCheckBox(const Picture& shot) {
    const unsigned char* background = shot.At(2, 2);
    // Whether anything but background lies in [x0, x1) x [y0, y1).
    auto drawn = [&](int x0, int x1, int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                const unsigned char* p = shot.At(x, y);
                if (std::abs(p[0] - background[0]) + std::abs(p[1] - background[1]) +
                        std::abs(p[2] - background[2]) > 48) {
                    return true;
                }
            }
        }
        return false;
    };
    constexpr int kLeft = 15, kRight = 40;
    int bottom = shot.height - 1;
    while (bottom > 0 && !drawn(kLeft, kRight, bottom, bottom + 1)) {
        --bottom;
    }
    int top = bottom;
    while (top > 0 && drawn(kLeft, kRight, top - 1, top)) {
        --top;
    }
    int left = kLeft;
    while (left < kRight && !drawn(left, left + 1, top, bottom + 1)) {
        ++left;
    }
    const int size = bottom - top + 1;
    return {left, top, size, size};
}

int IgnoreXError(Display*, XErrorEvent*) { return 0; }

TEST(InstalledInstaller, InstallsTheDriverForAGermanUser) {
    if (!XvfbDisplay::Installed()) {
        GTEST_SKIP() << "needs the Xvfb X server (Debian package xvfb)";
    }
    XvfbDisplay xvfb;
    ASSERT_EQ("", xvfb.Start());
    // The installer's windows may go while the test looks at them.
    XSetErrorHandler(IgnoreXError);
    std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(xvfb.name().c_str()), XCloseDisplay);
    ASSERT_NE(nullptr, display) << "cannot open " << xvfb.name();
    Display* const dpy = display.get();
    int event, error, major, minor;
    ASSERT_TRUE(XTestQueryExtension(dpy, &event, &error, &major, &minor)) << "no XTEST on " << xvfb.name();

    // The release folder as the user gets it: the installed installer and
    // its locale folder, the driver package and one for another machine.
    ASSERT_NE('/', INSTALLER_DIR_IN_PREFIX[0]) << "the installer would not land in the test's folder";
    TempDir work;
    TempDir prefix;
    {
        ChildProcess cmake;
        const std::string log = work.File("install.log");
        ASSERT_EQ("", cmake.Start({CMAKE_PATH, "--install", BUILD_DIR, "--component", "installer", "--prefix",
                                   prefix.path()},
                                  "", {}, log, log));
        int status;
        ASSERT_TRUE(cmake.Wait(kWaitSeconds, &status)) << "cmake --install did not end";
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(log);
    }
    const std::string folder = fs::weakly_canonical(prefix.File(INSTALLER_DIR_IN_PREFIX));
    for (const char* file : {"installer", "locale/de_DE.UTF-8/strings.txt", "locale/de_DE.UTF-8/license.txt",
                             "locale/en_US.UTF-8/strings.txt"}) {
        ASSERT_TRUE(fs::exists(folder + "/" + file)) << file << " is not in the release folder";
    }
    const std::string package = folder + "/" + PACKAGE_FILE_PREFIX + PackageArch() + ".deb";
    WriteFile(package, "");
    WriteFile(folder + "/" + PACKAGE_FILE_PREFIX + (PackageArch() == "i386" ? "amd64" : "i386") + ".deb", "");

    const std::string title = StringsEntry(folder + "/locale/de_DE.UTF-8/strings.txt", "str_processName");
    ASSERT_FALSE(title.empty());
    // Else the title would not tell which locale was read.
    ASSERT_NE(StringsEntry(folder + "/locale/en_US.UTF-8/strings.txt", "str_processName"), title);

    FakePkexec pkexec;
    WriteFile(work.File("toolkit-leaks.supp"), kToolkitLeaks);
    const std::string console = work.File("console.txt");
    const std::string errors = work.File("errors.txt");
    auto output = [&] { return "console:\n" + ReadFile(console) + "standard error:\n" + ReadFile(errors); };
    ChildProcess installer;
    ASSERT_EQ("", installer.Start({folder + "/installer"}, folder,
                                  {"LANG=de_DE.UTF-8", "DISPLAY=" + xvfb.name(),
                                   "LSAN_OPTIONS=suppressions=" + work.File("toolkit-leaks.supp")},
                                  console, errors));

    const Window window = WaitForTopLevel(dpy, title, kWaitSeconds);
    ASSERT_NE(0u, window) << "no window titled \"" << title << "\" showed\n" << output();
    // What a window manager does with a new window.
    XSetInputFocus(dpy, window, RevertToPointerRoot, CurrentTime);
    const WindowRect onScreen = RootRect(dpy, window);

    Picture shot;
    const WindowRect whole = {0, 0, onScreen.width, onScreen.height};
    ASSERT_TRUE(WaitUntilDrawn(dpy, window, whole, &shot)) << "the window was never drawn\n" << output();
    const WindowRect box = FindCheckBox(shot);
    ASSERT_GT(box.height, 5) << "no check box at the left of the bottom row";
    // The install button ends 15 pixels in from the right edge, in the check
    // box's row; the box is ticked once it changes.
    const WindowRect installButtonEnd = {onScreen.width - 15 - 25, box.y, 25, box.height};
    const Picture disabled = Grab(dpy, window, installButtonEnd);
    Click(dpy, onScreen.x + box.x + box.width / 2, onScreen.y + box.y + box.height / 2);
    ASSERT_TRUE(WaitUntil([&] { return !(Grab(dpy, window, installButtonEnd) == disabled); }))
        << "clicking the check box did not enable the install button\n" << output();
    // The German notice and licence, box ticked, for a person to look at.
    EXPECT_TRUE(WaitUntilDrawn(dpy, window, whole, &shot));
    SaveScreenshot(shot, "installer-installed-de_DE");
    EXPECT_TRUE(pkexec.Calls().empty());

    // Ticking gave the install button the keyboard.
    PressKey(dpy, XK_Return);
    ASSERT_TRUE(WaitUntil([&] {
        const std::string text = ReadFile(console);
        return text.find("system return ") != std::string::npos && text.back() == '\n';
    })) << "Return did not press the install button\n" << output();
    EXPECT_EQ("de_DE.UTF-8\nsystem return 0\n", ReadFile(console));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"dpkg", "-i", package}}), pkexec.Calls());

    // The success page gives the done button the keyboard.
    PressKey(dpy, XK_Return);
    int status;
    ASSERT_TRUE(installer.Wait(kWaitSeconds, &status)) << "the done button did not end the installer\n" << output();
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n" << output();
    EXPECT_EQ(0, WEXITSTATUS(status)) << output();
    EXPECT_EQ("de_DE.UTF-8\nsystem return 0\n", ReadFile(console));
}

}  // namespace
