// Job options as CUPS hands them to the filter, and the platform names.
#include <gtest/gtest.h>

#include "driver/cups_binding.h"
#include "driver/job_options.h"
#include "support/filter_process.h"

// The PPD API is deprecated in CUPS 2.x but is what reads a driver's PPD.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

class JobOptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BindCupsLibrary();
        LoadDefaultJobOptions(table);
    }

    // Applies one job's option string, as the page loop does on every page.
    void Apply(const char* optionText)
    {
        cups_option_t* options = nullptr;
        const int count = cups.cupsParseOptions(optionText, 0, &options);
        ParseJobOptions(table, count, options);
        cups.cupsFreeOptions(count, options);
    }

    int Value(JobOptionRow row) const { return table[row].value; }

    JobOption table[kJobOptionCount];
};

TEST_F(JobOptionsTest, DefaultsInTheirFixedOrder)
{
    const char* names[] = {"Duplex",  "Sides",         "ManualDuplex", "Density",
                           "TonerMode", "FeedLongEdge", "outputorder", "DPI1200",
                           "NegativePrint", "InputSlot", "ImageRotation", "Collate"};
    for (int row = 0; row < kJobOptionCount; ++row) {
        EXPECT_STREQ(table[row].name, names[row]);
        EXPECT_EQ(table[row].value, row == kDensity ? 2 : 0) << names[row];
    }
    Apply("");
    EXPECT_EQ(Value(kDensity), 2);
    EXPECT_EQ(Value(kDuplex), 0);
}

TEST_F(JobOptionsTest, DuplexAndSidesIgnoreCase)
{
    Apply("Duplex=DUPLEXTUMBLE Sides=two-sided-long-edge");
    EXPECT_EQ(Value(kDuplex), 2);
    EXPECT_EQ(Value(kSides), 1);
    Apply("Duplex=duplexnotumble Sides=Two-Sided-Short-Edge");
    EXPECT_EQ(Value(kDuplex), 1);
    EXPECT_EQ(Value(kSides), 2);
    Apply("Duplex=None Sides=one-sided");
    EXPECT_EQ(Value(kDuplex), 0);
    EXPECT_EQ(Value(kSides), 0);
}

TEST_F(JobOptionsTest, IppSidesAndCollationStandInForMissingPpdOptions)
{
    // A dialog that speaks IPP asks for two sides with "sides" alone.
    Apply("sides=two-sided-long-edge");
    EXPECT_EQ(Value(kDuplex), 1);
    Apply("sides=one-sided");
    EXPECT_EQ(Value(kDuplex), 0);
    // The PPD's own option wins when both are named.
    Apply("sides=two-sided-short-edge Duplex=None");
    EXPECT_EQ(Value(kDuplex), 0);

    Apply("multiple-document-handling=separate-documents-uncollated-copies");
    EXPECT_EQ(Value(kCollate), 0);
    Apply("multiple-document-handling=separate-documents-collated-copies");
    EXPECT_EQ(Value(kCollate), 1);
    LoadDefaultJobOptions(table);
    Apply("multiple-document-handling=separate-documents-collated-copies Collate=False");
    EXPECT_EQ(Value(kCollate), 0);
}

TEST_F(JobOptionsTest, PpdDefaultsComeBeforeTheJobsOptions)
{
    TempDir dir;
    TestPpd ppd;
    ppd.extra = "*OpenUI *Density/Density: PickOne\n*DefaultDensity: 3\n"
                "*Density 2/Normal: \"\"\n*Density 3/Dark: \"\"\n*CloseUI: *Density\n"
                "*OpenGroup: Finishing\n*OpenUI *Collate/Collate: Boolean\n*DefaultCollate: True\n"
                "*Collate True/On: \"\"\n*Collate False/Off: \"\"\n*CloseUI: *Collate\n"
                "*CloseGroup: Finishing\n";
    ppd_file_t* file = ppdOpenFile(WriteTestPpd(dir.File("defaults.ppd"), ppd).c_str());
    ASSERT_NE(file, nullptr);
    ApplyPpdDefaults(table, file);
    EXPECT_EQ(Value(kDensity), 3);
    EXPECT_EQ(Value(kCollate), 1);
    Apply("Density=1");
    EXPECT_EQ(Value(kDensity), 1);
    ppdClose(file);
}

TEST_F(JobOptionsTest, OnlyTheOptionsChoicesAreTaken)
{
    // kept: the value is none of the choices; the row keeps what it had,
    // with a warning that names it.
    constexpr int kept = -1;
    struct Case {
        const char* option;
        JobOptionRow row;
        int value;
    };
    const Case cases[] = {
        {"Density=1", kDensity, 1},           {"Density=4", kDensity, 4},
        {"Density=-3", kDensity, kept},       {"Density=5", kDensity, kept},
        {"Density=5x", kDensity, kept},       {"Density=abc", kDensity, kept},
        {"InputSlot=manualfeed", kInputSlot, 1}, {"InputSlot=AutoFeed", kInputSlot, 2},
        {"InputSlot=AUTO", kInputSlot, 0},    {"InputSlot=Tray2", kInputSlot, kept},
        {"Collate=True", kCollate, 1},        {"Collate=false", kCollate, 0},
        {"Collate=yes", kCollate, kept},      {"outputorder=Normal", kOutputOrder, 0},
        {"outputorder=true", kOutputOrder, 1}, {"outputorder=Reverse", kOutputOrder, kept},
        {"Duplex=None", kDuplex, 0},          {"Duplex=Both", kDuplex, kept},
        {"sides=two-sided-short-edge", kDuplex, 2}, {"Sides=both", kDuplex, kept},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        LoadDefaultJobOptions(table);
        table[c.row].value = 3;  // an earlier value that no case sets
        testing::internal::CaptureStderr();
        Apply(c.option);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(Value(c.row), c.value == kept ? 3 : c.value);
        const std::string named = std::string("WARNING: ") + c.option;
        EXPECT_EQ(err.rfind(named, 0) == 0, c.value == kept) << err;
    }
}

TEST_F(JobOptionsTest, JobsChoiceWinsOverTheQueueDefaultBothWays)
{
    struct Option {
        const char* name;
        JobOptionRow row;
        const char* on;
        const char* off;
        int onValue, offValue;
    };
    const Option options[] = {
        {"ManualDuplex", kManualDuplex, "True", "False", 1, 0},
        {"Collate", kCollate, "True", "False", 1, 0},
        {"ImageRotation", kImageRotation, "True", "False", 1, 0},
        {"NegativePrint", kNegativePrint, "True", "False", 1, 0},
        {"TonerMode", kTonerMode, "True", "False", 1, 0},
        {"DPI1200", kDpi1200, "True", "False", 1, 0},
        {"FeedLongEdge", kFeedLongEdge, "True", "False", 1, 0},
        {"outputorder", kOutputOrder, "True", "Normal", 1, 0},
        {"Duplex", kDuplex, "DuplexTumble", "None", 2, 0},
        {"Density", kDensity, "4", "2", 4, 2},
        {"InputSlot", kInputSlot, "ManualFeed", "Auto", 1, 0},
    };
    // One queue with every default on, one with every default off.
    for (bool queueOn : {true, false}) {
        TestPpd ppd;
        for (const Option& o : options) {
            const std::string n = o.name;
            ppd.extra += "*OpenUI *" + n + "/" + n + ": PickOne\n*Default" + n + ": " + (queueOn ? o.on : o.off) +
                         "\n*" + n + " " + o.on + "/On: \"\"\n*" + n + " " + o.off + "/Off: \"\"\n*CloseUI: *" +
                         n + "\n";
        }
        TempDir dir;
        ppd_file_t* file = ppdOpenFile(WriteTestPpd(dir.File("queue.ppd"), ppd).c_str());
        ASSERT_NE(file, nullptr);
        for (const Option& o : options) {
            SCOPED_TRACE(std::string(o.name) + (queueOn ? ", queue on" : ", queue off"));
            LoadDefaultJobOptions(table);
            ApplyPpdDefaults(table, file);
            EXPECT_EQ(Value(o.row), queueOn ? o.onValue : o.offValue);
            Apply((std::string(o.name) + "=" + (queueOn ? o.off : o.on)).c_str());
            EXPECT_EQ(Value(o.row), queueOn ? o.offValue : o.onValue);
        }
        ppdClose(file);
    }
}

TEST_F(JobOptionsTest, ManualDuplexSwitchesMachineDuplexOff)
{
    Apply("Duplex=DuplexNoTumble ManualDuplex=True");
    EXPECT_EQ(ExcludeMachineDuplex(table), 1);
    EXPECT_EQ(Value(kDuplex), 0);
    EXPECT_EQ(Value(kManualDuplex), 1);
    LoadDefaultJobOptions(table);
    Apply("sides=two-sided-short-edge");
    EXPECT_EQ(ExcludeMachineDuplex(table), 0);
    EXPECT_EQ(Value(kDuplex), 2);
}

TEST(PlatformFromName, ThreePlatformsAnyCase)
{
    EXPECT_EQ(PlatformFromName("PLATFORM_M"), 3);
    EXPECT_EQ(PlatformFromName("platform_z"), 2);
    EXPECT_EQ(PlatformFromName("Platform_C"), 1);
    EXPECT_EQ(PlatformFromName("PLATFORM_X"), 0);
    EXPECT_EQ(PlatformFromName(""), 0);
    EXPECT_EQ(PlatformFromName("PLATFORM_M "), 0);
}

}  // namespace
