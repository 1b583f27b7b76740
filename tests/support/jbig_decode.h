// Decodes what the filter's JBIG encoder produced, with JBIG-KIT's own
// decoder, so that tests can compare the printer data with the page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct JbigImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> plane;  // lines of (width + 7) / 8 bytes, first pixel in the top bit
};

// Decodes exactly one complete single-plane image entity (header and all
// stripes, nothing after it). False when the data is anything else.
bool DecodeJbig(const uint8_t* data, size_t size, JbigImage& image);
