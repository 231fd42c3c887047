#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>

namespace host {
struct Session;
}

class QWidget;

namespace desktop {

struct HostOptions;

// What the server answers to a sign-on: the token and the host's session.
struct SignOnAnswer {
    std::string token;
    std::int64_t expiresAt = 0;  // seconds since 1970-01-01 UTC
    std::string operatorCode;
    std::string operatorName;
    std::string branchCode;
    std::string branchName;
    bool fixedBranch = false;
};

// Signs an operator on; raises with the server's text when refused.
using SignOnCall =
    std::function<SignOnAnswer(const std::string& operatorCode, const std::string& password)>;

// The sign-on call to the order server the session names.
SignOnCall serverSignOn(const host::Session& session);

// The session as the server's answer makes it: operator, branch, branch
// name, fixed-branch flag and token.
void applySignOn(const SignOnAnswer& answer, host::Session& session);

// "host:port" of the session's server, as the operator reads it.
QString serverAddress(const host::Session& session);

enum class SignOnOutcome { SignedOn, Cancelled, Failed };

// Signs the operator of CurrentSession() on at start: in the sign-on window,
// or without it from --password-file. On success CurrentSession() is the
// server's session. Failures of the unattended path are written to stderr.
SignOnOutcome signOnAtStart(const HostOptions& options, const SignOnCall& call);

// Reads the password of --password-file: a file only its owner may read or
// write, its first line the password. False with a readable reason otherwise.
bool readPasswordFile(const QString& file, std::string& password, QString& error);

// When a call finds the session expired, asks the operator for the password
// again (over the window in front) and puts the new token in CurrentSession().
void installSessionRenewer(QWidget& dialogParent, SignOnCall call);

}  // namespace desktop
