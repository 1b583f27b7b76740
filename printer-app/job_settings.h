// The printer's own options as IPP attributes (vendor options), and how a
// job's IPP choices become the engine's job settings.
#pragma once

#include <functional>

#include "engine.h"

enum class VendorKind { Switch, BlankBack };

struct VendorOption {
    const char* name;   // the IPP attribute, also "NAME-default" and "NAME-supported"
    const char* label;  // what the web pages show
    VendorKind kind;
};

constexpr int kVendorOptionCount = 6;
extern const VendorOption vendorOptions[kVendorOptionCount];

// The two values of the blank-back position; the first is the default.
constexpr const char* kBlankBackBefore = "before-even-pages";
constexpr const char* kBlankBackAfter = "after-even-pages";

struct JobChoices {
    const char* sides = "one-sided";
    const char* mediaSource = "auto";
    int darknessConfigured = 33;  // printer-darkness-configured, 0..100
    int printDarkness = 0;        // print-darkness, -100..100
    bool highQuality = false;     // print-quality=high
    bool collate = false;
    // A vendor option's value ("true", "false", a keyword) or null when
    // neither the job nor the printer's defaults name it.
    std::function<const char*(const char* name)> vendor;
};

JobSettings SettingsFromChoices(const JobChoices& choices);

// The engine's density, 1 .. 4, for printer-darkness-configured plus
// print-darkness.
int DensityFromDarkness(int configured, int printDarkness);
