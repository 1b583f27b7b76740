// Command packets of platforms 1 and 2 and the blocks of platform 3.
//
// A packet is 0x0B, its total length, an opcode, the payload and a checksum
// that makes all its bytes sum to 0 modulo 256. A platform-3 block starts
// with a 16-byte big-endian header that ends in "ZZ", followed by 12-byte
// parameter records or a payload. Every built packet and block comes from a
// builder here; the builders fill a buffer of exactly the packet's length
// and return 1. They never send.
#pragma once

#include <cstdint>
#include <ctime>

#include "stream/records.h"

// Negated 8-bit sum of the first count bytes; 0 for count <= 0.
uint8_t PacketChecksum(const uint8_t* bytes, int count);

// ---- Fixed packets (sent as they are) ----
inline constexpr uint8_t abortCmd[4] = {0x0B, 0x04, 0x16, 0xDB};
inline constexpr uint8_t resetCmd[4] = {0x0B, 0x04, 0x17, 0xDA};
inline constexpr uint8_t formFeedCmd[4] = {0x0B, 0x04, 0x18, 0xD9};
inline constexpr uint8_t manualDuplexCmdP2[4] = {0x0B, 0x04, 0x1B, 0xD6};
inline constexpr uint8_t manualDuplexCmdP1[4] = {0x0B, 0x04, 0x30, 0xC1};
inline constexpr uint8_t queryStatusCmd[5] = {0x0B, 0x05, 0x31, 0x80, 0x3F};
inline constexpr uint8_t hostUseCmd[4] = {0x0B, 0x04, 0x32, 0xBF};
inline constexpr uint8_t machineDuplexCmd[4] = {0x0B, 0x04, 0x40, 0xB1};

// Toner parameters that models R01 (36 bytes) and R02 (40 bytes) of
// platform 2 expect at the start of every document.
extern const uint8_t cmdTonerParamR01ForR01[36];
extern const uint8_t cmdTonerParamR01ForR02[40];

// Universal exit language with 0xFF in place of '%': closes a platform-1
// page and enters its image checksum.
inline constexpr uint8_t UEL_CMD_C[9] = {0x1B, 0xFF, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58};

// ---- Built packets, platforms 1 and 2 ----
constexpr int kCmdJobSpecLenP2 = 9;
constexpr int kCmdJobSpecLenP1 = 6;
constexpr int kCmdDensityLen = 5;
constexpr int kCmdTonerSaveLen = 5;
constexpr int kCmdSysTimeLen = 8;
constexpr int kCmdPageSpecLen = 18;
constexpr int kCmdCustomPaperLen = 12;
constexpr int kCmdRasterImageLen = 18;
constexpr int kCmdImageDataChenksumLen = 6;
constexpr int kCmdCoveragePageEndLen = 6;
constexpr int kCmdCoveragePageDataLen = 7;
constexpr int kBandRecordLen = 48;

// The job flags byte of cmdJobSpec.
uint8_t JobFlags(const DocStartInfo& info);
int BuildCmdJobSpecP2(uint8_t* out, const DocStartInfo& info);  // 9 bytes, 32-bit job id
int BuildCmdJobSpecP1(uint8_t* out, const DocStartInfo& info);  // 6 bytes, low byte of job id
int BuildCmdDensity(uint8_t* out, uint8_t density);
int BuildCmdTonerSave(uint8_t* out, int32_t tonerSave);
// The local date now; returns 0 and writes nothing when out is null.
int BuildCmdSysTime(uint8_t* out);
int BuildCmdSysTimeAt(uint8_t* out, const std::tm& localTime);
int BuildCmdPageSpec(uint8_t* out, const PageSetup& setup, int platform);
int BuildCmdCustomPaper(uint8_t* out, const PageSetup& setup, int platform);
int BuildCmdRasterImage(uint8_t* out, const PageDataInfo& info);
int BuildCmdImageDataChenksum(uint8_t* out, uint32_t checksum);
// Toner coverage of a platform-1 page, as its page end reports it.
uint16_t CoverageValue(uint32_t dots, const PageEndInfo& info);
// Page-end coverage packet; also stores the value in info.coverage.
int BuildCmdCoveragePageEnd(uint8_t* out, uint32_t dots, PageEndInfo& info);
// Page-data coverage packet of platform 2 (dots / 1000 in three fields).
int BuildCmdCoveragePageData(uint8_t* out, uint32_t dots);
// The 48-byte record in front of each 256-line band of platform 2.
int BuildBandRecord(uint8_t* out, uint32_t lineBits, uint32_t bandLines,
                    uint32_t compressedLength, uint32_t firstLine);

// ---- Platform 3 ----
constexpr int kBlockHeaderLen = 16;
constexpr int kParamRecordLen = 12;
constexpr int kTonerParamBlockLen = 88;
constexpr int kJbigParamBlockLen = 36;
constexpr uint16_t kBlockMagic = 0x5A5A;  // "ZZ"

enum BlockType : uint32_t {
    kBlockDocStart = 0,
    kBlockDocEnd = 1,
    kBlockPageStart = 2,
    kBlockPageEnd = 3,
    kBlockJbigParams = 4,
    kBlockJbigData = 5,
    kBlockJbigEnd = 6,
    kBlockManualDuplex = 11,
    kBlockTonerParams = 17,
};

int BuildBlockHeader(uint8_t* out, uint32_t totalLength, uint32_t blockType,
                     uint32_t paramCount, uint16_t paramBytes, uint16_t magic = kBlockMagic);
int BuildParamRecord(uint8_t* out, uint16_t paramId, uint32_t value);
int BuildTonerParamBlock(uint8_t* out);  // TONER_PARAM, 88 bytes

// Encoder settings in the layout of the JBIG bi-level image header.
struct JbigParams {
    uint8_t DL;
    uint8_t D;
    uint8_t P;
    uint8_t fill;
    uint32_t XD;
    uint32_t YD;
    uint32_t L0;
    uint8_t MX;
    uint8_t MY;
    uint8_t order;
    uint8_t options;
};

int BuildJbigParamBlock(uint8_t* out, const JbigParams& params);  // JBIG_PARAM_CMD, 36 bytes
