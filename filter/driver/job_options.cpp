#include "driver/job_options.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "driver/cups_binding.h"

namespace {

const JobOption kDefaults[kJobOptionCount] = {
    {"Duplex", 0},      {"Sides", 0},        {"ManualDuplex", 0}, {"Density", 2},
    {"TonerMode", 0},   {"FeedLongEdge", 0}, {"outputorder", 0},  {"DPI1200", 0},
    {"NegativePrint", 0}, {"InputSlot", 0},  {"ImageRotation", 0}, {"Collate", 0},
};

bool Is(const char* text, const char* word) { return strcasecmp(text, word) == 0; }

// The choices each option takes, as the PPD lists them; the IPP "sides"
// names stand beside the PPD's for the two duplex rows.
struct Choice {
    const char* text;
    int value;
};
constexpr Choice kSwitchChoices[] = {{"False", 0}, {"True", 1}};
constexpr Choice kDuplexChoices[] = {{"None", 0},       {"DuplexNoTumble", 1},      {"DuplexTumble", 2},
                                     {"one-sided", 0},  {"two-sided-long-edge", 1}, {"two-sided-short-edge", 2}};
constexpr Choice kDensityChoices[] = {{"1", 1}, {"2", 2}, {"3", 3}, {"4", 4}};
constexpr Choice kOutputOrderChoices[] = {{"Normal", 0}, {"True", 1}};
constexpr Choice kInputSlotChoices[] = {{"Auto", 0}, {"ManualFeed", 1}, {"AutoFeed", 2}};

struct Choices {
    const Choice* first;
    int count;
};

template <int N>
constexpr Choices Of(const Choice (&list)[N]) { return {list, N}; }

Choices ChoicesOf(int row)
{
    switch (row) {
    case kDuplex:
    case kSides: return Of(kDuplexChoices);
    case kDensity: return Of(kDensityChoices);
    case kOutputOrder: return Of(kOutputOrderChoices);
    case kInputSlot: return Of(kInputSlotChoices);
    default: return Of(kSwitchChoices);
    }
}

const Choice* Find(Choices choices, const char* text)
{
    for (int i = 0; i < choices.count; ++i)
        if (Is(text, choices.first[i].text))
            return &choices.first[i];
    return nullptr;
}

// Sets the row to the choice named by text. A text that is none of the
// option's choices leaves the row as it is and is named on a warning line.
void Choose(JobOption& row, Choices choices, const char* text, const StatusReporter& status)
{
    if (const Choice* choice = Find(choices, text)) {
        row.value = choice->value;
        return;
    }
    ReportStatus(status, "WARNING: %s=%.64s is not one of the option's choices; %s keeps its default\n",
                 row.name, text, row.name);
}

}  // namespace

void LoadDefaultJobOptions(JobOption* table)
{
    for (int row = 0; row < kJobOptionCount; ++row)
        table[row] = kDefaults[row];
}

void ParseJobOptions(JobOption* table, int count, cups_option_t* options, const StatusReporter& status)
{
    for (int row = 0; row < kJobOptionCount; ++row) {
        if (const char* text = cups.cupsGetOption(table[row].name, count, options))
            Choose(table[row], ChoicesOf(row), text, status);
    }
    // The IPP ways of asking for two sides and for collated copies, which
    // print dialogs use instead of the PPD's own option names.
    if (cups.cupsGetOption("Duplex", count, options) == nullptr) {
        const char* sides = cups.cupsGetOption("Sides", count, options);
        if (const Choice* choice = sides != nullptr ? Find(Of(kDuplexChoices), sides) : nullptr)
            table[kDuplex].value = choice->value;
    }
    if (cups.cupsGetOption("Collate", count, options) == nullptr) {
        const char* handling = cups.cupsGetOption("multiple-document-handling", count, options);
        if (handling != nullptr && Is(handling, "separate-documents-collated-copies"))
            table[kCollate].value = 1;
        else if (handling != nullptr && Is(handling, "separate-documents-uncollated-copies"))
            table[kCollate].value = 0;
    }
}

int ExcludeMachineDuplex(JobOption* table)
{
    if (table[kManualDuplex].value != 1 || table[kDuplex].value == 0)
        return 0;
    table[kDuplex].value = 0;
    return 1;
}

void ApplyPpdDefaults(JobOption* table, ppd_file_t* ppd, const StatusReporter& status)
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
    ParseJobOptions(table, count, defaults, status);
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
