// The application's media, layout, settings and device IDs against the
// PPDs the filter path uses and the engine's own tables.
#include <cups/cups.h>
#include <cups/ppd.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "device_ids.h"
#include "engine.h"
#include "job_settings.h"
#include "media.h"
#include "page_layout.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

std::string PpdPath(int model)
{
    char name[32];
    std::snprintf(name, sizeof name, "/norvr%02d.ppd", model + 1);
    return std::string(PPD_BUILD_DIR) + name;
}

// One model of each paper table.
const int kOnePerTable[] = {0, 4, 31, 34};

}  // namespace

// The printable area of every size is where the PPD path images the page,
// and every PPD size has its PWG name.
TEST(Media, EverySizeOfEveryTableHasANameAndThePpdsImageableArea)
{
    for (int model : kOnePerTable) {
        ppd_file_t* ppd = ppdOpenFile(PpdPath(model).c_str());
        ASSERT_NE(ppd, nullptr) << PpdPath(model);
        int sizes = 0;
        for (int i = 0; i < ppd->num_sizes; ++i) {
            const ppd_size_t& size = ppd->sizes[i];
            if (std::string(size.name) == "Custom")
                continue;
            ++sizes;
            const MediaName* m = nullptr;
            for (const MediaName& n : mediaNames)
                if (n.widthPt == std::lround(size.width) && n.heightPt == std::lround(size.length))
                    m = &n;
            ASSERT_NE(m, nullptr) << size.name;
            SheetInfo sheet{};
            ASSERT_TRUE(FindSheet(model, m->widthPt, m->heightPt, &sheet)) << m->pwgName;
            const Margins margins = SheetMargins(sheet);
            EXPECT_NEAR(margins.left, size.left, 0.01) << size.name;
            EXPECT_NEAR(margins.bottom, size.bottom, 0.01) << size.name;
            EXPECT_NEAR(margins.right, size.width - size.right, 0.01) << size.name;
            EXPECT_NEAR(margins.top, size.length - size.top, 0.01) << size.name;
        }
        EXPECT_EQ(sizes, kMediaNameCount);
        ppdClose(ppd);
    }
}

// PWG raster headers carry whole points cut from hundredths of millimetres
// (as cupsRasterInitPWGHeader makes them): most sizes miss the paper table
// that way, none by name or by dimensions.
TEST(Media, NamesFindTheSizesThatPointsMiss)
{
    int missedByPoints = 0;
    for (const MediaName& m : mediaNames) {
        pwg_media_t* pwg = pwgMediaForPWG(m.pwgName);
        ASSERT_NE(pwg, nullptr) << m.pwgName;
        const int widthPt = pwg->width * 72 / 2540;
        const int heightPt = pwg->length * 72 / 2540;
        EXPECT_NEAR(widthPt, m.widthPt, 1) << m.pwgName;
        EXPECT_NEAR(heightPt, m.heightPt, 1) << m.pwgName;
        if (widthPt != m.widthPt || heightPt != m.heightPt)
            ++missedByPoints;
        EXPECT_EQ(FindMediaName(m.pwgName), &m);
        EXPECT_EQ(FindMediaBySize(pwg->width, pwg->length), &m) << m.pwgName;
    }
    EXPECT_EQ(missedByPoints, 12);
    EXPECT_EQ(FindMediaName("iso_a3_297x420mm"), nullptr);
    EXPECT_EQ(FindMediaBySize(29700, 42000), nullptr);
}

TEST(PageLayout, CropsEachSheetToItsBitmap)
{
    struct Case {
        int model;
        const char* name;
        int widthHmm, lengthHmm, xdpi, ydpi;
        uint32_t width, height, cropLeft, cropTop;
        bool custom;
    };
    const Case cases[] = {
        // Centred: (595 - 4736 * 0.12) / 2 = 13.34 pt -> 111 dots.
        {4, "iso_a4_210x297mm", 21000, 29700, 600, 600, 4736, 6784, 111, 116, false},
        {0, "iso_a4_210x297mm", 21000, 29700, 600, 600, 4736, 6780, 111, 118, false},
        // Platform 1 at 1200 dpi across: twice the dots.
        {31, "iso_a4_210x297mm", 21000, 29700, 1200, 600, 9600, 6780, 158, 118, false},
        {31, "iso_a4_210x297mm", 21000, 29700, 1200, 1200, 9600, 13560, 158, 237, false},
        // Table B: the envelope's image starts 240 dots from the left, 120 from the top.
        {34, "na_number-10_4.125x9.5in", 10477, 24130, 600, 600, 2008, 5228, 240, 120, false},
        {34, "na_number-10_4.125x9.5in", 10477, 24130, 1200, 1200, 4016, 10456, 480, 240, false},
        // By dimensions when another program names the sheet otherwise.
        {4, "custom_184.86x260mm_184.86x260mm", 18486, 26000, 600, 600, 4160, 5920, 103, 111, false},
        // Custom: 15-point margins, width rounded up to 32 dots, height to 8.
        {4, "custom_200x250mm_200x250mm", 20000, 25000, 600, 600, 4480, 5664, 125, 125, true},
    };
    for (const Case& c : cases) {
        PageLayout l;
        std::string error;
        ASSERT_TRUE(LayOutPage(c.model, c.name, c.widthHmm, c.lengthHmm, c.xdpi, c.ydpi, &l, &error))
            << c.name << ": " << error;
        EXPECT_EQ(l.width, c.width) << c.name;
        EXPECT_EQ(l.height, c.height) << c.name;
        EXPECT_EQ(l.cropLeft, c.cropLeft) << c.name;
        EXPECT_EQ(l.cropTop, c.cropTop) << c.name;
        EXPECT_EQ(l.custom, c.custom) << c.name;
    }
}

TEST(PageLayout, RefusesWhatThePrinterCannotPrint)
{
    struct Case {
        int model;
        const char* name;
        int widthHmm, lengthHmm, xdpi, ydpi;
        const char* message;
    };
    const Case cases[] = {
        {4, "iso_a3_297x420mm", 29700, 42000, 600, 600, "cannot take paper of 297.0 x 420.0 mm"},
        {4, "iso_a4_210x297mm", 21000, 29700, 1200, 1200, "cannot print at 1200x1200 dpi"},
        {0, "iso_a4_210x297mm", 21000, 29700, 1200, 600, "cannot print at 1200x600 dpi"},
        {31, "iso_a4_210x297mm", 21000, 29700, 300, 300, "cannot print at 300x300 dpi"},
        {31, "", 0, 0, 600, 600, "cannot take paper"},
    };
    for (const Case& c : cases) {
        PageLayout l;
        std::string error;
        EXPECT_FALSE(LayOutPage(c.model, c.name, c.widthHmm, c.lengthHmm, c.xdpi, c.ydpi, &l, &error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST(JobSettings, IppChoicesBecomeTheEngineSettings)
{
    struct Case {
        const char* sides;
        const char* source;
        int configured, darkness;
        bool high, collate;
        const char* vendorName;  // one vendor option set to vendorValue
        const char* vendorValue;
        JobSettings expected;
    };
    auto s = [](auto change) {
        JobSettings j;
        change(j);
        return j;
    };
    const Case cases[] = {
        {"one-sided", "auto", 33, 0, false, false, nullptr, nullptr, JobSettings{}},
        {"two-sided-long-edge", "auto", 33, 0, false, false, nullptr, nullptr, s([](JobSettings& j) { j.duplex = 1; })},
        {"two-sided-short-edge", "main", 33, 0, false, true, nullptr, nullptr,
         s([](JobSettings& j) { j.duplex = 2; j.inputSlot = 2; j.collate = 1; })},
        {"two-sided-long-edge", "manual", 33, 0, false, false, "manual-duplex", "true",
         s([](JobSettings& j) { j.manualDuplex = 1; j.inputSlot = 1; })},
        {"one-sided", "auto", 33, 0, true, false, "toner-save", "true", s([](JobSettings& j) { j.fineScreen = 1; j.tonerSave = 1; })},
        {"one-sided", "auto", 33, 0, false, false, "toner-save", "false", JobSettings{}},
        {"one-sided", "auto", 33, 0, false, false, "manual-duplex-blank-back", "after-even-pages", s([](JobSettings& j) { j.blankBackAfter = 1; })},
        {"one-sided", "auto", 33, 0, false, false, "a5-long-edge-first", "true", s([](JobSettings& j) { j.feedLongEdge = 1; })},
        {"one-sided", "auto", 33, 0, false, false, "rotate-180", "true", s([](JobSettings& j) { j.rotate180 = 1; })},
        {"one-sided", "auto", 33, 0, false, false, "negative-print", "true", s([](JobSettings& j) { j.negative = 1; })},
        {"one-sided", "auto", 100, 0, false, false, nullptr, nullptr, s([](JobSettings& j) { j.density = 4; })},
        {"one-sided", "auto", 33, -100, false, false, nullptr, nullptr, s([](JobSettings& j) { j.density = 1; })},
        {"one-sided", "auto", 33, 34, false, false, nullptr, nullptr, s([](JobSettings& j) { j.density = 3; })},
    };
    for (const Case& c : cases) {
        JobChoices choices;
        choices.sides = c.sides;
        choices.mediaSource = c.source;
        choices.darknessConfigured = c.configured;
        choices.printDarkness = c.darkness;
        choices.highQuality = c.high;
        choices.collate = c.collate;
        choices.vendor = [&c](const char* name) -> const char* {
            return c.vendorName != nullptr && std::string(name) == c.vendorName ? c.vendorValue : nullptr;
        };
        const JobSettings got = SettingsFromChoices(choices);
        const JobSettings& e = c.expected;
        const std::string what = std::string(c.sides) + " " + (c.vendorName ? c.vendorName : "");
        EXPECT_EQ(got.duplex, e.duplex) << what;
        EXPECT_EQ(got.manualDuplex, e.manualDuplex) << what;
        EXPECT_EQ(got.density, e.density) << what;
        EXPECT_EQ(got.tonerSave, e.tonerSave) << what;
        EXPECT_EQ(got.feedLongEdge, e.feedLongEdge) << what;
        EXPECT_EQ(got.blankBackAfter, e.blankBackAfter) << what;
        EXPECT_EQ(got.fineScreen, e.fineScreen) << what;
        EXPECT_EQ(got.negative, e.negative) << what;
        EXPECT_EQ(got.inputSlot, e.inputSlot) << what;
        EXPECT_EQ(got.rotate180, e.rotate180) << what;
        EXPECT_EQ(got.collate, e.collate) << what;
    }
}

// The application recognises a printer by the same IDs the PPDs carry.
TEST(DeviceIds, SameAsThePpdsAndRecognisedInAnySpelling)
{
    for (int model = 0; model < kModelCount; ++model) {
        ppd_file_t* ppd = ppdOpenFile(PpdPath(model).c_str());
        ASSERT_NE(ppd, nullptr);
        ppd_attr_t* id = ppdFindAttr(ppd, "1284DeviceID", nullptr);
        ASSERT_NE(id, nullptr) << PpdPath(model);
        EXPECT_STREQ(DeviceIdForModel(GetModel(model).name), id->value);
        EXPECT_EQ(ModelForDeviceId(id->value), model);
        ppdClose(ppd);
    }
    struct Case {
        const char* id;
        int model;
    };
    const Case cases[] = {
        {"MFG:Norvane;MDL:R07 Series;CMD:PJL;", 6},
        {"MANUFACTURER:Norvane;MODEL:R35 Series;", 34},
        {"CMD:PJL; mfg: norvane ; mdl: r12 series;", 11},
        {"MFG:Norvane;MDL:R36 Series;", -1},
        {"MFG:Other;MDL:R01 Series;", -1},
        {"MFG:Norvane;", -1},
        {"", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ModelForDeviceId(c.id), c.model) << c.id;
    EXPECT_EQ(ModelForDeviceId(nullptr), -1);
}
