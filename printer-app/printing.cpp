#include "printing.h"

bool StartRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device)
{
    (void)options;
    (void)device;
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Printing is not available yet.");
    return false;
}

bool StartRasterPage(pappl_job_t*, pappl_pr_options_t*, pappl_device_t*, unsigned) { return false; }

bool WriteRasterLine(pappl_job_t*, pappl_pr_options_t*, pappl_device_t*, unsigned,
                     const unsigned char*)
{
    return false;
}

bool EndRasterPage(pappl_job_t*, pappl_pr_options_t*, pappl_device_t*, unsigned) { return false; }

bool EndRasterJob(pappl_job_t*, pappl_pr_options_t*, pappl_device_t*) { return false; }
