#include "server/session_cache.h"

namespace ore::server {

SessionCache::SessionCache(Limits limits) : m_limits(limits) {}

bool SessionCache::fresh(const Entry& entry, TimePoint now) const {
    // A clock set back makes every entry look young: such an entry is
    // checked again rather than kept beyond its lifetime.
    return entry.validatedAt <= now && now - entry.validatedAt < m_limits.lifetime &&
           now < entry.session.expiresAt;
}

void SessionCache::erase(Entries::iterator entry) {
    m_byHash.erase(entry->hash);
    m_byAge.erase(entry);
}

std::optional<ValidatedSession> SessionCache::find(const std::string& hash, TimePoint now) {
    std::lock_guard lock(m_mutex);
    const auto found = m_byHash.find(hash);
    if (found == m_byHash.end()) {
        return std::nullopt;
    }
    if (!fresh(*found->second, now)) {
        erase(found->second);
        return std::nullopt;
    }
    return found->second->session;
}

void SessionCache::remember(const std::string& hash, ValidatedSession session, TimePoint now) {
    if (m_limits.lifetime <= std::chrono::milliseconds::zero() || m_limits.maxEntries == 0) {
        return;
    }
    std::lock_guard lock(m_mutex);
    if (const auto found = m_byHash.find(hash); found != m_byHash.end()) {
        erase(found->second);
    }
    // Entries age in order, so the stale ones are at the front; when the
    // bound is reached the oldest goes even if still fresh.
    while (!m_byAge.empty() &&
           (m_byAge.size() >= m_limits.maxEntries || !fresh(m_byAge.front(), now))) {
        erase(m_byAge.begin());
    }
    m_byAge.push_back(Entry{hash, std::move(session), now});
    m_byHash.emplace(hash, std::prev(m_byAge.end()));
}

void SessionCache::forget(const std::string& hash) {
    std::lock_guard lock(m_mutex);
    if (const auto found = m_byHash.find(hash); found != m_byHash.end()) {
        erase(found->second);
    }
}

std::size_t SessionCache::size() const {
    std::lock_guard lock(m_mutex);
    return m_byAge.size();
}

}  // namespace ore::server
