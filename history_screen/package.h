#pragma once

#include "host/services/package.h"

// The module's entries, with C linkage and plain names. None lets an exception
// cross: each catches everything and reports through the host.
extern "C" {
__attribute__((visibility("default"))) void IniProc();
__attribute__((visibility("default"))) void Initialize();
__attribute__((visibility("default"))) void Finalize();
__attribute__((visibility("default"))) const PackageInfoTable* GetPackageInfoTable();
}
