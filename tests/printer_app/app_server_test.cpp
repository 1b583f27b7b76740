// The real application on 127.0.0.1: printers added with its own client,
// what they offer read with ipptool, and what survives a restart.
#include <gtest/gtest.h>

#include <string>

#include "support/app_server.h"
#include "leak_suppressions.h"

namespace {

std::string IppFile(const char* name) { return std::string(APP_TEST_DIR) + "/ipp/" + name; }

class PrinterApp : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(server.Start(), ""); }
    void Add(const std::string& name, const std::string& driver, const std::string& device)
    {
        const CommandResult r = server.Client("add", {"-d", name, "-m", driver, "-v", device});
        ASSERT_EQ(r.exitStatus, 0) << r.output << server.Log();
    }
    AppServer server{PRINTER_APP_PATH};
};

}  // namespace

// One model of each platform and paper table, on each kind of device.
TEST_F(PrinterApp, OffersEachPlatformsCapabilities)
{
    struct Case {
        const char* name;
        const char* driver;
        const char* device;  // "" = a file device in the test's folder
        const char* model;
        const char* resolutions;
        const char* high;
    };
    const Case cases[] = {
        {"p2", "norvane_r01", "usb://Norvane/R01%20Series?serial=1", "Norvane R01 Series", "1", "600dpi"},
        {"p3", "norvane_r05", "", "Norvane R05 Series", "1", "600dpi"},
        {"p1a", "norvane_r33", "socket://127.0.0.1:9", "Norvane R33 Series", "3", "1200dpi"},
        {"p1b", "norvane_r35", "socket://127.0.0.1:9100", "Norvane R35 Series", "3", "1200x600dpi"},
    };
    for (const Case& c : cases) {
        Add(c.name, c.driver, *c.device ? c.device : "file://" + server.dir().File("out"));
        std::vector<std::string> defines = {std::string("model=") + c.model, std::string("high=") + c.high};
        if (std::string(c.resolutions) == "3")
            defines.push_back("three=1");
        const CommandResult r = server.IppTool(c.name, defines, {IppFile("capabilities.test")});
        EXPECT_EQ(r.exitStatus, 0) << r.output;
    }
    EXPECT_EQ(server.Log().find("refused"), std::string::npos) << server.Log();
}

TEST_F(PrinterApp, RefusesUnknownDriversAndDevices)
{
    const struct {
        const char* driver;
        const char* device;
    } cases[] = {
        {"norvane_r36", "socket://127.0.0.1:9100"},
        {"norvane_r01", "bogus://127.0.0.1:9100"},
        {"norvane_r01", "file:///nonexistent-folder/x"},
    };
    for (const auto& c : cases) {
        const CommandResult r = server.Client("add", {"-d", "x", "-m", c.driver, "-v", c.device});
        EXPECT_NE(r.exitStatus, 0) << c.driver << " " << c.device;
        EXPECT_NE(r.output.find("Unable to add printer"), std::string::npos) << r.output;
    }
}

// Defaults set as the web interface sets them are kept with the printers
// across a restart.
TEST_F(PrinterApp, RestartKeepsPrintersAndDefaults)
{
    Add("office", "norvane_r33", "socket://127.0.0.1:9100");
    const std::vector<std::string> changed = {"tonersave=true", "blankback=after-even-pages",
                                              "darkness=67"};
    const CommandResult m = server.IppTool("office", changed, {IppFile("set-defaults.test")});
    ASSERT_EQ(m.exitStatus, 0) << m.output;
    CommandResult r = server.IppTool("office", changed, {IppFile("defaults.test")});
    EXPECT_EQ(r.exitStatus, 0) << r.output;

    ASSERT_TRUE(server.Stop());
    ASSERT_EQ(server.Start(), "");
    r = server.IppTool("office", changed, {IppFile("defaults.test")});
    EXPECT_EQ(r.exitStatus, 0) << r.output << server.Log();
}


// PAPPL 1.3.1 creates a printer even when it refuses the driver's data, and
// such a printer would crash on its first job: it takes none, and the next
// start stops with a clear message.
TEST_F(PrinterApp, RefusedDriverDataStopsThePrinterAndTheNextStart)
{
    ASSERT_TRUE(server.Stop());
    server.extraEnvironment = {"NORVANE_TEST_REFUSED_DRIVER=1"};
    ASSERT_EQ(server.Start(), "");
    Add("office", "norvane_r05", "socket://127.0.0.1:9100");
    const CommandResult r = server.IppTool(
        "office", {"filename=" + std::string(APP_TEST_DIR) + "/ipp/refused.test"}, {IppFile("refused.test")});
    EXPECT_EQ(r.exitStatus, 0) << r.output << server.Log();
    EXPECT_NE(server.Log().find("capabilities for driver 'norvane_r05' were refused"), std::string::npos);

    ASSERT_TRUE(server.Stop());
    const std::string start = server.Start();
    EXPECT_NE(start.find("A printer's capabilities were refused by the printing system; not starting"),
              std::string::npos)
        << start;
}
