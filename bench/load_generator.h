#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "server/order_types.h"

namespace bench {

struct LoadResult {
    long long calls = 0;
    long long failures = 0;
    double seconds = 0;
    double p50 = 0;  // ms
    double p99 = 0;  // ms
    // The whole process (clients and any server in it) over the run: CPU
    // time and context switches per call, which say what limits the rate
    // when clients and server share the cores.
    double cpuMicrosecondsPerCall = 0;
    double contextSwitchesPerCall = 0;
    double callsPerSecond() const { return seconds > 0 ? static_cast<double>(calls) / seconds : 0; }
};

// `clients` GetItemEnc calls kept in flight at once (each client starts its
// next call when its answer arrives) over `channels` connections, for
// `duration`. `target` is a gRPC target; several servers are given as
// "ipv4:127.0.0.1:P1,127.0.0.1:P2" and are used in round robin.
// Every call carries `token`, the session of a sign-on made beforehand.
LoadResult runItemLoad(const std::string& target, const std::vector<ore::server::OrderKey>& keys,
                       int clients, int channels, std::chrono::milliseconds duration,
                       const std::string& token);

}  // namespace bench
