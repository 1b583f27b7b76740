// The printers' paper sizes by their PWG media names (what IPP clients and
// PWG raster headers name a page by), and the printable area of each size.
// A PWG raster header carries the size in whole points rounded from
// millimetres, which often misses the paper table's points; the name does
// not.
#pragma once

#include "engine.h"

struct MediaName {
    const char* pwgName;
    int widthPt;  // the paper table's key for this size
    int heightPt;
};

constexpr int kMediaNameCount = 23;
extern const MediaName mediaNames[kMediaNameCount];

// The size of exactly this name, or null.
const MediaName* FindMediaName(const char* pwgName);

// The size whose dimensions (hundredths of millimetres) lie within 1 mm of
// these, or null: for the names other programs give the same sheet.
const MediaName* FindMediaBySize(int widthHmm, int lengthHmm);

// Margins of the printable area, in points: where the printer puts the
// sheet's bitmap, as the PPDs' imageable areas say.
struct Margins {
    double left;
    double bottom;
    double right;
    double top;
};
Margins SheetMargins(const SheetInfo& sheet);

// Points to hundredths of millimetres, rounded up (a margin never shrinks).
int MarginHmm(double points);

// Points to hundredths of millimetres, rounded (a sheet's size).
int SizeHmm(int points);
