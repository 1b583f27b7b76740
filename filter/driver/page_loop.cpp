#include "driver/page_loop.h"

#include <cstdio>

// Placeholder until the page loop lands.
int RunFilter(int argc, char*[])
{
    if (argc != 6 && argc != 7) {
        std::fputs("ERROR: job-id user title copies options [file]\n", stderr);
        return 1;
    }
    return 1;
}
