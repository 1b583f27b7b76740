// A printer connection that is closed from the start, or that goes away
// while the filter is blocked writing to it.
#include "fault_job.h"

namespace {

class OutputFaults : public FaultTest {};

TEST_F(OutputFaults, StandardOutputClosedBeforeTheStart)
{
    RasterPage page = InchPage();
    page.copies = 2;
    const std::string raster = Raster({page, page});
    for (const char* options : {"", "Collate=True"}) {
        SCOPED_TRACE(options);
        // From a file and from standard input: neither may take the place
        // of the printer stream.
        FilterRun run = Job(options, raster);
        run.stdoutClosed = true;
        ExpectError(RunFilterProcess(run), 1, "output");
        run.args = JobArgs(options);
        run.stdinPath = raster;
        ExpectError(RunFilterProcess(run), 1, "output");
    }
}

TEST_F(OutputFaults, FullPipeWhoseReaderGoesAway)
{
    // Three pages of noise fill the pipe long before the job is done; the
    // raster comes from a file, so nothing drains the pipe meanwhile.
    RasterPage page = NoisyInchPage();
    page.copies = 2;
    const std::string raster = Raster({page, page, page});
    for (const char* options : {"", "Collate=True"}) {
        SCOPED_TRACE(options);
        LiveFilter filter(Job(options, raster));
        ASSERT_TRUE(filter.WaitForFullOutputPipe(30000)) << filter.Collected().err;
        filter.CloseOutput();
        ExpectError(filter.Finish(), 0, "printer");
    }
}

}  // namespace
