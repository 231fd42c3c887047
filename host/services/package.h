#pragma once

// What a module's GetPackageInfoTable returns: its units in initialization
// order, each with its start and end routine. C layout, since it crosses the
// module boundary.
extern "C" {

struct PackageUnitEntry {
    const char* name;
    void (*initialization)();
    void (*finalization)();
};

struct PackageInfoTable {
    int unitCount;
    const PackageUnitEntry* units;
};
}

#include <string>
#include <vector>

namespace host {

// Names of the framework's own units, in their initialization order; a
// module's table lists them before its own units.
const char* const* FrameworkUnitNames(int& count);

// What a screen module's entries do, shared by every module: its unit table
// (the framework's units, then the module's own), start and end of the
// units, opening its screen, and its registration with the host while it
// is loaded. A module keeps one in a function-local static and forwards its
// extern "C" entries to it; none of these lets an exception out: each
// reports it through the host instead.
class ModulePackage {
public:
    // `fallbackFileName` names the module when its own file cannot be found;
    // `ownUnits` are in initialization order; `openScreen` is what IniProc does.
    ModulePackage(const char* fallbackFileName, std::vector<PackageUnitEntry> ownUnits,
                  void (*openScreen)());
    ModulePackage(const ModulePackage&) = delete;
    ModulePackage& operator=(const ModulePackage&) = delete;

    // From the module's load-time constructor: finds the module's file from
    // `addressInModule` (any function of the module) and registers it, with
    // its translated resources when they ship beside it as <module>.res.
    void Attach(const void* addressInModule) noexcept;
    // From the module's unload-time destructor.
    void Detach() noexcept;

    void IniProc() noexcept;
    void Initialize() noexcept;  // the units in order
    void Finalize() noexcept;    // the units in reverse order
    const PackageInfoTable* Table() const noexcept { return &m_table; }

private:
    std::string m_fallbackFileName;
    std::vector<PackageUnitEntry> m_units;
    PackageInfoTable m_table{};
    void (*m_openScreen)();
    std::string m_attachedFileName;
};

}  // namespace host
