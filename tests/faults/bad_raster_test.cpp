// Raster that ends too early or whose page header is damaged, as written by
// libcupsimage and then cut or patched.
#include <cstddef>
#include <cstring>

#include "fault_job.h"
#include "stream_decoder.h"

namespace {

constexpr size_t kHeaderBytes = sizeof(cups_page_header2_t);

class BadRaster : public FaultTest {
protected:
    FilterResult RunOn(const std::vector<uint8_t>& raster)
    {
        WriteBytes(work_.File("bad.ras"), raster);
        return RunFilterProcess(Job("", work_.File("bad.ras")));
    }
};

TEST_F(BadRaster, CutInsideAHeaderOrInsideALine)
{
    for (cups_mode_t mode : {CUPS_RASTER_WRITE, CUPS_RASTER_WRITE_COMPRESSED}) {
        SCOPED_TRACE(mode == CUPS_RASTER_WRITE ? "uncompressed" : "compressed");
        const std::vector<RasterPage> pages(2, InchPage(40));
        const std::vector<uint8_t> whole = ReadBytes(Raster(pages, mode));
        const size_t page2 = ReadBytes(Raster({pages[0]}, mode, "one.ras")).size();
        auto upTo = [&](size_t size) { return std::vector<uint8_t>(whole.begin(), whole.begin() + size); };

        FilterResult r = RunOn(upTo(4 + kHeaderBytes / 2));
        ExpectError(r, 1, "No pages found");

        // A header cut short is where the input ends: page 1 is the job.
        r = RunOn(upTo(page2 + kHeaderBytes / 2));
        ExpectEnded(r, 0);
        EXPECT_TRUE(IsWholeJob(r.out, 1));

        // Page 2 prints as far as its lines came; the rest of it is white.
        const size_t data2 = page2 + kHeaderBytes;
        r = RunOn(upTo(data2 + (whole.size() - data2) / 2 + 1));
        ExpectError(r, 0, "page 2");
        EXPECT_TRUE(IsWholeJob(r.out, 2));
        const streamview::StreamResult job = streamview::DecodeStream(r.out);
        ASSERT_TRUE(job.ok && job.PageCount() == 2);
        const streamview::Bitmap& page = job.documents[0].pages[1].bitmap;
        unsigned top = 0, bottom = 0;
        for (uint32_t x = 0; x < 64; ++x) {
            top += page.Level(x, 1) > 0;     // a black raster line
            bottom += page.Level(x, 39) > 0;  // also black, but never read
        }
        EXPECT_GT(top, 32u);
        EXPECT_EQ(bottom, 0u);
    }
}

TEST_F(BadRaster, HeadersWithImpossibleSizes)
{
    struct Field {
        size_t offset;
        uint32_t value;
    };
    struct Case {
        const char* name;
        std::vector<Field> fields;
        const char* error;  // what the ERROR line names
        int pagesAfter;     // pages printed when the header is page p's: p + pagesAfter, -1: job ends at once
    };
    const size_t pageSize = offsetof(cups_page_header2_t, PageSize);
    const size_t height = offsetof(cups_page_header2_t, cupsHeight);
    const size_t lineBytes = offsetof(cups_page_header2_t, cupsBytesPerLine);
    const size_t colorSpace = offsetof(cups_page_header2_t, cupsColorSpace);
    const size_t copies = offsetof(cups_page_header2_t, NumCopies);
    const Case cases[] = {
        {"page size 0 x 0", {{pageSize, 0}, {pageSize + 4, 0}}, "paper size", -1},
        {"page size 1e6 x 1e6", {{pageSize, 1000000}, {pageSize + 4, 1000000}}, "paper size", -1},
        // A damaged header stops the job, also after pages that printed.
        {"no lines", {{height, 0}}, "raster header", -1},
        // Reads what there is, the next page's header and lines too.
        {"2^31 lines", {{height, 0x80000000u}}, "of 2147483648 lines", 1},
        {"lines of 0 bytes", {{lineBytes, 0}}, "raster header", -1},
        {"lines of 2^32 - 1 bytes", {{lineBytes, 0xFFFFFFFFu}}, "raster header", -1},
        // Read as the number it is, not as one of CUPS's colour spaces.
        {"colour space 1200", {{colorSpace, 1200}}, "not 8-bit grey raster", -1},
        // The stream carries 16 bits of copies.
        {"65536 copies", {{copies, 65536}}, "asks for 65536 copies", -1},
        {"2^32 - 1 copies", {{copies, 0xFFFFFFFFu}}, "asks for 4294967295 copies", -1},
    };
    const std::vector<uint8_t> whole = ReadBytes(Raster(std::vector<RasterPage>(2, InchPage(40))));
    const size_t headerAt[2] = {4, ReadBytes(Raster({InchPage(40)}, CUPS_RASTER_WRITE, "one.ras")).size()};
    for (const Case& c : cases) {
        for (int page = 0; page < 2; ++page) {
            SCOPED_TRACE(std::string(c.name) + " on page " + std::to_string(page + 1));
            std::vector<uint8_t> raster = whole;
            for (const Field& f : c.fields)
                std::memcpy(&raster[headerAt[page] + f.offset], &f.value, 4);
            const FilterResult r = RunOn(raster);
            if (c.pagesAfter < 0) {
                ExpectError(r, 1, c.error);
                continue;
            }
            const int printed = page + c.pagesAfter;
            ExpectError(r, printed > 0 ? 0 : 1, c.error);
            if (printed > 0) {
                EXPECT_TRUE(IsWholeJob(r.out, printed));
            }
        }
    }
}

}  // namespace
