// The installer's display texts and licence, read from
// <working directory>/locale/<LANG>/ before the toolkit starts.
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

// Licence bytes as found in the file: no terminating zero, no conversion.
extern char* licenseData;
extern int32_t licenseDataSize;

// Fills every global above. Texts the strings file does not set stay empty;
// a missing file falls back to the en_US.UTF-8 directory (licence and
// strings each on their own).
void initialzeLocalStrings();
