// The built filter run as the scheduler runs it: arguments, PPD, raster in,
// status lines and exit status out. The stream stages are not looked at
// here; only what the page loop itself reports.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/filter_process.h"
#include "support/raster_job.h"

namespace {

const char* const kEndDocFail = "main() :: End doc Fail ! \n";

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

int Count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// A page of the paper size whose raster holds only a few lines, so that a
// job of many pages stays small.
RasterPage SmallPage(unsigned widthPt, unsigned heightPt, unsigned lines = 8)
{
    RasterPage p = PaperPage(widthPt, heightPt);
    p.width = 64;
    p.height = lines;
    return p;
}

class RasterFilterTest : public ::testing::Test {
protected:
    std::string Ppd(const TestPpd& ppd = TestPpd())
    {
        return WriteTestPpd(dir.File("printer.ppd"), ppd);
    }

    // Runs a job from a raster file named on the command line.
    FilterResult Run(const std::vector<RasterPage>& pages, const std::string& options = "",
                     const TestPpd& ppd = TestPpd())
    {
        FilterRun run;
        run.args = JobArgs(options, WriteRasterJob(dir.File("job.ras"), pages));
        run.env["PPD"] = Ppd(ppd);
        return RunFilterProcess(run);
    }

    TempDir dir;
};

TEST_F(RasterFilterTest, WrongArgumentCount)
{
    const char* usage = "ERROR: job-id user title copies options [file]\n";
    for (std::vector<std::string> args :
         {std::vector<std::string>{"1", "u", "t", "1"},
          std::vector<std::string>{"1", "u", "t", "1", "", "f", "extra"}}) {
        FilterRun run;
        run.args = args;
        run.env["PPD"] = Ppd();
        const FilterResult r = RunFilterProcess(run);
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.err, usage);
        EXPECT_TRUE(r.out.empty());
    }
}

TEST_F(RasterFilterTest, RasterFileThatCannotBeOpened)
{
    FilterRun run;
    run.args = JobArgs("", dir.File("missing.ras"));
    run.env["PPD"] = Ppd();
    const FilterResult r = RunFilterProcess(run);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err.rfind("ERROR: Unable to open raster file - ", 0), 0u) << r.err;
    EXPECT_TRUE(Contains(r.err, "No such file or directory"));
    EXPECT_TRUE(r.out.empty());
}

TEST_F(RasterFilterTest, MissingPpd)
{
    const std::string raster = WriteRasterJob(dir.File("job.ras"), {SmallPage(595, 842)});
    FilterRun run;
    run.args = JobArgs("", raster);
    run.env["PPD"] = std::nullopt;
    FilterResult r = RunFilterProcess(run);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << r.err;
    EXPECT_TRUE(Contains(r.err, "PPD")) << r.err;
    EXPECT_TRUE(r.out.empty());

    run.env["PPD"] = dir.File("nowhere.ppd");
    r = RunFilterProcess(run);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(Contains(r.err, "ERROR: Unable to open PPD file")) << r.err;
    EXPECT_TRUE(Contains(r.err, "nowhere.ppd")) << r.err;
    EXPECT_TRUE(r.out.empty());
}

TEST_F(RasterFilterTest, EmptyJob)
{
    FilterRun run;
    run.args = JobArgs();
    run.env["PPD"] = Ppd();
    const FilterResult r = RunFilterProcess(run);  // standard input is empty
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.OutText(), kEndDocFail);
    EXPECT_EQ(r.err, "ERROR: No pages found!\n");

    // A raster stream with no page in it ends the same way.
    run.stdinPath = WriteRasterJob(dir.File("empty.ras"), {});
    const FilterResult r2 = RunFilterProcess(run);
    EXPECT_EQ(r2.exitStatus, 1);
    EXPECT_EQ(r2.OutText(), kEndDocFail);
    EXPECT_EQ(r2.err, "ERROR: No pages found!\n");
}

TEST_F(RasterFilterTest, RasterFromStandardInputOrFile)
{
    const std::string raster =
        WriteRasterJob(dir.File("job.ras"), {SmallPage(595, 842), SmallPage(612, 792)});
    FilterRun run;
    run.env["PPD"] = Ppd();
    run.args = JobArgs();
    run.stdinPath = raster;
    const FilterResult fromStdin = RunFilterProcess(run);
    run.args = JobArgs("", raster);
    run.stdinPath = "";
    const FilterResult fromFile = RunFilterProcess(run);
    for (const FilterResult& r : {fromStdin, fromFile}) {
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(r.err,
                  "INFO: Printing page 1, 0% complete...\nPAGE: 1 1\n"
                  "INFO: Printing page 2, 0% complete...\nPAGE: 2 1\n"
                  "INFO: Ready to print.\n");
    }
}

// A long job printed from a raster file passes 2 GiB; a 32-bit filter must
// still open it and print its pages. (Past the two pages the file is a hole
// of zeros, which ends the job as a damaged header.)
TEST_F(RasterFilterTest, RasterFileLargerThan2GiB)
{
    const std::string raster =
        WriteRasterJob(dir.File("job.ras"), {SmallPage(595, 842), SmallPage(612, 792)});
    std::filesystem::resize_file(raster, (std::uintmax_t{1} << 31) + 4096);
    FilterRun run;
    run.env["PPD"] = Ppd();
    run.args = JobArgs("", raster);
    const FilterResult r = RunFilterProcess(run);
    EXPECT_FALSE(Contains(r.err, "Unable to open raster file")) << r.err;
    EXPECT_TRUE(Contains(r.err, "PAGE: 1 1\n") && Contains(r.err, "PAGE: 2 1\n")) << r.err;
}

TEST_F(RasterFilterTest, ProgressEvery128Lines)
{
    RasterPage page = PaperPage(595, 842);
    page.height = 300;
    RasterPage second = page;
    second.height = 129;
    const FilterResult r = Run({page, second});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err,
              "INFO: Printing page 1, 0% complete...\n"
              "INFO: Printing page 1, 42% complete...\n"
              "INFO: Printing page 1, 85% complete...\n"
              "PAGE: 1 1\n"
              "INFO: Printing page 2, 0% complete...\n"
              "INFO: Printing page 2, 99% complete...\n"
              "PAGE: 2 1\n"
              "INFO: Ready to print.\n");
}

TEST_F(RasterFilterTest, PageAccountingCarriesThePrinterCopies)
{
    RasterPage page = SmallPage(595, 842);
    page.copies = 3;
    FilterResult r = Run({page});
    EXPECT_TRUE(Contains(r.err, "PAGE: 1 3\n")) << r.err;
    // Collated copies are made by the filter: the printer makes one.
    r = Run({page}, "Collate=true");
    EXPECT_TRUE(Contains(r.err, "PAGE: 1 1\n")) << r.err;
}

TEST_F(RasterFilterTest, EveryPaperSizeOfEveryTable)
{
    const unsigned sizes[][2] = {
        {420, 595}, {595, 842}, {612, 792}, {612, 1008}, {516, 729}, {279, 540},
        {312, 624}, {459, 649}, {297, 684}, {283, 420}, {524, 737}, {553, 765},
        {369, 524}, {383, 553}, {298, 420}, {499, 709}, {522, 756}, {612, 936},
        {612, 972}, {396, 612}, {323, 459}, {340, 652}, {354, 499}, {421, 595}};
    std::vector<RasterPage> pages;
    for (const auto& s : sizes)
        pages.push_back(SmallPage(s[0], s[1], 2));
    for (const char* model :
         {"Norvane R01 Series", "Norvane R05 Series", "Norvane R32 Series", "Norvane R34 Series"}) {
        TestPpd ppd;
        ppd.modelName = model;
        const FilterResult r = Run(pages, "", ppd);
        EXPECT_EQ(r.exitStatus, 0) << model << "\n" << r.err;
        EXPECT_EQ(Count(r.err, "% complete...\n"), 24) << model;
        EXPECT_EQ(Count(r.err, "PAGE: "), 24) << model;
        EXPECT_TRUE(Contains(r.err, "INFO: Printing page 24, 0% complete...\nPAGE: 24 1\n"));
        EXPECT_FALSE(Contains(r.OutText(), "Paper Size error")) << model;
        EXPECT_FALSE(Contains(r.OutText(), "Malloc")) << model;
    }
}

TEST_F(RasterFilterTest, CustomSizesAndPaperSizeErrors)
{
    TestPpd ppd;
    ppd.margins[0] = ppd.margins[2] = 12;
    for (unsigned w : {500u, 612u}) {
        const FilterResult r = Run({SmallPage(w, w == 612 ? 1009 : 700)}, "", ppd);
        EXPECT_EQ(r.exitStatus, 0) << w << "\n" << r.err;
        EXPECT_FALSE(Contains(r.OutText(), "Paper Size error"));
    }
    struct Bad {
        unsigned w, h;
    };
    // Too wide, too high, nothing inside the margins, no page at all.
    for (Bad b : {Bad{613, 700}, Bad{500, 1010}, Bad{20, 700}, Bad{0, 0}}) {
        RasterPage page = SmallPage(b.w, b.h);
        const FilterResult r = Run({SmallPage(595, 842), page}, "", ppd);
        EXPECT_EQ(r.exitStatus, 1) << b.w << "x" << b.h;
        EXPECT_TRUE(Contains(r.OutText(), "main(): Paper Size error!")) << b.w << "x" << b.h;
        // The job ends at once: no second page, no end of the document.
        EXPECT_FALSE(Contains(r.err, "page 2, ")) << r.err;
        EXPECT_FALSE(Contains(r.err, "PAGE: 2")) << r.err;
        EXPECT_FALSE(Contains(r.err, "Ready to print")) << r.err;
        EXPECT_FALSE(Contains(r.OutText(), kEndDocFail));
    }
}

TEST_F(RasterFilterTest, PagesThatAreNotGreyAreRefused)
{
    RasterPage rgb = SmallPage(595, 842);
    rgb.colorSpace = CUPS_CSPACE_RGB;
    rgb.colorCount = 3;
    RasterPage oneBit = SmallPage(595, 842);
    oneBit.bitsPerColor = 1;
    RasterPage sixteenBit = SmallPage(595, 842);
    sixteenBit.bitsPerColor = 16;
    for (const RasterPage& bad : {rgb, oneBit, sixteenBit}) {
        const FilterResult r = Run({SmallPage(595, 842), bad});
        EXPECT_EQ(r.exitStatus, 1) << r.err;
        EXPECT_TRUE(Contains(r.err, "ERROR: Page 2 is not 8-bit grey raster")) << r.err;
        EXPECT_FALSE(Contains(r.err, "page 2, ")) << r.err;
        EXPECT_FALSE(Contains(r.err, "Ready to print")) << r.err;
    }
    const FilterResult r = Run({rgb});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(Contains(r.err, "ERROR: Page 1 is not 8-bit grey raster: 24 bits per pixel")) << r.err;
    EXPECT_TRUE(Contains(r.err, "RGB")) << r.err;
    EXPECT_TRUE(r.out.empty());  // refused before the document was opened
}

TEST_F(RasterFilterTest, GreyAndBlackSpacesAreTaken)
{
    for (cups_cspace_t space : {CUPS_CSPACE_W, CUPS_CSPACE_SW, CUPS_CSPACE_K}) {
        RasterPage page = SmallPage(595, 842);
        page.colorSpace = space;
        const FilterResult r = Run({page});
        EXPECT_EQ(r.exitStatus, 0) << space << "\n" << r.err;
    }
}

TEST_F(RasterFilterTest, RasterLargerOrSmallerThanThePaper)
{
    // Longer lines than the bitmap is wide, more lines than it is high, and
    // a short page: all read through.
    RasterPage wide = PaperPage(420, 595);
    wide.width = 5000;
    wide.height = 4800;
    RasterPage shortPage = PaperPage(612, 1008);
    shortPage.height = 10;
    const FilterResult r = Run({wide, shortPage});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "INFO: Printing page 1, 98% complete...\n")) << r.err;
    EXPECT_EQ(Count(r.err, "PAGE: "), 2);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

TEST_F(RasterFilterTest, PageTooLargeForMemoryEndsTheJob)
{
    if (kAddressSanitizer)
        GTEST_SKIP() << "address-space limits do not work under AddressSanitizer";
#ifdef NORVANE_EMULATED
    GTEST_SKIP() << "qemu-user keeps the address-space limit to itself: the filter's allocations never fail";
#endif
    // Legal at 1200 x 1200 dpi on platform 1 needs a 20 MB bitmap on top of
    // the filter's own some 20 MB of address space.
    RasterPage big = SmallPage(612, 1008);
    big.dpiX = big.dpiY = 1200;
    TestPpd ppd;
    ppd.modelName = "Norvane R32 Series";
    FilterRun run;
    run.args = JobArgs("", WriteRasterJob(dir.File("job.ras"), {big, SmallPage(595, 842)}));
    run.env["PPD"] = Ppd(ppd);
    run.addressSpaceLimit = 34ull << 20;
    const FilterResult r = RunFilterProcess(run);
    const std::string malloc = "main() :: Malloc pGrayImgLineBuf or pMonoImgLineBuf or pMonoImgBuf Fail ! \n";
    // The job stops at once: no further page is read.
    EXPECT_TRUE(Contains(r.OutText(), malloc)) << r.OutText();
    EXPECT_FALSE(Contains(r.err, "% complete")) << r.err;
    EXPECT_FALSE(Contains(r.err, "PAGE: ")) << r.err;
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "ERROR: Not enough memory for page 1")) << r.err;
    EXPECT_FALSE(Contains(r.err, "Ready to print")) << r.err;
}

}  // namespace
