#pragma once

// The order server as a process of its own, so that what it holds is
// measured apart from the clients that load it.
#include <sys/types.h>

#include <string>
#include <vector>

#include "scenario/server_process.h"

namespace bench {

// Resident size in bytes of a process (0: this one).
long long residentBytes(pid_t process = 0);

class ServerProcess {
public:
    // Starts `program` listening on a port of its choice with `arguments`
    // added, and waits until it says where it listens. Throws, with the end
    // of its log, when it does not within a few seconds.
    ServerProcess(const std::string& program, const std::vector<std::string>& arguments);
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    // Stops it (SIGTERM, then SIGKILL after a few seconds).
    ~ServerProcess();

    const std::string& address() const { return m_address; }
    pid_t pid() const { return m_process.pid(); }

private:
    void stop();

    scenario::ServerProcess m_process;
    std::string m_log;
    std::string m_address;
};

}  // namespace bench
