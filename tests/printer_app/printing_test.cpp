// Jobs through the real application: PWG raster in over IPP, the printer
// stream out of a file device, read back with streamview.
#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <ctime>
#include <future>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/app_server.h"
#include "support/filter_process.h"
#include "support/raster_job.h"

namespace {

std::string IppFile(const char* name) { return std::string(APP_TEST_DIR) + "/ipp/" + name; }

std::vector<std::string> Entries(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// The folder's entries as soon as it is empty, or as they are after 15 s.
std::vector<std::string> EntriesOnceEmpty(const std::string& dir)
{
    std::vector<std::string> names = Entries(dir);
    for (int tenths = 0; !names.empty() && tenths < 150; ++tenths) {
        usleep(100000);
        names = Entries(dir);
    }
    return names;
}


// A page with a black bar whose place tells the pages apart.
RasterPage PwgPage(const char* pwgName, unsigned widthPt, unsigned heightPt, int mark,
                   unsigned dpiX = 600, unsigned dpiY = 600)
{
    RasterPage p;
    p.widthPt = widthPt;
    p.heightPt = heightPt;
    p.dpiX = dpiX;
    p.dpiY = dpiY;
    p.colorSpace = CUPS_CSPACE_SW;
    p.pageSizeName = pwgName;
    const unsigned top = (300 + 200 * static_cast<unsigned>(mark)) * dpiY / 600;
    const unsigned bar = (100 + 60 * static_cast<unsigned>(mark)) * dpiY / 600;
    p.pixel = [=](unsigned x, unsigned y) -> uint8_t {
        return y >= top && y < top + bar && x >= 400 * dpiX / 600 && x < 2000 * dpiX / 600 ? 0 : 255;
    };
    return p;
}

std::vector<RasterPage> A4Pages(int count)
{
    std::vector<RasterPage> pages;
    for (int i = 0; i < count; ++i)
        pages.push_back(PwgPage("iso_a4_210x297mm", 595, 842, i));
    return pages;
}

class Printing : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.extraOptions = {"manual-duplex-pause=3"};
        ASSERT_EQ(server.Start(), "");
    }

    // A printer writing each job to a file in its own folder.
    std::string AddPrinter(const std::string& name, const std::string& driver)
    {
        const std::string folder = server.dir().File("out/" + name);
        mkdir(folder.c_str(), 0777);
        const CommandResult r = server.Client("add", {"-d", name, "-m", driver, "-v", "file://" + folder});
        EXPECT_EQ(r.exitStatus, 0) << r.output;
        return folder;
    }

    std::string WritePwg(const std::string& name, const std::vector<RasterPage>& pages)
    {
        return WriteRasterJob(server.dir().File(name), pages, CUPS_RASTER_WRITE_PWG);
    }

    CommandResult Print(const std::string& printer, const std::string& file,
                        std::vector<std::string> defines = {})
    {
        defines.push_back("filename=" + file);
        defines.push_back("jobname=" + printer + std::to_string(++jobs));
        return server.IppTool(printer, defines, {IppFile("print.test")});
    }

    // The stream of the printer's only job, summarised one page a line.
    std::vector<std::string> Summary(const std::string& folder)
    {
        const std::vector<std::string> files = Entries(folder);
        EXPECT_EQ(files.size(), 1u) << folder;
        if (files.size() != 1)
            return {};
        const std::string path = folder + "/" + files[0];
        const CommandResult r = RunCommand({STREAMVIEW_PATH, "--summary", "--strict", path}, {});
        EXPECT_EQ(r.exitStatus, 0) << r.output;
        std::vector<std::string> lines;
        std::istringstream in(r.output);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    AppServer server{PRINTER_APP_PATH};
    int jobs = 0;
};

std::string Field(const std::string& line, const std::string& name)
{
    const size_t at = line.find(" " + name + "=");
    if (at == std::string::npos)
        return "";
    const size_t start = at + name.size() + 2;
    return line.substr(start, line.find(' ', start) - start);
}

}  // namespace

TEST_F(Printing, PwgRasterOnEachPlatform)
{
    struct Case {
        const char* driver;
        const char* platform;
        RasterPage page;
        const char* resolution;
        const char* size;  // bitmap of the sheet
    };
    const Case cases[] = {
        {"norvane_r01", "2", PwgPage("iso_a4_210x297mm", 595, 842, 0), "600dpi", "4736x6780"},
        {"norvane_r05", "3", PwgPage("na_letter_8.5x11in", 612, 792, 1), "600dpi", "4864x6368"},
        // A page without a size name, of another size than the job's media.
        {"norvane_r02", "2", PwgPage("", 612, 792, 1), "600dpi", "4864x6364"},
        {"norvane_r33", "1", PwgPage("iso_a4_210x297mm", 595, 842, 2, 1200, 600), "1200x600dpi", "9600x6780"},
        {"norvane_r35", "1", PwgPage("na_number-10_4.125x9.5in", 297, 684, 0), "600dpi", "2008x5228"},
    };
    for (const Case& c : cases) {
        const std::string name = std::string("p") + c.driver;
        const std::string folder = AddPrinter(name, c.driver);
        const std::string media = c.page.pageSizeName.empty() ? "iso_a4_210x297mm" : c.page.pageSizeName;
        const CommandResult r = Print(name, WritePwg(name + ".pwg", {c.page}),
                                      {std::string("resolution=") + c.resolution, "media=" + media});
        ASSERT_EQ(r.exitStatus, 0) << r.output << server.Log();
        const std::vector<std::string> pages = Summary(folder);
        ASSERT_EQ(pages.size(), 1u) << c.driver;
        EXPECT_EQ(Field(pages[0], "platform"), c.platform) << pages[0];
        EXPECT_EQ(Field(pages[0], "size"), c.size) << pages[0];
        EXPECT_NE(Field(pages[0], "black"), "0") << pages[0];
    }
}

// Copies and sides as the filter makes them: collated copies replayed by the
// engine, a blank back for an odd count on two sides.
TEST_F(Printing, CopiesAndSides)
{
    struct Case {
        std::vector<std::string> defines;
        std::vector<int> order;  // the source page of each printed page, 0 = blank
        const char* copies;      // copies the printer makes of each
    };
    const Case cases[] = {
        {{"copies=2"}, {1, 2, 3, 1, 2, 3}, "1"},
        {{"copies=2", "handling=separate-documents-uncollated-copies"}, {1, 2, 3}, "2"},
        {{"sides=two-sided-long-edge"}, {1, 2, 3, 0}, "1"},
    };
    const std::string pwg = WritePwg("three.pwg", A4Pages(3));
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "cs" + std::to_string(++n);
        const std::string folder = AddPrinter(name, "norvane_r05");
        const CommandResult r = Print(name, pwg, c.defines);
        ASSERT_EQ(r.exitStatus, 0) << r.output << server.Log();
        const std::vector<std::string> pages = Summary(folder);
        ASSERT_EQ(pages.size(), c.order.size()) << name;
        std::vector<std::string> black(4);
        for (size_t i = 0; i < pages.size(); ++i) {
            EXPECT_EQ(Field(pages[i], "copies"), c.copies) << pages[i];
            const int source = c.order[i];
            if (source == 0)
                EXPECT_EQ(Field(pages[i], "black"), "0") << pages[i];
            else if (black[source].empty())
                black[source] = Field(pages[i], "black");
            else
                EXPECT_EQ(Field(pages[i], "black"), black[source]) << pages[i];
        }
        EXPECT_NE(black[1], black[2]);
        EXPECT_NE(black[2], black[3]);
    }
}

// A page the printer cannot take ends its job with a message; the next job
// prints.
TEST_F(Printing, PageThePrinterCannotTakeAbortsOnlyItsJob)
{
    const std::string folder = AddPrinter("a3", "norvane_r05");
    const CommandResult bad =
        Print("a3", WritePwg("a3.pwg", {PwgPage("iso_a3_297x420mm", 842, 1191, 0)}), {"state=8"});
    EXPECT_EQ(bad.exitStatus, 0) << bad.output << server.Log();
    EXPECT_NE(server.Log().find("The printer cannot take paper of 297.0 x 420"), std::string::npos)
        << server.Log();
    const CommandResult next = Print("a3", WritePwg("one.pwg", A4Pages(1)));
    EXPECT_EQ(next.exitStatus, 0) << next.output << server.Log();
}

// PAPPL repeats the pages of an image for its copies itself: the engine
// must not repeat them again.
TEST_F(Printing, ImageCopiesAreNotDoubled)
{
    const std::string jpeg = server.dir().File("page.jpg");
    const CommandResult gs = RunCommand(
        {"/usr/bin/gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=jpeggray", "-r100",
         "-g826x1169", "-sOutputFile=" + jpeg, "-c", "0 setgray 100 100 400 600 rectfill showpage"},
        {});
    ASSERT_EQ(gs.exitStatus, 0) << gs.output;
    const std::string folder = AddPrinter("jpeg", "norvane_r05");
    const CommandResult r = Print("jpeg", jpeg, {"format=image/jpeg", "copies=2"});
    ASSERT_EQ(r.exitStatus, 0) << r.output << server.Log();
    const std::vector<std::string> pages = Summary(folder);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(Field(pages[0], "copies"), "1");
    EXPECT_EQ(Field(pages[0], "black"), Field(pages[1], "black"));
}

// Odd pages, the instruction and media-needed while the printer waits for
// the turned stack, then the even pages.
TEST_F(Printing, ManualDuplexWaitsForTheTurnedStack)
{
    const std::string folder = AddPrinter("md", "norvane_r05");
    // PAPPL answers Print-Job once the job has printed: look meanwhile.
    const std::string pwg = WritePwg("three.pwg", A4Pages(3));
    auto print = std::async(std::launch::async, [&] { return Print("md", pwg, {"manualduplex=true"}); });
    const CommandResult wait = server.IppTool("md", {}, {IppFile("wait-turn.test")});
    EXPECT_EQ(wait.exitStatus, 0) << wait.output << server.Log();
    const CommandResult r = print.get();
    ASSERT_EQ(r.exitStatus, 0) << r.output;
    const std::vector<std::string> pages = Summary(folder);
    // 1 and 3 first; then the blank back of 3 and page 2.
    ASSERT_EQ(pages.size(), 4u);
    EXPECT_EQ(Field(pages[2], "black"), "0");
    EXPECT_NE(Field(pages[3], "black"), "0");
}

// Cancel-Job while a page is being printed: the job ends at once,
// neither PAPPL's spool nor the engine's leave a file behind, and the next
// job prints.
TEST_F(Printing, CancelMidPageLeavesNothingBehind)
{
    AddPrinter("big", "norvane_r33");
    std::vector<RasterPage> pages;
    for (int i = 0; i < 8; ++i)
        pages.push_back(PwgPage("iso_a4_210x297mm", 595, 842, i % 4, 1200, 1200));
    const std::string pwg = WritePwg("big.pwg", pages);
    auto print = std::async(std::launch::async, [&] {
        return Print("big", pwg, {"resolution=1200dpi", "copies=2", "state=7"});
    });
    const CommandResult cancel = server.IppTool("big", {"jobid=1"}, {IppFile("cancel.test")});
    EXPECT_EQ(cancel.exitStatus, 0) << cancel.output << server.Log();
    const CommandResult r = print.get();
    EXPECT_EQ(r.exitStatus, 0) << r.output;
    // Nothing stays: not the engine's spools, nor PAPPL's record of the job
    // (which it would otherwise keep until its next state save, up to half a
    // minute later).
    EXPECT_EQ(Entries(server.dir().File("spool")), std::vector<std::string>{});
    EXPECT_EQ(EntriesOnceEmpty(server.dir().File("tmp")), std::vector<std::string>{});
    // The engine is free again for the next job.
    const CommandResult next = Print("big", WritePwg("one.pwg", A4Pages(1)));
    EXPECT_EQ(next.exitStatus, 0) << next.output << server.Log();
}
