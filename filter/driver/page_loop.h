// The filter's entry: arguments, raster input, PPD, and the page loop.
#pragma once

// Runs one job as the CUPS scheduler starts it:
//   rasterfilter job-id user title copies options [file]
// Returns the exit status.
int RunFilter(int argc, char* argv[]);
