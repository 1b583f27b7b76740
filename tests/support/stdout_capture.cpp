#include "support/stdout_capture.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

StdoutCapture::StdoutCapture()
{
    std::fflush(stdout);
    FILE* f = std::tmpfile();
    if (f == nullptr)
        throw std::runtime_error("tmpfile failed");
    fileFd_ = dup(fileno(f));
    std::fclose(f);
    savedFd_ = dup(STDOUT_FILENO);
    dup2(fileFd_, STDOUT_FILENO);
    active_ = true;
}

StdoutCapture::~StdoutCapture()
{
    Stop();
    if (fileFd_ >= 0)
        close(fileFd_);
}

void StdoutCapture::Stop()
{
    if (!active_)
        return;
    std::fflush(stdout);
    dup2(savedFd_, STDOUT_FILENO);
    close(savedFd_);
    active_ = false;
    off_t size = lseek(fileFd_, 0, SEEK_END);
    bytes_.resize(static_cast<size_t>(size));
    if (size > 0 && pread(fileFd_, bytes_.data(), bytes_.size(), 0) != size)
        throw std::runtime_error("reading captured output failed");
}

std::vector<uint8_t> StdoutCapture::Bytes()
{
    Stop();
    return bytes_;
}

StdoutTo::StdoutTo(int fd)
{
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    dup2(fd, STDOUT_FILENO);
}

StdoutTo::~StdoutTo()
{
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
}

std::vector<uint8_t> HexBytes(const std::string& hex)
{
    std::vector<uint8_t> out;
    std::string digits;
    for (char c : hex) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
    }
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
    return out;
}

std::string ToHex(const std::vector<uint8_t>& bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            s += ' ';
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}
