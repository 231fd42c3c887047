#include "server/sessions.h"

#include <grpcpp/grpcpp.h>
#include <sodium.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "server/messages.h"
#include "server/service_error.h"

namespace ore::server {

namespace {

using host::DataPacket;
using host::TDateTime;
using host::Variant;
using host::sql::Params;

// 256 random bits; base64url without padding is 43 characters.
constexpr std::size_t tokenBytes = 32;
// Anything longer than a token of ours, or with other characters, is no
// token of ours: refused without asking the database.
constexpr std::size_t maxTokenLength = 64;

// Days between 1899-12-30 and 1970-01-01.
constexpr double unixEpochDays = 25569.0;

TDateTime utcDateTime(std::chrono::system_clock::time_point when) {
    const double seconds = std::chrono::duration<double>(when.time_since_epoch()).count();
    return TDateTime{unixEpochDays + seconds / 86400.0};
}

bool looksLikeToken(std::string_view token) {
    return !token.empty() && token.size() <= maxTokenLength &&
           std::all_of(token.begin(), token.end(), [](char c) {
               return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_';
           });
}

void initialiseSodium() {
    if (sodium_init() < 0) {
        throw std::runtime_error("libsodium could not be initialised");
    }
}

std::string text(const Variant& value) {
    return value.IsNull() ? std::string() : value.AsString();
}

// How many times a sign-on reads the operator again after another sign-on
// claimed the attempt first.
constexpr int maxClaimRounds = 8;

// Whole seconds since 1899-12-30: how the database keeps the time of the
// last failure, so the claim compares what it decided on.
std::int64_t wholeSeconds(TDateTime when) {
    return std::llround(when.days * 86400.0);
}

TDateTime secondsAsDateTime(std::int64_t seconds) {
    return TDateTime{static_cast<double>(seconds) / 86400.0};
}

// The wait after `failures` failures in a row (at least freeFailures).
std::int64_t backOffSeconds(std::int64_t failures, const SessionPolicy& policy) {
    const std::int64_t beyond = std::min<std::int64_t>(failures - policy.freeFailures, 30);
    const double backOff = static_cast<double>(policy.firstBackOff.count()) *
                           std::pow(2.0, static_cast<double>(beyond));
    return static_cast<std::int64_t>(
        std::min(backOff, static_cast<double>(policy.maxBackOff.count())));
}

// What an unknown or inactive code is verified against, so that it costs
// the same Argon2 work as a wrong password of a real operator (whose hashes
// use the interactive limits). Made once, of a random password.
const std::string& standInHash() {
    static const std::string hash = [] {
        initialiseSodium();
        unsigned char secret[32];
        randombytes_buf(secret, sizeof secret);
        char made[crypto_pwhash_STRBYTES];
        const int failed = crypto_pwhash_str(made, reinterpret_cast<const char*>(secret),
                                             sizeof secret, crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                             crypto_pwhash_MEMLIMIT_INTERACTIVE);
        sodium_memzero(secret, sizeof secret);
        if (failed != 0) {
            throw std::runtime_error("out of memory while making the stand-in password hash");
        }
        return std::string(made);
    }();
    return hash;
}

}  // namespace

bool Caller::mayWorkOn(const std::string& branch) const {
    return branches.find(branch) != branches.end();
}

bool Caller::mayCancelOn(const std::string& branch) const {
    const auto found = branches.find(branch);
    return found != branches.end() && found->second;
}

void requireWorkOn(const Caller& caller, const std::string& branch) {
    if (!caller.mayWorkOn(branch)) {
        throw ServiceError(ErrorKind::PermissionDenied, messages::branchNotAllowed(branch));
    }
}

void requireCancelOn(const Caller& caller, const std::string& branch) {
    if (!caller.mayCancelOn(branch)) {
        throw ServiceError(ErrorKind::PermissionDenied, messages::cancelNotAllowed(branch));
    }
}

std::string tokenHash(std::string_view token) {
    initialiseSodium();
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(token.data()), token.size());
    char hex[crypto_hash_sha256_BYTES * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return std::string(hex);
}

namespace {

void checkTokenShape(std::string_view token) {
    if (token.empty()) {
        throw ServiceError(ErrorKind::Unauthenticated, std::string(messages::sessionMissing));
    }
    if (!looksLikeToken(token)) {
        throw ServiceError(ErrorKind::Unauthenticated, std::string(messages::sessionInvalid));
    }
}

std::chrono::system_clock::time_point systemTimeOf(TDateTime when) {
    const double seconds = (when.days - unixEpochDays) * 86400.0;
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::duration<double>(seconds)));
}

// What the session table says of the token's hash at `now`.
ValidatedSession lookUpSession(host::sql::Database& database, const std::string& hash,
                               std::chrono::system_clock::time_point now) {
    // One round trip: the session, its operator and the operator's branches.
    const DataPacket rows = database.query(
        "SELECT s.CDOPERADOR, s.DTEXPIRA, o.IDATIVO, f.CDFILIAL, f.IDCANCAPROV"
        " FROM SESSAOOPER s JOIN OPERADOR o ON o.CDOPERADOR = s.CDOPERADOR"
        " LEFT JOIN OPERFILIAL f ON f.CDOPERADOR = s.CDOPERADOR"
        " WHERE s.HSTOKEN = :HSTOKEN",
        {{"HSTOKEN", hash}});
    if (rows.rows.empty() || text(rows.rows.front()[2]) != "S") {
        throw ServiceError(ErrorKind::Unauthenticated, std::string(messages::sessionInvalid));
    }
    const Variant& expiry = rows.rows.front()[1];
    if (expiry.IsNull() || expiry.AsDateTime().days <= utcDateTime(now).days) {
        throw ServiceError(ErrorKind::SessionExpired, std::string(messages::sessionExpired));
    }
    ValidatedSession session;
    session.operatorCode = text(rows.rows.front()[0]);
    session.expiresAt = systemTimeOf(expiry.AsDateTime());
    for (const auto& row : rows.rows) {
        if (!row[3].IsNull()) {
            session.branches[row[3].AsString()] = text(row[4]) == "S";
        }
    }
    return session;
}

Caller callerOf(ValidatedSession session, std::string peer) {
    Caller caller;
    caller.operatorCode = std::move(session.operatorCode);
    caller.clientAddress = std::move(peer);
    caller.branches = std::move(session.branches);
    return caller;
}

}  // namespace

Caller authenticate(host::sql::Database& database, std::string_view token, std::string peer,
                    std::chrono::system_clock::time_point now) {
    checkTokenShape(token);
    return callerOf(lookUpSession(database, tokenHash(token), now), std::move(peer));
}

Caller authenticate(host::sql::Database& database, std::string_view token, std::string peer,
                    std::chrono::system_clock::time_point now, SessionCache& cache) {
    checkTokenShape(token);
    const std::string hash = tokenHash(token);
    if (auto cached = cache.find(hash, now)) {
        return callerOf(std::move(*cached), std::move(peer));
    }
    ValidatedSession session = lookUpSession(database, hash, now);
    cache.remember(hash, session, now);
    return callerOf(std::move(session), std::move(peer));
}

Caller authenticateCall(host::sql::Database& database, const grpc::ServerContext* context,
                        SessionCache* cache) {
    std::string_view token;
    std::string peer = "-";
    if (context != nullptr) {
        const auto& metadata = context->client_metadata();
        const auto found = metadata.find(sessionMetadataKey);
        if (found != metadata.end()) {
            token = std::string_view(found->second.data(), found->second.size());
        }
        peer = context->peer();
    }
    const auto now = std::chrono::system_clock::now();
    if (cache != nullptr) {
        return authenticate(database, token, std::move(peer), now, *cache);
    }
    return authenticate(database, token, std::move(peer), now);
}

SignOnCandidate findSignOnCandidate(host::sql::Database& database, const std::string& operatorCode,
                                    const SessionPolicy& policy,
                                    std::chrono::system_clock::time_point now) {
    const std::int64_t nowSeconds = wholeSeconds(utcDateTime(now));
    // A lost claim means another sign-on of this operator counted first;
    // each loss raises the count, so after a few the back-off decides.
    for (int round = 0; round < maxClaimRounds; ++round) {
        const DataPacket rows = database.query(
            "SELECT o.DSSENHAHASH, o.NMOPERADOR, o.CDFILIAL, f.NMFILIAL, o.IDFILIALFIXA,"
            " o.QTFALHALOGON, o.DTULTFALHA, o.IDATIVO"
            " FROM OPERADOR o LEFT JOIN FILIAL f ON f.CDFILIAL = o.CDFILIAL"
            " WHERE o.CDOPERADOR = :CDOPERADOR",
            {{"CDOPERADOR", operatorCode}});
        SignOnCandidate candidate;
        if (rows.rows.empty() || text(rows.rows.front()[7]) != "S") {
            candidate.passwordHash = standInHash();
            return candidate;
        }
        const auto& row = rows.rows.front();
        candidate.found = true;
        candidate.passwordHash = text(row[0]);
        candidate.name = text(row[1]);
        candidate.branch = text(row[2]);
        candidate.branchName = text(row[3]);
        candidate.fixedBranch = text(row[4]) == "S";
        const std::int64_t failures = row[5].IsNull() ? 0 : row[5].AsInteger();

        // The attempt is counted as a failure before the password is
        // verified, by an UPDATE that holds only while the row is still as
        // read here; a good password clears the count (openSession). So
        // simultaneous guesses cannot all read the same count and pass.
        std::string claim =
            "UPDATE OPERADOR SET QTFALHALOGON = QTFALHALOGON + 1, DTULTFALHA = :NOW"
            " WHERE CDOPERADOR = :CDOPERADOR AND QTFALHALOGON = :QTFALHALOGON";
        Params params{{"NOW", secondsAsDateTime(nowSeconds)},
                      {"CDOPERADOR", operatorCode},
                      {"QTFALHALOGON", failures}};
        if (failures >= policy.freeFailures) {
            if (row[6].IsNull()) {
                claim += " AND DTULTFALHA IS NULL";
            } else {
                const std::int64_t allowedSince = nowSeconds - backOffSeconds(failures, policy);
                const std::int64_t lastFailure = wholeSeconds(row[6].AsDateTime());
                if (lastFailure > allowedSince) {
                    candidate.waitSeconds = lastFailure - allowedSince;
                    return candidate;
                }
                claim += " AND DTULTFALHA <= :ALLOWEDSINCE";
                params.emplace_back("ALLOWEDSINCE", secondsAsDateTime(allowedSince));
            }
        }
        if (database.execute(claim, params) == 1) {
            return candidate;
        }
    }
    // Still losing after every round: the operator is under a burst of
    // sign-ons, which is what the back-off is for.
    SignOnCandidate busy;
    busy.found = true;
    busy.waitSeconds = policy.firstBackOff.count();
    return busy;
}

bool passwordHashMatches(const std::string& password, const std::string& passwordHash) {
    initialiseSodium();
    if (passwordHash.empty() || passwordHash.size() >= crypto_pwhash_STRBYTES) {
        return false;
    }
    return crypto_pwhash_str_verify(passwordHash.c_str(), password.data(), password.size()) == 0;
}

bool passwordMatches(const SignOnCandidate& candidate, const std::string& password,
                     const SessionPolicy& policy) {
    const bool verified = policy.verifyPassword
                              ? policy.verifyPassword(password, candidate.passwordHash)
                              : passwordHashMatches(password, candidate.passwordHash);
    return candidate.found && verified;
}

SignOnAnswer openSession(host::sql::Database& database, const std::string& operatorCode,
                         const SessionPolicy& policy, std::chrono::system_clock::time_point now) {
    initialiseSodium();
    unsigned char random[tokenBytes];
    randombytes_buf(random, sizeof random);
    char encoded[sodium_base64_ENCODED_LEN(tokenBytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING)];
    sodium_bin2base64(encoded, sizeof encoded, random, sizeof random,
                      sodium_base64_VARIANT_URLSAFE_NO_PADDING);
    sodium_memzero(random, sizeof random);
    SignOnAnswer answer;
    answer.token = encoded;
    const auto expires = now + policy.lifetime;
    answer.expiresAt =
        std::chrono::duration_cast<std::chrono::seconds>(expires.time_since_epoch()).count();

    host::sql::Transaction transaction(database);
    database.execute(
        "UPDATE OPERADOR SET QTFALHALOGON = 0, DTULTFALHA = NULL WHERE CDOPERADOR = :CDOPERADOR"
        " AND (QTFALHALOGON <> 0 OR DTULTFALHA IS NOT NULL)",
        {{"CDOPERADOR", operatorCode}});
    // Sessions past their expiry are refused anyway; a sign-on sweeps them
    // away so the table does not grow with every day's sign-ons.
    database.execute("DELETE FROM SESSAOOPER WHERE DTEXPIRA < :NOW", {{"NOW", utcDateTime(now)}});
    database.execute(
        "INSERT INTO SESSAOOPER (HSTOKEN, CDOPERADOR, DTINICIO, DTEXPIRA)"
        " VALUES (:HSTOKEN, :CDOPERADOR, :DTINICIO, :DTEXPIRA)",
        {{"HSTOKEN", tokenHash(answer.token)},
         {"CDOPERADOR", operatorCode},
         {"DTINICIO", utcDateTime(now)},
         {"DTEXPIRA", utcDateTime(expires)}});
    transaction.commit();
    return answer;
}

}  // namespace ore::server
