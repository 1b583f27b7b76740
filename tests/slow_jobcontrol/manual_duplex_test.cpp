// A whole manual-duplex job through the filter. Slow: the filter pauses
// 10 seconds at its end so that the user can read the instruction.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/filter_process.h"
#include "support/raster_job.h"
#include "support/stdout_capture.h"

namespace {

std::vector<std::string> Lines(const std::string& text, const std::string& prefix)
{
    std::vector<std::string> found;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            found.push_back(line);
    return found;
}

TEST(ManualDuplexProcess, OddPagesThenTheInstructionThenEvenPagesBackwards)
{
    TempDir dir, spoolDir;
    TestPpd ppd;
    ppd.modelName = "Norvane R32 Series";
    ppd.manualDuplexText = "Turn the stack over";
    FilterRun run;
    run.args = JobArgs("ManualDuplex=True",
                       WriteRasterJob(dir.File("job.ras"), std::vector<RasterPage>(3, PaperPage(72, 72))));
    run.env["PPD"] = WriteTestPpd(dir.File("test.ppd"), ppd);
    run.env["TMPDIR"] = spoolDir.path();
    FilterResult result = RunFilterProcess(run);

    EXPECT_EQ(result.exitStatus, 0) << result.err;
    // Every page the printer receives is counted once, when it receives it;
    // page 4 is the blank back of page 3.
    EXPECT_EQ(Lines(result.err, "PAGE:"),
              (std::vector<std::string>{"PAGE: 1 1", "PAGE: 3 1", "PAGE: 4 1", "PAGE: 2 1"}))
        << result.err;
    const size_t instruction = result.err.find("INFO:Turn the stack over\n");
    ASSERT_NE(instruction, std::string::npos) << result.err;
    EXPECT_LT(result.err.find("PAGE: 3 1"), instruction);
    EXPECT_GT(result.err.find("PAGE: 4 1"), instruction);
    EXPECT_NE(result.err.find("INFO: Ready to print.\n"), std::string::npos);

    const std::string out = result.OutText();
    const std::string manualDuplexCmd = "\x0B\x04\x30\xC1";
    EXPECT_NE(out.find(manualDuplexCmd), std::string::npos);
    const std::string endOfJob = "\x1B%-12345X@PJL\r\n@PJL EOJ\r\n\x1B%-12345X\r\n";
    EXPECT_EQ(out.substr(out.size() - endOfJob.size()), endOfJob);
    EXPECT_TRUE(spoolDir.Entries().empty());
}

}  // namespace
