#include <gtk/gtk.h>

#include "install_window.h"
#include "local_strings.h"
#include "package_install.h"

int main(int argc, char* argv[]) {
    // Texts first: they need no toolkit.
    initialzeLocalStrings();
    gtk_init(&argc, &argv);
    initRPMPath();
    initAndShowInstallWindow();
    gtk_main();
    return 0;
}
