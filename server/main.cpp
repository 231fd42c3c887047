// ore06100-server: the order application server "ORE06100.rdmCancAprovEnc".
#include <pthread.h>
#include <spdlog/spdlog.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <thread>

#include "server/order_server.h"

int main(int argc, char** argv) {
    CLI::App app{"Order application server ORE06100.rdmCancAprovEnc"};
    ore::server::ServerOptions options;
    app.add_option("--listen", options.listenAddress, "Address and port to listen on")
        ->capture_default_str();
    app.add_option("--database", options.database,
                   "SQLite file or PostgreSQL connection string")
        ->required();
    app.add_option("--max-message-bytes", options.maxReceiveBytes,
                   "Largest request the server accepts")
        ->capture_default_str()
        ->check(CLI::Range(1024, 64 * 1024 * 1024));
    CLI11_PARSE(app, argc, argv);

    // Signals are taken by one thread with sigwait, so the stop runs outside a
    // signal handler; every thread started later inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    ore::server::OrderServer server(options);
    try {
        server.start();
    } catch (const std::exception& error) {
        spdlog::critical("{}", error.what());
        return 1;
    }
    spdlog::info("ORE06100.rdmCancAprovEnc listening on {}", server.address());

    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        spdlog::info("signal {} received, stopping", signal);
        server.shutdown();
    });
    server.wait();
    stopper.join();
    spdlog::info("stopped");
    return 0;
}
