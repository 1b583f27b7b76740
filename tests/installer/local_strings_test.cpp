#include <gtest/gtest.h>

#include <glib.h>

#include <cstring>
#include <string>
#include <unistd.h>

#include "installer_test_support.h"
#include "local_strings.h"

namespace {

// Each test runs in a fresh working directory with its own locale folder.
class LocalStringsTest : public testing::Test {
protected:
    LocalStringsTest() : cwd_(dir_.path()), lang_("LANG", "de_DE.UTF-8") {}

    void WriteLocaleFile(const std::string& locale, const std::string& name, const std::string& bytes) {
        MakeDirs(dir_.File("locale/" + locale));
        WriteFile(dir_.File("locale/" + locale + "/" + name), bytes);
    }

    // Runs the loader and returns what it printed.
    std::string Load() {
        ConsoleCapture console;
        initialzeLocalStrings();
        return console.Text();
    }

    std::string License() const { return std::string(licenseData, licenseDataSize); }

    TempDir dir_;
    ScopedChdir cwd_;
    ScopedEnv lang_;
};

const char kEnglish[] =
    "str_processName = Title EN\n"
    "str_noticeLabel = Notice EN\n"
    "str_checkButton = Check EN\n"
    "str_installButton = Install EN\n"
    "str_finishLabel = Finish EN\n"
    "str_doneButton = Done EN\n";

TEST_F(LocalStringsTest, ReadsEveryTextAndTheLicenceOfTheLangDirectory) {
    WriteLocaleFile("de_DE.UTF-8", "strings.txt",
                    "# Texte\n"
                    "\n"
                    "str_processName = Titel\n"
                    "str_noticeLabel = Bitte lesen\n"
                    "str_checkButton = Ich stimme zu\n"
                    "str_installButton = Installieren\n"
                    "str_finishLabel = Fertig installiert\n"
                    "str_doneButton = Schließen\n");
    WriteLocaleFile("de_DE.UTF-8", "license.txt", "Lizenz\nzweite Zeile\n");
    WriteLocaleFile("en_US.UTF-8", "strings.txt", kEnglish);
    WriteLocaleFile("en_US.UTF-8", "license.txt", "License\n");

    EXPECT_EQ("de_DE.UTF-8\n", Load());
    EXPECT_STREQ("Titel", str_processName);
    EXPECT_STREQ("Bitte lesen", str_noticeLabel);
    EXPECT_STREQ("Ich stimme zu", str_checkButton);
    EXPECT_STREQ("Installieren", str_installButton);
    EXPECT_STREQ("Fertig installiert", str_finishLabel);
    EXPECT_STREQ("Schließen", str_doneButton);
    EXPECT_EQ("Lizenz\nzweite Zeile\n", License());
    EXPECT_EQ(dir_.File("locale/de_DE.UTF-8/strings.txt"), localeStringPath);
    EXPECT_EQ(dir_.File("locale/de_DE.UTF-8/license.txt"), licensePath);
}

TEST_F(LocalStringsTest, LicenceAndStringsFallBackToEnglishEachOnTheirOwn) {
    WriteLocaleFile("en_US.UTF-8", "strings.txt", kEnglish);
    WriteLocaleFile("en_US.UTF-8", "license.txt", "License EN\n");

    // Licence from LANG, strings from the fallback.
    WriteLocaleFile("de_DE.UTF-8", "license.txt", "Lizenz DE\n");
    Load();
    EXPECT_EQ("Lizenz DE\n", License());
    EXPECT_STREQ("Title EN", str_processName);
    EXPECT_STREQ("Done EN", str_doneButton);
    EXPECT_EQ(dir_.File("locale/de_DE.UTF-8/license.txt"), licensePath);
    EXPECT_EQ(dir_.File("locale/en_US.UTF-8/strings.txt"), localeStringPath);

    // And the other way round; a second load starts afresh.
    ::remove(dir_.File("locale/de_DE.UTF-8/license.txt").c_str());
    WriteLocaleFile("de_DE.UTF-8", "strings.txt", "str_processName = Titel\n");
    Load();
    EXPECT_EQ("License EN\n", License());
    EXPECT_STREQ("Titel", str_processName);
    EXPECT_STREQ("", str_doneButton) << "texts of an earlier load must not linger";
    EXPECT_EQ(dir_.File("locale/en_US.UTF-8/license.txt"), licensePath);
    EXPECT_EQ(dir_.File("locale/de_DE.UTF-8/strings.txt"), localeStringPath);
}

// A failure must not be reported with an empty dialog: its texts keep
// their English wording where a strings file lacks them.
TEST_F(LocalStringsTest, FailureTextsFallBackToEnglishOneByOne) {
    WriteLocaleFile("de_DE.UTF-8", "strings.txt", "str_failedLabel = Fehlgeschlagen\n");
    Load();
    EXPECT_STREQ("Fehlgeschlagen", str_failedLabel);
    EXPECT_STREQ("There is no driver package for this computer in the folder:", str_noPackageLabel);
    EXPECT_STREQ("Last lines of the installation output:", str_outputLabel);
    EXPECT_STREQ("Close", str_closeButton);
    EXPECT_STREQ("", str_processName);

    ::remove(dir_.File("locale/de_DE.UTF-8/strings.txt").c_str());
    Load();
    EXPECT_STREQ("The installation failed.", str_failedLabel) << "texts of an earlier load must not linger";
}

TEST_F(LocalStringsTest, NothingFoundLeavesEverythingEmpty) {
    WriteLocaleFile("de", "strings.txt", kEnglish);  // no language-only fallback
    Load();
    EXPECT_EQ(nullptr, licenseData);
    EXPECT_EQ(0, licenseDataSize);
    for (const char* text : {str_processName, str_noticeLabel, str_checkButton, str_installButton,
                             str_finishLabel, str_doneButton}) {
        EXPECT_STREQ("", text);
    }
}

TEST_F(LocalStringsTest, UnsetLangPrintsAnEmptyLineAndUsesEnglish) {
    ScopedEnv noLang("LANG", "", true);
    WriteLocaleFile("en_US.UTF-8", "strings.txt", kEnglish);
    WriteLocaleFile("en_US.UTF-8", "license.txt", "License EN\n");
    EXPECT_EQ("\n", Load());
    EXPECT_STREQ("Title EN", str_processName);
    EXPECT_EQ("License EN\n", License());
}

TEST_F(LocalStringsTest, LangTooLongForThePathIsNotOpenedCut) {
    const std::string lang(1100, 'x');
    ScopedEnv longLang("LANG", lang);
    WriteLocaleFile("en_US.UTF-8", "strings.txt", kEnglish);
    std::string printed = Load();
    EXPECT_EQ(lang + "\n", printed);
    EXPECT_STREQ("Title EN", str_processName);
}

TEST_F(LocalStringsTest, LineRules) {
    WriteLocaleFile("de_DE.UTF-8", "strings.txt",
                    "str_processName = first\n"
                    "str_processName = last wins\n"
                    // Both keys get the text after the line's first "=".
                    "str_checkButton str_installButton = shared\n"
                    // The key may stand anywhere in the line.
                    "x str_noticeLabel y = anywhere\n"
                    // Without the blank the text loses its first character.
                    "str_finishLabel =tight\n"
                    // Trailing blanks and further "=" are part of the text.
                    "  str_doneButton  = a = b  \n"
                    "unrelated = line\n");
    Load();
    EXPECT_STREQ("last wins", str_processName);
    EXPECT_STREQ("shared", str_checkButton);
    EXPECT_STREQ("shared", str_installButton);
    EXPECT_STREQ("anywhere", str_noticeLabel);
    EXPECT_STREQ("ight", str_finishLabel);
    EXPECT_STREQ("a = b  ", str_doneButton);
}

TEST_F(LocalStringsTest, LastLineWithoutNewlineLosesItsLastCharacter) {
    WriteLocaleFile("de_DE.UTF-8", "strings.txt", "str_processName = Titel\nstr_doneButton = Ende");
    Load();
    EXPECT_STREQ("Titel", str_processName);
    EXPECT_STREQ("End", str_doneButton);
}

TEST_F(LocalStringsTest, LongLinesAreReadInPiecesOf255Bytes) {
    // First piece: the 18-byte key part and 237 'x'; the rest is a line of
    // its own, which here holds a key.
    const std::string head = "str_processName = ";
    WriteLocaleFile("de_DE.UTF-8", "strings.txt",
                    head + std::string(237, 'x') + "str_doneButton = tail\n" +
                    "str_noticeLabel = " + std::string(400, 'n') + "\n");
    Load();
    EXPECT_EQ(std::string(236, 'x'), str_processName);
    EXPECT_STREQ("tail", str_doneButton);
    EXPECT_EQ(std::string(236, 'n'), str_noticeLabel);
}

TEST_F(LocalStringsTest, MalformedLinesGiveEmptyTexts) {
    WriteLocaleFile("de_DE.UTF-8", "strings.txt",
                    "str_processName = set\n"
                    "str_noticeLabel = set\n"
                    "str_checkButton = set\n"
                    "str_finishLabel = set\n"
                    "str_doneButton = set\n"
                    "str_processName\n"      // no "="
                    "str_noticeLabel =\n"    // one character after "="
                    "str_checkButton = \n"   // nothing before the newline
                    "str_finishLabel ==\n"
                    "str_doneButton =");     // "=" ends the file
    Load();
    EXPECT_STREQ("", str_processName);
    EXPECT_STREQ("", str_noticeLabel);
    EXPECT_STREQ("", str_checkButton);
    EXPECT_STREQ("", str_finishLabel);
    EXPECT_STREQ("", str_doneButton);
}

TEST_F(LocalStringsTest, LicenceBytesAreKeptExactly) {
    const std::string bytes = std::string("\xEF\xBB\xBF", 3) + "Lizenz\r\n" + std::string("a\0b", 3) + "\n\xff";
    WriteLocaleFile("de_DE.UTF-8", "license.txt", bytes);
    Load();
    ASSERT_EQ(static_cast<int32_t>(bytes.size()), licenseDataSize);
    EXPECT_EQ(bytes, License());

    WriteLocaleFile("de_DE.UTF-8", "license.txt", "");
    Load();
    EXPECT_EQ(0, licenseDataSize);

    // A directory in place of the file reads as no licence.
    ::remove(dir_.File("locale/de_DE.UTF-8/license.txt").c_str());
    MakeDirs(dir_.File("locale/de_DE.UTF-8/license.txt"));
    Load();
    EXPECT_EQ(0, licenseDataSize);
}

// The locale folder that ships with the installer.
class ShippedLocaleTest : public testing::TestWithParam<const char*> {};

TEST_P(ShippedLocaleTest, SetsEveryTextAndCarriesTheLicence) {
    const std::string locale = GetParam();
    const std::string strings = ReadFile(std::string(INSTALLER_LOCALE_DIR) + "/" + locale + "/strings.txt");
    ASSERT_FALSE(strings.empty());
    EXPECT_TRUE(g_utf8_validate(strings.data(), strings.size(), nullptr));
    size_t start = 0;
    for (size_t end; (end = strings.find('\n', start)) != std::string::npos; start = end + 1) {
        EXPECT_LT(end + 1 - start, 255u) << "line too long to be read whole: " << strings.substr(start, end - start);
    }
    EXPECT_EQ(strings.size(), start) << "last line must end in a newline";

    TempDir dir;
    ASSERT_EQ(0, symlink(INSTALLER_LOCALE_DIR, dir.File("locale").c_str()));
    ScopedChdir cwd(dir.path());
    ScopedEnv lang("LANG", locale);
    {
        ConsoleCapture quiet;
        initialzeLocalStrings();
    }
    EXPECT_EQ(dir.File("locale/" + locale + "/license.txt"), licensePath);
    EXPECT_EQ(dir.File("locale/" + locale + "/strings.txt"), localeStringPath);
    for (const char* text : {str_processName, str_noticeLabel, str_checkButton, str_installButton,
                             str_finishLabel, str_doneButton}) {
        EXPECT_GT(std::strlen(text), 0u);
        EXPECT_EQ(nullptr, std::strchr(text, '\n'));
    }
    // The failure dialog's texts are translated, not left to the English
    // ones of the program.
    for (const char* key : {"str_failedLabel", "str_noPackageLabel", "str_outputLabel", "str_closeButton"}) {
        EXPECT_NE(std::string::npos, strings.find(std::string("\n") + key + " = ")) << key;
    }

    // The licence is the package's own: a notice, then the full GPL text.
    const std::string license(licenseData, licenseDataSize);
    EXPECT_TRUE(g_utf8_validate(license.data(), license.size(), nullptr));
    const std::string packageLicense = ReadFile(PACKAGE_LICENSE_FILE);
    const std::string gpl = packageLicense.substr(packageLicense.find("                    GNU GENERAL PUBLIC LICENSE"));
    ASSERT_GT(gpl.size(), 15000u);
    ASSERT_GE(license.size(), gpl.size());
    EXPECT_EQ(gpl, license.substr(license.size() - gpl.size()));
    EXPECT_EQ(0u, license.find("Norvane ")) << "starts with the package name";
    EXPECT_NE(std::string::npos, license.find("Copyright (C) 2026 The Norvane printer driver developers\n"));
}

INSTANTIATE_TEST_SUITE_P(Locales, ShippedLocaleTest,
                         testing::Values("en_US.UTF-8", "de_DE.UTF-8", "zh_CN.UTF-8"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
