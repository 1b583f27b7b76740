// SIGTERM at random moments of small jobs of every platform, with and
// without spools: the filter always ends by itself, as its rules say, with
// nothing left in TMPDIR and a printer stream that stops between pieces.
#include <chrono>
#include <csignal>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "fault_job.h"

namespace {

class CancelStorm : public FaultTest {};

TEST_F(CancelStorm, SigtermAtRandomMoments)
{
    const char* const models[] = {"Norvane R32 Series", "Norvane R01 Series", "Norvane R05 Series"};
    const char* const options[] = {"", "Collate=True", "ManualDuplex=True", "Collate=True ManualDuplex=True",
                                   "Duplex=DuplexNoTumble Collate=True"};
    std::mt19937 random(20240611);
    for (int run = 0; run < 40; ++run) {
        const int pages = 1 + static_cast<int>(random() % 3);
        RasterPage page = InchPage(120);
        page.copies = 1 + random() % 3;
        TestPpd ppd;
        ppd.modelName = models[random() % 3];
        const char* what = options[random() % 5];
        // The raster goes in as eight pieces, the filter catching up after
        // each; the signal follows piece `at` (0: none yet) after a while.
        constexpr int kPieces = 8;
        const int at = static_cast<int>(random() % (kPieces + 1));
        const auto delay = std::chrono::microseconds(random() % (at == kPieces ? 20000 : 2000));
        SCOPED_TRACE("run " + std::to_string(run) + ": " + ppd.modelName + ", " + std::to_string(pages) +
                     " page(s) of " + std::to_string(page.copies) + ", \"" + what + "\", signal after piece " +
                     std::to_string(at) + " and " + std::to_string(delay.count()) + " us");

        FilterRun setup = Job(what, "", ppd);
        setup.timeoutSeconds = 20;  // the manual-duplex pause is 10 s
        const std::vector<uint8_t> raster = ReadBytes(Raster(std::vector<RasterPage>(static_cast<size_t>(pages), page)));
        LiveFilter filter(setup);
        ASSERT_TRUE(filter.WaitUntil([&] { return filter.Catches(SIGTERM); }, 10000));
        auto piece = [&](int k) { return raster.size() * static_cast<size_t>(k) / kPieces; };
        for (int k = 0; k < at; ++k) {
            filter.Feed(raster, piece(k), piece(k + 1));
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        if (at == kPieces)
            filter.CloseInput();
        std::this_thread::sleep_for(delay);
        filter.Signal(SIGTERM);
        // The filter may stop reading once it has seen the request.
        filter.Feed(raster, piece(at), raster.size());
        const FilterResult r = filter.Finish();

        ExpectEnded(r, r.err.find("ERROR: No pages found!") == std::string::npos ? 0 : 1);
        EXPECT_TRUE(IsJobSoFar(r.out));
        if (r.err.find("INFO: Printing page") != std::string::npos) {
            EXPECT_EQ(r.exitStatus, 0) << r.err;
        }
        if (HasFailure())
            break;
    }
}

}  // namespace
