#include "support/app_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(int port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

// The server answers HTTP on the port. Taking connections is not enough: the
// application listens before it reads its state, and may still decide not
// to start, which an emulated (slow) run catches in between.
bool ServerAnswers(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = Loopback(port);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    static const char request[] = "HEAD / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    ok = ok && send(fd, request, sizeof request - 1, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof request - 1);
    char reply[5] = {};
    pollfd p{fd, POLLIN, 0};
    ok = ok && poll(&p, 1, 1000) == 1 && recv(fd, reply, sizeof reply, MSG_WAITALL) == 5 &&
         std::string(reply, 5) == "HTTP/";
    close(fd);
    return ok;
}

// A port nobody listens on now: bound once by us and let go.
int FreePort()
{
    std::mt19937 random(static_cast<unsigned>(getpid() ^ time(nullptr)));
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int port = 20000 + static_cast<int>(random() % 20000);
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr = Loopback(port);
        const bool free = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        close(fd);
        if (free)
            return port;
    }
    return 0;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int outFd)
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    for (const std::string& e : env) {
        const size_t eq = e.find('=');
        if (eq == std::string::npos)
            unsetenv(e.c_str());
        else
            setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
    }
    const int null = open("/dev/null", O_RDONLY);
    dup2(null, 0);
    dup2(outFd, 1);
    dup2(outFd, 2);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

bool WaitFor(pid_t pid, int timeoutMs, int* status)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        if (waitpid(pid, status, WNOHANG) == pid)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

}  // namespace

int WaitScale()
{
#ifdef NORVANE_EMULATED
    return 4;
#else
    return 1;
#endif
}

CommandResult RunCommand(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         int timeoutSeconds)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t pid = Spawn(argv, env, fds[1]);
    close(fds[1]);
    CommandResult result;
    const auto end = Clock::now() + std::chrono::seconds(timeoutSeconds * WaitScale());
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.output.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    if (!WaitFor(pid, 1000, &status)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return result;
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

AppServer::AppServer(std::string program) : program_(std::move(program))
{
    for (const char* sub : {"spool", "home", "tmp", "out"})
        mkdir(dir_.File(sub).c_str(), 0700);
}

AppServer::~AppServer() { Stop(); }

std::vector<std::string> AppServer::Environment() const
{
    // The server's local socket lives in TMPDIR: one per test.
    std::vector<std::string> env = {"HOME=" + dir_.File("home"), "TMPDIR=" + dir_.File("tmp"),
                                    "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "SNAP_COMMON",
                                    "CUPS_SERVER"};
    env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
    return env;
}

std::string AppServer::Start()
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (port_ == 0 || attempt > 0)
            port_ = FreePort();
        const std::vector<std::string> argv = {
            program_, "server", "-o", "server-port=" + std::to_string(port_), "-o",
            "listen-hostname=127.0.0.1", "-o", "server-options=no-tls", "-o",
            "spool-directory=" + dir_.File("spool"), "-o", "state-file=" + dir_.File("state"),
            "-o", "log-file=" + dir_.File("log"), "-o", "log-level=info"};
        std::vector<std::string> args = argv;
        for (const std::string& o : extraOptions) {
            args.push_back("-o");
            args.push_back(o);
        }
        const int out = open(dir_.File("server.out").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        pid_ = Spawn(args, Environment(), out);
        close(out);
        const auto end = Clock::now() + std::chrono::seconds(15 * WaitScale());
        int status = 0;
        while (Clock::now() < end) {
            if (ServerAnswers(port_))
                return "";
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        Stop();
    }
    std::ifstream in(dir_.File("server.out"));
    std::stringstream text;
    text << in.rdbuf();
    return "the server did not start: " + text.str();
}

bool AppServer::Stop()
{
    if (pid_ <= 0)
        return true;
    kill(pid_, SIGTERM);
    int status = 0;
    bool ended = WaitFor(pid_, 10000 * WaitScale(), &status);
    if (!ended) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    return ended;
}

std::string AppServer::Uri() const { return "ipp://127.0.0.1:" + std::to_string(port_); }

std::string AppServer::PrinterUri(const std::string& name) const
{
    return Uri() + "/ipp/print/" + name;
}

std::string AppServer::Log() const
{
    std::ifstream in(dir_.File("log"));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

CommandResult AppServer::Client(const std::string& subcommand,
                                const std::vector<std::string>& args, bool localSocket) const
{
    std::vector<std::string> argv = {program_, subcommand};
    if (!localSocket) {
        argv.push_back("-u");
        argv.push_back(Uri());
    }
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCommand(argv, Environment());
}

CommandResult AppServer::IppTool(const std::string& printer, const std::vector<std::string>& defines,
                                 const std::vector<std::string>& testFiles) const
{
    std::vector<std::string> argv = {"/usr/bin/ipptool", "-t", "-T", std::to_string(30 * WaitScale())};
    for (const std::string& d : defines) {
        argv.push_back("-d");
        argv.push_back(d);
    }
    argv.push_back(PrinterUri(printer));
    argv.insert(argv.end(), testFiles.begin(), testFiles.end());
    CommandResult r = RunCommand(argv, Environment(), 120);
    // ipptool stops at a fault in a test file and still ends with status 0:
    // the tests after the fault never ran.
    if (r.exitStatus == 0 && r.output.find("ipptool: ") != std::string::npos) {
        r.exitStatus = 1;
        r.output += "(ipptool did not run every test)\n";
    }
    return r;
}
