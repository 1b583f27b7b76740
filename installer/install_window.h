// The installer's one window: the licence page with its install button, and
// the success page that replaces it after a good installation.
#pragma once

#include <gtk/gtk.h>

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

void initAndShowInstallWindow();
void checkButtonClicked(GtkWidget* widget, gpointer data);
void buttonClicked(GtkWidget* widget, gpointer data);
void deallocInstallWindow();
void initAndshowInstallSucceededWindow();
gboolean delete_event(GtkWidget* widget, GdkEvent* event, gpointer data);
void destroy(GtkWidget* widget, gpointer data);
