#pragma once

#include <grpcpp/security/credentials.h>

#include <memory>
#include <string>
#include <vector>

namespace host::net {

// How a channel to the application server is protected.
struct ChannelSecurity {
    std::string caFile;          // PEM roots; empty: plain text (loopback only)
    std::string clientCertFile;  // PEM, presented when the server asks
    std::string clientKeyFile;

    // From CurrentSession().
    static ChannelSecurity fromSession();
};

// True for "localhost" and literal loopback addresses (127.0.0.0/8, ::1); no
// name is looked up.
bool isLoopbackHost(const std::string& hostName);

// The credentials of a channel to the servers named `hostNames` (the host
// parts as the operator wrote them): TLS with `security.caFile` as the only
// root when given, else plain text. Raises host::Exception (Portuguese) when
// plain text is asked for towards a host that is not a loopback one, or when
// a file cannot be read.
std::shared_ptr<grpc::ChannelCredentials> channelCredentials(
    const std::vector<std::string>& hostNames, const ChannelSecurity& security);

}  // namespace host::net
