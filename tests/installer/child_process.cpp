#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

std::string ChildProcess::Start(const std::vector<std::string>& argv, const std::string& dir,
                                const std::vector<std::string>& env, const std::string& out,
                                const std::string& err) {
    if (pid_ > 0) {
        return "a child is already running";
    }
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& change : env) {
            replaced = replaced || change.compare(0, name.size() + 1, name + "=") == 0;
        }
        if (!replaced) {
            environment.push_back(entry);
        }
    }
    environment.insert(environment.end(), env.begin(), env.end());

    std::vector<char*> args, envp;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    for (const std::string& e : environment) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!dir.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    }
    if (!out.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (!err.empty() && err == out) {
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    } else if (!err.empty()) {
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    const int failed = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        pid_ = -1;
        return "cannot start " + argv[0] + ": " + std::strerror(failed);
    }
    return "";
}

bool ChildProcess::Wait(int seconds, int* status) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (pid_ > 0) {
        const pid_t done = waitpid(pid_, status, WNOHANG);
        if (done == pid_ || (done < 0 && errno != EINTR)) {
            pid_ = -1;
            return done > 0;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void ChildProcess::Kill() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        int status;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
}
