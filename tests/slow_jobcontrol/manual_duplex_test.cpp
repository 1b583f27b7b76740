// A whole manual-duplex job through the filter. Slow: the filter pauses
// 10 seconds at its end so that the user can read the instruction.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "stream_decoder.h"
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

TEST(ManualDuplexProcess, ManualDuplexWinsOverMachineDuplexOnEveryPlatform)
{
    // Asked for together, the user turns the stack and the printer does not:
    // from its first page on, the stream is that of manual duplex alone
    // (the document start carries the clock on platforms 1 and 2). The jobs
    // run side by side, so that their pauses overlap.
    TempDir dir, spoolDir;
    const std::string raster =
        WriteRasterJob(dir.File("job.ras"), std::vector<RasterPage>(3, PaperPage(72, 72)));
    const char* const models[] = {"Norvane R33 Series", "Norvane R01 Series", "Norvane R05 Series"};
    const char* const variants[] = {"ManualDuplex=True", "Duplex=DuplexNoTumble ManualDuplex=True",
                                    "sides=two-sided-long-edge ManualDuplex=True"};
    std::vector<std::unique_ptr<LiveFilter>> filters;
    for (const char* model : models) {
        TestPpd ppd;
        ppd.modelName = model;
        // Written once: rewriting it while an earlier job of the model reads it
        // would hand that job a half-written PPD.
        const std::string ppdPath = WriteTestPpd(dir.File(std::string(model) + ".ppd"), ppd);
        for (const char* options : variants) {
            FilterRun run;
            run.args = JobArgs(options, raster);
            run.env["PPD"] = ppdPath;
            run.env["TMPDIR"] = spoolDir.path();
            run.timeoutSeconds = 60;
            filters.push_back(std::make_unique<LiveFilter>(run));
        }
    }
    auto fromFirstPage = [](const FilterResult& r) {
        const streamview::StreamResult job = streamview::DecodeStream(r.out);
        EXPECT_TRUE(job.ok && job.PageCount() == 4) << job.PageCount() << " pages; " << job.error.text;
        const size_t at = job.PageCount() > 0 ? job.documents[0].pages[0].offset : 0;
        return std::vector<uint8_t>(r.out.begin() + static_cast<long>(at), r.out.end());
    };
    for (size_t m = 0; m < std::size(models); ++m) {
        const FilterResult manual = filters[m * 3]->Finish();
        EXPECT_EQ(manual.exitStatus, 0) << manual.err;
        const std::vector<uint8_t> expected = fromFirstPage(manual);
        for (size_t v = 1; v < 3; ++v) {
            SCOPED_TRACE(std::string(models[m]) + ", " + variants[v]);
            const FilterResult both = filters[m * 3 + v]->Finish();
            EXPECT_EQ(both.exitStatus, 0) << both.err;
            EXPECT_NE(both.err.find("INFO: Manual two-sided printing was asked for together with the printer's own"),
                      std::string::npos)
                << both.err;
            EXPECT_TRUE(fromFirstPage(both) == expected) << "the stream is not that of manual duplex alone";
        }
    }
    EXPECT_TRUE(spoolDir.Entries().empty());
}

}  // namespace
