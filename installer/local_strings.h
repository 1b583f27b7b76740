// The installer's display texts and licence, read from
// <installer folder>/locale/<LANG>/ before the toolkit starts (the working
// directory, or the program's own folder, see installer_folder.h).
#pragma once

#include <cstdint>

inline constexpr int kLocalStringSize = 1024;

extern char localeStringPath[kLocalStringSize];
extern char licensePath[kLocalStringSize];

extern char str_processName[kLocalStringSize];
extern char str_noticeLabel[kLocalStringSize];
extern char str_checkButton[kLocalStringSize];
extern char str_installButton[kLocalStringSize];
extern char str_finishLabel[kLocalStringSize];
extern char str_doneButton[kLocalStringSize];

// Texts of the dialog shown when the installation fails. Unlike the six
// above, each keeps its English text when the strings file does not set it:
// a failure must never be reported with an empty dialog.
extern char str_failedLabel[kLocalStringSize];
extern char str_noPackageLabel[kLocalStringSize];
extern char str_outputLabel[kLocalStringSize];
extern char str_closeButton[kLocalStringSize];

// Licence bytes as found in the file: no terminating zero, no conversion.
extern char* licenseData;
extern int32_t licenseDataSize;

// Fills every global above. Texts the strings file does not set stay empty
// (the failure dialog's texts: English);
// a missing file falls back to the en_US.UTF-8 directory (licence and
// strings each on their own).
void initialzeLocalStrings();
