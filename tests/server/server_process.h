#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// The order server program run as a child process, its output kept in a
// file. The destructor kills it if it still runs.
class ServerProcess {
public:
    // Starts ore06100-server with `arguments`.
    explicit ServerProcess(std::vector<std::string> arguments);
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess();

    // The port it listens on once it says so; 0 when it exits first or stays
    // silent for `limit`.
    int waitUntilListening(std::chrono::milliseconds limit = std::chrono::seconds(20));
    void signal(int number);
    void kill() { signal(9); }
    // The exit code (128 + signal when killed), or nothing while it still runs
    // after `limit`.
    std::optional<int> waitForExit(std::chrono::milliseconds limit);
    bool running();
    std::string output() const;

    // The built server, or the program ORE_SERVER_PROGRAM names.
    static std::string program();

private:
    pid_t m_pid = -1;
    std::optional<int> m_exit;
    std::string m_logPath;
};

// A port nothing listens on right now (bound once and released).
int freeLoopbackPort();

}  // namespace testsupport
