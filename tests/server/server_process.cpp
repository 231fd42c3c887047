#include "tests/server/server_process.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace testsupport {

namespace {

std::atomic<int> g_logCounter{0};

}  // namespace

std::string ServerProcess::program() {
    // A long run may use a copy, so that rebuilding meanwhile does not touch it.
    const char* chosen = std::getenv("ORE_SERVER_PROGRAM");
    return chosen != nullptr ? chosen : ORE_SERVER_PROGRAM;
}

ServerProcess::ServerProcess(std::vector<std::string> arguments) {
    m_logPath = (std::filesystem::temp_directory_path() /
                 ("ore_server_" + std::to_string(::getpid()) + "_" +
                  std::to_string(g_logCounter.fetch_add(1)) + ".log"))
                    .string();
    arguments.insert(arguments.begin(), program());
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, m_logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        throw std::runtime_error("cannot start " + program());
    }
}

ServerProcess::~ServerProcess() {
    if (running()) {
        ::kill(m_pid, SIGKILL);
        waitForExit(std::chrono::seconds(10));
    }
    std::filesystem::remove(m_logPath);
}

int ServerProcess::waitUntilListening(std::chrono::milliseconds limit) {
    static const std::regex listening("listening on [^\\n]*:([0-9]+)");
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        std::smatch match;
        const std::string text = output();
        if (std::regex_search(text, match, listening)) {
            return std::stoi(match[1]);
        }
        if (!running()) {
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

void ServerProcess::signal(int number) {
    if (running()) {
        ::kill(m_pid, number);
    }
}

bool ServerProcess::running() {
    if (m_exit || m_pid <= 0) {
        return false;
    }
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

std::optional<int> ServerProcess::waitForExit(std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (running() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    running();
    return m_exit;
}

std::string ServerProcess::output() const {
    std::ifstream file(m_logPath);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

int freeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        throw std::runtime_error("no free loopback port");
    }
    close(fd);
    return ntohs(address.sin_port);
}

}  // namespace testsupport
