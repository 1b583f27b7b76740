// Under LeakSanitizer the application's processes (started by these tests,
// which hand them their environment) leave out what PAPPL itself keeps
// until exit: see lsan.supp.
#pragma once

#include <cstdlib>

#ifndef APP_TEST_DIR
#error APP_TEST_DIR is the folder of lsan.supp
#endif

inline const bool appLeakSuppressions =
    setenv("LSAN_OPTIONS", "suppressions=" APP_TEST_DIR "/lsan.supp", 0) == 0;
