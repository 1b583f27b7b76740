// The keep-alive filler on the real filter: a page whose raster stalls for
// more than one timer tick.
#include <gtest/gtest.h>

#include <string>

#include "support/filter_process.h"
#include "support/raster_job.h"
#include "support/stdout_capture.h"

namespace {

bool ErrHas(const LiveFilter& filter, const std::string& text)
{
    return filter.Collected().err.find(text) != std::string::npos;
}

TEST(KeepAliveProcess, FillerBetweenStagesOfASlowPageOnPlatform1NeverOnPlatform3)
{
    TempDir dir;
    const std::string rasterPath = WriteRasterJob(dir.File("job.ras"), {PaperPage(72, 72)});
    const std::vector<uint8_t> raster = [&] {
        FILE* f = std::fopen(rasterPath.c_str(), "rb");
        std::vector<uint8_t> bytes;
        for (int c; f && (c = std::fgetc(f)) != EOF;)
            bytes.push_back(static_cast<uint8_t>(c));
        if (f)
            std::fclose(f);
        return bytes;
    }();
    // The header and the first 100 lines; the rest comes after the tick.
    const size_t stall = 4 + sizeof(cups_page_header2_t) + 100 * 600;
    ASSERT_GT(raster.size(), stall);

    auto start = [&](const char* model, const char* ppdName) {
        TestPpd ppd;
        ppd.modelName = model;
        FilterRun run;
        run.args = JobArgs();
        run.env["PPD"] = WriteTestPpd(dir.File(ppdName), ppd);
        run.env["TMPDIR"] = dir.path();
        return run;
    };
    LiveFilter platform1(start("Norvane R32 Series", "p1.ppd"));
    LiveFilter platform3(start("Norvane R05 Series", "p3.ppd"));
    for (LiveFilter* filter : {&platform1, &platform3}) {
        ASSERT_TRUE(filter->Feed(raster.data(), stall));
        ASSERT_TRUE(filter->WaitUntil([&] { return ErrHas(*filter, "INFO: Printing page 1, 0% complete"); },
                                      30000));
    }
    platform1.WaitForQuiet(200);
    platform3.WaitForQuiet(200);
    // Both now wait for raster lines, after the page start.
    const std::vector<uint8_t> started1 = platform1.Collected().out;
    const size_t started3 = platform3.Collected().out.size();

    ASSERT_TRUE(platform1.WaitUntil([&] { return platform1.Collected().out.size() >= started1.size() + 2; },
                                    15000))
        << "no keep-alive within 15 s";
    EXPECT_EQ(platform1.Collected().out.size(), started1.size() + 2);
    platform3.WaitForQuiet(300);
    EXPECT_EQ(platform3.Collected().out.size(), started3) << "platform 3 wrote while its raster stalled";

    for (LiveFilter* filter : {&platform1, &platform3})
        ASSERT_TRUE(filter->Feed(raster.data() + stall, raster.size() - stall));
    FilterResult result1 = platform1.Finish();
    FilterResult result3 = platform3.Finish();
    EXPECT_EQ(result1.exitStatus, 0) << result1.err;
    EXPECT_EQ(result3.exitStatus, 0) << result3.err;

    // The pair stands right after the page start, before the page data.
    ASSERT_GT(result1.out.size(), started1.size() + 2);
    EXPECT_TRUE(std::equal(started1.begin(), started1.end(), result1.out.begin()));
    EXPECT_EQ(result1.out[started1.size()], 0x00);
    EXPECT_EQ(result1.out[started1.size() + 1], 0x00);
}

}  // namespace
