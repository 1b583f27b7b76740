// The CUPS filter's front end on the print engine: arguments, raster input,
// PPD, and the loop that feeds each page's header and lines to the job.
#pragma once

// Runs one job as the CUPS scheduler starts it:
//   rasterfilter job-id user title copies options [file]
// Returns the exit status. manualDuplexPauseSeconds: how long the end of a
// manual-duplex job waits (10 for the scheduler).
int RunFilter(int argc, char* argv[], unsigned manualDuplexPauseSeconds = 10);
