// Keep-alive through the device on platforms 1 and 2: a job that waits
// longer than the printer's patience (here for the turned stack) sends two
// zero bytes every 10 seconds between stages, and nothing else changes.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "support/app_server.h"
#include "../leak_suppressions.h"
#include "support/raster_job.h"

namespace {

std::vector<uint8_t> PrintManualDuplex(const char* driver, const char* pauseSeconds)
{
    AppServer server(PRINTER_APP_PATH);
    server.extraOptions = {std::string("manual-duplex-pause=") + pauseSeconds};
    server.extraEnvironment = {"NORVANE_TEST_CLOCK=1700000000", "NORVANE_TEST_HOST=test"};
    EXPECT_EQ(server.Start(), "");
    const std::string out = server.dir().File("out");
    EXPECT_EQ(server.Client("add", {"-d", "p", "-m", driver, "-v", "file://" + out}).exitStatus, 0);
    std::vector<RasterPage> pages;
    for (int i = 0; i < 2; ++i) {
        RasterPage p = PaperPage(595, 842);
        p.width = 4960;
        p.height = 7016;
        p.colorSpace = CUPS_CSPACE_SW;
        p.pageSizeName = "iso_a4_210x297mm";
        p.pixel = [i](unsigned x, unsigned y) -> uint8_t { return (x / 500 + y / 500 + i) % 2 ? 0 : 255; };
        pages.push_back(p);
    }
    const std::string pwg = WriteRasterJob(server.dir().File("two.pwg"), pages, CUPS_RASTER_WRITE_PWG);
    const CommandResult r =
        server.IppTool("p", {"filename=" + pwg, "jobname=two", "manualduplex=true"},
                       {std::string(APP_TEST_DIR) + "/ipp/print.test"});
    EXPECT_EQ(r.exitStatus, 0) << r.output;
    std::ifstream in(out + "/two.prn", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(KeepAlive, FillerWhileAManualDuplexJobWaitsOnPlatforms1And2)
{
    for (const char* driver : {"norvane_r01", "norvane_r33"}) {
        SCOPED_TRACE(driver);
        const std::vector<uint8_t> quick = PrintManualDuplex(driver, "0");
        const std::vector<uint8_t> waited = PrintManualDuplex(driver, "12");
        ASSERT_FALSE(quick.empty());
        ASSERT_EQ(waited.size(), quick.size() + 2);
        size_t at = 0;
        while (at < quick.size() && quick[at] == waited[at])
            ++at;
        // Two zero bytes inserted; a run of zeros may move where they show.
        EXPECT_TRUE(std::equal(quick.begin() + static_cast<long>(at), quick.end(),
                               waited.begin() + static_cast<long>(at) + 2));
        EXPECT_EQ(waited[at], 0);
        EXPECT_EQ(waited[at + 1], 0);
    }
    // Platform 3 keeps its connection without filler.
    const std::vector<uint8_t> quick = PrintManualDuplex("norvane_r05", "0");
    EXPECT_EQ(PrintManualDuplex("norvane_r05", "12").size(), quick.size());
}
