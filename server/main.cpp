// ore06100-server: the order application server "ORE06100.rdmCancAprovEnc".
#include <spdlog/spdlog.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <csignal>
#include <thread>

#include "server/order_server.h"

namespace {

int stopPipe[2] = {-1, -1};

void onStopSignal(int signal) {
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const auto written = write(stopPipe[1], &number, 1);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Order application server ORE06100.rdmCancAprovEnc"};
    ore::server::ServerOptions options;
    app.add_option("--listen", options.listenAddress, "Address and port to listen on")
        ->capture_default_str();
    app.add_option("--database", options.database, "SQLite file or PostgreSQL connection string")
        ->required();
    app.add_option("--max-message-bytes", options.maxReceiveBytes,
                   "Largest request the server accepts")
        ->capture_default_str()
        ->check(CLI::Range(1024, 64 * 1024 * 1024));
    CLI11_PARSE(app, argc, argv);

    ore::server::OrderServer server(options);
    try {
        server.start();
    } catch (const std::exception& error) {
        spdlog::critical("{}", error.what());
        return 1;
    }
    spdlog::info("ORE06100.rdmCancAprovEnc listening on {}", server.address());

    // The handler only writes the signal number to a pipe; the stop itself
    // runs on an ordinary thread. gRPC starts threads of its own before main,
    // so blocking the signals instead would not reach all of them.
    if (pipe(stopPipe) != 0) {
        spdlog::critical("cannot create the stop pipe");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::thread stopper([&] {
        unsigned char signal = 0;
        while (read(stopPipe[0], &signal, 1) < 0 && errno == EINTR) {
        }
        spdlog::info("signal {} received, stopping", static_cast<int>(signal));
        server.shutdown();
    });
    server.wait();
    stopper.join();
    spdlog::info("stopped");
    return 0;
}
