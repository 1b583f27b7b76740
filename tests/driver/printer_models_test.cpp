// Model table, platform selection (also through a real PPD) and the paper
// tables.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "driver/cups_binding.h"
#include "driver/printer_models.h"
#include "support/filter_process.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

const PaperSize* const kTables[] = {paperTablePlatform3, paperTablePlatform2, paperTablePlatform1A,
                                    paperTablePlatform1B};

int RowCount(const PaperSize* table)
{
    int n = 0;
    while (table[n].widthPt != -1)
        ++n;
    return n;
}

TEST(ModelTable, ThirtyFiveModelsInFourGroups)
{
    for (int row = 0; row < kPrinterModelCount; ++row) {
        char name[32];
        std::snprintf(name, sizeof name, "Norvane R%02d Series", row + 1);
        EXPECT_STREQ(printerModels[row].name, name);
    }
    EXPECT_EQ(printerModels[0].platform, 2);
    EXPECT_EQ(printerModels[1].paperTable, paperTablePlatform2);
    EXPECT_EQ(printerModels[2].platform, 3);
    EXPECT_EQ(printerModels[30].paperTable, paperTablePlatform3);
    EXPECT_EQ(printerModels[31].paperTable, paperTablePlatform1A);
    EXPECT_EQ(printerModels[32].platform, 1);
    EXPECT_EQ(printerModels[33].paperTable, paperTablePlatform1B);
    EXPECT_EQ(printerModels[34].paperTable, paperTablePlatform1B);
}

struct Selection {
    const char* model;
    int ppdPlatform;
    int platform;
    const PaperSize* table;
};

TEST(SelectModel, RulesInOrder)
{
    const Selection cases[] = {
        // model names of the platform-2 group win over the PPD
        {"Norvane R01 Series", 3, 2, paperTablePlatform2},
        {"Norvane R02 Series", 1, 2, paperTablePlatform2},
        // a PPD naming platform 2 wins over later groups
        {"Norvane R05 Series", 2, 2, paperTablePlatform2},
        {"Norvane R34 Series", 2, 2, paperTablePlatform2},
        {"Norvane R03 Series", 0, 3, paperTablePlatform3},
        {"Norvane R31 Series", 1, 3, paperTablePlatform3},
        // a PPD naming platform 3 wins over the platform-1 models
        {"Norvane R32 Series", 3, 3, paperTablePlatform3},
        {"Unknown", 3, 3, paperTablePlatform3},
        {"Norvane R32 Series", 0, 1, paperTablePlatform1A},
        {"Norvane R33 Series", 1, 1, paperTablePlatform1A},
        {"Norvane R34 Series", 0, 1, paperTablePlatform1B},
        {"Norvane R35 Series", 1, 1, paperTablePlatform1B},
        // unknown names, exact matching only
        {"Unknown", 0, 1, paperTablePlatform1A},
        {"norvane r05 series", 0, 1, paperTablePlatform1A},
        {"Norvane R05 Series ", 0, 1, paperTablePlatform1A},
        {"Norvane R36 Series", 0, 1, paperTablePlatform1A},
        {"", 0, 1, paperTablePlatform1A},
    };
    for (const Selection& c : cases) {
        int platform = c.ppdPlatform;
        EXPECT_EQ(SelectModel(c.model, &platform), c.table) << c.model << " / " << c.ppdPlatform;
        EXPECT_EQ(platform, c.platform) << c.model << " / " << c.ppdPlatform;
    }
}

// The platform as the page loop derives it: PPD text first, then the model.
std::pair<int, const PaperSize*> PlatformOfPpd(const TestPpd& spec, const char* model = nullptr)
{
    BindCupsLibrary();
    TempDir dir;
    const std::string path = WriteTestPpd(dir.File("test.ppd"), spec);
    ppd_file_t* ppd = cups.ppdOpenFile(path.c_str());
    EXPECT_NE(ppd, nullptr);
    if (ppd == nullptr)
        return {-1, nullptr};
    int platform = 0;
    char text[1024] = "";
    PlatformFromPpd(ppd, text, sizeof text, &platform);
    const PaperSize* table = SelectModel(model ? model : ppd->modelname, &platform);
    cups.ppdClose(ppd);
    return {platform, table};
}

TEST(SelectModel, ThroughThePpd)
{
    TestPpd ppd;
    ppd.modelName = "Norvane R05 Series";
    ppd.platform = "platform_z";
    EXPECT_EQ(PlatformOfPpd(ppd), std::make_pair(2, paperTablePlatform2));
    ppd.modelName = "Norvane R01 Series";
    EXPECT_EQ(PlatformOfPpd(ppd), std::make_pair(2, paperTablePlatform2));

    ppd.modelName = "Norvane R33 Series";
    ppd.platform = "PLATFORM_M";
    EXPECT_EQ(PlatformOfPpd(ppd), std::make_pair(3, paperTablePlatform3));
    ppd.platform = "PLATFORM_C";
    ppd.modelName = "Norvane R05 Series";
    EXPECT_EQ(PlatformOfPpd(ppd), std::make_pair(3, paperTablePlatform3));

    ppd.platform = "";
    ppd.modelName = "Some Other Printer";
    EXPECT_EQ(PlatformOfPpd(ppd), std::make_pair(1, paperTablePlatform1A));
    ppd.modelName = "Norvane R35 Series";
    EXPECT_EQ(PlatformOfPpd(ppd), std::make_pair(1, paperTablePlatform1B));
}

TEST(PlatformFromPpd, ReadsTheIppReasonText)
{
    BindCupsLibrary();
    TempDir dir;
    TestPpd spec;
    spec.platform = "PLATFORM_Z";
    ppd_file_t* ppd = cups.ppdOpenFile(WriteTestPpd(dir.File("a.ppd"), spec).c_str());
    ASSERT_NE(ppd, nullptr);
    char text[1024] = "";
    int platform = 7;
    PlatformFromPpd(ppd, text, sizeof text, &platform);
    EXPECT_STREQ(text, "PLATFORM_Z");
    EXPECT_EQ(platform, 2);
    cups.ppdClose(ppd);

    // No entry leaves the platform as it was.
    spec.platform = "";
    ppd = cups.ppdOpenFile(WriteTestPpd(dir.File("b.ppd"), spec).c_str());
    ASSERT_NE(ppd, nullptr);
    platform = 3;
    PlatformFromPpd(ppd, text, sizeof text, &platform);
    EXPECT_EQ(platform, 3);
    cups.ppdClose(ppd);

    // A name that is no platform clears it.
    spec.platform = "PLATFORM_Q";
    ppd = cups.ppdOpenFile(WriteTestPpd(dir.File("c.ppd"), spec).c_str());
    ASSERT_NE(ppd, nullptr);
    platform = 3;
    PlatformFromPpd(ppd, text, sizeof text, &platform);
    EXPECT_EQ(platform, 0);
    cups.ppdClose(ppd);
}

TEST(PaperTables, Structure)
{
    for (const PaperSize* table : kTables) {
        ASSERT_EQ(RowCount(table), 23);
        EXPECT_EQ(table[0].widthPt, 420);
        EXPECT_EQ(table[0].heightPt, 595);
        std::set<std::pair<int, int>> sizes;
        for (int row = 0; row < 23; ++row) {
            EXPECT_TRUE(sizes.insert({table[row].widthPt, table[row].heightPt}).second)
                << table[row].widthPt << "x" << table[row].heightPt;
            EXPECT_EQ(table[row].imageWidth % 8, 0) << "row " << row;
            EXPECT_GT(table[row].imageHeight, 0);
            // Every table knows the same paper sizes.
            EXPECT_EQ(table[row].widthPt, paperTablePlatform3[row].widthPt);
            EXPECT_EQ(table[row].heightPt, paperTablePlatform3[row].heightPt);
        }
    }
}

TEST(PaperTables, SampleCells)
{
    // A4
    EXPECT_EQ(paperTablePlatform3[1].imageHeight, 6784);
    EXPECT_EQ(paperTablePlatform3[1].paperCode, 9);
    EXPECT_EQ(paperTablePlatform2[1].imageHeight, 6780);
    EXPECT_EQ(paperTablePlatform1A[1].imageWidth, 4800);
    EXPECT_EQ(paperTablePlatform1B[1].imageHeight, 6782);
    // Legal, the largest
    EXPECT_EQ(paperTablePlatform3[3].imageHeight, 8192);
    EXPECT_EQ(paperTablePlatform3[3].paperCode, 5);
    EXPECT_EQ(paperTablePlatform1A[3].imageWidth, 4928);
    // A5
    EXPECT_EQ(paperTablePlatform1A[0].imageWidth, 3328);
    EXPECT_EQ(paperTablePlatform1B[0].imageHeight, 4720);
    EXPECT_EQ(paperTablePlatform2[0].paperCode, 11);
    EXPECT_EQ(paperTablePlatform1B[0].paperCode, 6);

    const unsigned size524[2] = {524, 737};
    int feed = 0;
    EXPECT_EQ(paperTablePlatform3[FindPaperSize(size524, paperTablePlatform3, &feed)].paperCode, 263);
    const unsigned size354[2] = {354, 499};
    const int r354 = FindPaperSize(size354, paperTablePlatform2, &feed);
    ASSERT_GE(r354, 0);
    EXPECT_EQ(paperTablePlatform2[r354].paperCode, 28);
    EXPECT_EQ(paperTablePlatform2[r354].imageHeight, 3922);
    EXPECT_EQ(paperTablePlatform1B[r354].imageHeight, 3921);
    const unsigned size383[2] = {383, 553};
    const int r383 = FindPaperSize(size383, paperTablePlatform1B, &feed);
    ASSERT_GE(r383, 0);
    EXPECT_EQ(paperTablePlatform1B[r383].imageWidth, 3000);
    EXPECT_EQ(paperTablePlatform1B[r383].imageHeight, 4370);
    EXPECT_EQ(paperTablePlatform1A[r383].imageHeight, 4371);

    // The envelopes and the postcard of table B carry offsets; nothing else does.
    int withOffsets = 0;
    for (int row = 0; row < 23; ++row) {
        const PaperSize& b = paperTablePlatform1B[row];
        if (b.offsetX != 0 || b.offsetY != 0) {
            ++withOffsets;
            EXPECT_EQ(b.offsetX, 240);
            EXPECT_EQ(b.offsetY, 120);
        }
        for (const PaperSize* table : {paperTablePlatform3, paperTablePlatform2, paperTablePlatform1A})
            EXPECT_EQ(table[row].offsetX + table[row].offsetY, 0);
    }
    EXPECT_EQ(withOffsets, 6);
    const unsigned monarch[2] = {279, 540};
    const int rm = FindPaperSize(monarch, paperTablePlatform1B, &feed);
    EXPECT_EQ(paperTablePlatform1B[rm].imageWidth, 1856);
    EXPECT_EQ(paperTablePlatform1B[rm].offsetX, 240);
    EXPECT_EQ(feed, 0);
}

TEST(FindPaperSize, A5FedLongEdgeAndMisses)
{
    for (const PaperSize* table : kTables) {
        int feed = 0;
        const unsigned a5[2] = {420, 595};
        EXPECT_EQ(FindPaperSize(a5, table, &feed), 0);
        EXPECT_EQ(feed, 0);
        const unsigned a5Long[2] = {421, 595};
        EXPECT_EQ(FindPaperSize(a5Long, table, &feed), 0);
        EXPECT_EQ(feed, 1);
        // Once on it stays on.
        const unsigned a4[2] = {595, 842};
        EXPECT_EQ(FindPaperSize(a4, table, &feed), 1);
        EXPECT_EQ(feed, 1);
        const unsigned almostA4[2] = {595, 841};
        EXPECT_EQ(FindPaperSize(almostA4, table, &feed), -1);
        const unsigned turned[2] = {842, 595};
        EXPECT_EQ(FindPaperSize(turned, table, &feed), -1);
        const unsigned zero[2] = {0, 0};
        EXPECT_EQ(FindPaperSize(zero, table, &feed), -1);
    }
}

}  // namespace
