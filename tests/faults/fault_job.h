// What every fault test asks of the filter: it ends by itself with the
// status its rules give, says what went wrong on an "ERROR:" line, leaves no
// spool file behind, and what it did write is a printer stream.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/filter_process.h"
#include "support/raster_job.h"

// A page of one square inch whose raster is `lines` lines of 64 pixels, dark
// on every other line (so that compressed raster does not fold the lines).
RasterPage InchPage(unsigned lines = 40);
// A full page of one square inch of noise, which JBIG cannot shrink much.
RasterPage NoisyInchPage();

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// A complete printer job of `pages` pages (-1: any number).
::testing::AssertionResult IsWholeJob(const std::vector<uint8_t>& out, int pages = -1);
// Nothing, a complete job, or one that stops between two of its pieces.
::testing::AssertionResult IsJobSoFar(const std::vector<uint8_t>& out);

class FaultTest : public ::testing::Test {
protected:
    // A job on the given raster file (standard input when empty), with the
    // spool directory as TMPDIR.
    FilterRun Job(const std::string& options, const std::string& raster, const TestPpd& ppd = TestPpd());
    std::string Raster(const std::vector<RasterPage>& pages, cups_mode_t mode = CUPS_RASTER_WRITE,
                       const std::string& name = "job.ras");
    // Ended by itself with this status, leaving the spool directory empty.
    void ExpectEnded(const FilterResult& r, int status);
    // As above, with an "ERROR:" line that contains `about`.
    void ExpectError(const FilterResult& r, int status, const std::string& about);

    TempDir work_;
    TempDir spool_;
};
