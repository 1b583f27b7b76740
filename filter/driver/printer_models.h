// The supported models: which platform each one speaks and which paper
// table it uses.
#pragma once

#include <cups/ppd.h>

#include <cstddef>

#include "driver/paper_tables.h"

struct PrinterModel {
    const char* name;
    int platform;
    const PaperSize* paperTable;
};

constexpr int kPrinterModelCount = 35;
extern const PrinterModel printerModels[kPrinterModelCount];

// Settles *platform (1, 2 or 3) from the model name and the platform the
// PPD named (0 when none), and returns the model's paper table.
const PaperSize* SelectModel(const char* modelName, int* platform);

// Reads the PPD's "PlatForm" text into text (size bytes) and, when the PPD
// has one, sets *platform from it (0 for a name that is no platform).
void PlatformFromPpd(ppd_file_t* ppd, char* text, size_t size, int* platform);
