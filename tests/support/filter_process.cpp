#include "support/filter_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace {

// The number /proc/PID/syscall shows for read() or write(). Under an
// emulator (qemu-user) it is the machine's, not the one this program was
// built with, so it is read off a thread of ours blocked in that call.
long ShownCallNumber(bool write)
{
    static long shown[2] = {-1, -1};
    long& number = shown[write];
    int p[2];
    if (number >= 0 || pipe(p) != 0)
        return number >= 0 ? number : write ? SYS_write : SYS_read;
    char buffer[4096] = {};
    if (write) {  // a full pipe, so that the next write blocks
        fcntl(p[1], F_SETFL, O_NONBLOCK);
        while (::write(p[1], buffer, sizeof buffer) > 0) {
        }
        fcntl(p[1], F_SETFL, 0);
    }
    const int fd = write ? p[1] : p[0];
    std::atomic<long> tid{0};
    std::thread caller([&] {
        tid = syscall(SYS_gettid);
        (void)!(write ? ::write(fd, buffer, sizeof buffer) : ::read(fd, buffer, 1));
    });
    char expected[32];
    std::snprintf(expected, sizeof expected, "0x%x", fd);
    for (int tries = 0; tries < 5000 && number < 0; ++tries) {
        std::ifstream in("/proc/self/task/" + std::to_string(tid.load()) + "/syscall");
        long n = -1;
        std::string first;
        if (tid != 0 && in >> n >> first && first == expected)
            number = n;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Room for the blocked write, or a byte for the blocked read.
    (void)!(write ? ::read(p[0], buffer, sizeof buffer) : ::write(p[1], buffer, 1));
    caller.join();
    close(p[0]);
    close(p[1]);
    if (number < 0)
        number = write ? SYS_write : SYS_read;
    return number;
}

// In the child: the three descriptors become the filter's standard streams.
[[noreturn]] void ExecFilter(const FilterRun& run, int in, int out, int err)
{
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (run.stdoutClosed)
        close(1);
    // The filter starts as the scheduler starts it, whatever the test
    // process does with its signals.
    signal(SIGPIPE, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (run.addressSpaceLimit != 0) {
        rlimit limit{run.addressSpaceLimit, run.addressSpaceLimit};
        setrlimit(RLIMIT_AS, &limit);
    }
    if (run.fileSizeLimit != 0) {
        rlimit limit{run.fileSizeLimit, run.fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    for (const auto& [name, value] : run.env) {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(RASTERFILTER_PATH));
    for (const std::string& a : run.args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(RASTERFILTER_PATH, argv.data());
    _exit(127);
}

void SetStatus(FilterResult& result, int status)
{
    if (WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.termSignal = WTERMSIG(status);
}

// Reads what is available on fd into the result; closes fd at its end.
void Drain(int& fd, FilterResult& result, bool isOut)
{
    char buf[65536];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        close(fd);
        fd = -1;
    } else if (isOut) {
        result.out.insert(result.out.end(), buf, buf + n);
    } else {
        result.err.append(buf, static_cast<size_t>(n));
    }
}

}  // namespace

FilterResult RunFilterProcess(const FilterRun& run)
{
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
        throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        int in = open(run.stdinPath.empty() ? "/dev/null" : run.stdinPath.c_str(), O_RDONLY);
        int out = run.stdoutPath.empty() ? outPipe[1] : open(run.stdoutPath.c_str(), O_WRONLY);
        if (in < 0 || out < 0)
            _exit(127);
        close(outPipe[0]);
        close(errPipe[0]);
        ExecFilter(run, in, out, errPipe[1]);
    }
    close(outPipe[1]);
    close(errPipe[1]);

    FilterResult result;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(run.timeoutSeconds);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    char buf[65536];
    bool killed = false;
    while (open > 0) {
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        deadline - std::chrono::steady_clock::now())
                                        .count());
        if (left <= 0 && !killed) {
            kill(pid, SIGKILL);
            killed = true;
        }
        if (poll(fds, 2, left > 0 ? left : 1000) < 0)
            continue;
        for (pollfd& p : fds) {
            if (p.fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            ssize_t n = read(p.fd, buf, sizeof buf);
            if (n <= 0) {
                close(p.fd);
                p.fd = -1;
                --open;
            } else if (p.fd == outPipe[0]) {
                result.out.insert(result.out.end(), buf, buf + n);
            } else {
                result.err.append(buf, static_cast<size_t>(n));
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    SetStatus(result, status);
    return result;
}

// ---- LiveFilter ----

namespace {

struct sigaction savedPipeAction;
int liveFilters = 0;

long long NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

LiveFilter::LiveFilter(const FilterRun& run) : timeoutSeconds_(run.timeoutSeconds)
{
    // Feeding a filter that has ended must not kill the test.
    if (liveFilters++ == 0) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &savedPipeAction);
    }
    int inPipe[2], outPipe[2], errPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) != 0 || pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0)
        ExecFilter(run, inPipe[0], outPipe[1], errPipe[1]);
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    in_ = inPipe[1];
    out_ = outPipe[0];
    err_ = errPipe[0];
    fcntl(in_, F_SETFL, fcntl(in_, F_GETFL) | O_NONBLOCK);
}

LiveFilter::~LiveFilter()
{
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    for (int fd : {in_, out_, err_})
        if (fd >= 0)
            close(fd);
    if (--liveFilters == 0)
        sigaction(SIGPIPE, &savedPipeAction, nullptr);
}

void LiveFilter::Pump(int timeoutMs)
{
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0)
        return;
    if (out_ >= 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
        Drain(out_, result_, true);
    if (err_ >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
        Drain(err_, result_, false);
}

bool LiveFilter::Feed(const uint8_t* bytes, size_t count)
{
    const long long deadline = NowMs() + timeoutSeconds_ * 1000LL;
    while (count > 0) {
        if (in_ < 0 || NowMs() > deadline)
            return false;
        pollfd fds[3] = {{in_, POLLOUT, 0}, {out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (poll(fds, 3, 100) <= 0)
            continue;
        if (out_ >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            Drain(out_, result_, true);
        if (err_ >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)))
            Drain(err_, result_, false);
        if (fds[0].revents & (POLLERR | POLLHUP))
            return false;
        if (!(fds[0].revents & POLLOUT))
            continue;
        ssize_t n = write(in_, bytes, count);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n < 0)
            return false;
        bytes += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

bool LiveFilter::Feed(const std::vector<uint8_t>& bytes, size_t from, size_t to)
{
    to = std::min(to, bytes.size());
    return from >= to || Feed(bytes.data() + from, to - from);
}

void LiveFilter::CloseInput()
{
    if (in_ >= 0) {
        close(in_);
        in_ = -1;
    }
}

void LiveFilter::Signal(int signalNumber)
{
    if (pid_ > 0 && !reaped_)
        kill(pid_, signalNumber);
}

bool LiveFilter::WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const long long deadline = NowMs() + timeoutMs;
    while (!done()) {
        long long left = deadline - NowMs();
        if (left <= 0)
            return done();
        Pump(static_cast<int>(std::min(left, 50LL)));
    }
    return true;
}

void LiveFilter::WaitForQuiet(int quietMs, int timeoutMs)
{
    const long long deadline = NowMs() + timeoutMs;
    size_t seen = result_.out.size() + result_.err.size();
    long long lastChange = NowMs();
    while (NowMs() < deadline && NowMs() - lastChange < quietMs) {
        Pump(20);
        size_t now = result_.out.size() + result_.err.size();
        if (now != seen) {
            seen = now;
            lastChange = NowMs();
        }
    }
}

bool LiveFilter::WaitForFullOutputPipe(int timeoutMs)
{
    const long long deadline = NowMs() + timeoutMs;
    while (out_ >= 0 && NowMs() < deadline) {
        if (BlockedIn(true, 1))
            return true;
        pollfd p{err_, POLLIN, 0};
        if (poll(&p, err_ >= 0 ? 1 : 0, 10) > 0)
            Drain(err_, result_, false);
    }
    return false;
}

bool LiveFilter::WaitForExitWithoutReadingOutput(int timeoutMs)
{
    const long long deadline = NowMs() + timeoutMs;
    while (!reaped_ && NowMs() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            reaped_ = true;
            SetStatus(result_, status);
            break;
        }
        pollfd p{err_, POLLIN, 0};
        if (poll(&p, err_ >= 0 ? 1 : 0, 10) > 0)
            Drain(err_, result_, false);
    }
    return reaped_;
}

std::vector<std::string> LiveFilter::OpenFilesUnder(const std::string& dir) const
{
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", error)) {
        const fs::path target = fs::read_symlink(entry.path(), error);
        if (!error && target.string().rfind(dir + "/", 0) == 0)
            found.push_back(entry.path().string());
    }
    return found;
}

bool LiveFilter::Catches(int signalNumber) const
{
#ifdef NORVANE_EMULATED
    // qemu-user catches every signal from the start on the program's
    // behalf; the filter has its own handlers once it waits for raster.
    if (!BlockedReadingInput())
        return false;
#endif
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signalNumber - 1)) & 1;
    return false;
}

bool LiveFilter::BlockedReadingInput() const { return BlockedIn(false, 0); }

// The kernel shows the system call a sleeping process is blocked in: number
// and first argument, the descriptor.
bool LiveFilter::BlockedIn(bool write, int fd) const
{
    std::ifstream in("/proc/" + std::to_string(pid_) + "/syscall");
    std::string line;
    std::getline(in, line);
    char blocked[64];
    std::snprintf(blocked, sizeof blocked, "%ld 0x%x ", ShownCallNumber(write), fd);
    return line.rfind(blocked, 0) == 0;
}

void LiveFilter::CloseOutput()
{
    if (out_ >= 0) {
        close(out_);
        out_ = -1;
    }
}

FilterResult LiveFilter::Finish()
{
    CloseInput();
    const long long deadline = NowMs() + timeoutSeconds_ * 1000LL;
    bool killed = false;
    while (out_ >= 0 || err_ >= 0) {
        if (NowMs() > deadline && !killed && !reaped_) {
            kill(pid_, SIGKILL);
            killed = true;
        }
        Pump(100);
    }
    if (!reaped_) {
        int status = 0;
        waitpid(pid_, &status, 0);
        SetStatus(result_, status);
    }
    pid_ = -1;
    return result_;
}

std::vector<std::string> JobArgs(const std::string& options, const std::string& file)
{
    std::vector<std::string> args = {"42", "tester", "test job", "1", options};
    if (!file.empty())
        args.push_back(file);
    return args;
}

std::string WriteTestPpd(const std::string& path, const TestPpd& ppd)
{
    std::ofstream f(path);
    f << "*PPD-Adobe: \"4.3\"\n"
         "*FormatVersion: \"4.3\"\n"
         "*FileVersion: \"1.0\"\n"
         "*LanguageVersion: English\n"
         "*LanguageEncoding: ISOLatin1\n"
         "*PCFileName: \"NORVTEST.PPD\"\n"
         "*Manufacturer: \"Norvane\"\n"
         "*Product: \"(Test)\"\n"
         "*ModelName: \"" << ppd.modelName << "\"\n"
      << "*ShortNickName: \"Test printer\"\n"
         "*NickName: \"Test printer\"\n"
         "*PSVersion: \"(3010.000) 0\"\n"
         "*LanguageLevel: \"3\"\n"
         "*ColorDevice: False\n"
         "*DefaultColorSpace: Gray\n"
         "*FileSystem: False\n"
         "*Throughput: \"1\"\n"
         "*TTRasterizer: Type42\n"
         "*cupsVersion: 2.4\n"
         "*cupsFilter: \"application/vnd.cups-raster 0 rasterfilter\"\n"
         "*HWMargins: " << ppd.margins[0] << " " << ppd.margins[1] << " " << ppd.margins[2]
      << " " << ppd.margins[3] << "\n"
      << "*VariablePaperSize: True\n"
         "*MaxMediaWidth: \"612\"\n"
         "*MaxMediaHeight: \"1009\"\n";
    if (!ppd.platform.empty())
        f << "*cupsIPPReason PlatForm/" << ppd.platform << ": \"\"\n";
    if (!ppd.manualDuplexText.empty())
        f << "*cupsIPPReason MDuplex/" << ppd.manualDuplexText << ": \"\"\n";
    f << ppd.extra;
    f << "*OpenUI *PageSize/Media Size: PickOne\n"
         "*OrderDependency: 10 AnySetup *PageSize\n"
         "*DefaultPageSize: A4\n"
         "*PageSize A4/A4: \"<</PageSize[595 842]/ImagingBBox null>>setpagedevice\"\n"
         "*CloseUI: *PageSize\n"
         "*DefaultImageableArea: A4\n"
         "*ImageableArea A4/A4: \"0 0 595 842\"\n"
         "*DefaultPaperDimension: A4\n"
         "*PaperDimension A4/A4: \"595 842\"\n";
    f.close();
    if (!f)
        throw std::runtime_error("cannot write " + path);
    return path;
}
