// The records that the page flow hands to the stream stages. A 16-bit field
// keeps the low 16 bits of what is put into it. The page's results (toner
// dots counted by the screening, checksum of the compressed data) travel in
// these records too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// Filled once per job for Prnt_StartDoc.
struct DocStartInfo {
    int32_t jobId;
    int32_t specBit80;     // sets 0x80 in the job flags when not 0
    uint8_t duplexBits;    // 0x20 for a two-sided job (machine or manual)
    uint8_t platformBits;  // 0x10 unless the platform is 3
    int32_t specBit08;
    int32_t specBit04;
    int32_t specBit02;
    int32_t specBit01;
    int32_t tonerSave;     // cmdTonerSave sends its low byte
    uint8_t density;       // 0 in toner-saving mode
    // Platform 2: models R01 and R02 get extra pieces (exact name match).
    const char* modelName;
    // Where the job time and owner come from; null for the system's clock
    // and host name. A front end points them elsewhere for fixed bytes.
    std::time_t (*clock)(std::time_t* now);
    int (*hostName)(char* name, std::size_t size);
};

// Filled for Prnt_EndDoc.
struct DocEndInfo {
    int32_t pageCount;  // pages read; a blank back page is not counted
    int32_t duplex;     // 1 for machine duplex
};

// Filled per page for Prnt_StartPage; InsertBlankPage reuses the last one.
struct PageSetup {
    uint16_t paperCode;     // 0 = custom on platforms 2 and 3, 0xFF on platform 1
    uint16_t mediaType;
    uint16_t xResolution;   // 60/120 on platforms 1 and 2, 600 on platform 3
    uint16_t yResolution;
    uint16_t inputTray;
    uint16_t optionFlags1;
    uint16_t feedFlags;     // 0x40: short paper fed long edge first
    uint16_t optionFlags2;
    uint16_t copies;
    uint16_t offsetX;
    uint16_t offsetY;
    uint16_t pageNumber;
    uint16_t customWidth;   // paper size in dots
    uint16_t customHeight;
    uint16_t imageWidth;    // bitmap size in pixels and lines
    uint16_t imageHeight;
    uint32_t twoBitMode;    // 1: two bits per pixel (platform 3 only)
    uint8_t density;
};

// Filled per page for Prnt_EndPage; coverage is written by it (platform 1).
struct PageEndInfo {
    int32_t pageNumber;
    int32_t machineDuplex;
    int32_t xResolution;   // dpi of the raster page
    int32_t pageWidthMm;
    int32_t tonerLevel;    // the Density option, not zeroed by toner saving
    uint16_t coverage;
    uint32_t dotCount;       // toner dots of the page (platform 1)
    uint32_t imageChecksum;  // of the page's compressed data (platform 1)
};

// Filled per page for Prnt_SendPage; compressedSize is written by it.
struct PageDataInfo {
    uint8_t rasterMode;
    uint8_t rasterFlags[3];
    uint16_t lineBits;      // bits per bitmap line
    uint16_t lineCount;
    uint16_t widthPixels;   // platform 1 only
    uint32_t stripeLines;   // platform 1 only: 768 at 600 dpi, else 384
    uint32_t compressedSize;
    uint8_t* bitmap;        // lineCount lines of lineBits / 8 bytes
    uint32_t dotCount;      // toner dots of the page (platform 2 coverage)
    // 8-bit checksum of the last compressed run, written by Prnt_SendPage;
    // left as it was when no run could be compressed.
    uint32_t imageChecksum;
};
