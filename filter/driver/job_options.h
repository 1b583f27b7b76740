// The job's option table: twelve named settings, loaded from their defaults
// once per job and overwritten from the job's CUPS options on every page.
// A front end owns its table and hands it to the engine with every page.
#pragma once

#include <cups/cups.h>
#include <cups/ppd.h>

#include "driver/status.h"

struct JobOption {
    const char* name;
    int value;
};

// Rows of the table, in their fixed order.
enum JobOptionRow {
    kDuplex,         // 0 none, 1 long edge, 2 short edge
    kSides,          // read like Duplex, but nothing consults it
    kManualDuplex,
    kDensity,
    kTonerMode,      // 1: toner saving, density 0
    kFeedLongEdge,   // A5 fed long edge first
    kOutputOrder,    // where the blank back of an odd manual-duplex job goes
    kDpi1200,
    kNegativePrint,
    kInputSlot,      // 0 Auto, 1 manual feed, 2 automatic feed
    kImageRotation,
    kCollate,
    kJobOptionCount
};

void LoadDefaultJobOptions(JobOption* table);

// Applies the options that cupsParseOptions produced to the table. Options
// that are absent leave their rows as they are; so does a value that is not
// one of the option's choices (the PPD's), with a "WARNING:" line naming
// it. A job that names no Duplex takes its two-sided setting from the IPP
// "sides", and one that names no Collate takes collation from
// "multiple-document-handling".
void ParseJobOptions(JobOption* table, int count, cups_option_t* options,
                     const StatusReporter& status = StderrReporter());

// Manual and machine duplex exclude each other: with both asked for, the
// user turns the stack and the printer's duplex is switched off. Returns 1
// when it had to.
int ExcludeMachineDuplex(JobOption* table);

// Applies the default choices of the PPD's options of the same names: the
// printer's settings (lpadmin -o Name=Value changes them), which the job's
// own options then override.
void ApplyPpdDefaults(JobOption* table, ppd_file_t* ppd, const StatusReporter& status = StderrReporter());

// Platform named by the PPD's "PlatForm" text: 3, 2 or 1, or 0 for a name
// that is none of the three.
int PlatformFromName(const char* text);
