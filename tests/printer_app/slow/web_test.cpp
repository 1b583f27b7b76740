// The web interface in a real headless browser: the status page and the
// printing-defaults page with the printer's own options, labelled. A
// screenshot of each is kept in the build folder.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "support/app_server.h"
#include "../leak_suppressions.h"

namespace {

// The page's text as the browser built it, tags removed.
std::string PageText(const std::string& url)
{
    const CommandResult r =
        RunCommand({"/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
                    "--lang=en-US", "--dump-dom", url},
                   {"HOME=/tmp"}, 90);
    std::string text = std::regex_replace(r.output, std::regex("<[^>]*>"), " ");
    return std::regex_replace(text, std::regex("\\s+"), " ");
}

void Screenshot(const std::string& url, const std::string& file)
{
    mkdir(SCREENSHOT_DIR, 0755);
    const std::string path = std::string(SCREENSHOT_DIR) + "/" + file;
    std::remove(path.c_str());
    const CommandResult r =
        RunCommand({"/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
                    "--lang=en-US", "--window-size=1280,1600", "--screenshot=" + path, url},
                   {"HOME=/tmp"}, 90);
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << r.output;
    EXPECT_GT(st.st_size, 10000) << path;
}

}  // namespace

TEST(WebInterface, StatusAndPrintingDefaultsWithThePrintersOptions)
{
    struct stat browser {};
    if (stat("/usr/bin/chromium", &browser) != 0)
        GTEST_SKIP() << "no /usr/bin/chromium (scripts/install-deps installs it)";
    AppServer server(PRINTER_APP_PATH);
    ASSERT_EQ(server.Start(), "");
    ASSERT_EQ(server.Client("add", {"-d", "office", "-m", "norvane_r33", "-v", "socket://127.0.0.1:9100"})
                  .exitStatus,
              0);

    const std::string web = "http://127.0.0.1:" + std::to_string(server.port());
    const std::string status = PageText(web + "/office");
    EXPECT_NE(status.find("office"), std::string::npos) << status;
    EXPECT_NE(status.find("Norvane R33 Series"), std::string::npos) << status;
    Screenshot(web + "/office", "status.png");

    const std::string defaults = PageText(web + "/office/printing");
    for (const char* label :
         {"Printing Defaults", "Toner Save", "Manual 2-Sided Printing", "Manual 2-Sided Blank Back",
          "Before the Even Pages", "After the Even Pages", "A5 Long Edge First",
          "Rotate 180 Degrees", "Negative Print", "1200dpi", "Print Darkness"})
        EXPECT_NE(defaults.find(label), std::string::npos) << label << "\n" << defaults;
    Screenshot(web + "/office/printing", "printing-defaults.png");
}
