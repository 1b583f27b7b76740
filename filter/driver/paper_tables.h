// The printers' paper tables: page size in points -> bitmap size at 600 dpi,
// paper code and image offsets. Each table starts with A5 and ends with a
// row whose width is -1.
#pragma once

#include <cstdint>

struct PaperSize {
    int widthPt;
    int heightPt;
    int imageWidth;   // pixels at 600 dpi
    int imageHeight;  // lines at 600 dpi
    int paperCode;
    uint16_t offsetX;
    uint16_t offsetY;
};

extern const PaperSize paperTablePlatform3[];
extern const PaperSize paperTablePlatform2[];
extern const PaperSize paperTablePlatform1A[];
extern const PaperSize paperTablePlatform1B[];

// Row index of the page size in the table, or -1. A page of 421 x 595
// points is A5 fed long edge first: it takes row 0 and sets *feedLongEdge.
int FindPaperSize(const unsigned pageSize[2], const PaperSize* table, int* feedLongEdge);
