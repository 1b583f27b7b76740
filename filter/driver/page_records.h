// Filling the records that the page loop hands to the stream stages, from
// the raster page header, the job options and the page geometry.
#pragma once

#include <cups/raster.h>

#include <cstdint>

#include "driver/job_options.h"
#include "driver/page_geometry.h"
#include "stream/records.h"

DocStartInfo MakeDocStartInfo(int jobId, const JobOption* options, int platform);

// Includes the long-edge feed of A5: feed flag 0x40, the platform's A5
// long-edge paper code and the paper and image sizes exchanged.
PageSetup MakePageSetup(const cups_page_header2_t& header, const PageGeometry& geometry,
                        const JobOption* options, int platform, int copies, int pageNumber,
                        int twoBitMode);

// width and height are the bitmap's, after any quarter turn.
PageDataInfo MakePageDataInfo(const cups_page_header2_t& header, uint32_t width, uint32_t height,
                              int twoBitMode, int platform, uint8_t* bitmap);

PageEndInfo MakePageEndInfo(const cups_page_header2_t& header, const JobOption* options,
                            int pageNumber);

DocEndInfo MakeDocEndInfo(const JobOption* options, int pageCount);
