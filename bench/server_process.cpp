#include "bench/server_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace bench {

namespace {

constexpr auto kStartWait = std::chrono::seconds(10);
constexpr auto kStopWait = std::chrono::seconds(5);

// The address the server's start-up line names, or empty.
std::string listeningAddress(const std::string& log) {
    std::ifstream file(log);
    static const std::regex line("listening on ([0-9.]+:[0-9]+)");
    std::string text;
    std::smatch found;
    while (std::getline(file, text)) {
        if (std::regex_search(text, found, line)) {
            return found[1];
        }
    }
    return {};
}

bool exited(pid_t pid, std::chrono::steady_clock::duration wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) != 0) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

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
    m_log = pattern;
    std::vector<std::string> words{program, "--listen", "127.0.0.1:0"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, logFile, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, logFile, STDERR_FILENO);
    const int spawned =
        ::posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(logFile);
    if (spawned != 0) {
        std::remove(m_log.c_str());
        throw std::runtime_error("cannot start " + program);
    }
    const auto deadline = std::chrono::steady_clock::now() + kStartWait;
    while ((m_address = listeningAddress(m_log)).empty()) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            std::remove(m_log.c_str());
            throw std::runtime_error(program + " stopped at start");
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            stop();
            throw std::runtime_error(program + " did not start");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

ServerProcess::~ServerProcess() {
    stop();
}

void ServerProcess::stop() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        if (!exited(m_pid, kStopWait)) {
            ::kill(m_pid, SIGKILL);
            exited(m_pid, kStopWait);
        }
        m_pid = -1;
    }
    if (!m_log.empty()) {
        std::remove(m_log.c_str());
        m_log.clear();
    }
}

}  // namespace bench
