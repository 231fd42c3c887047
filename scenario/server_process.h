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
    // Own: the program leads a process group of its own, so stopping it
    // reaches whatever it started too. Shared: it stays in this process's
    // group and goes with it (an interrupt at the terminal stops both).
    enum class Group { own, shared };

    ServerProcess() = default;
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess();

    // Starts program with arguments, stdout and stderr going to log. Raises
    // std::runtime_error when it cannot be started.
    void start(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& log, Group group = Group::own);
    // Waits until the port answers. Raises std::runtime_error, with the end of
    // the log, when the program exits first or the time runs out.
    void waitUntilListening(int port, std::chrono::milliseconds timeout);
    // Waits until its log names where it listens ("listening on
    // 127.0.0.1:PORT"), for a program told to listen on port 0, and returns
    // that address. Empty when the program exits first (it is reaped, no
    // longer running) or the time runs out (it still runs).
    std::string waitForListeningAddress(std::chrono::milliseconds timeout);
    // SIGTERM, then SIGKILL when it has not ended after grace.
    void stop(std::chrono::milliseconds grace = std::chrono::seconds(5));
    bool running() const { return m_pid > 0; }
    // The process id while it runs, 0 otherwise.
    pid_t pid() const { return m_pid; }
    // "; its log ends:" and its last lines, or empty for an empty log.
    std::string logTail() const;

private:
    // The group's id (signals reach the group) or the process's own.
    pid_t signalTarget() const;
    bool exited() const;  // ended, not yet reaped
    // Kills what is left of its group, reaps it and returns its wait status.
    int reap();
    pid_t m_pid = 0;
    Group m_group = Group::own;
    std::filesystem::path m_log;
};

}  // namespace scenario
