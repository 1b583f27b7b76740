// One engine, two front ends: the same grey page, as a CUPS raster page
// through rasterfilter and padded to a full-bleed PWG page through the
// printer application, gives the same printer stream.
#include <cups/ppd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "support/app_server.h"
#include "support/filter_process.h"
#include "support/raster_job.h"
#include "support/temp_dir.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Greys, bars and edges, so that screening, cropping and placement all show.
uint8_t Grey(unsigned x, unsigned y)
{
    if (x < 8 || y < 8)
        return 0;
    if ((x / 300 + y / 300) % 5 == 0)
        return static_cast<uint8_t>((x + y) % 256);
    return y % 997 < 40 ? 0 : 255;
}

}  // namespace

TEST(SameStream, PwgPageThroughTheAppEqualsCupsRasterThroughTheFilter)
{
    struct Case {
        int model;  // 1-based, as in the PPD's file name
        const char* driver;
        const char* pwgName;
        const char* ppdSize;
    };
    const Case cases[] = {
        {1, "norvane_r01", "iso_a4_210x297mm", "A4"},
        {5, "norvane_r05", "na_letter_8.5x11in", "Letter"},
        {33, "norvane_r33", "iso_a4_210x297mm", "A4"},
        {35, "norvane_r35", "na_number-10_4.125x9.5in", "Env10"},
    };
    char host[256] = "";
    gethostname(host, sizeof host);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.driver);
        char ppdPath[512];
        std::snprintf(ppdPath, sizeof ppdPath, "%s/norvr%02d.ppd", PPD_BUILD_DIR, c.model);
        ppd_file_t* ppd = ppdOpenFile(ppdPath);
        ASSERT_NE(ppd, nullptr);
        ppd_size_t* size = ppdPageSize(ppd, c.ppdSize);
        ASSERT_NE(size, nullptr);
        // The PPD path's page: its imageable area, line for line.
        const unsigned widthPt = static_cast<unsigned>(std::lround(size->width));
        const unsigned heightPt = static_cast<unsigned>(std::lround(size->length));
        const unsigned width = static_cast<unsigned>(std::lround((size->right - size->left) * 600 / 72));
        const unsigned height = static_cast<unsigned>(std::lround((size->top - size->bottom) * 600 / 72));
        const unsigned left = static_cast<unsigned>(std::lround(size->left * 600 / 72));
        const unsigned top = static_cast<unsigned>(std::lround((size->length - size->top) * 600 / 72));
        ppdClose(ppd);

        TempDir dir;
        RasterPage cupsPage = PaperPage(widthPt, heightPt);
        cupsPage.width = width;
        cupsPage.height = height;
        cupsPage.colorSpace = CUPS_CSPACE_SW;
        cupsPage.pixel = Grey;
        const std::string cupsRaster = WriteRasterJob(dir.File("page.ras"), {cupsPage});

        // The full sheet, the same grey page where the imageable area lies.
        RasterPage pwgPage;
        pwg_media_t* media = pwgMediaForPWG(c.pwgName);
        pwgPage.widthPt = static_cast<unsigned>(media->width * 72 / 2540);
        pwgPage.heightPt = static_cast<unsigned>(media->length * 72 / 2540);
        pwgPage.width = static_cast<unsigned>(media->width * 600 / 2540);
        pwgPage.height = static_cast<unsigned>(media->length * 600 / 2540);
        pwgPage.colorSpace = CUPS_CSPACE_SW;
        pwgPage.pageSizeName = c.pwgName;
        pwgPage.pixel = [&](unsigned x, unsigned y) -> uint8_t {
            if (x < left || y < top || x - left >= width || y - top >= height)
                return 255;
            return Grey(x - left, y - top);
        };
        const std::string pwg = WriteRasterJob(dir.File("page.pwg"), {pwgPage}, CUPS_RASTER_WRITE_PWG);

        // The filter's stream, made within [before, after].
        FilterRun run;
        run.args = {"1", "user", "title", "1", "", cupsRaster};
        run.env["PPD"] = std::string(ppdPath);
        const std::time_t before = std::time(nullptr);
        const FilterResult filter = RunFilterProcess(run);
        const std::time_t after = std::time(nullptr);
        ASSERT_EQ(filter.exitStatus, 0) << filter.err;

        // The application's, with its clock at each second the filter may
        // have read.
        std::vector<uint8_t> app;
        for (std::time_t made = before; made <= after && app != filter.out; ++made) {
            AppServer server(PRINTER_APP_PATH);
            server.extraEnvironment = {"NORVANE_TEST_CLOCK=" + std::to_string(made),
                                       std::string("NORVANE_TEST_HOST=") + host};
            ASSERT_EQ(server.Start(), "");
            const std::string out = server.dir().File("out");
            ASSERT_EQ(server.Client("add", {"-d", "p", "-m", c.driver, "-v", "file://" + out}).exitStatus, 0);
            const CommandResult r = server.IppTool(
                "p", {"filename=" + pwg, "jobname=page", std::string("media=") + c.pwgName},
                {std::string(APP_TEST_DIR) + "/ipp/print.test"});
            ASSERT_EQ(r.exitStatus, 0) << r.output << server.Log();
            app = ReadFile(out + "/page.prn");
        }
        size_t differ = 0;
        while (differ < app.size() && differ < filter.out.size() && app[differ] == filter.out[differ])
            ++differ;
        EXPECT_TRUE(app == filter.out) << "the streams differ from byte " << differ << " of "
                                       << app.size() << " (app) and " << filter.out.size()
                                       << " (filter)";
    }
}
