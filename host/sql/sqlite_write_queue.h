#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace host::sql {

// The writers of one SQLite file in this process, let in one at a time in
// the order they came. SQLite's own write lock keeps no queue: a writer that
// finds it taken sleeps and tries again, and whoever asks just as it comes
// free takes it, so under steady writes one writer could lose again and
// again for tens of milliseconds while the others went on. Writers in other
// processes still meet at SQLite's lock.
class SqliteWriteQueue {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // The queue of the file at `path`, shared by its connections in this
    // process.
    static std::shared_ptr<SqliteWriteQueue> of(const std::string& path);

    // Waits for this writer's turn. False, and out of the queue, when the
    // turn did not come by `until` or `stopped` said to stop first.
    bool enter(TimePoint until, const std::function<bool()>& stopped);
    // Lets the next writer in; only the writer that entered calls it.
    void leave();
    // Has the waiting writers look at their stop condition again now.
    void wake();
    // Writers waiting for their turn now.
    std::size_t waiting();

private:
    // The next writer's turn, passing over those that gave up. Under m_mutex.
    void passOn();

    std::mutex m_mutex;
    std::condition_variable m_turn;
    std::uint64_t m_issued = 0;        // tickets given out
    std::uint64_t m_serving = 0;       // the ticket whose turn it is
    std::set<std::uint64_t> m_gaveUp;  // tickets after m_serving that stopped waiting
};

}  // namespace host::sql
