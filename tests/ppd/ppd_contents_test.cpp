// The generated PPDs as CUPS and the filter read them: model names, the
// platform and manual-duplex texts, the raster CUPS will send, the options'
// choices, page sizes whose imageable area is the printer's bitmap, and the
// German and Chinese texts a print dialog shows.
// The PPD API is deprecated in CUPS 2.x but is what reads a driver's PPD.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include <cups/ppd.h>
#include <cups/raster.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

// The filter's own tables, once its job driver is built.
#if __has_include("driver/printer_models.h") && __has_include("driver/page_geometry.h")
#define HAVE_FILTER_TABLES 1
#include "driver/cups_binding.h"
#include "driver/job_options.h"
#include "driver/page_geometry.h"
#include "driver/paper_tables.h"
#include "driver/printer_models.h"
#endif

namespace {

struct Model {
    std::string name;
    std::string file;
    std::string platformText;
};

struct PpdCloser {
    void operator()(ppd_file_t* ppd) const { ppdClose(ppd); }
};
using PpdPtr = std::unique_ptr<ppd_file_t, PpdCloser>;

// Runs check on every model's PPD, opened with its defaults marked.
void ForEachModel(const std::function<void(const Model&, ppd_file_t*)>& check)
{
    for (int n = 1; n <= 35; n++) {
        char num[3];
        std::snprintf(num, sizeof num, "%02d", n);
        const char* platform = n <= 2 ? "PLATFORM_Z" : n <= 31 ? "PLATFORM_M" : "PLATFORM_C";
        Model m{std::string("Norvane R") + num + " Series",
                std::string(PPD_BUILD_DIR) + "/norvr" + num + ".ppd", platform};
        SCOPED_TRACE(m.file);
        PpdPtr ppd(ppdOpenFile(m.file.c_str()));
        if (!ppd) {
            ADD_FAILURE() << "cannot open: " << ppdErrorString(ppdLastError(nullptr));
            continue;
        }
        ppdMarkDefaults(ppd.get());
        check(m, ppd.get());
    }
}

std::string IppReason(ppd_file_t* ppd, const char* reason)
{
    char buf[1024];
    const char* text = ppdLocalizeIPPReason(ppd, reason, nullptr, buf, sizeof buf);
    return text ? text : "<none>";
}

std::vector<std::string> Choices(ppd_file_t* ppd, const char* option)
{
    std::vector<std::string> names;
    if (ppd_option_t* o = ppdFindOption(ppd, option)) {
        for (int i = 0; i < o->num_choices; i++) {
            names.push_back(o->choices[i].choice);
        }
    }
    return names;
}

// The page header CUPS's rasterizers build from the PPD with one option set.
cups_page_header2_t HeaderFor(ppd_file_t* ppd, const char* option, const char* choice)
{
    ppdMarkDefaults(ppd);
    if (option) {
        ppdMarkOption(ppd, option, choice);
    }
    cups_page_header2_t header{};
    EXPECT_EQ(cupsRasterInterpretPPD(&header, ppd, 0, nullptr, nullptr), 0) << cupsRasterErrorString();
    return header;
}

// Runs fn in the language a user's LANG names. CUPS takes its default
// language from the environment when the program has set no locale (no
// system locale needs to be installed for it) and keeps it per thread, so
// each language gets a thread of its own.
void InLanguage(const char* lang, const std::function<void()>& fn)
{
    std::map<std::string, std::optional<std::string>> saved;
    for (const char* name : {"LANG", "LC_ALL", "LC_MESSAGES"}) {
        const char* v = std::getenv(name);
        saved[name] = v ? std::optional<std::string>(v) : std::nullopt;
        unsetenv(name);
    }
    setenv("LANG", lang, 1);
    std::thread(fn).join();
    for (const auto& [name, value] : saved) {
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
}

TEST(Ppds, NameTheModelItsPlatformAndTheFilter)
{
    InLanguage("C", [] {
        ForEachModel([](const Model& m, ppd_file_t* ppd) {
            EXPECT_STREQ(ppd->modelname, m.name.c_str());
            EXPECT_EQ(IppReason(ppd, "PlatForm"), m.platformText);
            // The instruction the filter shows before the second half of a
            // manual two-sided job.
            EXPECT_NE(IppReason(ppd, "MDuplex").find("stack over"), std::string::npos);
            ASSERT_EQ(ppd->num_filters, 1);
            EXPECT_STREQ(ppd->filters[0], "application/vnd.cups-raster 0 rasterfilter");
        });
    });
}

TEST(Ppds, AskForEightBitWhiteRasterAtTheOfferedResolutions)
{
    ForEachModel([](const Model& m, ppd_file_t* ppd) {
        std::set<std::pair<unsigned, unsigned>> offered;
        for (const std::string& choice : Choices(ppd, "Resolution")) {
            SCOPED_TRACE(choice);
            cups_page_header2_t h = HeaderFor(ppd, "Resolution", choice.c_str());
            EXPECT_EQ(h.cupsColorSpace, CUPS_CSPACE_W);
            EXPECT_EQ(h.cupsBitsPerColor, 8u);
            EXPECT_EQ(h.cupsBitsPerPixel, 8u);
            offered.insert({h.HWResolution[0], h.HWResolution[1]});
        }
        // Only platform 1 images at 1200 dpi; platform 3's 1200 dpi mode is
        // an option on the 600 dpi grid.
        std::set<std::pair<unsigned, unsigned>> expected{{600, 600}};
        if (m.platformText == "PLATFORM_C") {
            expected = {{600, 600}, {1200, 600}, {1200, 1200}};
        }
        EXPECT_EQ(offered, expected);
        cups_page_header2_t def = HeaderFor(ppd, nullptr, nullptr);
        EXPECT_EQ(def.HWResolution[0], 600u);
        EXPECT_EQ(def.HWResolution[1], 600u);
    });
}

TEST(Ppds, OfferEveryFilterOptionWithChoicesItUnderstands)
{
    ForEachModel([](const Model&, ppd_file_t* ppd) {
        for (const char* name : {"ManualDuplex", "TonerMode", "FeedLongEdge", "DPI1200", "NegativePrint",
                                 "ImageRotation", "Collate"}) {
            SCOPED_TRACE(name);
            ppd_option_t* o = ppdFindOption(ppd, name);
            ASSERT_TRUE(o);
            EXPECT_STREQ(o->keyword, name);
            EXPECT_EQ(o->ui, PPD_UI_BOOLEAN);
            EXPECT_EQ(Choices(ppd, name), (std::vector<std::string>{"False", "True"}));
            EXPECT_STREQ(o->defchoice, "False");
        }
        // CUPS's pdftopdf takes outputorder for its OutputOrder and reports
        // an error for any value but Normal and Reverse: the default must be
        // one of them; the filter takes True.
        EXPECT_EQ(Choices(ppd, "outputorder"), (std::vector<std::string>{"Normal", "True"}));
        ppd_choice_t* order = ppdFindMarkedChoice(ppd, "outputorder");
        ASSERT_TRUE(order);
        EXPECT_STREQ(order->choice, "Normal");
        EXPECT_EQ(Choices(ppd, "Duplex"), (std::vector<std::string>{"None", "DuplexNoTumble", "DuplexTumble"}));
        EXPECT_EQ(Choices(ppd, "InputSlot"), (std::vector<std::string>{"Auto", "ManualFeed", "AutoFeed"}));
        std::vector<std::string> density = Choices(ppd, "Density");
        EXPECT_FALSE(density.empty());
        for (const std::string& c : density) {
            char* end = nullptr;
            long v = std::strtol(c.c_str(), &end, 10);
            EXPECT_TRUE(*end == '\0' && v >= 1 && v <= 5) << c;
        }
        ppd_choice_t* def = ppdFindMarkedChoice(ppd, "Density");
        ASSERT_TRUE(def);
        EXPECT_STREQ(def->choice, "2");

        // The filter turns the back sides itself: the rasterizer must not.
        EXPECT_EQ(HeaderFor(ppd, "Duplex", "DuplexNoTumble").Duplex, CUPS_TRUE);
        ppd_attr_t* backside = ppdFindAttr(ppd, "cupsBackSide", nullptr);
        EXPECT_TRUE(!backside || std::string(backside->value) == "Normal");
    });
}

TEST(Ppds, LeaveCopiesToThePrinterAndTheFilter)
{
    ForEachModel([](const Model&, ppd_file_t* ppd) {
        // cupsManualCopies False: CUPS renders each page once and puts the
        // copy count into NumCopies; the filter collates.
        EXPECT_EQ(ppd->manual_copies, 0);
        EXPECT_TRUE(ppdFindOption(ppd, "Collate"));
    });
}

TEST(Ppds, AllowCustomSizesUpToTheLargestSheet)
{
    ForEachModel([](const Model&, ppd_file_t* ppd) {
        EXPECT_EQ(ppd->variable_sizes, 1);
        EXPECT_FLOAT_EQ(ppd->custom_max[0], 612);
        EXPECT_FLOAT_EQ(ppd->custom_max[1], 1009);
        for (int i = 0; i < 4; i++) {
            EXPECT_GT(ppd->custom_margins[i], 0) << i;
        }
    });
}

struct Language {
    const char* lang;
    std::string manualDuplex;  // the instruction between the two halves
    // (option, choice or "" for the option itself, text): a sample of what
    // the dialog shows, from our catalogue and from CUPS's.
    std::vector<std::array<std::string, 3>> texts;
    std::set<std::string> unchanged;  // texts that read the same as in English
};

const Language kLanguages[] = {
    {"de_DE.UTF-8",
     "Drehen Sie den Stapel um, legen Sie ihn zurück ins Fach und drücken Sie Go.",
     {{"TonerMode", "", "Tonersparmodus"},
      {"ManualDuplex", "", "Manueller doppelseitiger Druck"},
      {"ManualDuplex", "True", "Ein"},
      {"outputorder", "True", "Nach den geraden Seiten"},
      {"Density", "1", "Hell"},
      {"Duplex", "", "Doppelseitiger Druck"},
      {"PageSize", "A4", "DIN A4"},
      {"PageSize", "Letter", "US Letter"}},
     {"Normal"}},
    {"zh_CN.UTF-8",
     "请将打印好的纸叠翻面放回纸盒，然后按 Go 键。",
     {{"TonerMode", "", "节省碳粉"},
      {"ManualDuplex", "", "手动双面打印"},
      {"ManualDuplex", "True", "开"},
      {"outputorder", "True", "在偶数页之后"},
      {"Density", "1", "浅"},
      {"Duplex", "", "双面印刷"},
      {"PageSize", "EnvDL", "DL 信封"},
      {"PageSize", "184.86x260mm", "16开 185 x 260 mm"}},
     {}},
};

std::string Text(ppd_file_t* ppd, const std::string& option, const std::string& choice)
{
    ppd_option_t* o = ppdFindOption(ppd, option.c_str());
    if (!o) {
        return "<no option>";
    }
    if (choice.empty()) {
        return o->text;
    }
    ppd_choice_t* c = ppdFindChoice(o, choice.c_str());
    return c ? c->text : "<no choice>";
}

// A German or Chinese user's dialog shows every group, option and choice in
// that language (page sizes and resolutions are names, translated only where
// the language has its own), and the instruction of manual duplex; the
// filter still finds its platform, whatever language the job has.
TEST(Ppds, SpeakGermanAndChinese)
{
#ifdef HAVE_FILTER_TABLES
    BindCupsLibrary();  // the filter reads the PPD through the CUPS table
#endif
    for (const Language& l : kLanguages) {
        InLanguage(l.lang, [&l] {
            SCOPED_TRACE(l.lang);  // traces belong to their thread
            ForEachModel([&l](const Model& m, ppd_file_t* ppd) {
                std::vector<std::string> english;
                for (int g = 0; g < ppd->num_groups; g++) {
                    english.push_back(ppd->groups[g].text);
                    for (int i = 0; i < ppd->groups[g].num_options; i++) {
                        const ppd_option_t& o = ppd->groups[g].options[i];
                        english.push_back(o.text);
                        for (int c = 0; c < o.num_choices; c++) {
                            english.push_back(o.choices[c].text);
                        }
                    }
                }
                ASSERT_EQ(ppdLocalize(ppd), 0);
                size_t n = 0;
                for (int g = 0; g < ppd->num_groups; g++) {
                    EXPECT_NE(ppd->groups[g].text, english[n++]);
                    // CUPS cuts a group's name to fit 39 bytes, maybe inside
                    // a character: one that fills them was cut.
                    EXPECT_LT(std::strlen(ppd->groups[g].text), sizeof ppd->groups[g].text - 1);
                    for (int i = 0; i < ppd->groups[g].num_options; i++) {
                        const ppd_option_t& o = ppd->groups[g].options[i];
                        const std::string k = o.keyword;
                        // PageRegion is PageSize's twin that no dialog shows.
                        const bool shown = k != "PageRegion";
                        if (shown) {
                            EXPECT_NE(o.text, english[n]) << k;
                        }
                        n++;
                        for (int c = 0; c < o.num_choices; c++) {
                            const std::string& before = english[n++];
                            if (shown && k != "PageSize" && k != "Resolution" && !l.unchanged.count(before)) {
                                EXPECT_NE(o.choices[c].text, before) << k << " " << o.choices[c].choice;
                            }
                        }
                    }
                }
                for (const auto& [option, choice, text] : l.texts) {
                    EXPECT_EQ(Text(ppd, option, choice), text) << option << " " << choice;
                }

                // CUPS cuts PPD texts at 80 bytes (cupstestppd refuses longer).
                const std::string instruction = IppReason(ppd, "MDuplex");
                EXPECT_EQ(instruction, l.manualDuplex);
                EXPECT_LE(instruction.size(), 80u);

                EXPECT_EQ(IppReason(ppd, "PlatForm"), m.platformText);
#ifdef HAVE_FILTER_TABLES
                char text[1024];
                int platform = 0;
                PlatformFromPpd(ppd, text, sizeof text, &platform);
                const std::map<std::string, int> numbers{{"PLATFORM_C", 1}, {"PLATFORM_Z", 2}, {"PLATFORM_M", 3}};
                EXPECT_EQ(platform, numbers.at(m.platformText));
#endif
            });
        });
    }
}

#ifdef HAVE_FILTER_TABLES
// Every page size is a row of the model's paper table, and its imageable
// area is that row's bitmap, so that raster lines land on the bitmap one to
// one and the printer puts them where the document had them.
TEST(Ppds, ImageableAreaIsThePrintersBitmap)
{
    ForEachModel([](const Model& m, ppd_file_t* ppd) {
        int platform = 0;
        const PaperSize* table = SelectModel(m.name.c_str(), &platform);
        ASSERT_TRUE(table);
        std::set<int> rowsSeen;
        for (int i = 0; i < ppd->num_sizes; i++) {
            const ppd_size_t& s = ppd->sizes[i];
            if (std::string(s.name) == "Custom") {
                continue;
            }
            SCOPED_TRACE(s.name);
            const unsigned pageSize[2] = {static_cast<unsigned>(s.width), static_cast<unsigned>(s.length)};
            ASSERT_EQ(s.width, pageSize[0]) << "sizes are whole points";
            ASSERT_EQ(s.length, pageSize[1]) << "sizes are whole points";
            int feedLongEdge = 0;
            int row = FindPaperSize(pageSize, table, &feedLongEdge);
            ASSERT_GE(row, 0) << "not in the paper table";
            rowsSeen.insert(row);
            const PaperSize& p = table[row];
            const double dots = 600.0 / 72.0;
            EXPECT_EQ(std::lround((s.right - s.left) * dots), p.imageWidth);
            EXPECT_EQ(std::lround((s.top - s.bottom) * dots), p.imageHeight);
            if (p.offsetX || p.offsetY) {
                EXPECT_EQ(std::lround(s.left * dots), p.offsetX);
                EXPECT_EQ(std::lround((s.length - s.top) * dots), p.offsetY);
            } else {
                EXPECT_NEAR(s.left, s.width - s.right, 0.01) << "centred across";
                EXPECT_NEAR(s.bottom, s.length - s.top, 0.01) << "centred down";
            }
        }
        int rows = 0;
        while (table[rows].widthPt != -1) {
            rows++;
        }
        EXPECT_EQ(static_cast<int>(rowsSeen.size()), rows) << "every size of the table is offered";
    });
}

// A custom page as large as the PPD allows never images wider or longer
// than the model's largest table sheet.
TEST(Ppds, LargestCustomPageFitsThePrinter)
{
    ForEachModel([](const Model& m, ppd_file_t* ppd) {
        int platform = 0;
        const PaperSize* table = SelectModel(m.name.c_str(), &platform);
        int maxWidth = 0, maxHeight = 0;
        for (int i = 0; table[i].widthPt != -1; i++) {
            maxWidth = std::max(maxWidth, table[i].imageWidth);
            maxHeight = std::max(maxHeight, table[i].imageHeight);
        }
        uint32_t width = 0, height = 0;
        ASSERT_TRUE(CustomPageSize(static_cast<unsigned>(ppd->custom_max[0]),
                                   static_cast<unsigned>(ppd->custom_max[1]), ppd->custom_margins, &width,
                                   &height));
        EXPECT_LE(static_cast<int>(width), maxWidth);
        EXPECT_LE(static_cast<int>(height), maxHeight);
    });
}

int ParsedValue(const char* option, const char* choice, int row)
{
    JobOption table[kJobOptionCount];
    LoadDefaultJobOptions(table);
    cups_option_t* options = nullptr;
    int n = cupsAddOption(option, choice, 0, &options);
    ParseJobOptions(table, n, options);
    cupsFreeOptions(n, options);
    return table[row].value;
}

// Each choice means to the filter what its label says.
TEST(Ppds, FilterReadsEveryChoice)
{
    BindCupsLibrary();  // the option parser reads through the CUPS table
    ForEachModel([](const Model&, ppd_file_t* ppd) {
        const std::pair<const char*, int> booleans[] = {
            {"ManualDuplex", kManualDuplex},   {"TonerMode", kTonerMode}, {"FeedLongEdge", kFeedLongEdge},
            {"outputorder", kOutputOrder},     {"DPI1200", kDpi1200},     {"NegativePrint", kNegativePrint},
            {"ImageRotation", kImageRotation}, {"Collate", kCollate}};
        for (auto [name, row] : booleans) {
            for (const std::string& c : Choices(ppd, name)) {
                EXPECT_EQ(ParsedValue(name, c.c_str(), row), c == "True" ? 1 : 0) << name << "=" << c;
            }
        }
        const std::vector<std::string> duplex = Choices(ppd, "Duplex");
        for (size_t i = 0; i < duplex.size(); i++) {
            EXPECT_EQ(ParsedValue("Duplex", duplex[i].c_str(), kDuplex), static_cast<int>(i)) << duplex[i];
        }
        const std::vector<std::string> slots = Choices(ppd, "InputSlot");
        for (size_t i = 0; i < slots.size(); i++) {
            EXPECT_EQ(ParsedValue("InputSlot", slots[i].c_str(), kInputSlot), static_cast<int>(i)) << slots[i];
        }
        for (const std::string& c : Choices(ppd, "Density")) {
            EXPECT_EQ(ParsedValue("Density", c.c_str(), kDensity), std::atoi(c.c_str())) << c;
        }
    });
}
#endif

}  // namespace
