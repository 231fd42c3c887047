#include "host/services/modules.h"

#include <algorithm>
#include <mutex>

namespace host {

namespace {

// Modules attach and detach from the loader's thread, not always the UI one.
std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<LoadedModule>& registry() {
    static std::vector<LoadedModule> modules;
    return modules;
}

}  // namespace

void RegisterModule(const LoadedModule& module) {
    const std::lock_guard lock(registryMutex());
    registry().push_back(module);
}

void UnregisterModule(const std::string& fileName) {
    const std::lock_guard lock(registryMutex());
    auto& modules = registry();
    modules.erase(std::remove_if(modules.begin(), modules.end(),
                                 [&](const LoadedModule& m) { return m.fileName == fileName; }),
                  modules.end());
}

std::vector<LoadedModule> LoadedModules() {
    const std::lock_guard lock(registryMutex());
    return registry();
}

}  // namespace host
