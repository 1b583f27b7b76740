// Page images as grey PNG files: 1-bit pages black on white, 2-bit pages in
// four grey levels.
#pragma once

#include <string>

#include "stream_model.h"

namespace streamview {

// Writes the bitmap to path; on failure returns false with the reason.
bool WritePagePng(const std::string& path, const Bitmap& bitmap, std::string& error);

}  // namespace streamview
