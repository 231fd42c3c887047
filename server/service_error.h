#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace ore::server {

// How a failed call ends at the RPC boundary.
enum class ErrorKind {
    Refusal,          // a business rule said no; the text is a key or operator text
    InvalidArgument,  // the request itself is malformed
    NotFound,
    Conflict,          // someone else changed or locked the data meanwhile
    Unauthenticated,   // no valid session, or a refused sign-on
    SessionExpired,    // the session was valid but has expired: signing on again will do
    PermissionDenied,  // the caller's operator may not do that on that branch
    Internal,
};

// A failure whose text an operator can read as it is. A refusal of a
// cancellation also names itself for the history ("KEY" or "KEY|detail").
class ServiceError : public std::runtime_error {
public:
    ServiceError(ErrorKind kind, const std::string& text, std::string historyKey = {})
        : std::runtime_error(text), m_kind(kind), m_historyKey(std::move(historyKey)) {}
    ErrorKind kind() const { return m_kind; }
    // Empty: nothing for the history (the request was malformed, or the
    // failure is not a decision on the order).
    const std::string& historyKey() const { return m_historyKey; }

private:
    ErrorKind m_kind;
    std::string m_historyKey;
};

}  // namespace ore::server
