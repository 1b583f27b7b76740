#include "fault_job.h"

#include <fstream>
#include <iterator>

#include "stream_decoder.h"

RasterPage InchPage(unsigned lines)
{
    RasterPage p = PaperPage(72, 72);
    p.width = 64;
    p.height = lines;
    p.pixel = [](unsigned x, unsigned y) -> uint8_t { return y % 2 ? 0x00 : static_cast<uint8_t>(x); };
    return p;
}

RasterPage NoisyInchPage()
{
    RasterPage p = PaperPage(72, 72);
    p.pixel = [](unsigned x, unsigned y) -> uint8_t {
        uint32_t h = (x * 2654435761u) ^ (y * 40503u + 0x9E3779B9u);
        h ^= h >> 13;
        h *= 0x5bd1e995u;
        return (h >> 15) & 1 ? 0x00 : 0xFF;
    };
    return p;
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

::testing::AssertionResult IsWholeJob(const std::vector<uint8_t>& out, int pages)
{
    const streamview::StreamResult r = streamview::DecodeStream(out);
    if (!r.ok)
        return ::testing::AssertionFailure() << "at byte " << r.error.offset << " of " << out.size() << ": "
                                             << r.error.text;
    if (r.documents.size() != 1 || !r.documents[0].ended)
        return ::testing::AssertionFailure() << r.documents.size() << " document(s), not one ended one";
    if (pages >= 0 && r.PageCount() != static_cast<size_t>(pages))
        return ::testing::AssertionFailure() << r.PageCount() << " pages, not " << pages;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult IsJobSoFar(const std::vector<uint8_t>& out)
{
    if (out.empty())
        return ::testing::AssertionSuccess();
    const streamview::StreamResult r = streamview::DecodeStream(out);
    // A stream cut between two pieces runs out where the decoder expects
    // the next one; one cut inside a piece is "truncated" or malformed.
    if (r.ok || (r.error.offset == out.size() && r.error.text.rfind("the stream ends", 0) == 0))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "at byte " << r.error.offset << " of " << out.size() << ": "
                                         << r.error.text;
}

FilterRun FaultTest::Job(const std::string& options, const std::string& raster, const TestPpd& ppd)
{
    FilterRun run;
    run.args = JobArgs(options, raster);
    run.env["PPD"] = WriteTestPpd(work_.File("printer.ppd"), ppd);
    run.env["TMPDIR"] = spool_.path();
    run.timeoutSeconds = 60;
    return run;
}

std::string FaultTest::Raster(const std::vector<RasterPage>& pages, cups_mode_t mode, const std::string& name)
{
    return WriteRasterJob(work_.File(name), pages, mode);
}

void FaultTest::ExpectEnded(const FilterResult& r, int status)
{
    EXPECT_EQ(r.termSignal, 0) << "killed by signal " << r.termSignal << "\n" << r.err;
    EXPECT_EQ(r.exitStatus, status) << r.err;
    EXPECT_TRUE(spool_.Entries().empty()) << "left in TMPDIR: " << spool_.Entries().front();
    // Only a job that ends normally says it is ready.
    EXPECT_EQ(r.err.find("INFO: Ready to print.\n") != std::string::npos, status == 0) << r.err;
}

void FaultTest::ExpectError(const FilterResult& r, int status, const std::string& about)
{
    ExpectEnded(r, status);
    bool found = false;
    for (size_t at = r.err.find("ERROR: "); at != std::string::npos && !found; at = r.err.find("ERROR: ", at + 1))
        found = r.err.substr(at, r.err.find('\n', at) - at).find(about) != std::string::npos;
    EXPECT_TRUE(found) << "no ERROR line about \"" << about << "\":\n" << r.err;
}
