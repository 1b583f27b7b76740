// Document start and end of the three platforms, byte for byte, and what a
// failed piece leaves behind.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/utsname.h>

#include "stream/doc_framing.h"
#include "stream/framing_test_util.h"

namespace {

const Bytes kUel = {0x1B, 0x25, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58};
const Bytes kUelC = {0x1B, 0xFF, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58};
const Bytes kPjlHeader = Text("\x1b%-12345X@PJL\r\n");
const Bytes kEndOfJob = Text("\x1b%-12345X@PJL\r\n@PJL EOJ\r\n\x1b%-12345X\r\n");
const Bytes kEnterLanguage = Text("@PJL ENTER LANGUAGE=PL\r\n");
const Bytes kTonerBlock = HexBytes(
    "00 00 00 58 00 00 00 11 00 00 00 00 00 00 5A 5A"
    "00 00 00 51 00 73 00 6E 00 96 00 7A 00 64 00 96"
    "00 C8 00 64 00 51 00 64 00 64 00 64 00 64 00 64"
    "00 64 00 64 00 64 00 64 00 64 00 64 00 64 00 64"
    "00 78 00 87 00 96 00 B4 00 C8 00 78 00 96 00 BE"
    "01 5E 01 90 00 64 00 64");
const Bytes kTonerR01 = HexBytes(
    "0B 24 1E 00 1E 24 26 2F 50 06 20 20 20 28 2C 20 20 20 20 20 20 20 20 20"
    "20 20 20 20 20 20 20 20 20 0A 00 C8");
const Bytes kTonerR02 = HexBytes(
    "0B 28 1E 00 17 26 00 30 40 20 17 20 20 00 00 20 20 20 20 20 20 20 20 20"
    "20 20 20 20 20 20 20 20 08 0A 00 00 00 00 00 59");

// Where the document start of the tests takes its time, host name and
// model from (null: the system's clock and name).
std::time_t (*docClock)(std::time_t* now) = nullptr;
int (*docHostName)(char* name, std::size_t size) = nullptr;
char modelName[1024];

std::string fakeHost = "abc";
std::time_t fakeNow = 0;

std::time_t FakeClock(std::time_t* now)
{
    if (now)
        *now = fakeNow;
    return fakeNow;
}

// Behaves like the C library: a name longer than the buffer comes back cut
// and reported as ENAMETOOLONG.
int FakeHostName(char* name, std::size_t size)
{
    std::strncpy(name, fakeHost.c_str(), size);
    if (fakeHost.size() >= size) {
        errno = ENAMETOOLONG;
        return -1;
    }
    return 0;
}

// 14:05 on 7 December 2026, local time.
std::time_t WorkedExampleTime()
{
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

DocStartInfo Job42(uint8_t platformBits = 0x10)
{
    DocStartInfo info{};
    info.modelName = modelName;
    info.clock = docClock;
    info.hostName = docHostName;
    info.jobId = 42;
    info.platformBits = platformBits;
    info.density = 2;
    return info;
}

class DocFraming : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestSink();
        modelName[0] = '\0';
        savedClock_ = docClock;
        savedHost_ = docHostName;
        fakeNow = WorkedExampleTime();
        fakeHost = "abc";
        docClock = FakeClock;
        docHostName = FakeHostName;
    }
    void TearDown() override
    {
        docClock = savedClock_;
        docHostName = savedHost_;
    }
    void SetModel(const char* name) { std::snprintf(modelName, sizeof modelName, "%s", name); }

    std::time_t (*savedClock_)(std::time_t*) = nullptr;
    int (*savedHost_)(char*, std::size_t) = nullptr;
};

// The pieces of the platform-2 start for the worked example, in order.
std::vector<Piece> StartP2Pieces(const Bytes& tonerTail, bool versionLine)
{
    const char* timeFail = "Prnt_StartDoc() :: send pjlSendTime Fail 0 ==  \n";
    const char* hostFail = "Prnt_StartDoc() :: send pjlHostName Fail 0 ==  \n";
    std::vector<Piece> p = {{kPjlHeader, "Prnt_StartDoc() :: send PJLheader Fail 0 ==  \n"}};
    if (versionLine)
        p.push_back({Text("@PJL LANGUAGEVERSION=1.0\r\n"),
                     "Prnt_StartDoc() :: send pjlVersion Fail 0 ==  \n"});
    std::vector<Piece> rest = {
        {Text("@PJL JOBTIME="), timeFail},
        {Text("05:14:07:12:2026\r\n"), timeFail},
        {Text("@PJL JOBOWNER="), hostFail},
        {Text("abc"), hostFail},
        {Text("\r\n"), hostFail},
        {kEnterLanguage, "Prnt_StartDoc() :: send pjlPosCmd Fail 0 ==  \n"},
        Zeros(),
        {HexBytes("0B 09 11 10 2A 00 00 00 A1"), "Prnt_StartDoc() :: send cmdJobSpec Fail 0 ==  \n"},
        Zeros(),
        {HexBytes("0B 05 15 02 D9"), "Prnt_StartDoc() :: send cmdDensity Fail 0 ==  \n"},
        Zeros(),
    };
    p.insert(p.end(), rest.begin(), rest.end());
    if (!tonerTail.empty())
        p.push_back({tonerTail, "Prnt_StartDoc() :: send cmdTonerParamR01 Fail 0 ==  \n"});
    return p;
}

std::vector<Piece> StartP1Pieces()
{
    return {
        {kUelC, "Prnt_StartDoc() :: send UEL_CMD_C Fail 0 ==  \n"},
        {HexBytes("0B 04 16 DB"), "Prnt_StartDoc() :: send abortCmd Fail 0 ==  \n"},
        {kEndOfJob, "Prnt_StartDoc() :: send endOfJobCmd Fail 0 ==  \n"},
        {Text("versions=3.1.2.1"), "Prnt_StartDoc() :: send fw Version Fail 0 ==  \n"},
        Zeros(),
        {kPjlHeader, "Prnt_StartDoc() :: send PJLheader Fail 0 ==  \n"},
        {kEnterLanguage, "Prnt_StartDoc() :: send pjlCmd Fail 0 ==  \n"},
        Zeros(),
        {HexBytes("0B 06 11 2A 10 A4"), "Prnt_StartDoc() :: send cmdJobSpec Fail 0 ==  \n"},
        Zeros(),
        {HexBytes("0B 05 19 00 D7"), "Prnt_StartDoc() :: send cmdTonerSave Fail 0 ==  \n"},
        Zeros(),
        {HexBytes("0B 05 15 02 D9"), "Prnt_StartDoc() :: send cmdDensity Fail 0 ==  \n"},
        {HexBytes("0B 08 1F EA 07 0C 07 CA"), "Prnt_StartDoc() :: send cmdSysTime Fail 0 ==  \n"},
    };
}

std::vector<Piece> StartP3Pieces()
{
    const char* paramFail = "Prnt_StartDoc() :: send TOTAL_PAGE_PARAM Fail 0 ==  \n";
    return {
        {kUel, "Prnt_StartDoc() :: send UEL_CMD Fail 0 ==  \n"},
        {Text("JZJZ"), "Prnt_StartDoc() :: send pjlJZJZ_R90 Fail 0 ==  \n"},
        {kTonerBlock, "Prnt_StartDoc() :: send TONER_PARAM Fail 0 ==  \n"},
        {HexBytes("00 00 00 34 00 00 00 00 00 00 00 03 00 24 5A 5A"),
         "Prnt_StartDoc() :: send START_DOC_CMD Fail 0 ==  \n"},
        {HexBytes("00 00 00 0C 00 00 01 00 00 00 00 00"), paramFail},
        {HexBytes("00 00 00 0C 00 01 01 00 00 00 00 00"), paramFail},
        {HexBytes("00 00 00 0C 00 02 01 00 00 00 00 01"), paramFail},
    };
}

TEST_F(DocFraming, JobTimeHasMinutesBeforeHours)
{
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_hour = 14;
    t.tm_min = 5;
    char text[kJobTimeBufSize];
    EXPECT_EQ(FormatJobTime(t, text, sizeof text), 18);
    EXPECT_STREQ(text, "05:14:07:12:2026\r\n");
    // A buffer too small is cut, never overrun.
    char small[8];
    EXPECT_EQ(FormatJobTime(t, small, sizeof small), 7);
    EXPECT_STREQ(small, "05:14:0");
}

TEST_F(DocFraming, HostNameIsCutTo32CharactersAndTerminated)
{
    char host[kHostNameSize + 1];
    fakeHost = std::string(40, 'h');
    ReadHostName(host, docHostName);
    EXPECT_EQ(std::string(host), std::string(32, 'h'));

    fakeHost = "printhost";
    ReadHostName(host, docHostName);
    EXPECT_STREQ(host, "printhost");

    docHostName = [](char*, std::size_t) {
        errno = EFAULT;
        return -1;
    };
    ReadHostName(host, docHostName);
    EXPECT_STREQ(host, "");

    docHostName = savedHost_;
    ReadHostName(host, docHostName);
    utsname u{};
    ASSERT_EQ(uname(&u), 0);
    EXPECT_EQ(std::string(host), std::string(u.nodename).substr(0, 32));
}

TEST_F(DocFraming, Platform3StartIsThe153FixedBytes)
{
    Captured c = Capture([] { return Prnt_StartDoc(TestSink(), Job42(0), 3); });
    EXPECT_EQ(c.result, 1);
    ASSERT_EQ(c.out.size(), 153u);
    EXPECT_EQ(ToHex(c.out), ToHex(Joined(StartP3Pieces())));
    EXPECT_EQ(ToHex(Bytes(c.out.begin(), c.out.begin() + 21)),
              "1B 25 2D 31 32 33 34 35 58 4A 5A 4A 5A 00 00 00 58 00 00 00 11");
    EXPECT_EQ(std::string(c.out.begin(), c.out.end()).find("@PJL"), std::string::npos);
    EXPECT_EQ(ErrText(), "");
}

TEST_F(DocFraming, Platform2StartForModelR01MatchesTheWorkedExample)
{
    SetModel("Norvane R01 Series");
    Captured c = Capture([] { return Prnt_StartDoc(TestSink(), Job42(), 2); });
    EXPECT_EQ(c.result, 1);
    EXPECT_EQ(ToHex(c.out), ToHex(Joined(StartP2Pieces(kTonerR01, true))));
    EXPECT_EQ(ErrText(), "");
}

TEST_F(DocFraming, Platform2StartForModelR02HasTheLongTonerPacketOnly)
{
    SetModel("Norvane R02 Series");
    Captured c = Capture([] { return Prnt_StartDoc(TestSink(), Job42(), 2); });
    EXPECT_EQ(c.result, 1);
    EXPECT_EQ(ToHex(c.out), ToHex(Joined(StartP2Pieces(kTonerR02, false))));
}

TEST_F(DocFraming, Platform2ModelExtrasNeedTheExactName)
{
    for (const char* model : {"Norvane R05 Series", "Norvane R01 Series ", "norvane r01 series",
                              "Norvane R02", ""}) {
        SCOPED_TRACE(model);
        SetModel(model);
        Captured c = Capture([] { return Prnt_StartDoc(TestSink(), Job42(), 2); });
        EXPECT_EQ(c.result, 1);
        EXPECT_EQ(ToHex(c.out), ToHex(Joined(StartP2Pieces({}, false))));
    }
}

// With the real clock and host name, the pieces computed here must match.
TEST_F(DocFraming, Platform2StartUsesThisHostAndTheTimeNow)
{
    docClock = savedClock_;
    docHostName = savedHost_;
    SetModel("Norvane R05 Series");
    char host[kHostNameSize + 1];
    ReadHostName(host, docHostName);
    auto expected = [&](std::time_t when) {
        std::tm local{};
        localtime_r(&when, &local);
        char jobTime[kJobTimeBufSize];
        FormatJobTime(local, jobTime, sizeof jobTime);
        return Cat({kPjlHeader, Text("@PJL JOBTIME="), Text(jobTime), Text("@PJL JOBOWNER="), Text(host),
                    Text("\r\n"), kEnterLanguage, HexBytes("00 00 0B 09 11 30 07 01 00 00 A3"),
                    HexBytes("00 00 0B 05 15 04 D7 00 00")});
    };
    DocStartInfo info{};
    info.jobId = 263;
    info.duplexBits = 0x20;
    info.platformBits = 0x10;
    info.density = 4;
    const std::time_t before = std::time(nullptr);
    Captured c = Capture([&] { return Prnt_StartDoc(TestSink(), info, 2); });
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(c.result, 1);
    if (c.out != expected(before)) {
        EXPECT_EQ(ToHex(c.out), ToHex(expected(after)));
    }
}

TEST_F(DocFraming, Platform1StartMatchesTheWorkedExample)
{
    Captured c = Capture([] { return Prnt_StartDoc(TestSink(), Job42(), 1); });
    EXPECT_EQ(c.result, 1);
    EXPECT_EQ(ToHex(c.out), ToHex(Joined(StartP1Pieces())));
    EXPECT_EQ(ErrText(), "");
}

TEST_F(DocFraming, EndOfDocumentPerPlatform)
{
    auto end = [](int pageCount, int duplex, int platform) {
        return Capture([=] { return Prnt_EndDoc(TestSink(), DocEndInfo{pageCount, duplex}, platform); });
    };
    const Bytes tail = Cat({HexBytes("00 00 0B 05 31 80 3F 00 00 0B 04 17 DA 00 00"), kEndOfJob});

    Captured odd = end(3, 1, 1);  // the last sheet still has to be turned out
    EXPECT_EQ(odd.result, 1);
    EXPECT_EQ(ToHex(odd.out), ToHex(Cat({HexBytes("00 00 0B 04 40 B1"), tail})));
    Captured even = end(4, 1, 1);
    EXPECT_EQ(even.result, 1);
    EXPECT_EQ(ToHex(even.out), ToHex(tail));
    Captured simplex = end(3, 0, 1);
    EXPECT_EQ(ToHex(simplex.out), ToHex(tail));

    Captured p2 = end(3, 1, 2);
    EXPECT_EQ(p2.result, 1);
    EXPECT_EQ(ToHex(p2.out), ToHex(Cat({HexBytes("0B 04 17 DA 00 00"), kEndOfJob})));

    Captured p3 = end(3, 1, 3);
    EXPECT_EQ(p3.result, 1);
    EXPECT_EQ(ToHex(p3.out), ToHex(Cat({HexBytes("00 00 00 10 00 00 00 01 00 00 00 00 00 00 5A 5A"), kUel})));
    EXPECT_EQ(ErrText(), "");
}

TEST_F(DocFraming, UnknownPlatformWritesNothing)
{
    for (int platform : {0, 4, -1}) {
        Captured s = Capture([=] { return Prnt_StartDoc(TestSink(), Job42(), platform); });
        Captured e = Capture([=] { return Prnt_EndDoc(TestSink(), DocEndInfo{3, 1}, platform); });
        EXPECT_EQ(s.result, 0);
        EXPECT_EQ(e.result, 0);
        EXPECT_TRUE(s.out.empty());
        EXPECT_TRUE(e.out.empty());
        EXPECT_EQ(ErrText(), "");
    }
}

TEST_F(DocFraming, EachFailedStartPieceStopsTheRoutineWithItsText)
{
    {
        SCOPED_TRACE("platform 3");
        ExpectEachPieceFails(StartP3Pieces(), [] { return Prnt_StartDoc(TestSink(), Job42(0), 3); });
    }
    {
        SCOPED_TRACE("platform 2, R01");
        SetModel("Norvane R01 Series");
        ExpectEachPieceFails(StartP2Pieces(kTonerR01, true), [] { return Prnt_StartDoc(TestSink(), Job42(), 2); });
    }
    {
        SCOPED_TRACE("platform 2, R02");
        SetModel("Norvane R02 Series");
        ExpectEachPieceFails(StartP2Pieces(kTonerR02, false), [] { return Prnt_StartDoc(TestSink(), Job42(), 2); });
    }
    {
        SCOPED_TRACE("platform 1");
        ExpectEachPieceFails(StartP1Pieces(), [] { return Prnt_StartDoc(TestSink(), Job42(), 1); });
    }
}

TEST_F(DocFraming, EachFailedEndPieceStopsTheRoutineWithItsText)
{
    const char* duplexFail =
        "Prnt_EndDoc() :: MachineDuplexCmd Fail .\n"
        "SendMachineDuplexCmd() :: send machineDuplexCmd Fail 0 ==  \n";
    const std::vector<Piece> p2 = {
        {HexBytes("0B 04 17 DA"), "Prnt_EndDoc() :: send resetCmd Fail 0 ==  \n"},
        Zeros(),
        {kEndOfJob, "Prnt_EndDoc() :: send endOfJobCmd Fail 0 ==  \n"},
    };
    std::vector<Piece> p1 = {
        Zeros(),
        {HexBytes("0B 04 40 B1"), duplexFail},
        Zeros(),
        {HexBytes("0B 05 31 80 3F"), "Prnt_EndDoc() :: send queryStatusCmd Fail 0 ==  \n"},
        Zeros(),
    };
    p1.insert(p1.end(), p2.begin(), p2.end());
    const std::vector<Piece> p3 = {
        {HexBytes("00 00 00 10 00 00 00 01 00 00 00 00 00 00 5A 5A"),
         "Prnt_EndDoc() :: send END_DOC_CMD Fail 0 ==  \n"},
        {kUel, "Prnt_EndDoc() :: send UEL_CMD_C Fail 0 ==  \n"},
    };
    ExpectEachPieceFails(p1, [] { return Prnt_EndDoc(TestSink(), DocEndInfo{5, 1}, 1); });
    ExpectEachPieceFails(p2, [] { return Prnt_EndDoc(TestSink(), DocEndInfo{5, 1}, 2); });
    ExpectEachPieceFails(p3, [] { return Prnt_EndDoc(TestSink(), DocEndInfo{5, 1}, 3); });
}

TEST_F(DocFraming, EmptyHostNameFailsTheOwnerLine)
{
    fakeHost = "";
    SetModel("Norvane R01 Series");
    Captured c = Capture([] { return Prnt_StartDoc(TestSink(), Job42(), 2); });
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(ErrText(), "Prnt_StartDoc() :: send pjlHostName Fail 0 ==  \n");
    const std::string out(c.out.begin(), c.out.end());
    EXPECT_EQ(out.size() - out.rfind("@PJL JOBOWNER="), std::strlen("@PJL JOBOWNER="));
}

TEST_F(DocFraming, LaterFailuresStandInFrontOfEarlierOnes)
{
    SetErrMsg(TestSink(), "main() :: Start page Fail ! \n");
    {
        StdoutCapture cap;
        WriteFaultAt fault(0, false);
        EXPECT_EQ(Prnt_StartDoc(TestSink(), Job42(0), 3), 0);
        EXPECT_EQ(Prnt_EndDoc(TestSink(), DocEndInfo{1, 0}, 2), 0);
    }
    EXPECT_EQ(ErrText(),
              "Prnt_EndDoc() :: send resetCmd Fail 0 ==  \n"
              "Prnt_StartDoc() :: send UEL_CMD Fail 0 ==  \n"
              "main() :: Start page Fail ! \n");
}

}  // namespace
