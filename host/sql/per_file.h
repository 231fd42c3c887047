#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace host::sql {

// The one T of a database file in this process: made by `make` on first use
// and shared by the file's connections for as long as any of them holds it.
template <class T, class Make>
std::shared_ptr<T> sharedPerFile(const std::string& path, Make make) {
    static std::mutex registryMutex;
    static std::map<std::string, std::weak_ptr<T>> registry;
    std::lock_guard lock(registryMutex);
    std::weak_ptr<T>& slot = registry[path];
    std::shared_ptr<T> shared = slot.lock();
    if (!shared) {
        shared = make();
        slot = shared;
    }
    return shared;
}

}  // namespace host::sql
