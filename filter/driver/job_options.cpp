#include "driver/job_options.h"

#include <strings.h>

#include <cstdlib>

#include "driver/cups_binding.h"

JobOption jobOptions[kJobOptionCount];

namespace {

const JobOption kDefaults[kJobOptionCount] = {
    {"Duplex", 0},      {"Sides", 0},        {"ManualDuplex", 0}, {"Density", 2},
    {"TonerMode", 0},   {"FeedLongEdge", 0}, {"outputorder", 0},  {"DPI1200", 0},
    {"NegativePrint", 0}, {"InputSlot", 0},  {"ImageRotation", 0}, {"Collate", 0},
};

bool Is(const char* text, const char* word) { return strcasecmp(text, word) == 0; }

int DuplexValue(const char* text)
{
    if (Is(text, "DuplexNoTumble") || Is(text, "two-sided-long-edge"))
        return 1;
    if (Is(text, "DuplexTumble") || Is(text, "two-sided-short-edge"))
        return 2;
    return 0;
}

int InputSlotValue(const char* text)
{
    if (Is(text, "ManualFeed"))
        return 1;
    if (Is(text, "AutoFeed"))
        return 2;
    return 0;  // "Auto" and anything unknown
}

}  // namespace

void LoadDefaultJobOptions(JobOption* table)
{
    for (int row = 0; row < kJobOptionCount; ++row)
        table[row] = kDefaults[row];
}

void ParseJobOptions(JobOption* table, int count, cups_option_t* options)
{
    for (int row = 0; row < kJobOptionCount; ++row) {
        const char* text = cups.cupsGetOption(table[row].name, count, options);
        if (text == nullptr)
            continue;
        switch (row) {
        case kDuplex:
        case kSides:
            table[row].value = DuplexValue(text);
            break;
        case kDensity:
            table[row].value = static_cast<int>(std::strtol(text, nullptr, 10));
            break;
        case kInputSlot:
            table[row].value = InputSlotValue(text);
            break;
        default:
            // Switches only ever turn on; "false" keeps the earlier value.
            if (Is(text, "true"))
                table[row].value = 1;
            break;
        }
    }
}

int PlatformFromName(const char* text)
{
    if (Is(text, "PLATFORM_M"))
        return 3;
    if (Is(text, "PLATFORM_Z"))
        return 2;
    if (Is(text, "PLATFORM_C"))
        return 1;
    return 0;
}
