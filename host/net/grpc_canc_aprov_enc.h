#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "host/net/net_connection.h"

namespace host::net {

inline constexpr const char* cancAprovEncServerName = "ORE06100.rdmCancAprovEnc";

struct CallDeadlines {
    std::chrono::milliseconds call = std::chrono::seconds(30);
    // The order list may be large; it streams for longer.
    std::chrono::milliseconds list = std::chrono::seconds(120);
    std::chrono::milliseconds connect = std::chrono::seconds(5);
};

struct ChannelSecurity;

// The gRPC client of "ORE06100.rdmCancAprovEnc" at host:port. The channel
// connects on first use and reconnects by itself. It speaks TLS when the
// session names the server's CA (serverCaFile), else plain text, which only
// a loopback host is allowed: towards any other, every call raises that.
std::unique_ptr<IRdmCancAprovEnc> makeGrpcCancAprovEnc(const std::string& host, int port,
                                                       CallDeadlines deadlines = {});
// The same with the channel's protection given instead of the session's.
std::unique_ptr<IRdmCancAprovEnc> makeGrpcCancAprovEnc(const std::string& host, int port,
                                                       CallDeadlines deadlines,
                                                       const ChannelSecurity& security);

}  // namespace host::net
