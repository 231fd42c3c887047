#pragma once

#include <stdexcept>
#include <string>

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

// A failure whose text an operator can read as it is.
class ServiceError : public std::runtime_error {
public:
    ServiceError(ErrorKind kind, const std::string& text)
        : std::runtime_error(text), m_kind(kind) {}
    ErrorKind kind() const { return m_kind; }

private:
    ErrorKind m_kind;
};

}  // namespace ore::server
