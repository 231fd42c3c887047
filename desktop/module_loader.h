#pragma once

#include <string>

#include "host/services/package.h"

namespace desktop {

// A screen module loaded at run time. Loading has a fixed sequence: the file
// is loaded and every entry resolved and checked before any is called
// (loaded), its units are started (initialized), its business entry has run
// at least once (running), and at the end its units are stopped (finalized).
// A failed step records why, unloads and leaves the module failed.
class ModuleLoader {
public:
    enum class State { unloaded, loaded, initialized, running, finalized, failed };

    explicit ModuleLoader(std::string path);
    ~ModuleLoader();
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;

    // Brings the module to initialized (loading it first when needed); true
    // when it is initialized or running.
    bool initialize();
    // Runs IniProc, initializing first when needed.
    bool start();
    // Runs Finalize and unloads. Forms of the module must be gone by then.
    void finalize();

    State state() const { return m_state; }
    const std::string& path() const { return m_path; }
    // Why the last step failed, for the operator (Portuguese).
    const std::string& errorString() const { return m_error; }
    int unitCount() const;

private:
    using Entry = void (*)();
    using TableEntry = const PackageInfoTable* (*)();

    bool load();
    bool fail(const std::string& error);
    void unload();

    std::string m_path;
    State m_state = State::unloaded;
    std::string m_error;
    void* m_handle = nullptr;
    Entry m_initialize = nullptr;
    Entry m_finalize = nullptr;
    Entry m_iniProc = nullptr;
    TableEntry m_packageInfo = nullptr;
    const PackageInfoTable* m_table = nullptr;
};

const char* stateName(ModuleLoader::State state);

}  // namespace desktop
