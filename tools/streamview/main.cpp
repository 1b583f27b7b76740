// streamview: lists and checks a printer stream of any platform and writes
// its pages as PNG files.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "png_writer.h"
#include "stream_decoder.h"
#include "stream_listing.h"

namespace {

const char kUsage[] =
    "usage: streamview [--list] [--summary] [--png DIR] [--platform N] [--strict] FILE|-\n"
    "  --list        list documents, pages, packets and blocks with their fields (default)\n"
    "  --summary     one line per page: platform, page, paper, size, copies, duplex, black pixels\n"
    "  --png DIR     write every page as DIR/page-NNN.png\n"
    "  --platform N  insist on platform 1, 2 or 3; also reads streams of pages only\n"
    "  --strict      treat warnings as errors\n";

int Usage(const std::string& problem)
{
    std::cerr << "streamview: " << problem << "\n" << kUsage;
    return 2;
}

bool ReadInput(const std::string& name, std::vector<uint8_t>& data)
{
    if (name == "-") {
        std::cin >> std::noskipws;
        data.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return !std::cin.bad();
    }
    std::ifstream in(name, std::ios::binary);
    if (!in)
        return false;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv)
{
    bool list = false, summary = false, strict = false;
    std::string pngDir, input;
    int platform = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--list")
            list = true;
        else if (arg == "--summary")
            summary = true;
        else if (arg == "--strict")
            strict = true;
        else if (arg == "--png" || arg == "--platform") {
            if (i + 1 >= argc)
                return Usage(arg + " needs a value");
            const std::string value = argv[++i];
            if (arg == "--png") {
                pngDir = value;
            } else {
                if (value != "1" && value != "2" && value != "3")
                    return Usage("--platform takes 1, 2 or 3");
                platform = value[0] - '0';
            }
        } else if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option " + arg);
        } else if (input.empty()) {
            input = arg;
        } else {
            return Usage("more than one input");
        }
    }
    if (input.empty())
        return Usage("no input given");
    if (!list && !summary && pngDir.empty())
        list = true;

    std::vector<uint8_t> data;
    if (!ReadInput(input, data)) {
        std::cerr << "streamview: cannot read " << input << ": " << std::strerror(errno) << "\n";
        return 2;
    }
    if (!pngDir.empty() && mkdir(pngDir.c_str(), 0777) != 0 && errno != EEXIST) {
        std::cerr << "streamview: cannot create " << pngDir << ": " << std::strerror(errno) << "\n";
        return 2;
    }

    bool pngFailed = false;
    streamview::DecodeOptions options;
    options.platform = platform;
    options.keepBitmaps = false;
    if (!pngDir.empty()) {
        options.onPage = [&](const streamview::Document&, const streamview::Page& page) {
            if (!page.hasBitmap) {
                std::cerr << "streamview: page " << page.sequence << " has no image; no PNG written\n";
                return;
            }
            char name[32];
            std::snprintf(name, sizeof name, "/page-%03d.png", page.sequence);
            std::string error;
            if (!streamview::WritePagePng(pngDir + name, page.bitmap, error)) {
                std::cerr << "streamview: " << error << "\n";
                pngFailed = true;
            }
        };
    }
    const streamview::StreamResult result = streamview::DecodeStream(data, options);

    if (list)
        streamview::PrintListing(std::cout, result);
    if (summary)
        streamview::PrintSummary(std::cout, result);
    std::cout.flush();
    for (const streamview::Diagnostic& w : result.warnings)
        std::cerr << "streamview: warning at offset " << w.offset << ": " << w.text << "\n";
    if (!result.ok) {
        std::cerr << "streamview: error at offset " << result.error.offset << ": " << result.error.text
                  << "\n";
        return 1;
    }
    if (strict && !result.warnings.empty()) {
        std::cerr << "streamview: " << result.warnings.size() << " warning(s) with --strict\n";
        return 1;
    }
    return pngFailed ? 1 : 0;
}
