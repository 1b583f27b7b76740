// Reads printed page images (PNG, one per page, as the stream viewer writes
// them) and says for each page where the marks of the marked test document
// landed on the sheet:
//   page_marks --sheet WxH [--dpi X[xY]] [--offset X,Y] [--slack N] PAGE.png...
// prints one line per page:
//   upright K   the marks are where the document put them; K = page number
//   rotated K   the same, turned by 180 degrees
//   blank       no toner at all
//   framed      no marks, but a frame along all four edges of the image (as
//               CUPS's test page draws around the imageable area)
//   unmarked    toner, but neither (a shifted, cut or foreign page)
// The printer puts the page image on the sheet (W x H points) centred, or
// with its top-left corner --offset dots (600 dpi) from the sheet's top-left
// corner; marks must sit within --slack dots (default 6) of their place.
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Page {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> grey;  // 0 black .. 255 white
    bool Ink(int x, int y) const { return grey[static_cast<size_t>(y) * width + x] < 128; }
};

struct Rect {
    double x0, y0, x1, y1;  // dots, x1/y1 exclusive
};

struct Placement {
    double left;  // image's left edge, points from the sheet's left
    double top;   // image's top edge, points from the sheet's top
    double sheetWidth;
    double sheetHeight;
    double sx;  // dots per point
    double sy;
    int slack;
};

bool ReadPng(const char* path, Page* page)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) {
        std::fprintf(stderr, "page_marks: %s: %s\n", path, image.message);
        return false;
    }
    image.format = PNG_FORMAT_GRAY;
    page->width = static_cast<int>(image.width);
    page->height = static_cast<int>(image.height);
    page->grey.resize(PNG_IMAGE_SIZE(image));
    png_color white = {255, 255, 255};
    if (!png_image_finish_read(&image, &white, page->grey.data(), 0, nullptr)) {
        std::fprintf(stderr, "page_marks: %s: %s\n", path, image.message);
        png_image_free(&image);
        return false;
    }
    return true;
}

double InkFraction(const Page& p, int x0, int y0, int x1, int y1)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, p.width);
    y1 = std::min(y1, p.height);
    if (x0 >= x1 || y0 >= y1) {
        return 0;
    }
    long ink = 0;
    for (int y = y0; y < y1; y++) {
        for (int x = x0; x < x1; x++) {
            ink += p.Ink(x, y);
        }
    }
    return static_cast<double>(ink) / ((x1 - x0) * static_cast<double>(y1 - y0));
}

// A solid square in document coordinates (points, origin bottom-left).
Rect DocSquare(const Placement& pl, double x, double y, double size)
{
    return {(x - pl.left) * pl.sx, (pl.sheetHeight - (y + size) - pl.top) * pl.sy,
            (x + size - pl.left) * pl.sx, (pl.sheetHeight - y - pl.top) * pl.sy};
}

Rect Turned(const Page& p, const Rect& r)
{
    return {p.width - r.x1, p.height - r.y1, p.width - r.x0, p.height - r.y0};
}

// The square is there: solid inside, white in a band around it.
bool MarkAt(const Page& p, const Rect& r, int slack)
{
    const int band = 2 * slack;
    const int x0 = static_cast<int>(r.x0), y0 = static_cast<int>(r.y0);
    const int x1 = static_cast<int>(r.x1), y1 = static_cast<int>(r.y1);
    if (x0 < 0 || y0 < 0 || x1 > p.width || y1 > p.height) {
        return false;
    }
    if (InkFraction(p, x0 + slack, y0 + slack, x1 - slack, y1 - slack) < 0.9) {
        return false;
    }
    // The four strips of the band around the square.
    const double strips[4] = {
        InkFraction(p, x0 - band, y0 - band, x1 + band, y0 - slack),
        InkFraction(p, x0 - band, y1 + slack, x1 + band, y1 + band),
        InkFraction(p, x0 - band, y0 - slack, x0 - slack, y1 + slack),
        InkFraction(p, x1 + slack, y0 - slack, x1 + band, y1 + slack),
    };
    return *std::max_element(strips, strips + 4) < 0.05;
}

// Number of index squares in a row, or -1 when the corner marks are missing.
// The corner marks: 36 pt squares one inch from the top and left edges and
// one inch from the bottom, two inches from the right edge.
int PageIndex(const Page& p, const Placement& pl, bool turned)
{
    auto at = [&](const Rect& r) { return MarkAt(p, turned ? Turned(p, r) : r, pl.slack); };
    if (!at(DocSquare(pl, 72, pl.sheetHeight - 108, 36)) ||
        !at(DocSquare(pl, pl.sheetWidth - 180, 72, 36))) {
        return -1;
    }
    int k = 0;
    while (k < 40 && at(DocSquare(pl, 72 + 36 * k, pl.sheetHeight - 162, 18))) {
        k++;
    }
    return k;
}

// A line of toner along each edge of the image, within a few dots of it.
bool Framed(const Page& p)
{
    const int band = 24;
    auto rowInked = [&](int y) {
        return InkFraction(p, p.width / 10, y, p.width - p.width / 10, y + 1) > 0.9;
    };
    auto columnInked = [&](int x) {
        return InkFraction(p, x, p.height / 10, x + 1, p.height - p.height / 10) > 0.9;
    };
    bool top = false, bottom = false, left = false, right = false;
    for (int i = 0; i < band; i++) {
        top = top || rowInked(i);
        bottom = bottom || rowInked(p.height - 1 - i);
        left = left || columnInked(i);
        right = right || columnInked(p.width - 1 - i);
    }
    return top && bottom && left && right;
}

int Usage()
{
    std::fputs("usage: page_marks --sheet WxH [--dpi X[xY]] [--offset X,Y] [--slack N] PAGE.png...\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char* argv[])
{
    double sheetWidth = 0, sheetHeight = 0;
    int dpiX = 600, dpiY = 600, offsetX = -1, offsetY = -1, slack = 6;
    std::vector<const char*> pngs;
    for (int i = 1; i < argc; i++) {
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!std::strcmp(argv[i], "--sheet") && value) {
            if (std::sscanf(value, "%lfx%lf", &sheetWidth, &sheetHeight) != 2) {
                return Usage();
            }
        } else if (!std::strcmp(argv[i], "--dpi") && value) {
            int n = std::sscanf(value, "%dx%d", &dpiX, &dpiY);
            if (n < 1 || dpiX <= 0 || dpiY <= 0) {
                return Usage();
            }
            if (n == 1) {
                dpiY = dpiX;
            }
        } else if (!std::strcmp(argv[i], "--offset") && value) {
            if (std::sscanf(value, "%d,%d", &offsetX, &offsetY) != 2 || offsetX < 0 || offsetY < 0) {
                return Usage();
            }
        } else if (!std::strcmp(argv[i], "--slack") && value) {
            if (std::sscanf(value, "%d", &slack) != 1 || slack < 1) {
                return Usage();
            }
        } else if (argv[i][0] == '-') {
            return Usage();
        } else {
            pngs.push_back(argv[i]);
            continue;
        }
        i++;
    }
    if (sheetWidth <= 0 || sheetHeight <= 0 || pngs.empty()) {
        return Usage();
    }

    for (const char* path : pngs) {
        Page page;
        if (!ReadPng(path, &page)) {
            return 2;
        }
        Placement pl{0, 0, sheetWidth, sheetHeight, dpiX / 72.0, dpiY / 72.0, slack};
        if (offsetX >= 0) {
            pl.left = offsetX * 72.0 / 600;
            pl.top = offsetY * 72.0 / 600;
        } else {
            pl.left = (sheetWidth - page.width / pl.sx) / 2;
            pl.top = (sheetHeight - page.height / pl.sy) / 2;
        }
        int k = PageIndex(page, pl, false);
        if (k >= 0) {
            std::printf("upright %d\n", k);
            continue;
        }
        k = PageIndex(page, pl, true);
        if (k >= 0) {
            std::printf("rotated %d\n", k);
        } else if (InkFraction(page, 0, 0, page.width, page.height) == 0) {
            std::printf("blank\n");
        } else if (Framed(page)) {
            std::printf("framed\n");
        } else {
            std::printf("unmarked\n");
        }
    }
    return 0;
}
