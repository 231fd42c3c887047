#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace scenario {

// A loopback port nobody listens on at the moment of the call.
int freeLoopbackPort();

// Whether something accepts connections on 127.0.0.1:port.
bool portAnswers(int port);

// A child program with its output in a log file, stopped with SIGTERM.
class ServerProcess {
public:
    ServerProcess() = default;
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess();

    // Starts program with arguments, stdout and stderr going to log. Raises
    // std::runtime_error when it cannot be started.
    void start(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& log);
    // Waits until the port answers. Raises std::runtime_error, with the end of
    // the log, when the program exits first or the time runs out.
    void waitUntilListening(int port, std::chrono::milliseconds timeout);
    // SIGTERM, then SIGKILL when it has not ended after grace.
    void stop(std::chrono::milliseconds grace = std::chrono::seconds(5));
    bool running() const { return m_pid > 0; }

private:
    std::string logTail() const;
    bool exited() const;  // ended, not yet reaped
    // Kills what is left of its group, reaps it and returns its wait status.
    int reap();
    pid_t m_pid = 0;
    std::filesystem::path m_log;
};

}  // namespace scenario
