// rasterfilter: CUPS filter from 8-bit grey CUPS raster to the printer's
// stream.
#include "driver/page_loop.h"

int main(int argc, char* argv[])
{
    return RunFilter(argc, argv);
}
