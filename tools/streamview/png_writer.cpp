#include "png_writer.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace streamview {

namespace {

struct PngError {
    char text[256];
};

void OnPngError(png_structp png, png_const_charp message)
{
    auto* err = static_cast<PngError*>(png_get_error_ptr(png));
    std::snprintf(err->text, sizeof err->text, "%s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Kept free of objects with destructors: libpng leaves it by longjmp.
bool WriteRows(std::FILE* file, const Bitmap& bitmap, png_bytep row, PngError& err)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &err, OnPngError, OnPngWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, bitmap.width, bitmap.height, static_cast<int>(bitmap.bitsPerPixel),
                 PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t rowBytes = bitmap.RowBytes();
    for (uint32_t y = 0; y < bitmap.height; ++y) {
        // Toner levels count up from white, PNG grey counts up from black.
        const uint8_t* src = bitmap.bits.data() + y * rowBytes;
        for (size_t i = 0; i < rowBytes; ++i)
            row[i] = static_cast<png_byte>(~src[i]);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool WritePagePng(const std::string& path, const Bitmap& bitmap, std::string& error)
{
    if (bitmap.Empty() || bitmap.width == 0 || bitmap.height == 0 ||
        (bitmap.bitsPerPixel != 1 && bitmap.bitsPerPixel != 2)) {
        error = "no image to write";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<png_byte> row(bitmap.RowBytes());
    PngError err{};
    const bool written = WriteRows(file, bitmap, row.data(), err);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = path + ": " + (err.text[0] ? err.text : "cannot write the PNG file");
        std::remove(path.c_str());
        return false;
    }
    return true;
}

}  // namespace streamview
