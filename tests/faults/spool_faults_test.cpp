// Spool files that cannot be made or cannot take the job's pages.
#include <fstream>

#include "fault_job.h"

namespace {

class SpoolFaults : public FaultTest {};

const char* const kSpoolingJobs[] = {"Collate=True", "ManualDuplex=True", "Collate=True ManualDuplex=True"};

TEST_F(SpoolFaults, NoPlaceForTheSpool)
{
    // As root, a read-only directory would still take the files.
    std::ofstream(work_.File("plain-file")) << "not a directory";
    RasterPage page = InchPage();
    page.copies = 2;
    const std::string raster = Raster({page, page});
    for (const std::string& tmp : {work_.File("plain-file"), work_.File("missing/dir")}) {
        for (const char* options : kSpoolingJobs) {
            SCOPED_TRACE(tmp + " / " + options);
            FilterRun run = Job(options, raster);
            run.env["TMPDIR"] = tmp;
            const FilterResult r = RunFilterProcess(run);
            ExpectError(r, 1, "spool file");
            EXPECT_EQ(work_.Entries().size(), 3u) << "the PPD, the raster and the plain file only";
            // With copies, the collate spool is the first to fail.
            if (std::string(options) == "ManualDuplex=True") {
                EXPECT_NE(r.OutText().find(" file open fail"), std::string::npos);
            }
        }
    }
}

TEST_F(SpoolFaults, SpoolWriteFailsForLackOfSpace)
{
    // The limit leaves the printer pipe alone; the spool runs into it on
    // the first page or on a later one. SIGXFSZ must not end the filter.
    RasterPage page = NoisyInchPage();
    page.copies = 3;
    const std::string raster = Raster({page, page, page});
    for (unsigned long long limit : {4096ull, 60000ull}) {
        for (const char* options : kSpoolingJobs) {
            SCOPED_TRACE(std::to_string(limit) + " / " + options);
            FilterRun run = Job(options, raster);
            run.fileSizeLimit = limit;
            const FilterResult r = RunFilterProcess(run);
            ExpectError(r, 1, "spool file");
        }
    }
}

}  // namespace
