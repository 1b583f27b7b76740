// The output sink: where each send goes for every routing situation of a
// job, what counts as a failure, and even-page bookkeeping.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include "support/test_sink.h"
#include "stream/output_sink.h"
#include "support/filter_process.h"
#include "support/stdout_capture.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A spool file in a private directory.
class Spool {
public:
    Spool(const TempDir& dir, const std::string& name)
    {
        fd_ = open(dir.File(name).c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    }
    ~Spool() { close(fd_); }
    int fd() const { return fd_; }
    std::string Contents() const
    {
        std::string s(static_cast<size_t>(lseek(fd_, 0, SEEK_END)), '\0');
        if (!s.empty() && pread(fd_, s.data(), s.size(), 0) != static_cast<ssize_t>(s.size()))
            s = "<unreadable>";
        return s;
    }

private:
    int fd_;
};


std::string Out(StdoutCapture& cap)
{
    Bytes b = cap.Bytes();
    return std::string(b.begin(), b.end());
}

int Send(const std::string& s, int mark)
{
    return SendDataToFile(TestSink(), s.data(), static_cast<int>(s.size()), mark);
}

class OutputSink : public ::testing::Test {
protected:
    void SetUp() override { ResetTestSink(); }
    void TearDown() override { ResetTestSink(); }
    TempDir dir_;
};

TEST_F(OutputSink, PlainJobAndCollatedCopies)
{
    {
        StdoutCapture cap;
        EXPECT_EQ(Send("page", 1), 1);
        EXPECT_EQ(Send("doc", 0), 1);
        EXPECT_EQ(Out(cap), "pagedoc");
    }
    Spool collate(dir_, "collate");
    TestSink().copySpoolFd = collate.fd();
    RouteSpooledPage(TestSink(), 2);
    StdoutCapture cap;
    EXPECT_EQ(Send("page2", 1), 1);
    EXPECT_EQ(Send("replay", 0), 1);
    EXPECT_EQ(Out(cap), "page2replay");
    EXPECT_EQ(collate.Contents(), "page2");
    EXPECT_EQ(TestSink().evenPageLen[0], 0);
}

TEST_F(OutputSink, ManualDuplexSplitsPagesByParity)
{
    Spool odd(dir_, "odd"), even(dir_, "even");
    TestSink().oddSpoolFd = odd.fd();
    TestSink().evenSpoolFd = even.fd();
    StdoutCapture cap;

    RouteSpooledPage(TestSink(), 3);
    TestSink().toPrinter = 1;
    EXPECT_EQ(Send("p3a", 1), 1);
    EXPECT_EQ(Send("p3b", 1), 1);

    RouteSpooledPage(TestSink(), 4);
    TestSink().toPrinter = 0;
    EXPECT_EQ(Send("p4-12345", 1), 1);
    EXPECT_EQ(Send("p4-6789", 1), 1);
    // Bytes for standard output only have nowhere to go on an even page.
    EXPECT_EQ(Send("lost", 0), 0);

    RouteSpooledPage(TestSink(), 2);
    EXPECT_EQ(Send("p2", 1), 1);

    // Replay: standard output only, nothing counted or spooled again.
    RouteSpooledPage(TestSink(), 5);
    TestSink().toPrinter = 1;
    EXPECT_EQ(Send("replay", 0), 1);
    RouteSpooledPage(TestSink(), 4);
    EXPECT_EQ(Send("replay4", 0), 1);

    EXPECT_EQ(Out(cap), "p3ap3breplayreplay4");
    EXPECT_EQ(odd.Contents(), "p3ap3b");
    EXPECT_EQ(even.Contents(), "p4-12345p4-6789p2");
    EXPECT_EQ(TestSink().evenPageLen[1], 15);
    EXPECT_EQ(TestSink().evenPageLen[0], 2);
    EXPECT_EQ(TestSink().evenPageLen[2], 0);
}

TEST_F(OutputSink, SendsThatCannotSucceed)
{
    Spool collate(dir_, "collate"), even(dir_, "even");
    TestSink().copySpoolFd = collate.fd();
    TestSink().evenSpoolFd = even.fd();
    RouteSpooledPage(TestSink(), 2);
    StdoutCapture cap;

    // Zero bytes transfer nothing, wherever they go.
    EXPECT_EQ(SendDataToFile(TestSink(), "x", 0, 1), 0);
    EXPECT_EQ(SendDataToFile(TestSink(), "x", -5, 1), 0);

    SetErrMsg(TestSink(), "Prnt_StartPage() :: send cmdPageSpec Fail 0 ==  \n");
    EXPECT_EQ(SendDataToFile(TestSink(), nullptr, 4, 1), 0);
    EXPECT_STREQ(TestSink().errMsg, "SendDataToFile() :: NULL == pData");

    TestSink().toPrinter = 0;
    EXPECT_EQ(Send("abc", 0), 0);
    TestSink().toPrinter = 2;  // only 1 means standard output
    EXPECT_EQ(Send("abc", 0), 0);

    EXPECT_EQ(Out(cap), "");
    EXPECT_EQ(collate.Contents(), "");
    EXPECT_EQ(even.Contents(), "");
    EXPECT_EQ(TestSink().evenPageLen[0], 0);
}

// One failed write fails the send, even when a later write of the same
// send succeeds: the caller must not think the printer got the bytes.
TEST_F(OutputSink, AnyFailedWriteFailsTheSend)
{
    Spool collate(dir_, "collate"), odd(dir_, "odd"), even(dir_, "even");
    const int full = open("/dev/full", O_WRONLY);
    const int readOnly = open("/dev/null", O_RDONLY);
    ASSERT_GE(full, 0);
    ASSERT_GE(readOnly, 0);
    {
        StdoutTo to(full);
        TestSink().copySpoolFd = collate.fd();
        RouteSpooledPage(TestSink(), 1);
        EXPECT_EQ(Send("abc", 1), 0);
        EXPECT_EQ(collate.Contents(), "abc");
    }
    {
        StdoutCapture cap;
        TestSink().copySpoolFd = readOnly;
        TestSink().oddSpoolFd = odd.fd();
        RouteSpooledPage(TestSink(), 3);
        EXPECT_EQ(Send("def", 1), 0);
        EXPECT_EQ(Out(cap), "def");
        EXPECT_EQ(odd.Contents(), "def");
    }
    {
        StdoutCapture cap;
        TestSink().copySpoolFd = collate.fd();
        TestSink().oddSpoolFd = readOnly;
        EXPECT_EQ(Send("ghi", 1), 0);
        EXPECT_EQ(collate.Contents(), "abcghi");

        // The even page still counts what it tried to spool, so that a
        // replay stays in step with the file.
        RouteSpooledPage(TestSink(), 2);
        TestSink().evenSpoolFd = readOnly;
        TestSink().toPrinter = 0;
        EXPECT_EQ(Send("jkl", 1), 0);
        EXPECT_EQ(TestSink().evenPageLen[0], 3);
        EXPECT_EQ(Out(cap), "ghi");
    }
    close(full);
    close(readOnly);
}

TEST_F(OutputSink, WritesEverythingWhenDescriptorsTakePartialWrites)
{
    // Non-blocking pipes accept a part of a large write and then refuse
    // until the reader has caught up.
    int outPipe[2], spoolPipe[2];
    ASSERT_EQ(pipe(outPipe), 0);
    ASSERT_EQ(pipe(spoolPipe), 0);
    for (int fd : {outPipe[1], spoolPipe[1]})
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);

    std::string data(300000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + i / 251);

    auto drain = [](int fd, std::string* into) {
        char buf[700];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0)
            into->append(buf, static_cast<size_t>(n));
    };
    std::string gotOut, gotSpool;
    std::thread outReader(drain, outPipe[0], &gotOut);
    std::thread spoolReader(drain, spoolPipe[0], &gotSpool);
    int result;
    {
        StdoutTo to(outPipe[1]);
        TestSink().copySpoolFd = spoolPipe[1];
        RouteSpooledPage(TestSink(), 1);
        result = Send(data, 1);
        TestSink().copySpoolFd = -1;
    }
    close(outPipe[1]);
    close(spoolPipe[1]);
    outReader.join();
    spoolReader.join();
    close(outPipe[0]);
    close(spoolPipe[0]);

    EXPECT_EQ(result, 1);
    EXPECT_TRUE(gotOut == data) << gotOut.size() << " of " << data.size() << " bytes on standard output";
    EXPECT_TRUE(gotSpool == data) << gotSpool.size() << " of " << data.size() << " bytes in the spool";
}

TEST_F(OutputSink, EvenPageCountsGrowPast2048Pages)
{
    Spool even(dir_, "even");
    TestSink().evenSpoolFd = even.fd();
    TestSink().toPrinter = 0;
    RouteSpooledPage(TestSink(), 2050);
    EXPECT_EQ(Send("abc", 1), 1);
    RouteSpooledPage(TestSink(), 4100);
    EXPECT_EQ(Send("defgh", 1), 1);
    ASSERT_GE(TestSink().evenPageLen.size(), 2050u);
    EXPECT_EQ(TestSink().evenPageLen[1024], 3);
    EXPECT_EQ(TestSink().evenPageLen[2049], 5);
    EXPECT_EQ(TestSink().evenPageLen[1023], 0);
    EXPECT_EQ(even.Contents(), "abcdefgh");
}

TEST_F(OutputSink, KeepsTheKeepAliveQuietAfterEverySend)
{
    StdoutCapture cap;
    outputBusy = 0;
    EXPECT_EQ(Send("a", 1), 1);
    EXPECT_EQ(outputBusy, 1);
    outputBusy = 0;
    EXPECT_EQ(SendDataToFile(TestSink(), nullptr, 1, 1), 0);
    EXPECT_EQ(outputBusy, 1);
}

TEST_F(OutputSink, Insert00SpoolsItsZerosAndReportsFailure)
{
    Spool collate(dir_, "collate");
    TestSink().copySpoolFd = collate.fd();
    RouteSpooledPage(TestSink(), 1);
    {
        StdoutCapture cap;
        EXPECT_EQ(Insert00(TestSink()), 1);
        EXPECT_EQ(ToHex(cap.Bytes()), "00 00");
        EXPECT_EQ(collate.Contents(), std::string(2, '\0'));
    }
    const int full = open("/dev/full", O_WRONLY);
    SetErrMsg(TestSink(), "main() :: Send page Fail!\n");
    {
        StdoutTo to(full);
        EXPECT_EQ(Insert00(TestSink()), 0);
    }
    close(full);
    EXPECT_STREQ(TestSink().errMsg, "Insert00() :: Send 00 00 to file Fail0 ==  \nmain() :: Send page Fail!\n");
}

}  // namespace
