// The installer's one window: the licence page with its install button, the
// success page that replaces it after a good installation, and the dialog
// that says why an installation failed.
#pragma once

#include <gtk/gtk.h>

#include <string>

extern GtkWidget* window;
extern GtkWidget* vbox;
extern GtkWidget* label;
extern GtkWidget* scrolled_window;
extern GtkWidget* text_view;
extern GtkTextBuffer* text_buffer;
extern GtkWidget* fixed;
extern GtkWidget* gButton;
extern GtkWidget* check_button;
extern GtkWidget* check_fixed;
// The failure dialog while it is open, else null.
extern GtkWidget* failure_dialog;

void initAndShowInstallWindow();
void checkButtonClicked(GtkWidget* widget, gpointer data);
void buttonClicked(GtkWidget* widget, gpointer data);
void deallocInstallWindow();
void initAndshowInstallSucceededWindow();
// Shows the failure dialog over the window, with detail (may be empty)
// below the failure text. The install page stays as it was.
void showInstallFailedDialog(const std::string& detail);
gboolean delete_event(GtkWidget* widget, GdkEvent* event, gpointer data);
void destroy(GtkWidget* widget, gpointer data);
