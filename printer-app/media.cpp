#include "media.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

// Standard names where PWG 5101.1 has one; self-describing names for the
// sizes it has none for, with the sheet's exact size.
const MediaName mediaNames[kMediaNameCount] = {
    {"iso_a5_148x210mm", 420, 595},
    {"iso_a4_210x297mm", 595, 842},
    {"na_letter_8.5x11in", 612, 792},
    {"na_legal_8.5x14in", 612, 1008},
    {"jis_b5_182x257mm", 516, 729},
    {"na_monarch_3.875x7.5in", 279, 540},
    {"iso_dl_110x220mm", 312, 624},
    {"iso_c5_162x229mm", 459, 649},
    {"na_number-10_4.125x9.5in", 297, 684},
    {"jpn_hagaki_100x148mm", 283, 420},
    {"om_16k_184.86x260mm", 524, 737},
    {"om_16k_195.09x269.88mm", 553, 765},
    {"om_32k_130.18x184.86mm", 369, 524},
    {"om_32k_135.11x195.09mm", 383, 553},
    {"iso_a6_105x148mm", 298, 420},
    {"iso_b5_176x250mm", 499, 709},
    {"na_executive_7.25x10.5in", 522, 756},
    {"na_foolscap_8.5x13in", 612, 936},
    {"na_oficio_8.5x13.5in", 612, 972},
    {"na_invoice_5.5x8.5in", 396, 612},
    {"iso_c6_114x162mm", 323, 459},
    {"om_envelope_119.94x230.01mm", 340, 652},
    {"iso_b6_125x176mm", 354, 499},
};

const MediaName* FindMediaName(const char* pwgName)
{
    if (pwgName == nullptr)
        return nullptr;
    for (const MediaName& m : mediaNames)
        if (std::strcmp(m.pwgName, pwgName) == 0)
            return &m;
    return nullptr;
}

const MediaName* FindMediaBySize(int widthHmm, int lengthHmm)
{
    for (const MediaName& m : mediaNames)
        if (std::abs(SizeHmm(m.widthPt) - widthHmm) <= 100 &&
            std::abs(SizeHmm(m.heightPt) - lengthHmm) <= 100)
            return &m;
    return nullptr;
}

Margins SheetMargins(const SheetInfo& sheet)
{
    const double imageWidthPt = sheet.imageWidth * 72.0 / 600.0;
    const double imageHeightPt = sheet.imageHeight * 72.0 / 600.0;
    if (sheet.offsetX == 0 && sheet.offsetY == 0) {
        const double side = (sheet.widthPt - imageWidthPt) / 2;
        const double end = (sheet.heightPt - imageHeightPt) / 2;
        return {side, end, side, end};
    }
    const double left = sheet.offsetX * 72.0 / 600.0;
    const double top = sheet.offsetY * 72.0 / 600.0;
    return {left, sheet.heightPt - top - imageHeightPt, sheet.widthPt - left - imageWidthPt, top};
}

int MarginHmm(double points)
{
    // A hair of tolerance so that exact values do not round up by one.
    return static_cast<int>(std::ceil(points * 2540.0 / 72.0 - 1e-6));
}

int SizeHmm(int points) { return static_cast<int>(std::lround(points * 2540.0 / 72.0)); }
