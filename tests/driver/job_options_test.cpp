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

TEST_F(JobOptionsTest, DensityIsADecimalNumber)
{
    Apply("Density=5x");
    EXPECT_EQ(Value(kDensity), 5);
    Apply("Density=abc");
    EXPECT_EQ(Value(kDensity), 0);
    Apply("Density=-3");
    EXPECT_EQ(Value(kDensity), -3);
    Apply("Density=010");  // not octal
    EXPECT_EQ(Value(kDensity), 10);
}

TEST_F(JobOptionsTest, InputSlotNames)
{
    Apply("InputSlot=manualfeed");
    EXPECT_EQ(Value(kInputSlot), 1);
    Apply("InputSlot=AutoFeed");
    EXPECT_EQ(Value(kInputSlot), 2);
    Apply("InputSlot=Tray2");
    EXPECT_EQ(Value(kInputSlot), 0);
    Apply("InputSlot=ManualFeed");
    Apply("InputSlot=AUTO");
    EXPECT_EQ(Value(kInputSlot), 0);
}

TEST_F(JobOptionsTest, SwitchesOnlyTurnOn)
{
    Apply("Collate=yes");
    EXPECT_EQ(Value(kCollate), 0);
    Apply("Collate=True ManualDuplex=TRUE TonerMode=true FeedLongEdge=true outputorder=true "
          "DPI1200=true NegativePrint=true ImageRotation=true");
    for (JobOptionRow row : {kCollate, kManualDuplex, kTonerMode, kFeedLongEdge, kOutputOrder,
                             kDpi1200, kNegativePrint, kImageRotation})
        EXPECT_EQ(Value(row), 1) << table[row].name;
    Apply("Collate=false");
    EXPECT_EQ(Value(kCollate), 1);
    // Option names are matched without regard to case, as CUPS does.
    LoadDefaultJobOptions(table);
    Apply("collate=true");
    EXPECT_EQ(Value(kCollate), 1);
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
