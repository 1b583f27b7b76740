#include "local_strings.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "installer_folder.h"

char localeStringPath[kLocalStringSize];
char licensePath[kLocalStringSize];

char str_processName[kLocalStringSize];
char str_noticeLabel[kLocalStringSize];
char str_checkButton[kLocalStringSize];
char str_installButton[kLocalStringSize];
char str_finishLabel[kLocalStringSize];
char str_doneButton[kLocalStringSize];
char str_failedLabel[kLocalStringSize];
char str_noPackageLabel[kLocalStringSize];
char str_outputLabel[kLocalStringSize];
char str_closeButton[kLocalStringSize];

char* licenseData = nullptr;
int32_t licenseDataSize = 0;

namespace {

constexpr const char* kFallbackLocale = "en_US.UTF-8";
constexpr const char* kStringsTemplate = "%s/locale/%s/strings.txt";
constexpr const char* kLicenseTemplate = "%s/locale/%s/license.txt";
// Byte stream, no conversion: the files already hold UTF-8 for the widgets.
constexpr const char* kOpenMode = "r,css=utf-8";

struct KeyedString {
    const char* key;
    char* text;
    const char* english;  // what the text is when no file sets it
};

// Tested in this order on every line; all keys found on a line are served.
// No key may occur inside another one.
const KeyedString kKeys[] = {
    {"str_processName", str_processName, ""},
    {"str_noticeLabel", str_noticeLabel, ""},
    {"str_checkButton", str_checkButton, ""},
    {"str_installButton", str_installButton, ""},
    {"str_finishLabel", str_finishLabel, ""},
    {"str_doneButton", str_doneButton, ""},
    {"str_failedLabel", str_failedLabel, "The installation failed."},
    {"str_noPackageLabel", str_noPackageLabel, "There is no driver package for this computer in the folder:"},
    {"str_outputLabel", str_outputLabel, "Last lines of the installation output:"},
    {"str_closeButton", str_closeButton, "Close"},
};

// Formats one of the two paths; false when it had to be cut.
bool formatPath(char* path, const char* pathTemplate, const char* dir, const char* locale) {
    int length = std::snprintf(path, kLocalStringSize, pathTemplate, dir, locale);
    return length >= 0 && length < kLocalStringSize;
}

// A cut path names some other file, so it is never opened.
FILE* openLocaleFile(char* path, bool pathFits, const char* pathTemplate, const char* dir) {
    FILE* file = pathFits ? std::fopen(path, kOpenMode) : nullptr;
    if (file == nullptr) {
        if (!formatPath(path, pathTemplate, dir, kFallbackLocale)) {
            std::printf("path too long: %s\n", path);
            return nullptr;
        }
        file = std::fopen(path, kOpenMode);
    }
    return file;
}

void readLicense(FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return;
    }
    long size = std::ftell(file);
    // A directory or a special file may report nonsense here.
    if (size < 0 || size > INT32_MAX) {
        return;
    }
    licenseData = static_cast<char*>(std::malloc(size > 0 ? size : 1));
    if (licenseData == nullptr) {
        return;
    }
    std::rewind(file);
    // Only what was really read counts; a short read must not expose
    // uninitialised bytes to the view.
    licenseDataSize = static_cast<int32_t>(std::fread(licenseData, 1, size, file));
}

// Text of a line: from two characters after its first "=" up to, not
// including, its last character (the newline of a well-formed line).
void takeText(const char* line, char* text) {
    std::memset(text, 0, kLocalStringSize);
    const char* equals = std::strchr(line, '=');
    if (equals == nullptr) {
        return;
    }
    size_t afterEquals = std::strlen(equals + 1);
    if (afterEquals < 2) {
        return;
    }
    // A line is never longer than the read buffer, so this always fits.
    std::memcpy(text, equals + 2, afterEquals - 2);
}

}  // namespace

void initialzeLocalStrings() {
    // A second call starts afresh instead of mixing two files' texts.
    std::free(licenseData);
    licenseData = nullptr;
    licenseDataSize = 0;
    for (const KeyedString& k : kKeys) {
        std::memset(k.text, 0, kLocalStringSize);
        std::strcpy(k.text, k.english);
    }

    const char* lang = std::getenv("LANG");
    std::printf("%s\n", lang != nullptr ? lang : "");
    if (lang == nullptr) {
        lang = kFallbackLocale;
    }

    bool programFolder = false;
    const std::string folder = installerFolder(&programFolder);
    char dir[kLocalStringSize];
    if (folder.empty()) {
        // Relative paths still find the files when the absolute one is too long.
        std::printf("getcwd failed!\n");
        std::strcpy(dir, ".");
    } else {
        std::snprintf(dir, sizeof dir, "%s", folder.c_str());
    }
    if (programFolder) {
        std::printf("no locale folder in the working directory, using the installer's folder %s\n", folder.c_str());
    }

    const bool stringsPathFits = formatPath(localeStringPath, kStringsTemplate, dir, lang);
    const bool licensePathFits = formatPath(licensePath, kLicenseTemplate, dir, lang);

    if (FILE* license = openLocaleFile(licensePath, licensePathFits, kLicenseTemplate, dir)) {
        readLicense(license);
        std::fclose(license);
    }

    FILE* strings = openLocaleFile(localeStringPath, stringsPathFits, kStringsTemplate, dir);
    if (strings == nullptr) {
        return;
    }
    char line[256];
    while (std::fgets(line, sizeof line, strings) != nullptr) {
        for (const KeyedString& k : kKeys) {
            if (std::strstr(line, k.key) != nullptr) {
                takeText(line, k.text);
            }
        }
    }
    std::fclose(strings);
}
