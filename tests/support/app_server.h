// A private norvane-printer-app for one test: its own state, spool, log,
// home and temporary folders, TLS off, listening on a random port of
// 127.0.0.1 only. Started and stopped by its process id; a server still
// running when the object goes away is stopped.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

struct CommandResult {
    int exitStatus = -1;  // -1: killed or timed out
    std::string output;   // standard output and standard error
};

class AppServer {
public:
    explicit AppServer(std::string program);
    ~AppServer();
    AppServer(const AppServer&) = delete;
    AppServer& operator=(const AppServer&) = delete;

    // Starts the server (again, after Stop, on the same folders and port)
    // and waits until it answers. Empty on success, else why not.
    std::string Start();
    // SIGTERM, then a bounded wait (SIGKILL after it). True when it ended
    // by itself.
    bool Stop();
    bool Running() const { return pid_ > 0; }
    // More server options ("name=value") for the next Start, and more
    // environment ("NAME=value") for the server and its clients.
    std::vector<std::string> extraOptions;
    std::vector<std::string> extraEnvironment;

    int port() const { return port_; }
    const TempDir& dir() const { return dir_; }
    std::string Uri() const;                                  // ipp://127.0.0.1:PORT
    std::string PrinterUri(const std::string& name) const;    // .../ipp/print/NAME
    std::string Log() const;

    // Runs a client sub-command against this server: PROGRAM sub -u URI
    // args..., or through the server's local socket (PAPPL 1.3.1's "modify"
    // sends -u in the wrong attribute group, which the server refuses).
    CommandResult Client(const std::string& subcommand, const std::vector<std::string>& args,
                         bool localSocket = false) const;
    // ipptool -t [-d name=value ...] PRINTER-URI file...
    CommandResult IppTool(const std::string& printer, const std::vector<std::string>& defines,
                          const std::vector<std::string>& testFiles) const;

private:
    std::vector<std::string> Environment() const;
    std::string program_;
    TempDir dir_;
    int port_ = 0;
    pid_t pid_ = -1;
};

// How many times longer the waits for the application last: under
// qemu-user (a cross build's tests) every program runs several times slower,
// and a heavily loaded machine slows it further. What is checked stays.
int WaitScale();

// Runs argv with the environment changed by env ("NAME=value"), collecting
// standard output and standard error, killed after timeoutSeconds (times
// WaitScale).
CommandResult RunCommand(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         int timeoutSeconds = 60);
