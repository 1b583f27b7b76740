// The streamview program as a process: exit codes, messages, the summary
// lines and the PNG files it writes.
#include <fcntl.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "support/filter_process.h"
#include "test_streams.h"

namespace {

struct ToolResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& data)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                static_cast<std::streamsize>(data.size()));
}

ToolResult RunTool(const std::vector<std::string>& args, const std::string& stdinPath = "/dev/null")
{
    TempDir dir;
    const std::string out = dir.File("out"), err = dir.File("err");
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open(stdinPath.c_str(), O_RDONLY);
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || o < 0 || e < 0)
            _exit(126);
        dup2(in, 0);
        dup2(o, 1);
        dup2(e, 2);
        std::vector<char*> argv = {const_cast<char*>(STREAMVIEW_PATH)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(STREAMVIEW_PATH, argv.data());
        _exit(127);
    }
    ToolResult result;
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

// Grey values of a PNG file read back with libpng, 8 bits per pixel.
bool ReadPng(const std::string& path, uint32_t& width, uint32_t& height, std::vector<uint8_t>& grey)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_GRAY;
    grey.resize(PNG_IMAGE_SIZE(image));
    width = image.width;
    height = image.height;
    const bool ok = png_image_finish_read(&image, nullptr, grey.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

class StreamviewTool : public ::testing::Test {
protected:
    TempDir dir;
    std::string Write(const std::string& name, const Bytes& data)
    {
        WriteFile(dir.File(name), data);
        return dir.File(name);
    }
};

}  // namespace

TEST_F(StreamviewTool, SummaryHasOneLinePerPage)
{
    TestJob job;
    const TestPage a = MakePage(1, PatternImage(320, 100, 1), 1);
    const TestPage b = MakePage(1, PatternImage(256, 50, 2), 2);
    const std::string file = Write("job.prn", BuildStream(job, {a, b}));

    const ToolResult r = RunTool({"--summary", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "doc=1 seq=1 platform=1 page=1 paper=4 size=320x100 bpp=1 copies=1 duplex=simplex black=" +
                         std::to_string(a.image.SetBits()) +
                         "\ndoc=1 seq=2 platform=1 page=2 paper=4 size=256x50 bpp=1 copies=1 duplex=simplex black=" +
                         std::to_string(b.image.SetBits()) + "\n");

    // The same from standard input, and the listing by default.
    const ToolResult piped = RunTool({"--summary", "-"}, file);
    EXPECT_EQ(piped.out, r.out);
    const ToolResult listed = RunTool({file});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out.rfind("stream of " + std::to_string(BuildStream(job, {a, b}).size()) +
                                   " bytes: 1 document, 2 pages\n",
                               0),
              0u)
        << listed.out;
}

TEST_F(StreamviewTool, PngFilesShowEveryPage)
{
    TestJob job;
    job.platform = 3;
    const TestPage mono = MakePage(3, PatternImage(64, 30, 3), 1);
    TestPage grey = MakePage(3, PatternImage(64, 20, 4), 2);
    grey.setup.twoBitMode = 1;
    grey.setup.imageWidth = 32;
    const std::string file = Write("job.prn", BuildStream(job, {mono, grey}));
    const std::string pngs = dir.File("pages");

    const ToolResult r = RunTool({"--png", pngs, "--summary", file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("page=2 paper=4 size=32x20 bpp=2"), std::string::npos) << r.out;

    uint32_t w = 0, h = 0;
    std::vector<uint8_t> px;
    ASSERT_TRUE(ReadPng(pngs + "/page-001.png", w, h, px));
    ASSERT_EQ(w, 64u);
    ASSERT_EQ(h, 30u);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const bool black = (mono.image.bits[y * 8 + x / 8] >> (7 - x % 8)) & 1;
            ASSERT_EQ(px[y * w + x], black ? 0 : 255) << x << "," << y;
        }

    ASSERT_TRUE(ReadPng(pngs + "/page-002.png", w, h, px));
    ASSERT_EQ(w, 32u);
    ASSERT_EQ(h, 20u);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const unsigned level = (grey.image.bits[y * 8 + x / 4] >> (6 - 2 * (x % 4))) & 3;
            ASSERT_EQ(px[y * w + x], (3 - level) * 85) << x << "," << y;
        }
}

TEST_F(StreamviewTool, DamageEndsWithAnErrorNamingTheOffset)
{
    TestJob job;
    job.platform = 2;
    const TestPage page = MakePage(2, PatternImage(64, 40, 5), 1);
    Bytes s = BuildStream(job, {page});
    const size_t band = Find(s, Bytes{0x0B, 0x30, 0x1A});
    s[band + 47] ^= 0xFF;
    const ToolResult r = RunTool({"--summary", Write("bad.prn", s)});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("streamview: error at offset " + std::to_string(band + 47) + ": band record checksum", 0),
              0u)
        << r.err;

    const ToolResult garbage = RunTool({Write("garbage.prn", Text("\x01\x02 not a printer stream"))});
    EXPECT_EQ(garbage.status, 1);
    EXPECT_NE(garbage.err.find("streamview: error at offset 0: no document start"), std::string::npos) << garbage.err;
}

TEST_F(StreamviewTool, WarningsFailOnlyWhenStrict)
{
    TestJob job;
    const TestPage page = MakePage(1, PatternImage(64, 40, 6), 1);
    // The filter's failure text explains a page that has no data.
    Bytes end = PageEnd(page, job);
    const std::string file = Write("told.prn", Join({DocStart(job), PageStart(page, 1),
                                                     Text("Prnt_SendPage() :: malloc Fail .  \n"), end, DocEnd(job, 1)}));
    const ToolResult lenient = RunTool({"--summary", file});
    EXPECT_EQ(lenient.status, 0) << lenient.err;
    EXPECT_NE(lenient.err.find("streamview: warning at offset"), std::string::npos);
    EXPECT_NE(lenient.out.find("size=- bpp=1 copies=1 duplex=simplex black=-"), std::string::npos) << lenient.out;
    EXPECT_EQ(RunTool({"--strict", "--summary", file}).status, 1);
}

TEST_F(StreamviewTool, BadArgumentsGiveUsage)
{
    EXPECT_EQ(RunTool({}).status, 2);
    EXPECT_EQ(RunTool({"--platform", "4", "x"}).status, 2);
    EXPECT_EQ(RunTool({"--frobnicate", "x"}).status, 2);
    const ToolResult missing = RunTool({dir.File("absent.prn")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot read"), std::string::npos);
}
