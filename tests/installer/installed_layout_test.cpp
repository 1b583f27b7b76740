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
    const std::string suffix = packageSuffix();  // "_<arch>.deb"
    return suffix.substr(1, suffix.size() - 5);
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

// The release folder as the user gets it, on a private X display: the
// installed installer and its locale folder, the driver package and one for
// another machine.
class InstalledInstaller : public testing::Test {
protected:
    void SetUp() override {
        if (!XvfbDisplay::Installed()) {
            GTEST_SKIP() << "needs the Xvfb X server (Debian package xvfb)";
        }
        ASSERT_EQ("", xvfb_.Start());
        // The installer's windows may go while the test looks at them.
        XSetErrorHandler(IgnoreXError);
        display_.reset(XOpenDisplay(xvfb_.name().c_str()));
        ASSERT_NE(nullptr, display_) << "cannot open " << xvfb_.name();
        dpy_ = display_.get();
        int event, error, major, minor;
        ASSERT_TRUE(XTestQueryExtension(dpy_, &event, &error, &major, &minor)) << "no XTEST on " << xvfb_.name();

        ASSERT_NE('/', INSTALLER_DIR_IN_PREFIX[0]) << "the installer would not land in the test's folder";
        {
            ChildProcess cmake;
            const std::string log = work_.File("install.log");
            ASSERT_EQ("", cmake.Start({CMAKE_PATH, "--install", BUILD_DIR, "--component", "installer", "--prefix",
                                       prefix_.path()},
                                      "", {}, log, log));
            int status;
            ASSERT_TRUE(cmake.Wait(kWaitSeconds, &status)) << "cmake --install did not end";
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(log);
        }
        folder_ = fs::weakly_canonical(prefix_.File(INSTALLER_DIR_IN_PREFIX));
        for (const char* file : {"installer", "locale/de_DE.UTF-8/strings.txt", "locale/de_DE.UTF-8/license.txt",
                                 "locale/en_US.UTF-8/strings.txt"}) {
            ASSERT_TRUE(fs::exists(folder_ + "/" + file)) << file << " is not in the release folder";
        }
        package_ = folder_ + "/" + PACKAGE_FILE_PREFIX + PackageArch() + ".deb";
        WriteFile(package_, "");
        WriteFile(folder_ + "/" + PACKAGE_FILE_PREFIX + (PackageArch() == "i386" ? "amd64" : "i386") + ".deb", "");

        title_ = StringsEntry(folder_ + "/locale/de_DE.UTF-8/strings.txt", "str_processName");
        ASSERT_FALSE(title_.empty());
        // Else the title would not tell which locale was read.
        ASSERT_NE(StringsEntry(folder_ + "/locale/en_US.UTF-8/strings.txt", "str_processName"), title_);
        WriteFile(work_.File("toolkit-leaks.supp"), kToolkitLeaks);
    }

    // Starts the installed installer in dir on a German desktop and waits
    // for its window, titled in German.
    void Start(const std::string& dir) {
        ASSERT_EQ("", installer_.Start({folder_ + "/installer"}, dir,
                                       {"LANG=de_DE.UTF-8", "DISPLAY=" + xvfb_.name(),
                                        "LSAN_OPTIONS=suppressions=" + work_.File("toolkit-leaks.supp")},
                                       console_, errors_));
        window_ = WaitForTopLevel(dpy_, title_, kWaitSeconds);
        ASSERT_NE(0u, window_) << "no window titled \"" << title_ << "\" showed\n" << Output();
        // What a window manager does with a new window.
        XSetInputFocus(dpy_, window_, RevertToPointerRoot, CurrentTime);
        onScreen_ = RootRect(dpy_, window_);
    }

    // Clicks the accept box, as a person finds it on screen.
    void TickTheBox() {
        Picture shot;
        ASSERT_TRUE(WaitUntilDrawn(dpy_, window_, Whole(), &shot)) << "the window was never drawn\n" << Output();
        const WindowRect box = FindCheckBox(shot);
        ASSERT_GT(box.height, 5) << "no check box at the left of the bottom row";
        // The install button ends 15 pixels in from the right edge, in the
        // check box's row; the box is ticked once it changes.
        const WindowRect installButtonEnd = {onScreen_.width - 15 - 25, box.y, 25, box.height};
        const Picture disabled = Grab(dpy_, window_, installButtonEnd);
        Click(dpy_, onScreen_.x + box.x + box.width / 2, onScreen_.y + box.y + box.height / 2);
        ASSERT_TRUE(WaitUntil([&] { return !(Grab(dpy_, window_, installButtonEnd) == disabled); }))
            << "clicking the check box did not enable the install button\n" << Output();
    }

    // Return, and the console's "system return" line for it.
    void PressInstall() {
        const size_t before = Count(ReadFile(console_), "system return ");
        PressKey(dpy_, XK_Return);
        ASSERT_TRUE(WaitUntil([&] {
            const std::string text = ReadFile(console_);
            return Count(text, "system return ") > before && text.back() == '\n';
        })) << "Return did not press the install button\n" << Output();
    }

    static size_t Count(const std::string& text, const std::string& part) {
        size_t n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
            ++n;
        }
        return n;
    }

    WindowRect Whole() const { return {0, 0, onScreen_.width, onScreen_.height}; }
    std::string Output() const {
        return "console:\n" + ReadFile(console_) + "standard error:\n" + ReadFile(errors_);
    }

    XvfbDisplay xvfb_;
    std::unique_ptr<Display, int (*)(Display*)> display_{nullptr, XCloseDisplay};
    Display* dpy_ = nullptr;
    TempDir work_;
    TempDir prefix_;
    std::string folder_, package_, title_;
    const std::string console_ = work_.File("console.txt");
    const std::string errors_ = work_.File("errors.txt");
    FakePkexec pkexec_;
    Window window_ = 0;
    WindowRect onScreen_;
    ChildProcess installer_;
};

TEST_F(InstalledInstaller, InstallsTheDriverForAGermanUser) {
    ASSERT_NO_FATAL_FAILURE(Start(folder_));
    ASSERT_NO_FATAL_FAILURE(TickTheBox());
    // The German notice and licence, box ticked, for a person to look at.
    Picture shot;
    EXPECT_TRUE(WaitUntilDrawn(dpy_, window_, Whole(), &shot));
    SaveScreenshot(shot, "installer-installed-de_DE");
    EXPECT_TRUE(pkexec_.Calls().empty());

    // Ticking gave the install button the keyboard.
    ASSERT_NO_FATAL_FAILURE(PressInstall());
    EXPECT_EQ("de_DE.UTF-8\nsystem return 0\n", ReadFile(console_));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"dpkg", "-i", package_}}), pkexec_.Calls());

    // The success page gives the done button the keyboard.
    PressKey(dpy_, XK_Return);
    int status;
    ASSERT_TRUE(installer_.Wait(kWaitSeconds, &status)) << "the done button did not end the installer\n" << Output();
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n" << Output();
    EXPECT_EQ(0, WEXITSTATUS(status)) << Output();
    EXPECT_EQ("de_DE.UTF-8\nsystem return 0\n", ReadFile(console_));
}

// Started from a file manager or a shell in another folder, with the
// administrator's password refused.
TEST_F(InstalledInstaller, StartedElsewhereItUsesItsOwnFolderAndSaysWhyItFailed) {
    pkexec_.SetStatus(127);
    pkexec_.SetOutput("", "Error executing command as another user: Not authorized\n");
    TempDir elsewhere;
    ASSERT_NO_FATAL_FAILURE(Start(elsewhere.path()));
    ASSERT_NO_FATAL_FAILURE(TickTheBox());
    ASSERT_NO_FATAL_FAILURE(PressInstall());
    EXPECT_EQ("de_DE.UTF-8\nno locale folder in the working directory, using the installer's folder " + folder_ +
                  "\nsystem return 32512\n",
              ReadFile(console_));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"dpkg", "-i", package_}}), pkexec_.Calls());

    const Window dialog = WaitForDialogOf(dpy_, window_, kWaitSeconds);
    ASSERT_NE(0u, dialog) << "no dialog said the installation failed\n" << Output();
    EXPECT_EQ(title_, WindowTitle(dpy_, dialog));
    Picture shot;
    EXPECT_TRUE(WaitUntilDrawn(dpy_, dialog, {0, 0, RootRect(dpy_, dialog).width, RootRect(dpy_, dialog).height},
                               &shot));
    SaveScreenshot(shot, "installer-failure-dialog-installed-de_DE");

    // Its button has the keyboard and closes it; the install page is still
    // there for another try.
    XSetInputFocus(dpy_, dialog, RevertToPointerRoot, CurrentTime);
    PressKey(dpy_, XK_Return);
    ASSERT_TRUE(WaitUntil([&] {
        XWindowAttributes attrs;
        return !XGetWindowAttributes(dpy_, dialog, &attrs) || attrs.map_state != IsViewable;
    })) << "Return did not close the dialog";
    XSetInputFocus(dpy_, window_, RevertToPointerRoot, CurrentTime);
    ASSERT_NO_FATAL_FAILURE(PressInstall());
    EXPECT_EQ(2u, pkexec_.Calls().size());
    EXPECT_NE(0u, WaitForDialogOf(dpy_, window_, kWaitSeconds));
}

}  // namespace
