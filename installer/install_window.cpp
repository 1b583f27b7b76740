#include "install_window.h"

#include <cstdio>

#include "local_strings.h"
#include "package_install.h"

GtkWidget* window;
GtkWidget* vbox;
GtkWidget* label;
GtkWidget* scrolled_window;
GtkWidget* text_view;
GtkTextBuffer* text_buffer;
GtkWidget* fixed;
GtkWidget* gButton;
GtkWidget* check_button;
GtkWidget* check_fixed;
GtkWidget* failure_dialog;

namespace {

// Inner area of the window once its 15-pixel border is taken off.
constexpr int kBorder = 15;
constexpr int kInnerWidth = 470;
constexpr int kMinButtonWidth = 50;
// Of what dpkg said, the failure dialog shows the end: where it says why.
constexpr int kOutputLines = 8;

void connect(gpointer instance, const char* signal, GCallback handler) {
    g_signal_connect_data(instance, signal, handler, nullptr, nullptr, static_cast<GConnectFlags>(0));
}

// Width and height the button asks for, widened to the minimum width.
GtkRequisition buttonSize(GtkWidget* button) {
    GtkRequisition size;
    gtk_widget_size_request(button, &size);
    if (size.width < kMinButtonWidth) {
        gtk_widget_set_size_request(button, kMinButtonWidth, -1);
        size.width = kMinButtonWidth;
    }
    return size;
}

void setFont(GtkWidget* widget, int points) {
    PangoFontDescription* font = pango_font_description_from_string("12");
    if (points != 12) {
        pango_font_description_set_size(font, points * PANGO_SCALE);
    }
    gtk_widget_modify_font(widget, font);
    pango_font_description_free(font);
}

void setLicenseText() {
    const char* data = licenseData != nullptr ? licenseData : "";
    if (g_utf8_validate(data, licenseDataSize, nullptr)) {
        gtk_text_buffer_set_text(text_buffer, data, licenseDataSize);
        return;
    }
    // The view takes UTF-8 only and would show nothing at all; show what can
    // be shown instead of an empty licence.
    std::printf("license text is not valid UTF-8: %s\n", licensePath);
    gchar* valid = g_utf8_make_valid(data, licenseDataSize);
    gtk_text_buffer_set_text(text_buffer, valid, -1);
    g_free(valid);
}

void failureDialogResponse(GtkDialog* dialog, gint, gpointer) {
    gtk_widget_destroy(GTK_WIDGET(dialog));
}

void failureDialogDestroyed(GtkWidget*, gpointer) {
    failure_dialog = nullptr;
}

// Why the installation failed, for the failure dialog.
std::string failureDetail(const std::string& output) {
    if (rpmPathList.empty()) {
        return std::string(str_noPackageLabel) + "\n" + packageFolder + "/*" + packageSuffix();
    }
    const std::string tail = lastLines(output, kOutputLines);
    return tail.empty() ? "" : std::string(str_outputLabel) + "\n" + tail;
}

}  // namespace

void initAndShowInstallWindow() {
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), str_processName);
    gtk_widget_set_size_request(window, 500, 420);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_container_set_border_width(GTK_CONTAINER(window), kBorder);

    connect(window, "delete_event", G_CALLBACK(delete_event));
    connect(window, "destroy", G_CALLBACK(destroy));

    label = gtk_label_new(str_noticeLabel);
    gtk_widget_set_size_request(label, kInnerWidth, -1);
    gtk_misc_set_alignment(GTK_MISC(label), 0.0, 0.0);
    setFont(label, 12);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD);

    // The 12-point font takes effect only once the label belongs to the
    // window; measured before that, the notice would get the height of the
    // theme's smaller font and its last line would be cut off.
    vbox = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), vbox);
    gtk_box_pack_start(GTK_BOX(vbox), label, FALSE, TRUE, 0);

    GtkRequisition labelSize;
    gtk_widget_size_request(label, &labelSize);
    gtk_widget_set_size_request(label, labelSize.width, labelSize.height + 15);
    const int h = labelSize.height;

    gButton = gtk_button_new_with_label(str_installButton);
    const GtkRequisition buttonReq = buttonSize(gButton);
    const int bw = buttonReq.width;
    const int bh = buttonReq.height;

    fixed = gtk_fixed_new();
    gtk_fixed_put(GTK_FIXED(fixed), gButton, kInnerWidth - bw, 15);

    gtk_widget_set_sensitive(gButton, FALSE);
    connect(gButton, "clicked", G_CALLBACK(buttonClicked));

    check_button = gtk_check_button_new_with_label(str_checkButton);
    GtkRequisition checkSize;
    gtk_widget_size_request(check_button, &checkSize);
    const int ch = checkSize.height;
    gtk_button_set_focus_on_click(GTK_BUTTON(check_button), FALSE);
    connect(check_button, "clicked", G_CALLBACK(checkButtonClicked));

    // check_fixed sits below the button row; the negative offset lifts the
    // box up into that row, centred on the install button.
    check_fixed = gtk_fixed_new();
    gtk_fixed_put(GTK_FIXED(check_fixed), check_button, 0, (ch - bh) / 2 - ch);

    scrolled_window = gtk_scrolled_window_new(nullptr, nullptr);
    text_view = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(text_view), FALSE);
    gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(text_view), FALSE);
    text_buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(text_view));
    setLicenseText();

    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled_window), GTK_SHADOW_IN);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(text_view), GTK_WRAP_WORD);
    gtk_container_add(GTK_CONTAINER(scrolled_window), text_view);

    // Rows: (h + 15) + (360 - h - bh) + (15 + bh) = 390, the inner height.
    gtk_widget_set_size_request(scrolled_window, kInnerWidth, 360 - h - bh);

    gtk_box_pack_start(GTK_BOX(vbox), scrolled_window, FALSE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(vbox), fixed, FALSE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(vbox), check_fixed, FALSE, TRUE, 0);

    gtk_widget_show(check_fixed);
    gtk_widget_show(label);
    gtk_widget_show(scrolled_window);
    gtk_widget_show(text_view);
    gtk_widget_show(gButton);
    gtk_widget_show(check_button);
    gtk_widget_show(fixed);
    gtk_widget_show(vbox);
    gtk_widget_show(window);
}

void checkButtonClicked(GtkWidget* widget, gpointer) {
    const bool ticked = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget)) != FALSE;
    gtk_widget_set_sensitive(gButton, ticked);
    if (ticked) {
        gtk_widget_grab_focus(gButton);
    }
}

void buttonClicked(GtkWidget*, gpointer) {
    std::string output;
    if (installPackages(&output) == 0) {
        deallocInstallWindow();
        initAndshowInstallSucceededWindow();
        return;
    }
    showInstallFailedDialog(failureDetail(output));
}

void showInstallFailedDialog(const std::string& detail) {
    if (failure_dialog != nullptr) {
        gtk_widget_destroy(failure_dialog);
    }
    // Modal: the install button waits until the user has read why.
    failure_dialog = gtk_message_dialog_new(GTK_WINDOW(window),
                                            static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                            GTK_MESSAGE_ERROR, GTK_BUTTONS_NONE, "%s", str_failedLabel);
    gtk_window_set_title(GTK_WINDOW(failure_dialog), str_processName);
    if (!detail.empty()) {
        // dpkg's output is not ours: show what is not UTF-8 as far as possible.
        gchar* valid = g_utf8_make_valid(detail.data(), static_cast<gssize>(detail.size()));
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(failure_dialog), "%s", valid);
        g_free(valid);
    }
    // Long paths have no blanks to wrap at; without this they widen the dialog.
    GList* texts = gtk_container_get_children(
        GTK_CONTAINER(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(failure_dialog))));
    for (GList* l = texts; l != nullptr; l = l->next) {
        if (GTK_IS_LABEL(l->data)) {
            gtk_label_set_line_wrap_mode(GTK_LABEL(l->data), PANGO_WRAP_WORD_CHAR);
        }
    }
    g_list_free(texts);

    // A plain label: our texts carry no mnemonics.
    GtkWidget* close = gtk_button_new_with_label(str_closeButton);
    gtk_widget_set_can_default(close, TRUE);
    gtk_dialog_add_action_widget(GTK_DIALOG(failure_dialog), close, GTK_RESPONSE_CLOSE);
    gtk_dialog_set_default_response(GTK_DIALOG(failure_dialog), GTK_RESPONSE_CLOSE);
    connect(failure_dialog, "response", G_CALLBACK(failureDialogResponse));
    connect(failure_dialog, "destroy", G_CALLBACK(failureDialogDestroyed));
    gtk_widget_show(close);
    gtk_widget_show(failure_dialog);
    gtk_widget_grab_focus(close);
}

void deallocInstallWindow() {
    gtk_widget_hide(vbox);
    gtk_container_remove(GTK_CONTAINER(window), vbox);
}

void initAndshowInstallSucceededWindow() {
    GtkWidget* doneButton = gtk_button_new_with_label(str_doneButton);
    GtkWidget* buttonRow = gtk_fixed_new();
    const GtkRequisition doneReq = buttonSize(doneButton);
    const int dw = doneReq.width;
    const int dh = doneReq.height;
    gtk_fixed_put(GTK_FIXED(buttonRow), doneButton, kInnerWidth - dw, 15);
    connect(doneButton, "clicked", G_CALLBACK(destroy));

    GtkWidget* finishLabel = gtk_label_new(str_finishLabel);
    setFont(finishLabel, 26);
    gtk_misc_set_alignment(GTK_MISC(finishLabel), 0.5, 0.5);
    // Rows: (375 - dh) + (15 + dh) = 390, the inner height.
    gtk_widget_set_size_request(finishLabel, kInnerWidth, 375 - dh);

    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), finishLabel, FALSE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(box), buttonRow, FALSE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);

    gtk_widget_show(finishLabel);
    gtk_widget_show(doneButton);
    gtk_widget_show(buttonRow);
    gtk_widget_show(box);
    gtk_widget_grab_focus(doneButton);
}

gboolean delete_event(GtkWidget*, GdkEvent*, gpointer) {
    g_print("delete event occurred\n");
    return FALSE;
}

void destroy(GtkWidget*, gpointer) {
    gtk_main_quit();
}
