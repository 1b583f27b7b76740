#include "driver/printer_models.h"

#include <cstring>

#include "driver/cups_binding.h"
#include "driver/job_options.h"

const PrinterModel printerModels[kPrinterModelCount] = {
    {"Norvane R01 Series", 2, paperTablePlatform2},
    {"Norvane R02 Series", 2, paperTablePlatform2},
    {"Norvane R03 Series", 3, paperTablePlatform3},
    {"Norvane R04 Series", 3, paperTablePlatform3},
    {"Norvane R05 Series", 3, paperTablePlatform3},
    {"Norvane R06 Series", 3, paperTablePlatform3},
    {"Norvane R07 Series", 3, paperTablePlatform3},
    {"Norvane R08 Series", 3, paperTablePlatform3},
    {"Norvane R09 Series", 3, paperTablePlatform3},
    {"Norvane R10 Series", 3, paperTablePlatform3},
    {"Norvane R11 Series", 3, paperTablePlatform3},
    {"Norvane R12 Series", 3, paperTablePlatform3},
    {"Norvane R13 Series", 3, paperTablePlatform3},
    {"Norvane R14 Series", 3, paperTablePlatform3},
    {"Norvane R15 Series", 3, paperTablePlatform3},
    {"Norvane R16 Series", 3, paperTablePlatform3},
    {"Norvane R17 Series", 3, paperTablePlatform3},
    {"Norvane R18 Series", 3, paperTablePlatform3},
    {"Norvane R19 Series", 3, paperTablePlatform3},
    {"Norvane R20 Series", 3, paperTablePlatform3},
    {"Norvane R21 Series", 3, paperTablePlatform3},
    {"Norvane R22 Series", 3, paperTablePlatform3},
    {"Norvane R23 Series", 3, paperTablePlatform3},
    {"Norvane R24 Series", 3, paperTablePlatform3},
    {"Norvane R25 Series", 3, paperTablePlatform3},
    {"Norvane R26 Series", 3, paperTablePlatform3},
    {"Norvane R27 Series", 3, paperTablePlatform3},
    {"Norvane R28 Series", 3, paperTablePlatform3},
    {"Norvane R29 Series", 3, paperTablePlatform3},
    {"Norvane R30 Series", 3, paperTablePlatform3},
    {"Norvane R31 Series", 3, paperTablePlatform3},
    {"Norvane R32 Series", 1, paperTablePlatform1A},
    {"Norvane R33 Series", 1, paperTablePlatform1A},
    {"Norvane R34 Series", 1, paperTablePlatform1B},
    {"Norvane R35 Series", 1, paperTablePlatform1B},
};

namespace {

// Row of the model table with exactly this name (case and length), or -1.
int FindModel(const char* modelName)
{
    for (int row = 0; row < kPrinterModelCount; ++row)
        if (std::strcmp(printerModels[row].name, modelName) == 0)
            return row;
    return -1;
}

}  // namespace

const PaperSize* SelectModel(const char* modelName, int* platform)
{
    const int row = FindModel(modelName);
    const int modelPlatform = row >= 0 ? printerModels[row].platform : 0;

    // The platform-2 models win over the PPD; a PPD naming platform 2 or 3
    // wins over the other models; anything unknown is treated as platform 1.
    if (modelPlatform == 2) {
        *platform = 2;
        return paperTablePlatform2;
    }
    if (*platform == 2)
        return paperTablePlatform2;
    if (modelPlatform == 3) {
        *platform = 3;
        return paperTablePlatform3;
    }
    if (*platform == 3)
        return paperTablePlatform3;
    *platform = 1;
    return modelPlatform == 1 ? printerModels[row].paperTable : paperTablePlatform1A;
}

void PlatformFromPpd(ppd_file_t* ppd, char* text, size_t size, int* platform)
{
    if (cups.ppdLocalizeIPPReason(ppd, "PlatForm", nullptr, text, size) != nullptr)
        *platform = PlatformFromName(text);
}
