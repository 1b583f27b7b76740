// PPDs that name no known printer or a platform that does not exist, and
// option strings full of garbage: the job still prints.
#include <string>

#include "fault_job.h"
#include "stream_decoder.h"

namespace {

class OddSettings : public FaultTest {
protected:
    // An A5 page (paper code 6 and 3328 pixels wide in platform 1's table A)
    // and an inch of raster, run through the filter; returns the decoded job.
    streamview::StreamResult Print(const TestPpd& ppd, const std::string& options = "")
    {
        RasterPage a5 = InchPage();
        a5.widthPt = 420;
        a5.heightPt = 595;
        const FilterResult r = RunFilterProcess(Job(options, Raster({a5, InchPage()}), ppd));
        ExpectEnded(r, 0);
        EXPECT_TRUE(IsWholeJob(r.out, 2));
        return streamview::DecodeStream(r.out);
    }
};

TEST_F(OddSettings, UnknownModelsAndPlatformNamesFallBack)
{
    struct Case {
        const char* model;
        std::string platformText;
        int platform;
    };
    const Case cases[] = {
        // Nothing known: platform 1, table A.
        {"Acme Laser 9000", "", 1},
        {"Norvane R05 series", "", 1},  // model names match exactly
        {"Acme Laser 9000", "PLATFORM_Q", 1},
        {"Acme Laser 9000", "PLATFORM_M PLATFORM_Z", 1},
        {"Acme Laser 9000", std::string(200, 'M'), 1},
        {"Acme Laser 9000", "\xC3\xA9 pl@tform ~ 100%", 1},
        // A platform name that means nothing leaves the model's platform.
        {"Norvane R05 Series", "PLATFORM_Q", 3},
        {"Norvane R01 Series", "PLATFORM_\xC3\x9A", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " / " + c.platformText);
        TestPpd ppd;
        ppd.modelName = c.model;
        ppd.platform = c.platformText;
        const streamview::StreamResult job = Print(ppd);
        ASSERT_TRUE(job.ok && job.documents.size() == 1);
        EXPECT_EQ(job.documents[0].platform, c.platform);
        if (c.platform == 1) {
            EXPECT_EQ(job.documents[0].pages[0].paperCode, 6u);
            EXPECT_EQ(job.documents[0].pages[0].lineBits, 3328u);
        }
    }
    // Control characters make the PPD unreadable, which is said as such.
    TestPpd ppd;
    ppd.platform = "\x01\x7F";
    ExpectError(RunFilterProcess(Job("", Raster({InchPage()}), ppd)), 1, "PPD");
}

TEST_F(OddSettings, GarbageOptionStrings)
{
    const std::string garbage[] = {
        "Duplex='DuplexNoTumble Collate=\"True",
        "Density=99999999999",
        "Density=-99999999999999999999999999 TonerMode=",
        "=5 == = Density",
        "\x01\x02\xFF\xFE=\x80\x81 Density=\xFF InputSlot=\x1B%-12345X",
        "Duplex={DuplexTumble Collate=True",
        "Density=" + std::string(100000, '9'),
        std::string(100000, 'x') + "=" + std::string(1000, '"'),
        std::string(5000, ' ') + "Collate" + std::string(5000, '='),
    };
    for (const std::string& options : garbage) {
        SCOPED_TRACE(options.substr(0, 60));
        Print(TestPpd(), options);
    }
}

}  // namespace

namespace {

class QueueDefaults : public FaultTest {};

TEST_F(QueueDefaults, TheJobsOwnChoiceWinsAndUnknownValuesKeepTheDefault)
{
    // Three A5 pages of two copies: every option below changes the stream
    // when it is on.
    RasterPage a5 = InchPage();
    a5.widthPt = 420;
    a5.heightPt = 595;
    a5.copies = 2;
    const std::string raster = Raster({a5, a5, a5});
    const FilterResult plain = RunFilterProcess(Job("", raster));
    ASSERT_EQ(plain.exitStatus, 0) << plain.err;

    struct Case {
        const char* option;
        const char* queueDefault;  // the PPD's default, which the job undoes
        const char* job;
    };
    const Case cases[] = {
        {"ManualDuplex", "True", "False"}, {"Collate", "True", "False"},   {"ImageRotation", "True", "False"},
        {"NegativePrint", "True", "False"}, {"TonerMode", "True", "False"}, {"DPI1200", "True", "False"},
        {"FeedLongEdge", "True", "False"},  {"Duplex", "DuplexTumble", "None"}, {"Density", "4", "2"},
        {"InputSlot", "ManualFeed", "Auto"},
        // No queue default: a value outside the choices changes nothing.
        {"Density", nullptr, "-3"},         {"Collate", nullptr, "yes"},
        {"Duplex", nullptr, "Both"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.option) + " " + (c.queueDefault ? c.queueDefault : "-") + " / " + c.job);
        TestPpd ppd;
        if (c.queueDefault != nullptr) {
            const std::string n = c.option;
            ppd.extra = "*OpenUI *" + n + "/" + n + ": PickOne\n*Default" + n + ": " + c.queueDefault + "\n*" + n +
                        " " + c.queueDefault + "/On: \"\"\n*" + n + " " + c.job + "/Off: \"\"\n*CloseUI: *" + n + "\n";
        }
        FilterRun run = Job(std::string(c.option) + "=" + c.job, raster, ppd);
        run.timeoutSeconds = 8;  // a manual-duplex job would pause for 10
        const FilterResult r = RunFilterProcess(run);
        ExpectEnded(r, 0);
        EXPECT_TRUE(r.out == plain.out) << "the stream differs from the plain job's";
        EXPECT_EQ(r.err.find("WARNING: " + std::string(c.option) + "=" + c.job) != std::string::npos,
                  c.queueDefault == nullptr)
            << r.err;
    }
}

}  // namespace
