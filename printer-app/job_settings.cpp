#include "job_settings.h"

#include <algorithm>
#include <cmath>
#include <cstring>

const VendorOption vendorOptions[kVendorOptionCount] = {
    {"toner-save", "Toner Save", VendorKind::Switch},
    {"manual-duplex", "Manual 2-Sided Printing", VendorKind::Switch},
    {"manual-duplex-blank-back", "Manual 2-Sided Blank Back", VendorKind::BlankBack},
    {"a5-long-edge-first", "A5 Long Edge First", VendorKind::Switch},
    {"rotate-180", "Rotate 180 Degrees", VendorKind::Switch},
    {"negative-print", "Negative Print", VendorKind::Switch},
};

namespace {

bool Is(const char* text, const char* word) { return text != nullptr && std::strcmp(text, word) == 0; }

}  // namespace

int DensityFromDarkness(int configured, int printDarkness)
{
    // Four steps over 0..100: 0 light, 33 normal, 67 dark, 100 darkest.
    const int level = std::clamp(configured + printDarkness, 0, 100);
    return 1 + static_cast<int>(std::lround(level * 3 / 100.0));
}

JobSettings SettingsFromChoices(const JobChoices& choices)
{
    auto vendorOn = [&](const char* name) {
        return choices.vendor && Is(choices.vendor(name), "true") ? 1 : 0;
    };
    JobSettings s;
    if (Is(choices.sides, "two-sided-long-edge"))
        s.duplex = 1;
    else if (Is(choices.sides, "two-sided-short-edge"))
        s.duplex = 2;
    s.manualDuplex = vendorOn("manual-duplex");
    // The user turns the stack or the printer turns the sheet, not both.
    if (s.manualDuplex)
        s.duplex = 0;
    s.density = DensityFromDarkness(choices.darknessConfigured, choices.printDarkness);
    s.tonerSave = vendorOn("toner-save");
    s.feedLongEdge = vendorOn("a5-long-edge-first");
    s.blankBackAfter =
        choices.vendor && Is(choices.vendor("manual-duplex-blank-back"), kBlankBackAfter) ? 1 : 0;
    s.fineScreen = choices.highQuality ? 1 : 0;
    s.negative = vendorOn("negative-print");
    if (Is(choices.mediaSource, "manual"))
        s.inputSlot = 1;
    else if (Is(choices.mediaSource, "main"))
        s.inputSlot = 2;
    s.rotate180 = vendorOn("rotate-180");
    s.collate = choices.collate ? 1 : 0;
    return s;
}
