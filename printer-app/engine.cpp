#include "engine.h"

#include "driver/page_geometry.h"
#include "driver/paper_tables.h"
#include "driver/printer_models.h"

ModelInfo GetModel(int index)
{
    return {printerModels[index].name, printerModels[index].platform};
}

bool FindSheet(int model, int widthPt, int heightPt, SheetInfo* sheet)
{
    const PaperSize* table = printerModels[model].paperTable;
    for (int row = 0; table[row].widthPt != -1; ++row) {
        const PaperSize& p = table[row];
        if (p.widthPt == widthPt && p.heightPt == heightPt) {
            *sheet = {p.widthPt, p.heightPt, static_cast<uint32_t>(p.imageWidth),
                      static_cast<uint32_t>(p.imageHeight), p.offsetX, p.offsetY};
            return true;
        }
    }
    return false;
}

unsigned CustomMaxWidthPt() { return kMaxCustomWidthPt; }
unsigned CustomMaxHeightPt() { return kMaxCustomHeightPt; }

bool CustomBitmap(unsigned widthPt, unsigned heightPt, uint32_t* width, uint32_t* height)
{
    const float margins[4] = {kCustomMarginPt, kCustomMarginPt, kCustomMarginPt, kCustomMarginPt};
    return CustomPageSize(widthPt, heightPt, margins, width, height) != 0;
}
