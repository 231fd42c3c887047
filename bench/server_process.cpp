#include "bench/server_process.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace bench {

namespace {

constexpr auto kStartWait = std::chrono::seconds(10);
constexpr auto kStopWait = std::chrono::seconds(5);

}  // namespace

long long residentBytes(pid_t process) {
    const std::string name =
        process == 0 ? "/proc/self/statm" : "/proc/" + std::to_string(process) + "/statm";
    std::FILE* file = std::fopen(name.c_str(), "r");
    long long pages = 0;
    long long resident = 0;
    if (file != nullptr) {
        if (std::fscanf(file, "%lld %lld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(file);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

ServerProcess::ServerProcess(const std::string& program,
                             const std::vector<std::string>& arguments) {
    char pattern[] = "/tmp/ore-bench-server.XXXXXX";
    const int logFile = ::mkstemp(pattern);
    if (logFile < 0) {
        throw std::runtime_error("cannot create the server's log file");
    }
    ::close(logFile);
    m_log = pattern;
    std::vector<std::string> words{"--listen", "127.0.0.1:0"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    try {
        // In the benchmark's own group: an interrupt at the terminal stops
        // the server with it.
        m_process.start(program, words, m_log, scenario::ServerProcess::Group::shared);
    } catch (...) {
        std::remove(m_log.c_str());
        throw;
    }
    m_address = m_process.waitForListeningAddress(kStartWait);
    if (m_address.empty()) {
        const bool ended = !m_process.running();
        const std::string tail = m_process.logTail();
        stop();
        throw std::runtime_error(program + (ended ? " stopped at start" : " did not start") + tail);
    }
}

ServerProcess::~ServerProcess() {
    stop();
}

void ServerProcess::stop() {
    m_process.stop(kStopWait);
    if (!m_log.empty()) {
        std::remove(m_log.c_str());
        m_log.clear();
    }
}

}  // namespace bench
