#include <gtest/gtest.h>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "child_process.h"
#include "install_window.h"
#include "installer_test_support.h"
#include "local_strings.h"
#include "package_install.h"
#include "x_windows.h"
#include "xvfb_display.h"

extern "C" const char* __lsan_default_suppressions() {
    return kToolkitLeaks;
}

namespace {

std::string gSkipReason = "display not set up";

class DisplayEnvironment : public testing::Environment {
public:
    void SetUp() override {
        gSkipReason = display_.Start();
        if (gSkipReason.empty() && !gtk_init_check(nullptr, nullptr)) {
            gSkipReason = "GTK cannot open display " + display_.name();
        }
    }
    void TearDown() override { display_.Stop(); }

private:
    XvfbDisplay display_;
};

testing::Environment* const gDisplay = testing::AddGlobalTestEnvironment(new DisplayEnvironment);

// Lets the toolkit and the X server finish layout and drawing.
void Pump() {
    for (int i = 0; i < 20; ++i) {
        gdk_flush();
        while (gtk_events_pending()) {
            gtk_main_iteration_do(FALSE);
        }
        gdk_window_process_all_updates();
        g_usleep(5000);
    }
}

GtkAllocation Alloc(GtkWidget* widget) {
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    return a;
}

std::vector<GtkWidget*> Children(GtkWidget* container) {
    std::vector<GtkWidget*> out;
    GList* list = gtk_container_get_children(GTK_CONTAINER(container));
    for (GList* l = list; l != nullptr; l = l->next) {
        out.push_back(GTK_WIDGET(l->data));
    }
    g_list_free(list);
    return out;
}

int FontSize(GtkWidget* widget) {
    return pango_font_description_get_size(gtk_widget_get_style(widget)->font_desc);
}

void SetText(char* global, const std::string& text) {
    std::memset(global, 0, kLocalStringSize);
    std::memcpy(global, text.data(), text.size());
}

void SetLicense(const std::string& bytes) {
    std::free(licenseData);
    licenseData = static_cast<char*>(std::malloc(bytes.size() + 1));
    std::memcpy(licenseData, bytes.data(), bytes.size());
    licenseDataSize = static_cast<int32_t>(bytes.size());
}

// The visible message dialog over the installer's window, or null.
GtkWidget* FailureDialog() {
    GtkWidget* found = nullptr;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l != nullptr; l = l->next) {
        GtkWidget* w = GTK_WIDGET(l->data);
        if (GTK_IS_MESSAGE_DIALOG(w) && gtk_widget_get_visible(w) &&
            gtk_window_get_transient_for(GTK_WINDOW(w)) == GTK_WINDOW(window)) {
            found = w;
        }
    }
    g_list_free(all);
    return found;
}

std::string Property(GtkWidget* widget, const char* name) {
    gchar* value = nullptr;
    g_object_get(widget, name, &value, nullptr);
    std::string text = value != nullptr ? value : "";
    g_free(value);
    return text;
}

void SendWmDelete(Window target) {
    Display* dpy = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
    XEvent ev = {};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = target;
    ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, target, False, NoEventMask, &ev);
    XFlush(dpy);
}

// Runs the main loop until something quits it; false when it had to be
// stopped after a few seconds.
bool RunMainLoop(GSourceFunc kick) {
    static bool timedOut;
    timedOut = false;
    g_idle_add(kick, nullptr);
    guint guard = g_timeout_add(5000, [](gpointer) -> gboolean {
        timedOut = true;
        gtk_main_quit();
        return FALSE;
    }, nullptr);
    gtk_main();
    if (!timedOut) {
        g_source_remove(guard);
    }
    return !timedOut;
}

class InstallWindowTest : public testing::Test {
protected:
    void SetUp() override {
        if (!gSkipReason.empty()) {
            GTEST_SKIP() << "window tests need an X display: " << gSkipReason;
        }
        SetText(str_processName, "Norvane Driver Setup");
        SetText(str_noticeLabel, "Please read the licence below. It is long enough to wrap onto a second "
                                 "line of the notice label at twelve points.");
        SetText(str_checkButton, "I accept the licence");
        SetText(str_installButton, "Install the driver now");
        SetText(str_finishLabel, "All done!");
        SetText(str_doneButton, "Close");
        SetText(str_failedLabel, "Setup failed.");
        SetText(str_noPackageLabel, "No package in:");
        SetText(str_outputLabel, "It said:");
        SetText(str_closeButton, "Dismiss");
        SetLicense(std::string("\xEF\xBB\xBF", 3) + "Licence text\nsecond line\n");
        WriteFile(dir_.File(std::string("driver") + packageSuffix()), "");
        ScopedChdir cwd(dir_.path());
        ConsoleCapture quiet;
        initRPMPath();
    }

    void TearDown() override {
        if (GtkWidget* dialog = FailureDialog()) {
            gtk_widget_destroy(dialog);
        }
        if (window != nullptr) {
            // The program never outlives its window; here the next test does.
            g_signal_handlers_disconnect_by_func(window, reinterpret_cast<gpointer>(destroy), nullptr);
            gtk_widget_destroy(window);
            window = nullptr;
            Pump();
        }
    }

    void Show() {
        initAndShowInstallWindow();
        Pump();
    }

    // Ticks the box and presses install; returns what was printed.
    std::string TickAndInstall() {
        gtk_button_clicked(GTK_BUTTON(check_button));
        ConsoleCapture console;
        gtk_button_clicked(GTK_BUTTON(gButton));
        Pump();
        return console.Text();
    }

    void CheckInstallPageGeometry() {
        GtkRequisition bReq;
        gtk_widget_get_child_requisition(gButton, &bReq);
        const int bw = std::max(50, bReq.width);
        const int bh = bReq.height;
        GtkRequisition cReq;
        gtk_widget_get_child_requisition(check_button, &cReq);
        const int ch = cReq.height;

        const GtkAllocation win = Alloc(window);
        EXPECT_EQ(500, win.width);
        EXPECT_EQ(420, win.height);
        const GtkAllocation box = Alloc(vbox);
        EXPECT_EQ(15, box.x);
        EXPECT_EQ(15, box.y);
        EXPECT_EQ(470, box.width);
        EXPECT_EQ(390, box.height);

        const GtkAllocation lab = Alloc(label);
        const GtkAllocation scr = Alloc(scrolled_window);
        const GtkAllocation fix = Alloc(fixed);
        const GtkAllocation chk = Alloc(check_fixed);
        const int h = lab.height - 15;
        EXPECT_GT(h, 0);
        int textWidth, textHeight;
        pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(label)), &textWidth, &textHeight);
        EXPECT_EQ(textHeight, h) << "the notice is drawn taller than it was measured";
        EXPECT_EQ(470, lab.width);
        EXPECT_EQ(470, scr.width);
        EXPECT_EQ(360 - h - bh, scr.height);
        EXPECT_EQ(15 + bh, fix.height);
        // The lifted check box asks for no height of its own (the box still
        // gives every child at least one pixel).
        GtkRequisition chkReq;
        gtk_widget_get_child_requisition(check_fixed, &chkReq);
        EXPECT_EQ(0, chkReq.height);
        EXPECT_EQ(390, lab.height + scr.height + fix.height + chkReq.height);

        const GtkAllocation btn = Alloc(gButton);
        EXPECT_EQ(bw, btn.width);
        EXPECT_EQ(470 - bw, btn.x - fix.x);
        EXPECT_EQ(15, btn.y - fix.y);
        const GtkAllocation cb = Alloc(check_button);
        EXPECT_EQ(0, cb.x - chk.x);
        EXPECT_EQ((ch - bh) / 2 - ch, cb.y - chk.y);
        // Centred on the install button, in its row.
        EXPECT_LE(std::abs((cb.y + cb.height / 2) - (btn.y + btn.height / 2)), 1);
    }

    TempDir dir_;
    FakePkexec pkexec_;
};

TEST_F(InstallWindowTest, CheckBoxControlsTheInstallButton) {
    Show();
    EXPECT_FALSE(gtk_widget_is_sensitive(gButton));
    EXPECT_FALSE(gtk_button_get_focus_on_click(GTK_BUTTON(check_button)));

    gtk_button_clicked(GTK_BUTTON(check_button));
    EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(check_button)));
    EXPECT_TRUE(gtk_widget_is_sensitive(gButton));
    EXPECT_TRUE(gtk_widget_is_focus(gButton));

    gtk_button_clicked(GTK_BUTTON(check_button));
    EXPECT_FALSE(gtk_widget_is_sensitive(gButton));
    EXPECT_TRUE(pkexec_.Calls().empty());
}

TEST_F(InstallWindowTest, InstallPageLayout) {
    Show();
    EXPECT_STREQ("Norvane Driver Setup", gtk_window_get_title(GTK_WINDOW(window)));
    EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(window)));
    EXPECT_EQ(15u, gtk_container_get_border_width(GTK_CONTAINER(window)));
    EXPECT_EQ(12 * PANGO_SCALE, FontSize(label));
    EXPECT_TRUE(gtk_label_get_line_wrap(GTK_LABEL(label)));
    EXPECT_EQ(std::vector<GtkWidget*>({label, scrolled_window, fixed, check_fixed}), Children(vbox));
    EXPECT_FALSE(gtk_text_view_get_editable(GTK_TEXT_VIEW(text_view)));
    EXPECT_EQ(GTK_WRAP_WORD, gtk_text_view_get_wrap_mode(GTK_TEXT_VIEW(text_view)));

    // The licence reaches the view byte for byte, byte-order mark included.
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(text_buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(text_buffer, &start, &end, TRUE);
    EXPECT_EQ(std::string(licenseData, licenseDataSize), text);
    g_free(text);

    CheckInstallPageGeometry();
    // A wide button label puts the right edge of the button at 470.
    EXPECT_GT(Alloc(gButton).width, 50);
}

TEST_F(InstallWindowTest, EmptyTextsStillGiveAWorkingWindow) {
    for (char* text : {str_processName, str_noticeLabel, str_checkButton, str_installButton,
                       str_finishLabel, str_doneButton}) {
        SetText(text, "");
    }
    std::free(licenseData);
    licenseData = nullptr;
    licenseDataSize = 0;
    Show();
    CheckInstallPageGeometry();
    // A narrow button is widened to 50 and stands at x = 420.
    EXPECT_EQ(50, Alloc(gButton).width);
    EXPECT_EQ(420, Alloc(gButton).x - Alloc(fixed).x);
    EXPECT_EQ(0, gtk_text_buffer_get_char_count(text_buffer));

    EXPECT_EQ("system return 0\n", TickAndInstall());
    GtkWidget* done = Children(Children(gtk_bin_get_child(GTK_BIN(window)))[1])[0];
    EXPECT_EQ(50, Alloc(done).width);
}

TEST_F(InstallWindowTest, LicenceThatIsNotUtf8IsShownAsFarAsPossible) {
    SetLicense("Lizenz f\xfcr alle\n");
    ConsoleCapture console;
    Show();
    EXPECT_NE(std::string::npos, console.Text().find("license text is not valid UTF-8"));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(text_buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(text_buffer, &start, &end, TRUE);
    EXPECT_EQ("Lizenz f\xEF\xBF\xBDr alle\n", std::string(text));
    g_free(text);
}

// Checks the failure dialog over the window and closes it with its button.
void CheckAndCloseFailureDialog(const std::string& detail) {
    GtkWidget* dialog = FailureDialog();
    ASSERT_NE(nullptr, dialog) << "no failure dialog";
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(dialog)));
    GtkMessageType type;
    g_object_get(dialog, "message-type", &type, nullptr);
    EXPECT_EQ(GTK_MESSAGE_ERROR, type);
    EXPECT_EQ(str_failedLabel, Property(dialog, "text"));
    EXPECT_EQ(detail, Property(dialog, "secondary-text"));
    EXPECT_STREQ(str_processName, gtk_window_get_title(GTK_WINDOW(dialog)));
    GtkWidget* close = gtk_window_get_focus(GTK_WINDOW(dialog));
    ASSERT_TRUE(close != nullptr && GTK_IS_BUTTON(close));
    EXPECT_STREQ(str_closeButton, gtk_button_get_label(GTK_BUTTON(close)));
    gtk_button_clicked(GTK_BUTTON(close));
    Pump();
    EXPECT_EQ(nullptr, FailureDialog());
}

TEST_F(InstallWindowTest, FailedInstallShowsWhyAndLeavesThePageAsItWas) {
    Show();
    pkexec_.SetStatus(1);
    std::string said;
    for (int i = 1; i <= 12; ++i) {
        said += "dpkg line " + std::to_string(i) + "\n";
    }
    pkexec_.SetOutput("", said);
    EXPECT_EQ("system return 256\n", TickAndInstall());
    CheckAndCloseFailureDialog("It said:\ndpkg line 5\ndpkg line 6\ndpkg line 7\ndpkg line 8\n"
                               "dpkg line 9\ndpkg line 10\ndpkg line 11\ndpkg line 12");
    EXPECT_EQ(vbox, gtk_bin_get_child(GTK_BIN(window)));
    EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(check_button)));
    EXPECT_TRUE(gtk_widget_is_sensitive(gButton));
    CheckInstallPageGeometry();

    // Pressing again runs the very same command again.
    ConsoleCapture console;
    gtk_button_clicked(GTK_BUTTON(gButton));
    EXPECT_EQ("system return 256\n", console.Text());
    EXPECT_NE(nullptr, FailureDialog());
    const auto calls = pkexec_.Calls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(calls[0], calls[1]);
    EXPECT_EQ((std::vector<std::string>{"dpkg", "-i", dir_.File(std::string("driver") + packageSuffix())}),
              calls[0]);
}

TEST_F(InstallWindowTest, NoPackageShowsWhereItWasLookedFor) {
    ::remove(dir_.File(std::string("driver") + packageSuffix()).c_str());
    {
        ScopedChdir cwd(dir_.path());
        ConsoleCapture quiet;
        initRPMPath();
    }
    Show();
    TickAndInstall();
    CheckAndCloseFailureDialog("No package in:\n" + dir_.path() + "/*" + packageSuffix());
    EXPECT_TRUE(pkexec_.Calls().empty());
    EXPECT_EQ(vbox, gtk_bin_get_child(GTK_BIN(window)));
}

TEST_F(InstallWindowTest, SuccessfulInstallShowsTheSuccessPage) {
    Show();
    GtkWidget* installPage = GTK_WIDGET(g_object_ref(vbox));
    EXPECT_EQ("system return 0\n", TickAndInstall());
    EXPECT_EQ(nullptr, gtk_widget_get_parent(installPage));
    g_object_unref(installPage);

    GtkWidget* page = gtk_bin_get_child(GTK_BIN(window));
    ASSERT_NE(nullptr, page);
    const std::vector<GtkWidget*> rows = Children(page);
    ASSERT_EQ(2u, rows.size());
    GtkWidget* finish = rows[0];
    GtkWidget* buttonRow = rows[1];
    ASSERT_TRUE(GTK_IS_LABEL(finish));
    ASSERT_TRUE(GTK_IS_FIXED(buttonRow));
    GtkWidget* done = Children(buttonRow)[0];

    EXPECT_STREQ("All done!", gtk_label_get_text(GTK_LABEL(finish)));
    EXPECT_EQ(26 * PANGO_SCALE, FontSize(finish));
    gfloat xalign, yalign;
    gtk_misc_get_alignment(GTK_MISC(finish), &xalign, &yalign);
    EXPECT_EQ(0.5f, xalign);
    EXPECT_EQ(0.5f, yalign);
    EXPECT_FALSE(gtk_label_get_line_wrap(GTK_LABEL(finish)));
    EXPECT_EQ(done, gtk_window_get_focus(GTK_WINDOW(window)));

    // Same window, same title and size; the rows fill the inner area.
    EXPECT_STREQ("Norvane Driver Setup", gtk_window_get_title(GTK_WINDOW(window)));
    EXPECT_EQ(500, Alloc(window).width);
    EXPECT_EQ(420, Alloc(window).height);
    const int dw = Alloc(done).width;
    const int dh = Alloc(done).height;
    EXPECT_EQ(15, Alloc(finish).x);
    EXPECT_EQ(15, Alloc(finish).y);
    EXPECT_EQ(470, Alloc(finish).width);
    EXPECT_EQ(375 - dh, Alloc(finish).height);
    EXPECT_EQ(15 + dh, Alloc(buttonRow).height);
    EXPECT_EQ(470 - dw, Alloc(done).x - Alloc(buttonRow).x);
    EXPECT_EQ(15, Alloc(done).y - Alloc(buttonRow).y);

    // The done button ends the main loop.
    static GtkWidget* doneButton;
    doneButton = done;
    EXPECT_TRUE(RunMainLoop([](gpointer) -> gboolean {
        gtk_button_clicked(GTK_BUTTON(doneButton));
        return FALSE;
    }));
}

// Closing by the window manager, on either page.
TEST_F(InstallWindowTest, ClosingTheWindowEndsTheMainLoop) {
    for (bool successPage : {false, true}) {
        SCOPED_TRACE(successPage ? "success page" : "install page");
        Show();
        if (successPage) {
            TickAndInstall();
        }
        ConsoleCapture console;
        EXPECT_TRUE(RunMainLoop([](gpointer) -> gboolean {
            SendWmDelete(GDK_WINDOW_XID(gtk_widget_get_window(window)));
            return FALSE;
        }));
        EXPECT_EQ("delete event occurred\n", console.Text());
        window = nullptr;  // destroyed by the toolkit
    }
}

// Writes <build folder>/<name>.png of the window (or the widget given) and
// checks there is a picture in it.
void Screenshot(const std::string& name, GtkWidget* shown = nullptr) {
    Pump();
    shown = shown != nullptr ? shown : window;
    const GtkAllocation size = Alloc(shown);
    GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(nullptr, gtk_widget_get_window(shown), nullptr, 0, 0,
                                                   0, 0, size.width, size.height);
    ASSERT_NE(nullptr, shot);
    const std::string path = std::string(TEST_OUTPUT_DIR) + "/" + name + ".png";
    GError* error = nullptr;
    EXPECT_TRUE(gdk_pixbuf_save(shot, path.c_str(), "png", &error, nullptr)) << (error ? error->message : "");
    if (error != nullptr) {
        g_error_free(error);
    }
    // Dark pixels: text, frames and the check box.
    const guchar* pixels = gdk_pixbuf_get_pixels(shot);
    const int stride = gdk_pixbuf_get_rowstride(shot);
    const int channels = gdk_pixbuf_get_n_channels(shot);
    int dark = 0;
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x) {
            dark += pixels[y * stride + x * channels] < 96;
        }
    }
    EXPECT_GT(dark, 200) << path << " looks empty";
    g_object_unref(shot);
    std::printf("screenshot: %s\n", path.c_str());
}

class ShippedTextsWindowTest : public InstallWindowTest {
protected:
    void LoadShippedTexts(const char* locale) {
        TempDir dir;
        ASSERT_EQ(0, symlink(INSTALLER_LOCALE_DIR, dir.File("locale").c_str()));
        ScopedChdir cwd(dir.path());
        ScopedEnv lang("LANG", locale);
        ConsoleCapture quiet;
        initialzeLocalStrings();
    }
};

TEST_F(ShippedTextsWindowTest, InstallPageScreenshot) {
    for (const char* locale : {"en_US.UTF-8", "de_DE.UTF-8"}) {
        LoadShippedTexts(locale);
        Show();
        gtk_button_clicked(GTK_BUTTON(check_button));
        CheckInstallPageGeometry();
        // Translations must leave the check box clear of the install button.
        EXPECT_LT(Alloc(check_button).x + Alloc(check_button).width, Alloc(gButton).x) << locale;
        Screenshot(std::string("installer-install-page-") + std::string(locale, 5));
        TearDown();
    }
}

TEST_F(ShippedTextsWindowTest, SuccessPageScreenshot) {
    for (const char* locale : {"en_US.UTF-8", "de_DE.UTF-8"}) {
        LoadShippedTexts(locale);
        Show();
        TickAndInstall();
        Screenshot(std::string("installer-success-page-") + std::string(locale, 5));
        TearDown();
    }
}

TEST_F(ShippedTextsWindowTest, FailureDialogScreenshot) {
    pkexec_.SetStatus(1);
    pkexec_.SetOutput("", "dpkg: error processing archive " + dir_.File(std::string("driver") + packageSuffix()) +
                              " (--install):\n package architecture (i386) does not match system (amd64)\n"
                              "Errors were encountered while processing:\n " +
                              dir_.File(std::string("driver") + packageSuffix()) + "\n");
    for (const char* locale : {"en_US.UTF-8", "de_DE.UTF-8"}) {
        LoadShippedTexts(locale);
        Show();
        TickAndInstall();
        GtkWidget* dialog = FailureDialog();
        ASSERT_NE(nullptr, dialog) << locale;
        EXPECT_EQ(str_failedLabel, Property(dialog, "text"));
        Screenshot(std::string("installer-failure-dialog-") + std::string(locale, 5), dialog);
        TearDown();
    }
}

// The real program, from start to a close by the window manager.
TEST(InstallerProgram, ClosingTheWindowEndsWithStatusZero) {
    if (!gSkipReason.empty()) {
        GTEST_SKIP() << "window tests need an X display: " << gSkipReason;
    }
    TempDir dir;
    const std::string title = "Installer close test " + std::to_string(getpid());
    MakeDirs(dir.File("locale/en_US.UTF-8"));
    WriteFile(dir.File("locale/en_US.UTF-8/strings.txt"), "str_processName = " + title + "\n");
    const std::string out = dir.File("console.txt");
    WriteFile(dir.File("toolkit-leaks.supp"), kToolkitLeaks);

    ChildProcess installer;
    ASSERT_EQ("", installer.Start({INSTALLER_PATH}, dir.path(),
                                  {"LANG=en_US.UTF-8", "LSAN_OPTIONS=suppressions=" + dir.File("toolkit-leaks.supp")},
                                  out));
    Display* dpy = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
    const Window found = WaitForTopLevel(dpy, title, 10);
    ASSERT_NE(0u, found) << "the installer's window never showed";
    SendWmDelete(found);
    int status;
    ASSERT_TRUE(installer.Wait(10, &status)) << "the installer did not end";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_EQ("en_US.UTF-8\ndelete event occurred\n", ReadFile(out));
}

}  // namespace
