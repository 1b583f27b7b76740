// Small printer streams of each platform, put together from the packet
// builders and JBIG-KIT's encoder the way the filter's stages lay them out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream/packets.h"

using Bytes = std::vector<uint8_t>;

// A page bitmap: lines of lineBits bits, lineBits a multiple of 8.
struct TestImage {
    uint32_t lineBits = 0;
    uint32_t lines = 0;
    Bytes bits;
    uint64_t SetBits() const;
};

// Stripes, dots and noise so that every band and stripe differs.
TestImage PatternImage(uint32_t lineBits, uint32_t lines, uint32_t seed);
// Random bits: compresses badly, for data that spans several chunks.
TestImage NoiseImage(uint32_t lineBits, uint32_t lines, uint32_t seed);

// One JBIG-KIT encoder run with the given settings.
Bytes JbigEncode(const uint8_t* bits, const JbigParams& params);

struct TestPage {
    PageSetup setup{};
    TestImage image;
    uint32_t dots = 0;       // dotCount for the coverage packets
};

// A page of the image's size: paper code 4, copies 1, the given number.
TestPage MakePage(int platform, const TestImage& image, uint16_t pageNumber);

struct TestJob {
    int platform = 1;
    int32_t jobId = 42;
    uint8_t density = 2;
    bool machineDuplex = false;
    std::string model = "Norvane R05 Series";
};

// The pieces, each exactly as its stage writes it.
Bytes DocStart(const TestJob& job);
Bytes DocEnd(const TestJob& job, int pageCount);
Bytes PageStart(const TestPage& page, int platform);
Bytes PageData(const TestPage& page, int platform);
Bytes PageEnd(const TestPage& page, const TestJob& job);
Bytes ManualDuplexPause(int platform);

// A whole job: document start, every page, document end.
Bytes BuildStream(const TestJob& job, const std::vector<TestPage>& pages);

Bytes Join(std::initializer_list<Bytes> parts);
Bytes Text(const std::string& s);
// Position of needle in haystack at or after from; npos when absent.
size_t Find(const Bytes& haystack, const Bytes& needle, size_t from = 0);
