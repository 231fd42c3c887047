#pragma once

#include <stdexcept>
#include <string>

namespace host {

// Base of every error the framework raises; its text is what the operator sees.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// The silent abort: ends the running event without showing anything more.
// Every event dispatcher catches it.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

// Data set misuse or a packet that does not fit a data set.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// A variant read as a kind of value it does not hold.
class EVariantError : public Exception {
public:
    using Exception::Exception;
};

// A text or number that cannot become the value asked for (an impossible date,
// a text that is no number).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace host
