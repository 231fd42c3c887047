#include "tests/server/tcp_proxy.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <stdexcept>

namespace testsupport {

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

}  // namespace

TcpProxy::TcpProxy(int targetPort) : m_target(targetPort) {
    m_listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 64) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(m_listener);
        throw std::runtime_error("the proxy cannot listen");
    }
    m_port = ntohs(address.sin_port);
    if (pipe(m_wake) != 0) {
        close(m_listener);
        throw std::runtime_error("the proxy cannot make its pipe");
    }
    m_thread = std::thread([this] { serve(); });
}

TcpProxy::~TcpProxy() {
    m_stop = true;
    const char byte = 0;
    [[maybe_unused]] const auto written = write(m_wake[1], &byte, 1);
    m_thread.join();
    close(m_listener);
    close(m_wake[0]);
    close(m_wake[1]);
}

void TcpProxy::cut() {
    m_down = true;
    m_dropAll = true;
    const char byte = 0;
    [[maybe_unused]] const auto written = write(m_wake[1], &byte, 1);
    // Returns once the connections are closed.
    while (m_dropAll) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void TcpProxy::restore() {
    m_down = false;
}

void TcpProxy::serve() {
    std::map<int, int> peers;  // each end of a forwarded pair to the other
    while (!m_stop) {
        std::vector<pollfd> watched{{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        for (const auto& [fd, other] : peers) {
            watched.push_back({fd, POLLIN, 0});
        }
        if (poll(watched.data(), watched.size(), 1000) < 0) {
            continue;
        }
        if (watched[0].revents & POLLIN) {
            char byte = 0;
            [[maybe_unused]] const auto got = read(m_wake[0], &byte, 1);
        }
        if (m_dropAll) {
            for (const auto& [fd, other] : peers) {
                close(fd);
            }
            peers.clear();
            m_dropAll = false;
            continue;
        }
        if (watched[1].revents & POLLIN) {
            const int client = accept(m_listener, nullptr, nullptr);
            if (client >= 0 && m_down) {
                close(client);
            } else if (client >= 0) {
                const int server = socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in address = loopback(m_target);
                if (connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                    peers[client] = server;
                    peers[server] = client;
                } else {
                    close(server);
                    close(client);
                }
            }
        }
        for (std::size_t i = 2; i < watched.size(); ++i) {
            if (watched[i].revents == 0) {
                continue;
            }
            const int fd = watched[i].fd;
            const auto found = peers.find(fd);
            if (found == peers.end()) {
                continue;
            }
            char buffer[16384];
            const auto got = read(fd, buffer, sizeof buffer);
            bool closed = got <= 0;
            for (ssize_t sent = 0; !closed && sent < got;) {
                const auto put =
                    write(found->second, buffer + sent, static_cast<std::size_t>(got - sent));
                closed = put <= 0;
                sent += put > 0 ? put : 0;
            }
            if (closed) {
                const int other = found->second;
                close(fd);
                close(other);
                peers.erase(fd);
                peers.erase(other);
            }
        }
    }
    for (const auto& [fd, other] : peers) {
        close(fd);
    }
}

}  // namespace testsupport
