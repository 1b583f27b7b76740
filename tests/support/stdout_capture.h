// Collects what the code under test writes to standard output (the printer
// stream) by pointing descriptor 1 at a temporary file for a while.
#pragma once

#include <string>
#include <vector>
#include <cstdint>

class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Stops capturing (if still on) and returns every byte written.
    std::vector<uint8_t> Bytes();

private:
    void Stop();
    int savedFd_ = -1;
    int fileFd_ = -1;
    bool active_ = false;
    std::vector<uint8_t> bytes_;
};

// Points standard output at another descriptor for a while.
class StdoutTo {
public:
    explicit StdoutTo(int fd);
    ~StdoutTo();
    StdoutTo(const StdoutTo&) = delete;
    StdoutTo& operator=(const StdoutTo&) = delete;

private:
    int saved_;
};

std::vector<uint8_t> HexBytes(const std::string& hex);  // "0B 04 17 DA" -> bytes
std::string ToHex(const std::vector<uint8_t>& bytes);
