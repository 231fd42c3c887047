// ore06100-server: the order application server "ORE06100.rdmCancAprovEnc".
#include <spdlog/spdlog.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "proto/grpc_runtime.h"
#include "server/order_server.h"

namespace {

int stopPipe[2] = {-1, -1};

void onStopSignal(int signal) {
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const auto written = write(stopPipe[1], &number, 1);
}

}  // namespace

int main(int argc, char** argv) {
    ore::proto::useReleaseLockChecks();
    CLI::App app{"Order application server ORE06100.rdmCancAprovEnc"};
    ore::server::ServerOptions options;
    app.set_config("--config", "", "Read these options from a TOML file (key = value)")
        ->check(CLI::ExistingFile);
    // A misspelt key in the file is an error, not a silent default.
    app.allow_config_extras(CLI::config_extras_mode::error);
    app.add_option("--listen", options.listenAddress, "Address and port to listen on")
        ->capture_default_str();
    app.add_option("--database", options.database, "SQLite file or PostgreSQL connection string")
        ->required();
    app.add_option("--max-message-bytes", options.maxReceiveBytes,
                   "Largest request the server accepts")
        ->capture_default_str()
        ->check(CLI::Range(1024, 64 * 1024 * 1024));
    app.add_option("--max-connections", options.maxConnections, "Database connections open at once")
        ->capture_default_str()
        ->check(CLI::Range(1, 1000));
    app.add_option("--max-calls", options.maxCalls,
                   "Calls served at once; more are refused as busy")
        ->capture_default_str()
        ->check(CLI::Range(1, 10000));
    int connectionWaitMs = static_cast<int>(options.connectionWait.count());
    app.add_option("--connection-wait-ms", connectionWaitMs,
                   "How long a call waits for a free database connection")
        ->capture_default_str()
        ->check(CLI::Range(0, 600000));
    int graceMs = static_cast<int>(options.shutdownGrace.count());
    app.add_option("--shutdown-grace-ms", graceMs,
                   "How long calls in flight may finish after SIGTERM or SIGINT")
        ->capture_default_str()
        ->check(CLI::Range(0, 600000));
    int healthMs = static_cast<int>(options.healthInterval.count());
    app.add_option("--health-interval-ms", healthMs,
                   "How often the health service checks the database")
        ->capture_default_str()
        ->check(CLI::Range(10, 600000));
    int sessionMinutes = static_cast<int>(
        std::chrono::duration_cast<std::chrono::minutes>(options.sessions.lifetime).count());
    app.add_option("--session-minutes", sessionMinutes,
                   "How long a session lasts after its sign-on")
        ->capture_default_str()
        ->check(CLI::Range(1, 7 * 24 * 60));
    app.add_option("--tls-cert", options.tls.certificateFile,
                   "PEM certificate (chain) of the server; with --tls-key the server speaks TLS");
    app.add_option("--tls-key", options.tls.keyFile, "PEM private key of --tls-cert");
    app.add_option("--tls-client-ca", options.tls.clientCaFile,
                   "PEM CA: clients must present a certificate it signed");
    int sessionCacheMs = static_cast<int>(options.sessions.cache.lifetime.count());
    app.add_option("--session-cache-ms", sessionCacheMs,
                   "How long a validated session is trusted without asking the database again"
                   " (a session cut off in the database still works for that long); 0: always ask")
        ->capture_default_str()
        ->check(CLI::Range(0, 60000));
    app.add_option("--session-cache-entries", options.sessions.cache.maxEntries,
                   "Validated sessions kept at most")
        ->capture_default_str()
        ->check(CLI::Range(1, 1000000));
    int writeStallMs = static_cast<int>(options.writeStall.count());
    app.add_option("--write-stall-ms", writeStallMs,
                   "How long a streamed list may wait for a client that reads nothing before"
                   " the call is cancelled (0: no limit)")
        ->capture_default_str()
        ->check(CLI::Range(0, 3600000));
    CLI11_PARSE(app, argc, argv);
    options.sessions.cache.lifetime = std::chrono::milliseconds(sessionCacheMs);
    options.sessions.lifetime = std::chrono::minutes(sessionMinutes);
    options.connectionWait = std::chrono::milliseconds(connectionWaitMs);
    options.writeStall = std::chrono::milliseconds(writeStallMs);
    options.shutdownGrace = std::chrono::milliseconds(graceMs);
    options.healthInterval = std::chrono::milliseconds(healthMs);

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

    ore::server::OrderServer server(options);
    try {
        server.start();
    } catch (const std::exception& error) {
        spdlog::critical("{}", error.what());
        return 1;
    }
    spdlog::info("ORE06100.rdmCancAprovEnc listening on {}{}", server.address(),
                 options.tls.enabled() ? " (TLS)" : " (plain text)");

    // The first signal stops gracefully; a second one ends the process at
    // once. A zero byte from main says the server has stopped.
    std::thread stopper([&] {
        std::thread stopping;
        for (;;) {
            unsigned char signal = 0;
            const auto got = read(stopPipe[0], &signal, 1);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0 || signal == 0) {
                break;
            }
            if (stopping.joinable()) {
                spdlog::warn("signal {} received again, exiting at once", static_cast<int>(signal));
                std::_Exit(1);
            }
            spdlog::info("signal {} received, stopping", static_cast<int>(signal));
            stopping = std::thread([&server] { server.shutdown(); });
        }
        if (stopping.joinable()) {
            stopping.join();
        }
    });
    server.wait();
    const unsigned char done = 0;
    [[maybe_unused]] const auto written = write(stopPipe[1], &done, 1);
    stopper.join();
    spdlog::info("stopped");
    return 0;
}
