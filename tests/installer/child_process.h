// A program run as a child of a test, with bounded waits. A child that is
// still running when the object goes away is killed, so that no failing
// test leaves one behind.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Kill(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (a path) in the folder dir, with this process's
    // environment changed by env ("NAME=value" entries); standard output and
    // standard error go to the files named ("" = inherited; the same name
    // twice = one file for both). Empty on
    // success, otherwise why it could not start.
    std::string Start(const std::vector<std::string>& argv, const std::string& dir,
                      const std::vector<std::string>& env, const std::string& out,
                      const std::string& err = "");
    // Waits at most the given time; true, with the wait status, once ended.
    bool Wait(int seconds, int* status);
    void Kill();

private:
    pid_t pid_ = -1;
};
