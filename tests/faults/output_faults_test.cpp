// A printer connection that is closed from the start, that takes nothing,
// or that goes away while the filter is blocked writing to it: the job is
// not printed whole, so it fails.
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
        const FilterResult r = filter.Finish();
        ExpectError(r, 1, "printer");
        // The page being written when the reader went away, and any after
        // it, never reached the printer.
        EXPECT_EQ(r.err.find("PAGE: 3 "), std::string::npos) << r.err;
    }
}

TEST_F(OutputFaults, PrinterThatTakesNothing)
{
    // Every write fails at once: nothing is printed, so nothing is counted,
    // no copy or second half is sent and nobody is asked to turn the stack.
    RasterPage page = InchPage();
    page.copies = 2;
    const std::string raster = Raster({page, page, page});
    for (const char* model : {"Norvane R32 Series", "Norvane R01 Series", "Norvane R05 Series"}) {
        for (const char* options : {"", "Collate=True", "ManualDuplex=True", "Collate=True ManualDuplex=True"}) {
            SCOPED_TRACE(std::string(model) + " / " + options);
            TestPpd ppd;
            ppd.modelName = model;
            ppd.manualDuplexText = "Turn the stack";
            FilterRun run = Job(options, raster, ppd);
            run.stdoutPath = "/dev/full";
            run.timeoutSeconds = 8;  // the manual-duplex pause would take 10
            const FilterResult r = RunFilterProcess(run);
            ExpectError(r, 1, "Unable to send the print data to the printer: No space left on device");
            EXPECT_EQ(r.err.find("PAGE:"), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("Turn the stack"), std::string::npos) << r.err;
        }
    }
}

}  // namespace
