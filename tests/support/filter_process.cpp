#include "support/filter_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

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
        if (in < 0)
            _exit(127);
        dup2(in, 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        if (run.addressSpaceLimit != 0) {
            rlimit limit{run.addressSpaceLimit, run.addressSpaceLimit};
            setrlimit(RLIMIT_AS, &limit);
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
    if (WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.termSignal = WTERMSIG(status);
    return result;
}

std::vector<std::string> JobArgs(const std::string& options, const std::string& file)
{
    std::vector<std::string> args = {"42", "tester", "test job", "1", options};
    if (!file.empty())
        args.push_back(file);
    return args;
}

TempDir::TempDir()
{
    std::string base = fs::temp_directory_path() / "norvane-test-XXXXXX";
    std::vector<char> templ(base.begin(), base.end());
    templ.push_back('\0');
    if (mkdtemp(templ.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = templ.data();
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::vector<std::string> TempDir::Entries() const
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_))
        names.push_back(e.path().filename());
    return names;
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
