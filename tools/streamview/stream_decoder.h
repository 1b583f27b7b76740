// Reads a whole printer stream of any platform into documents, pages,
// packets and blocks, verifies its checksums and sizes, and decodes every
// page image with JBIG-KIT.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "stream_model.h"

namespace streamview {

struct DecodeOptions {
    // 1, 2 or 3 to insist on a platform (and to accept page-only fragments
    // such as spool files); 0 to tell it from each document start.
    int platform = 0;
    // Keep every page's bitmap in the result. Without it only the counts
    // stay, and onPage is the place to use the image.
    bool keepBitmaps = true;
    // Called once per page when the page is complete, bitmap still present.
    std::function<void(const Document&, const Page&)> onPage;
};

// Never throws for bad input: a malformed stream gives ok == false with the
// offset and the reason, and everything read before it.
StreamResult DecodeStream(const uint8_t* data, size_t size, const DecodeOptions& options = {});
StreamResult DecodeStream(const std::vector<uint8_t>& data, const DecodeOptions& options = {});

}  // namespace streamview
