#include "driver/job_options.h"

#include <strings.h>

#include <utility>
#include <cstdlib>
#include <cstring>

#include "driver/cups_binding.h"

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
    // The IPP ways of asking for two sides and for collated copies, which
    // print dialogs use instead of the PPD's own option names.
    if (cups.cupsGetOption("Duplex", count, options) == nullptr) {
        if (const char* sides = cups.cupsGetOption("Sides", count, options))
            table[kDuplex].value = DuplexValue(sides);
    }
    if (cups.cupsGetOption("Collate", count, options) == nullptr) {
        const char* handling = cups.cupsGetOption("multiple-document-handling", count, options);
        if (handling != nullptr && Is(handling, "separate-documents-collated-copies"))
            table[kCollate].value = 1;
    }
}

void ApplyPpdDefaults(JobOption* table, ppd_file_t* ppd)
{
    if (ppd == nullptr)
        return;
    cups_option_t defaults[kJobOptionCount];
    int count = 0;
    // Options live in groups and their subgroups.
    auto collect = [&](auto& self, ppd_group_t* groups, int groupCount) -> void {
        for (int g = 0; g < groupCount; ++g) {
            for (int o = 0; o < groups[g].num_options; ++o) {
                ppd_option_t& option = groups[g].options[o];
                for (int row = 0; row < kJobOptionCount && count < kJobOptionCount; ++row) {
                    if (std::strcmp(option.keyword, table[row].name) == 0 && option.defchoice[0]) {
                        defaults[count].name = option.keyword;
                        defaults[count].value = option.defchoice;
                        ++count;
                    }
                }
            }
            self(self, groups[g].subgroups, groups[g].num_subgroups);
        }
    };
    collect(collect, ppd->groups, ppd->num_groups);
    // cupsGetOption looks options up by binary search, as cupsAddOption
    // keeps them: in name order.
    for (int i = 1; i < count; ++i)
        for (int j = i; j > 0 && strcasecmp(defaults[j - 1].name, defaults[j].name) > 0; --j)
            std::swap(defaults[j - 1], defaults[j]);
    ParseJobOptions(table, count, defaults);
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
