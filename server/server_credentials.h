#pragma once

#include <grpcpp/security/server_credentials.h>

#include <memory>
#include <string>

namespace ore::server {

// The files that make the listener speak TLS. Certificate and key go together;
// a client CA makes the server require a client certificate signed by it.
struct TlsFiles {
    std::string certificateFile;  // PEM, the server's certificate (chain)
    std::string keyFile;          // PEM, its private key
    std::string clientCaFile;     // PEM, optional
    bool enabled() const { return !certificateFile.empty() || !keyFile.empty(); }
};

// The listener's credentials for `listenAddress`: TLS from `files`, or plain
// text when no certificate is given and the address is a loopback one.
// Raises std::runtime_error (English, naming the file or the address) for a
// missing, unreadable or malformed file, a key that does not belong to the
// certificate, a client CA without a certificate, or plain text asked for on
// an address other hosts can reach.
std::shared_ptr<grpc::ServerCredentials> listenerCredentials(const std::string& listenAddress,
                                                             const TlsFiles& files);

// True when every address the host part of "host:port" names is a loopback
// one (127.0.0.0/8, ::1, "localhost"); false for wildcards and names that
// reach further.
bool isLoopbackListenAddress(const std::string& listenAddress);

}  // namespace ore::server
