// Expected printer bytes for the framing tests, spelled out independently
// of the builders, and a driver that fails each piece of a routine in turn.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_sink.h"
#include "support/stdout_capture.h"
#include "support/write_fault.h"

using Bytes = std::vector<uint8_t>;

inline Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes BE32(uint32_t v)
{
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

// A platform-3 block header and parameter record.
inline Bytes Block(uint32_t total, uint32_t type, uint32_t count)
{
    uint32_t bytes = 12 * count;
    return Cat({BE32(total), BE32(type), BE32(count), {uint8_t(bytes >> 8), uint8_t(bytes), 0x5A, 0x5A}});
}

inline Bytes Rec(uint16_t id, uint32_t value)
{
    return Cat({BE32(12), {uint8_t(id >> 8), uint8_t(id), 0x01, 0x00}, BE32(value)});
}

inline const Bytes kZeros = {0x00, 0x00};
inline const char kInsert00Fail[] = "Insert00() :: Send 00 00 to file Fail0 ==  \n";

inline std::string ErrText() { return TestSink().errMsg; }

// Runs fn with standard output captured; returns its result and the bytes.
struct Captured {
    int result;
    Bytes out;
};

inline Captured Capture(const std::function<int()>& fn, long failAt = -1)
{
    StdoutCapture cap;
    int result;
    if (failAt >= 0) {
        WriteFaultAt fault(failAt);
        result = fn();
    } else {
        result = fn();
    }
    return {result, cap.Bytes()};
}

// One piece of a routine's output and the text its failure leaves in
// TestSink().errMsg; no text marks the two zero bytes, whose failure the routine
// notes and goes past.
struct Piece {
    Bytes bytes;
    std::string failText;
};

inline Piece Zeros() { return {kZeros, ""}; }

inline Bytes Joined(const std::vector<Piece>& pieces)
{
    Bytes out;
    for (const Piece& p : pieces)
        out.insert(out.end(), p.bytes.begin(), p.bytes.end());
    return out;
}

// Fails each piece once, with everything around it working, and checks
// that the routine stops right there with the piece's text, or, for the
// zero bytes, leaves them out, notes it and finishes with success.
inline void ExpectEachPieceFails(const std::vector<Piece>& pieces, const std::function<int()>& fn)
{
    const Bytes all = Joined(pieces);
    size_t offset = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        SCOPED_TRACE("piece " + std::to_string(i) + " at byte " + std::to_string(offset));
        TestSink().errMsg[0] = '\0';
        Captured c = Capture(fn, static_cast<long>(offset));
        if (pieces[i].failText.empty()) {
            Bytes expected(all.begin(), all.begin() + offset);
            expected.insert(expected.end(), all.begin() + offset + pieces[i].bytes.size(), all.end());
            EXPECT_EQ(c.result, 1);
            EXPECT_EQ(ToHex(c.out), ToHex(expected));
            EXPECT_EQ(ErrText(), kInsert00Fail);
        } else {
            EXPECT_EQ(c.result, 0);
            EXPECT_EQ(ToHex(c.out), ToHex(Bytes(all.begin(), all.begin() + offset)));
            EXPECT_EQ(ErrText(), pieces[i].failText);
        }
        offset += pieces[i].bytes.size();
    }
}
