#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "host/sql/database.h"
#include "server/order_types.h"
#include "server/session_cache.h"

namespace grpc {
class ServerContext;
}

namespace ore::server {

// How long a session lasts and how repeated failed sign-ons of one operator
// slow down: after `freeFailures` failures in a row, each further attempt
// waits `firstBackOff` doubled per failure beyond, never more than
// `maxBackOff`, counted from the last failure. The count lives on the
// operator's row, so every server instance refuses the same guesser.
struct SessionPolicy {
    std::chrono::seconds lifetime = std::chrono::hours(8);
    int freeFailures = 3;
    std::chrono::seconds firstBackOff = std::chrono::seconds(2);
    std::chrono::seconds maxBackOff = std::chrono::minutes(5);
    // Checks a password against a stored hash; empty: libsodium's Argon2id
    // check. Tests put a recorder here to see what a sign-on verifies.
    std::function<bool(const std::string& password, const std::string& passwordHash)>
        verifyPassword;
    // Validated sessions kept in this instance (see SessionCache).
    SessionCache::Limits cache;
};

// Caller (server/order_types.h) is who makes a call: filled once per call
// from the session table by authenticate().

// Raise ServiceError (PermissionDenied) with the operator's text unless the
// caller may do so on `branch`.
void requireWorkOn(const Caller& caller, const std::string& branch);
void requireCancelOn(const Caller& caller, const std::string& branch);

// The name of the gRPC metadata entry that carries the token.
inline constexpr const char* sessionMetadataKey = "ore-session";
// Trailing metadata set on a refusal because the session expired, so the
// client knows that signing on again will do.
inline constexpr const char* sessionExpiredKey = "ore-session-expired";

// The caller of the token `token` (empty: none was sent) at `now`. Raises
// ServiceError (Unauthenticated, or SessionExpired for a token past its
// expiry) with the operator's text.
Caller authenticate(host::sql::Database& database, std::string_view token, std::string peer,
                    std::chrono::system_clock::time_point now);

// The same, answered from `cache` when it validated the token lately; a
// lookup that succeeds is remembered there.
Caller authenticate(host::sql::Database& database, std::string_view token, std::string peer,
                    std::chrono::system_clock::time_point now, SessionCache& cache);

// The same for a call: the token from the call's metadata, the peer from
// its context (null context: no token, peer "-"), now from the clock; with
// `cache` when given.
Caller authenticateCall(host::sql::Database& database, const grpc::ServerContext* context,
                        SessionCache* cache = nullptr);

// What the first step of a sign-on learns about the operator, read without
// verifying the password (that is slow and needs no connection).
struct SignOnCandidate {
    bool found = false;  // an active operator of that code
    // The operator's hash; for a code that is not found, a stand-in that
    // no password matches, verified all the same.
    std::string passwordHash;
    std::string name;
    std::string branch;
    std::string branchName;
    bool fixedBranch = false;
    // Seconds to wait before the next attempt is considered; 0: now.
    std::int64_t waitSeconds = 0;
};

struct SignOnAnswer {
    std::string token;
    std::int64_t expiresAt = 0;  // seconds since 1970-01-01 UTC
};

// The steps of a sign-on, so that the password is verified with no
// database connection held: read the operator and claim the attempt, then
// verify, then open the session. Unless the operator must wait out its
// back-off, the attempt is counted as a failure at once, atomically in the
// database (every server instance sees it); openSession clears the count.
SignOnCandidate findSignOnCandidate(host::sql::Database& database, const std::string& operatorCode,
                                    const SessionPolicy& policy,
                                    std::chrono::system_clock::time_point now);
// True when the candidate was found and `password` matches its hash. The
// hash is verified even when it was not found, so both take as long.
bool passwordMatches(const SignOnCandidate& candidate, const std::string& password,
                     const SessionPolicy& policy);
// libsodium's Argon2id check of `password` against `passwordHash`.
bool passwordHashMatches(const std::string& password, const std::string& passwordHash);
// Resets the failures, stores the new session's hash and drops expired
// sessions, in one transaction.
SignOnAnswer openSession(host::sql::Database& database, const std::string& operatorCode,
                         const SessionPolicy& policy, std::chrono::system_clock::time_point now);

// The SHA-256 of a token as lower-case hex: what the session table keeps.
std::string tokenHash(std::string_view token);

}  // namespace ore::server
