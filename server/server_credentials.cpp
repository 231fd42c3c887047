#include "server/server_credentials.h"

#include <grpcpp/security/server_credentials.h>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace ore::server {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Certificate = std::unique_ptr<X509, X509Free>;
using PrivateKey = std::unique_ptr<EVP_PKEY, KeyFree>;

// The whole file, or an error naming what it is for and why it cannot be read.
std::string readFile(const std::string& path, const char* what) {
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw std::runtime_error(std::string("cannot read the ") + what + " file '" + path +
                                 "': " + std::strerror(errno));
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        text.append(buffer, got);
        if (got < sizeof buffer) {
            break;
        }
    }
    if (std::ferror(file.get()) != 0) {
        throw std::runtime_error(std::string("cannot read the ") + what + " file '" + path +
                                 "': read error");
    }
    return text;
}

std::unique_ptr<BIO, BioFree> memoryOf(const std::string& text) {
    return std::unique_ptr<BIO, BioFree>(
        BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

// OpenSSL would otherwise prompt on the terminal for the pass phrase of an
// encrypted key; the server has nobody to ask.
int noPassphrase(char*, int, int, void*) {
    return -1;
}

Certificate firstCertificate(const std::string& pem, const std::string& path, const char* what) {
    auto bio = memoryOf(pem);
    Certificate certificate(PEM_read_bio_X509(bio.get(), nullptr, noPassphrase, nullptr));
    if (!certificate) {
        throw std::runtime_error(std::string("the ") + what + " file '" + path +
                                 "' holds no PEM certificate");
    }
    return certificate;
}

PrivateKey privateKey(const std::string& pem, const std::string& path) {
    auto bio = memoryOf(pem);
    PrivateKey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassphrase, nullptr));
    if (!key) {
        throw std::runtime_error("the TLS key file '" + path +
                                 "' holds no unencrypted PEM private key");
    }
    return key;
}

bool isLoopback(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        return (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    }
    if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        return IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr) != 0;
    }
    return false;
}

}  // namespace

bool isLoopbackListenAddress(const std::string& listenAddress) {
    if (listenAddress.rfind("unix:", 0) == 0) {
        return true;  // a socket file: only this machine reaches it
    }
    const auto colon = listenAddress.rfind(':');
    std::string host = colon == std::string::npos ? listenAddress : listenAddress.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (host.empty()) {
        return false;  // gRPC listens on every interface then
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return false;
    }
    bool loopback = true;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        loopback = loopback && isLoopback(entry->ai_addr);
    }
    freeaddrinfo(found);
    return loopback;
}

std::shared_ptr<grpc::ServerCredentials> listenerCredentials(const std::string& listenAddress,
                                                             const TlsFiles& files) {
    if (!files.enabled()) {
        if (!files.clientCaFile.empty()) {
            throw std::runtime_error(
                "--tls-client-ca needs --tls-cert and --tls-key: client certificates are only "
                "checked over TLS");
        }
        if (!isLoopbackListenAddress(listenAddress)) {
            throw std::runtime_error(
                "refusing to listen in plain text on " + listenAddress +
                ": other hosts could reach it; give --tls-cert and --tls-key, or listen on a "
                "loopback address (127.0.0.1, [::1], localhost)");
        }
        return grpc::InsecureServerCredentials();
    }
    if (files.certificateFile.empty()) {
        throw std::runtime_error("--tls-key was given without --tls-cert");
    }
    if (files.keyFile.empty()) {
        throw std::runtime_error("--tls-cert was given without --tls-key");
    }
    const std::string certificatePem = readFile(files.certificateFile, "TLS certificate");
    const std::string keyPem = readFile(files.keyFile, "TLS key");
    const Certificate certificate =
        firstCertificate(certificatePem, files.certificateFile, "TLS certificate");
    const PrivateKey key = privateKey(keyPem, files.keyFile);
    if (X509_check_private_key(certificate.get(), key.get()) != 1) {
        throw std::runtime_error("the TLS key '" + files.keyFile +
                                 "' does not belong to the certificate '" + files.certificateFile +
                                 "'");
    }
    if (X509_cmp_current_time(X509_get0_notAfter(certificate.get())) < 0) {
        throw std::runtime_error("the TLS certificate '" + files.certificateFile + "' has expired");
    }

    grpc::SslServerCredentialsOptions options;
    options.pem_key_cert_pairs.push_back({keyPem, certificatePem});
    if (!files.clientCaFile.empty()) {
        const std::string clientCaPem = readFile(files.clientCaFile, "TLS client CA");
        firstCertificate(clientCaPem, files.clientCaFile, "TLS client CA");
        options.pem_root_certs = clientCaPem;
        options.client_certificate_request =
            GRPC_SSL_REQUEST_AND_REQUIRE_CLIENT_CERTIFICATE_AND_VERIFY;
    }
    return grpc::SslServerCredentials(options);
}

}  // namespace ore::server
