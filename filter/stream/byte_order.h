// Multi-byte fields of the printer stream: little-endian inside the packets
// of platforms 1 and 2, big-endian in the blocks of platform 3.
#pragma once

#include <cstdint>

inline void PutLE16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void PutLE32(uint8_t* p, uint32_t v)
{
    PutLE16(p, v);
    PutLE16(p + 2, v >> 16);
}

inline void PutBE16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

inline void PutBE32(uint8_t* p, uint32_t v)
{
    PutBE16(p, v >> 16);
    PutBE16(p + 2, v);
}

inline uint32_t GetLE16(const uint8_t* p) { return p[0] | (p[1] << 8); }
inline uint32_t GetLE32(const uint8_t* p) { return GetLE16(p) | (GetLE16(p + 2) << 16); }
inline uint32_t GetBE16(const uint8_t* p) { return (p[0] << 8) | p[1]; }
inline uint32_t GetBE32(const uint8_t* p) { return (GetBE16(p) << 16) | GetBE16(p + 2); }
