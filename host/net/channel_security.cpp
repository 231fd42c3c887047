#include "host/net/channel_security.h"

#include <arpa/inet.h>
#include <grpcpp/security/credentials.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "host/data/exceptions.h"
#include "host/services/session.h"

namespace host::net {

namespace {

// The file's text; raises `unreadable` when it cannot be read and
// `notPem` when it holds no PEM block of that `kind`.
std::string readPem(const std::string& path, const std::string& unreadable, const std::string& kind,
                    const std::string& notPem) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    if (!file || !(text << file.rdbuf())) {
        throw Exception(unreadable);
    }
    const std::string pem = text.str();
    if (pem.find("-----BEGIN " + kind) == std::string::npos) {
        throw Exception(notPem);
    }
    return pem;
}

}  // namespace

ChannelSecurity ChannelSecurity::fromSession() {
    const Session& session = CurrentSession();
    return {session.serverCaFile, session.clientCertFile, session.clientKeyFile};
}

bool isLoopbackHost(const std::string& hostName) {
    std::string name = hostName;
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
        name = name.substr(1, name.size() - 2);
    }
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "localhost" || lower == "localhost.") {
        return true;
    }
    in_addr v4{};
    if (inet_pton(AF_INET, name.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    return inet_pton(AF_INET6, name.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

std::shared_ptr<grpc::ChannelCredentials> channelCredentials(
    const std::vector<std::string>& hostNames, const ChannelSecurity& security) {
    const bool clientCertificate =
        !security.clientCertFile.empty() || !security.clientKeyFile.empty();
    if (security.caFile.empty()) {
        if (clientCertificate) {
            throw Exception(
                "O certificado do cliente só é usado com TLS: informe também o certificado da "
                "autoridade que assina o do servidor.");
        }
        for (const std::string& name : hostNames) {
            if (!isLoopbackHost(name)) {
                throw Exception("Conexão sem TLS só é permitida com um servidor local: " + name +
                                ".");
            }
        }
        return grpc::InsecureChannelCredentials();
    }
    grpc::SslCredentialsOptions options;
    options.pem_root_certs = readPem(
        security.caFile,
        "Não foi possível ler o certificado da autoridade do servidor: " + security.caFile + ".",
        "CERTIFICATE", "O arquivo " + security.caFile + " não contém um certificado PEM.");
    if (clientCertificate) {
        if (security.clientCertFile.empty() || security.clientKeyFile.empty()) {
            throw Exception("O certificado do cliente e a sua chave devem ser informados juntos.");
        }
        options.pem_cert_chain = readPem(
            security.clientCertFile,
            "Não foi possível ler o certificado do cliente: " + security.clientCertFile + ".",
            "CERTIFICATE",
            "O arquivo " + security.clientCertFile + " não contém um certificado PEM.");
        options.pem_private_key = readPem(
            security.clientKeyFile,
            "Não foi possível ler a chave do certificado do cliente: " + security.clientKeyFile +
                ".",
            "", "O arquivo " + security.clientKeyFile + " não contém uma chave PEM.");
    }
    return grpc::SslCredentials(options);
}

}  // namespace host::net
