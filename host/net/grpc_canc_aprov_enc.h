#pragma once

#include <chrono>
#include <cstdint>
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

// What a sign-on gives: the token every later call carries and the host's
// session.
struct SignOnResult {
    std::string token;
    std::int64_t expiresAt = 0;  // seconds since 1970-01-01 UTC
    std::string operatorCode;
    std::string operatorName;
    std::string branch;
    std::string branchName;
    bool fixedBranch = false;
};

// Signs the operator on at the server at host:port (the same forms as
// makeGrpcCancAprovEnc). Raises host::Exception with the server's text when
// it refuses (wrong code or password, too many failures) or with the
// transport's when it cannot be reached. Sets nothing in the session.
SignOnResult signOn(const std::string& host, int port, const std::string& operatorCode,
                    const std::string& password, CallDeadlines deadlines = {});

}  // namespace host::net
