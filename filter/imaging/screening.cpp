// Ordered screening of the grey page. A 600-dpi page is some 32 million
// pixels, so the inner loops build every output byte in registers from one
// run of grey bytes and one run of thresholds, with no division per pixel.
//
// The bitmap is one continuous bit stream: pixel x of line y is pixel number
// y * width + x, each taking 1 (or 2) bits, most significant first. When the
// width is a multiple of 8 (4 in two-bit mode), as on every paper the printer
// takes, each line starts on a byte of its own. For other widths a byte may
// hold the end of one line and the start of the next; the decision to invert
// it in negative print (platforms 1 and 2) goes by the column of its last
// pixel, as for any other byte. The bitmap holds (width * lines * bits) / 8
// whole bytes: the pixels of a last, incomplete byte are neither written nor
// counted. Every whole byte is stored outright, so the bitmap's earlier
// content does not matter.
//
// Screening in place (bitmap == grey) lets the page loop keep one page
// buffer: output byte j is stored only once the pixels it is made of (up to
// pixel 8j + 7, or 4j + 3 in two-bit mode) have been read, and every later
// read lies beyond them, so no store ever lands on grey bytes still to be
// read. The grey loads below must therefore never reach past the pixels of
// the byte being built.
#include "imaging/screening.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

using Screen = ScreenMatrix;
constexpr int kMaxGroup = kMaxScreenGroup;

void LoadScreen(Screen& s, const uint8_t* matrix, int period)
{
    s.period = period;
    for (int y = 0; y < period; ++y) {
        const uint8_t* line = matrix + y * period;
        int c = 0;
        for (int i = 0; i < period + kMaxGroup; ++i) {
            s.rows[y][i] = line[c];
            if (++c == period)
                c = 0;
        }
    }
}

enum class Mode {
    Count,          // platforms 1 and 2
    CountNegative,  // platforms 1 and 2, negative print
    OneBit,         // platform 3, one bit per pixel
    TwoBit,         // platform 3, two bits per pixel
};

struct Job {
    const uint8_t* grey;
    uint32_t width;
    uint32_t lines;
    uint8_t* out;
    uint32_t countLimit;
    uint8_t invert;          // OneBit: 0xFF in negative print
    const Screen* screen;
    const uint8_t* levels;   // TwoBit: level by g + T, entry 511 for g == 0
};

constexpr uint64_t kHigh = 0x8080808080808080ULL;

inline uint64_t Load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// High bit of each byte lane set where the lane of g is below that of t.
// (g | 0x80) - (t & 0x7F) cannot borrow across lanes; its high bit tells
// whether the low seven bits of g reach those of t.
inline uint64_t LessLanes(uint64_t g, uint64_t t)
{
    uint64_t d = (g | kHigh) - (t & ~kHigh);
    return ((~g & t) | (~(g ^ t) & ~d)) & kHigh;
}

// Lane i's high bit -> bit 7 - i, so the first pixel lands in the top bit.
// The partial products never overlap, so nothing carries into the result.
inline uint8_t GatherLanes(uint64_t lanes)
{
    return static_cast<uint8_t>(((lanes >> 7) * 0x8040201008040201ULL) >> 56);
}

inline unsigned CountLanes(uint64_t lanes)
{
    return static_cast<unsigned>(((lanes >> 7) * 0x0101010101010101ULL) >> 56);
}

// One-bit byte of the 8 pixels at g against the thresholds at t, and the
// number of toner bits in it.
inline uint8_t ScreenByte(const uint8_t* g, const uint8_t* t, unsigned& bits)
{
    if constexpr (std::endian::native == std::endian::little) {
        uint64_t lanes = LessLanes(Load64(g), Load64(t));
        bits = CountLanes(lanes);
        return GatherLanes(lanes);
    } else {
        unsigned b = 0;
        for (int i = 0; i < 8; ++i)
            b = (b << 1) | (g[i] < t[i]);
        bits = static_cast<unsigned>(std::popcount(b));
        return static_cast<uint8_t>(b);
    }
}

template <Mode M>
struct Screener {
    static constexpr unsigned kBits = M == Mode::TwoBit ? 2 : 1;
    static constexpr uint32_t kGroup = 8 / kBits;

    const Job& job;
    uint8_t* out;
    unsigned acc = 0;
    unsigned pending = 0;       // pixels in acc
    unsigned pendingCount = 0;  // their dots, counted once the byte is out
    uint64_t count = 0;

    explicit Screener(const Job& j) : job(j), out(j.out) {}

    // Pixel at a time: for bytes that straddle lines and for line tails.
    void Pixel(uint8_t g, uint8_t t, uint32_t x)
    {
        if constexpr (M == Mode::TwoBit) {
            acc = (acc << 2) | job.levels[g ? g + t : 511];
        } else {
            unsigned bit = g < t;
            if constexpr (M == Mode::Count)
                pendingCount += bit;
            if constexpr (M == Mode::CountNegative)
                pendingCount += x < job.countLimit ? bit ^ 1 : bit;
            acc = (acc << 1) | bit;
        }
        if (++pending < kGroup)
            return;
        uint8_t b = static_cast<uint8_t>(acc);
        if constexpr (M == Mode::CountNegative)
            if (x < job.countLimit)
                b = static_cast<uint8_t>(~b);
        if constexpr (M == Mode::OneBit)
            b ^= job.invert;
        *out++ = b;
        count += pendingCount;
        acc = 0;
        pending = 0;
        pendingCount = 0;
    }

    // A whole byte whose first pixel is column x.
    void Group(const uint8_t* g, const uint8_t* t, uint32_t x)
    {
        if constexpr (M == Mode::TwoBit) {
            const uint8_t* lv = job.levels;
            unsigned b = lv[g[0] ? g[0] + t[0] : 511] << 6;
            b |= lv[g[1] ? g[1] + t[1] : 511] << 4;
            b |= lv[g[2] ? g[2] + t[2] : 511] << 2;
            b |= lv[g[3] ? g[3] + t[3] : 511];
            *out++ = static_cast<uint8_t>(b);
        } else {
            unsigned bits;
            uint8_t b = ScreenByte(g, t, bits);
            if constexpr (M == Mode::Count) {
                count += bits;
            } else if constexpr (M == Mode::CountNegative) {
                uint32_t limit = job.countLimit;
                if (x + 8 <= limit) {
                    // Inside the raster: white counts, and the byte turns.
                    count += 8 - bits;
                    b = static_cast<uint8_t>(~b);
                } else if (x >= limit) {
                    count += bits;
                } else {
                    // Limit inside the byte: its last pixel lies beyond, so
                    // the byte stays as screened; only the counting splits.
                    unsigned inside = (0xFF00u >> (limit - x)) & 0xFFu;
                    count += static_cast<unsigned>(std::popcount(b ^ inside));
                }
            } else {
                b ^= job.invert;
            }
            *out++ = b;
        }
    }

    void Run()
    {
        const Screen& s = *job.screen;
        const uint32_t width = job.width;
        int ty = 0;
        for (uint32_t y = 0; y < job.lines; ++y) {
            const uint8_t* trow = s.rows[ty];
            if (++ty == s.period)
                ty = 0;
            const uint8_t* g = job.grey + static_cast<std::size_t>(y) * width;
            uint32_t x = 0;
            int tx = 0;
            while (pending != 0 && x < width) {
                Pixel(g[x], trow[tx], x);
                ++x;
                if (++tx == s.period)
                    tx = 0;
            }
            for (; width - x >= kGroup; x += kGroup) {
                Group(g + x, trow + tx, x);
                tx += static_cast<int>(kGroup);
                if (tx >= s.period)
                    tx -= s.period;
            }
            for (; x < width; ++x) {
                Pixel(g[x], trow[tx], x);
                if (++tx == s.period)
                    tx = 0;
            }
        }
        // A last incomplete byte (acc) has no room in the bitmap.
    }
};

template <Mode M>
uint64_t RunScreener(const Job& job)
{
    Screener<M> s(job);
    s.Run();
    return s.count;
}

// Whole bytes of one run, as Run builds them for a line that starts on a
// byte.
template <Mode M>
uint64_t ScreenGroups(const Job& job, const uint8_t* g, uint32_t count, uint32_t y, uint32_t x0)
{
    Screener<M> s(job);
    constexpr uint32_t kGroup = Screener<M>::kGroup;
    const Screen& screen = *job.screen;
    const uint8_t* trow = screen.rows[y % static_cast<uint32_t>(screen.period)];
    int tx = static_cast<int>(x0 % static_cast<uint32_t>(screen.period));
    for (uint32_t i = 0; i + kGroup <= count; i += kGroup) {
        s.Group(g + i, trow + tx, x0 + i);
        tx += static_cast<int>(kGroup);
        if (tx >= screen.period)
            tx -= screen.period;
    }
    return s.count;
}

void LoadMatrix(Screen& screen, int screenMode, int platform)
{
    if (platform == 1 && screenMode != 0)
        LoadScreen(screen, &AltScreen28[0][0], 28);
    else if (platform == 2 && screenMode != 0)
        LoadScreen(screen, &AltScreen16[0][0], 16);
    else
        LoadScreen(screen, &StandardScreen16[0][0], 16);
}

// t = 255 - g - T, at least 0, depends only on g + T (g > 0).
void LoadTwoBitLevels(uint8_t levels[512], int negative)
{
    const uint8_t flip = negative ? 3 : 0;
    for (int sum = 0; sum < 511; ++sum)
        levels[sum] = TwoBitLevels[sum < 255 ? 255 - sum : 0] ^ flip;
    levels[511] = TwoBitLevels[255] ^ flip;
}

}  // namespace

int PreparePageScreen(PageScreen& screen, uint32_t countLimit, int negative, int screenMode,
                      int platform)
{
    if (platform < 1 || platform > 3)
        return 0;
    const bool twoBit = platform == 3 && screenMode == 1;
    screen.bits = twoBit ? 2 : 1;
    screen.countLimit = countLimit;
    screen.invert = platform == 3 && negative ? 0xFF : 0;
    if (platform == 3)
        screen.mode = static_cast<int>(twoBit ? Mode::TwoBit : Mode::OneBit);
    else
        screen.mode = static_cast<int>(negative ? Mode::CountNegative : Mode::Count);
    LoadMatrix(screen.matrix, screenMode, platform);
    if (twoBit)
        LoadTwoBitLevels(screen.levels, negative);
    return 1;
}

uint32_t ScreenRun(const PageScreen& screen, const uint8_t* grey, uint32_t count, uint32_t y,
                   uint32_t x, uint8_t* out)
{
    Job job{grey, count, 1, out, screen.countLimit, screen.invert, &screen.matrix, screen.levels};
    switch (static_cast<Mode>(screen.mode)) {
    case Mode::Count: return static_cast<uint32_t>(ScreenGroups<Mode::Count>(job, grey, count, y, x));
    case Mode::CountNegative:
        return static_cast<uint32_t>(ScreenGroups<Mode::CountNegative>(job, grey, count, y, x));
    case Mode::OneBit: ScreenGroups<Mode::OneBit>(job, grey, count, y, x); return 0;
    case Mode::TwoBit: ScreenGroups<Mode::TwoBit>(job, grey, count, y, x); return 0;
    }
    return 0;
}

int ScreenPage(const uint8_t* grey, uint32_t width, uint32_t lines, uint8_t* bitmap,
               uint32_t countLimit, int negative, int screenMode, int platform, uint32_t* dots)
{
    if (grey == nullptr || bitmap == nullptr || platform < 1 || platform > 3)
        return 0;
    const bool twoBit = platform == 3 && screenMode == 1;
    // A page too large to address cannot be in memory; refuse it.
    if (lines != 0 && width > SIZE_MAX / (twoBit ? 2u : 1u) / lines)
        return 0;

    Screen screen;
    LoadMatrix(screen, screenMode, platform);

    Job job{grey, width, lines, bitmap, countLimit, 0, &screen, nullptr};
    if (platform == 3) {
        if (twoBit) {
            uint8_t levels[512];
            LoadTwoBitLevels(levels, negative);
            job.levels = levels;
            RunScreener<Mode::TwoBit>(job);
        } else {
            job.invert = negative ? 0xFF : 0;
            RunScreener<Mode::OneBit>(job);
        }
        return 1;
    }
    uint64_t counted = negative ? RunScreener<Mode::CountNegative>(job) : RunScreener<Mode::Count>(job);
    if (dots != nullptr)
        *dots += static_cast<uint32_t>(counted);
    return 1;
}
