#pragma once

#include <chrono>
#include <cstddef>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace ore::server {

// What a validated session says about its caller.
struct ValidatedSession {
    std::string operatorCode;
    std::map<std::string, bool> branches;  // branch -> may cancel approvals there
    std::chrono::system_clock::time_point expiresAt;
};

// Sessions this server instance validated lately, by token hash, so that
// most calls skip the session lookup. An entry serves for `lifetime` after
// its validation and never at or past its session's expiry; meanwhile a
// session deleted, cut short or whose operator was made inactive or given
// other branches in the database still serves as it was validated. At most
// `maxEntries` are kept: the oldest validation goes first. A lifetime of
// zero keeps nothing. Safe to use from every call's thread.
class SessionCache {
public:
    using TimePoint = std::chrono::system_clock::time_point;

    struct Limits {
        std::chrono::milliseconds lifetime = std::chrono::seconds(5);
        std::size_t maxEntries = 10000;
    };

    explicit SessionCache(Limits limits);

    // The session of `hash` when it was validated less than the lifetime
    // before `now` and has not expired at `now`; else nothing (and a stale
    // entry is dropped).
    std::optional<ValidatedSession> find(const std::string& hash, TimePoint now);
    // Keeps what the database said of `hash` at `now`.
    void remember(const std::string& hash, ValidatedSession session, TimePoint now);
    void forget(const std::string& hash);
    std::size_t size() const;
    const Limits& limits() const { return m_limits; }

private:
    struct Entry {
        std::string hash;
        ValidatedSession session;
        TimePoint validatedAt;
    };
    using Entries = std::list<Entry>;

    bool fresh(const Entry& entry, TimePoint now) const;
    void erase(Entries::iterator entry);

    Limits m_limits;
    mutable std::mutex m_mutex;
    Entries m_byAge;  // oldest validation first
    std::unordered_map<std::string, Entries::iterator> m_byHash;
};

}  // namespace ore::server
