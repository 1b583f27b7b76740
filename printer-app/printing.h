// The raster callbacks: PAPPL hands a job's pages line by line; they go to
// the engine, cropped to each sheet's bitmap.
#pragma once

#include <pappl/pappl.h>

bool StartRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool StartRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     unsigned page);
bool WriteRasterLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     unsigned y, const unsigned char* line);
bool EndRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                   unsigned page);
bool EndRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

// Seconds a manual-duplex job waits for the turned stack before the even
// pages (server option manual-duplex-pause).
extern unsigned manualDuplexPauseSeconds;

// The instruction to turn the stack, as the PPDs carry it.
const char* ManualDuplexText();
