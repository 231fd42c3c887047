#include "scenario/server_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <fstream>
#include <regex>
#include <stdexcept>
#include <thread>
#include <utility>

extern char** environ;

namespace scenario {

namespace {

class Socket {
public:
    Socket() : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        if (m_fd < 0) {
            throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() { ::close(m_fd); }
    int fd() const { return m_fd; }

private:
    int m_fd;
};

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

std::string exitText(int status) {
    if (WIFEXITED(status)) {
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return std::string("was killed by signal ") + std::to_string(WTERMSIG(status));
    }
    return "ended";
}

}  // namespace

int freeLoopbackPort() {
    Socket socket;
    sockaddr_in address = loopback(0);
    if (::bind(socket.fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error(std::string("no free loopback port: ") + std::strerror(errno));
    }
    socklen_t length = sizeof address;
    if (::getsockname(socket.fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error(std::string("getsockname: ") + std::strerror(errno));
    }
    return ntohs(address.sin_port);
}

bool portAnswers(int port) {
    Socket socket;
    sockaddr_in address = loopback(port);
    return ::connect(socket.fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

ServerProcess::~ServerProcess() {
    try {
        stop();
    } catch (...) {
    }
}

void ServerProcess::start(const std::filesystem::path& program,
                          const std::vector<std::string>& arguments,
                          const std::filesystem::path& log, Group group) {
    if (m_pid > 0) {
        throw std::runtime_error("the server is already running");
    }
    if (!std::filesystem::exists(program)) {
        throw std::runtime_error(program.string() + " not found");
    }
    m_log = log;
    m_group = group;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    std::vector<std::string> words;
    words.push_back(program.string());
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (group == Group::own) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }

    pid_t pid = 0;
    const int error =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        throw std::runtime_error("cannot start " + program.string() + ": " + std::strerror(error));
    }
    m_pid = pid;
}

void ServerProcess::waitUntilListening(int port, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (m_pid > 0 && exited()) {
            const int status = reap();
            throw std::runtime_error("the server " + exitText(status) + logTail());
        }
        if (portAnswers(port)) {
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout).count();
            std::string tail = logTail();
            stop();
            throw std::runtime_error(
                "the server did not answer on 127.0.0.1:" + std::to_string(port) + " within " +
                std::to_string(seconds) + " s" + tail);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
}

std::string ServerProcess::waitForListeningAddress(std::chrono::milliseconds timeout) {
    static const std::regex listening("listening on ([0-9.]+:[0-9]+)");
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        // Read before looking at the exit: a program that says where it
        // listens and ends at once has still said it.
        std::ifstream in(m_log);
        std::smatch found;
        for (std::string line; std::getline(in, line);) {
            if (std::regex_search(line, found, listening)) {
                return found[1];
            }
        }
        if (m_pid <= 0) {
            return {};
        }
        if (exited()) {
            reap();
            return {};
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void ServerProcess::stop(std::chrono::milliseconds grace) {
    if (m_pid <= 0) {
        return;
    }
    ::kill(signalTarget(), SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (!exited() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    reap();
}

bool ServerProcess::exited() const {
    siginfo_t info{};
    // WNOWAIT leaves the process a zombie: its id, and so its group's, stay
    // taken until reap() has killed the rest of the group.
    return ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
           info.si_pid == m_pid;
}

pid_t ServerProcess::signalTarget() const {
    return m_group == Group::own ? -m_pid : m_pid;
}

int ServerProcess::reap() {
    ::kill(signalTarget(), SIGKILL);
    const pid_t pid = std::exchange(m_pid, 0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

std::string ServerProcess::logTail() const {
    std::ifstream in(m_log);
    std::deque<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
        if (lines.size() > 5) {
            lines.pop_front();
        }
    }
    std::string tail;
    for (const std::string& line : lines) {
        tail += "\n    | " + line;
    }
    return tail.empty() ? std::string() : "; its log ends:" + tail;
}

}  // namespace scenario
