#include "page_layout.h"

#include <cmath>
#include <cstdio>

#include "engine.h"
#include "media.h"

namespace {

uint32_t Dots(double points, int dpi) { return static_cast<uint32_t>(std::lround(points * dpi / 72.0)); }

bool ResolutionAllowed(int platform, int xdpi, int ydpi)
{
    if (xdpi == 600 && ydpi == 600)
        return true;
    // Only platform 1 images at 1200 dpi, across or both ways.
    return platform == 1 && xdpi == 1200 && (ydpi == 600 || ydpi == 1200);
}

}  // namespace

bool LayOutPage(int model, const char* sizeName, int widthHmm, int lengthHmm, int xdpi, int ydpi,
                PageLayout* layout, std::string* error)
{
    const ModelInfo info = GetModel(model);
    if (!ResolutionAllowed(info.platform, xdpi, ydpi)) {
        *error = "The printer cannot print at " + std::to_string(xdpi) + "x" +
                 std::to_string(ydpi) + " dpi";
        return false;
    }
    PageLayout l;
    l.xdpi = xdpi;
    l.ydpi = ydpi;
    const MediaName* media = FindMediaName(sizeName);
    if (media == nullptr)
        media = FindMediaBySize(widthHmm, lengthHmm);
    SheetInfo sheet{};
    Margins margins{};
    if (media != nullptr && FindSheet(model, media->widthPt, media->heightPt, &sheet)) {
        l.widthPt = sheet.widthPt;
        l.heightPt = sheet.heightPt;
        l.width = sheet.imageWidth;
        l.height = sheet.imageHeight;
        margins = SheetMargins(sheet);
    } else {
        l.custom = true;
        l.widthPt = static_cast<int>(std::lround(widthHmm * 72.0 / 2540.0));
        l.heightPt = static_cast<int>(std::lround(lengthHmm * 72.0 / 2540.0));
        if (widthHmm <= 0 || lengthHmm <= 0 ||
            !CustomBitmap(static_cast<unsigned>(l.widthPt), static_cast<unsigned>(l.heightPt),
                          &l.width, &l.height)) {
            char text[128];
            std::snprintf(text, sizeof text, "The printer cannot take paper of %.1f x %.1f mm",
                          widthHmm / 100.0, lengthHmm / 100.0);
            *error = text;
            return false;
        }
        margins = {kCustomMarginPt, kCustomMarginPt, kCustomMarginPt, kCustomMarginPt};
    }
    if (xdpi == 1200)
        l.width *= 2;
    if (ydpi == 1200)
        l.height *= 2;
    l.cropLeft = Dots(margins.left, xdpi);
    l.cropTop = Dots(margins.top, ydpi);
    *layout = l;
    return true;
}
