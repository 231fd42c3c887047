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

namespace host {

// Names of the framework's own units, in their initialization order; a
// module's table lists them before its own units.
const char* const* FrameworkUnitNames(int& count);

}  // namespace host
