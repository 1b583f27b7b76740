// The filter's entry: arguments, raster input, PPD, and the page loop.
#pragma once

// Seconds the filter waits after a manual-duplex job, so that the user sees
// the instruction to turn the stack before the job is reported done.
extern unsigned manualDuplexPauseSeconds;

// Runs one job as the CUPS scheduler starts it:
//   rasterfilter job-id user title copies options [file]
// Returns the exit status.
int RunFilter(int argc, char* argv[]);
