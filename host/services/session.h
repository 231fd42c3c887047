#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "host/data/variant.h"

namespace host {

// Who is signed on and where the servers are; the host fills it at start.
struct Session {
    std::string serverHost = "127.0.0.1";
    int serverPort = 50051;
    // PEM of the CA that signs the server's certificate: the channel speaks
    // TLS and trusts only it. Empty: plain text, allowed only to a loopback
    // server.
    std::string serverCaFile;
    // PEM certificate and key the host presents when the server asks for one.
    std::string clientCertFile;
    std::string clientKeyFile;
    std::string database;  // SQLite path or PostgreSQL connection string
    std::string branchCode;
    std::string branchName;
    std::string operatorCode;
    std::string operatorName;  // from the sign-on; empty when unknown
    bool fixedBranch = false;
    std::map<int, std::string> pictures;  // edit masks by picture type
    // The token of the operator's sign-on; every server call carries it.
    // Never logged.
    std::string sessionToken;
    std::int64_t sessionExpiresAt = 0;  // seconds since 1970-01-01 UTC; 0: unknown
};

Session& CurrentSession();

// Signs the operator on again when the server says the session expired:
// the renewer asks for the password, replaces the session's token and
// returns true, or returns false when the operator gave up. Without a
// renewer, nothing is renewed.
void SetSessionRenewer(std::function<bool()> renewer);
bool RenewSession();

// Another module's screen, opened by code with a parameter array.
using ScreenOpener = std::function<void(const Variant& params)>;
void RegisterScreen(const std::string& screenCode, ScreenOpener opener);
void UnregisterScreen(const std::string& screenCode);

// Hears refreshes of the host's local table cache.
void SetLocalCacheListener(std::function<void(const Variant& tables)> listener);

}  // namespace host

// The host's session services, as the screens call them.
namespace host::Morvane {

std::string WebURL();
int WebPort();
std::string FiliProc();
std::string NomeFiliProc();
bool ModuFili();
std::string Operador();
// Edit mask for a picture type (0: product codes).
std::string DBPict(int pictureType);
// Opens the screen of that code with the parameters; raises when no module
// provides it.
void LoadBPL(const std::string& screenCode, const Variant& params);
// Refreshes the host's local copy of the named tables.
void AtualizaLocalCache(const Variant& tables);

}  // namespace host::Morvane
