#include "desktop/module_loader.h"

#include <dlfcn.h>

#include <spdlog/spdlog.h>
#include <filesystem>

#include "host/ui/form.h"

namespace desktop {

const char* stateName(ModuleLoader::State state) {
    switch (state) {
        case ModuleLoader::State::unloaded:
            return "unloaded";
        case ModuleLoader::State::loaded:
            return "loaded";
        case ModuleLoader::State::initialized:
            return "initialized";
        case ModuleLoader::State::running:
            return "running";
        case ModuleLoader::State::finalized:
            return "finalized";
        case ModuleLoader::State::failed:
            return "failed";
    }
    return "unknown";
}

ModuleLoader::ModuleLoader(std::string path) : m_path(std::move(path)) {}

ModuleLoader::~ModuleLoader() {
    if (m_handle != nullptr) {
        // Forms of the module must not outlive its code; the host finalizes
        // explicitly, this is the last resort.
        finalize();
    }
}

int ModuleLoader::unitCount() const {
    return m_table != nullptr ? m_table->unitCount : 0;
}

bool ModuleLoader::fail(const std::string& error) {
    m_error = error;
    spdlog::error("module {}: {}", m_path, error);
    unload();
    m_state = State::failed;
    return false;
}

void ModuleLoader::unload() {
    if (m_handle != nullptr) {
        ::dlclose(m_handle);
        m_handle = nullptr;
    }
    m_initialize = m_finalize = m_iniProc = nullptr;
    m_packageInfo = nullptr;
    m_table = nullptr;
}

bool ModuleLoader::load() {
    const std::string name = std::filesystem::path(m_path).filename().string();
    m_error.clear();
    m_handle = ::dlopen(m_path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (m_handle == nullptr) {
        const char* reason = ::dlerror();
        return fail("Não foi possível carregar o módulo " + name + ": " +
                    (reason != nullptr ? reason : "erro desconhecido") + ".");
    }
    // Every entry is resolved and checked before any of them runs.
    struct Wanted {
        const char* entry;
        void** target;
    };
    void* symbols[4] = {};
    const Wanted wanted[] = {{"Initialize", &symbols[0]},
                             {"Finalize", &symbols[1]},
                             {"GetPackageInfoTable", &symbols[2]},
                             {"IniProc", &symbols[3]}};
    for (const Wanted& item : wanted) {
        ::dlerror();
        *item.target = ::dlsym(m_handle, item.entry);
        if (*item.target == nullptr) {
            return fail("O módulo " + name + " não exporta a entrada " + item.entry + ".");
        }
    }
    m_initialize = reinterpret_cast<Entry>(symbols[0]);
    m_finalize = reinterpret_cast<Entry>(symbols[1]);
    m_packageInfo = reinterpret_cast<TableEntry>(symbols[2]);
    m_iniProc = reinterpret_cast<Entry>(symbols[3]);
    m_state = State::loaded;
    spdlog::info("module {}: loaded", m_path);
    return true;
}

bool ModuleLoader::initialize() {
    if (m_state == State::initialized || m_state == State::running) {
        return true;
    }
    if (m_state != State::loaded && !load()) {
        return false;
    }
    const std::string name = std::filesystem::path(m_path).filename().string();
    m_table = m_packageInfo();
    if (m_table == nullptr || m_table->unitCount <= 0 || m_table->units == nullptr) {
        return fail("O módulo " + name + " não informou suas unidades (GetPackageInfoTable).");
    }
    m_initialize();
    m_state = State::initialized;
    spdlog::info("module {}: initialized, {} units", m_path, m_table->unitCount);
    return true;
}

bool ModuleLoader::start() {
    if (!initialize()) {
        return false;
    }
    // IniProc reports its own errors through the host; the event around it
    // releases what it closed.
    const Entry iniProc = m_iniProc;
    host::Application().Dispatch([iniProc] { iniProc(); });
    m_state = State::running;
    return true;
}

void ModuleLoader::finalize() {
    if (m_state == State::initialized || m_state == State::running) {
        m_finalize();
        spdlog::info("module {}: finalized", m_path);
    }
    unload();
    if (m_state != State::failed) {
        m_state = State::finalized;
    }
}

}  // namespace desktop
