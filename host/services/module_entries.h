#pragma once

#include "host/services/package.h"

// The entries every screen module exports, with C linkage and plain names.
// None lets an exception cross: each catches everything and reports through
// the host.
extern "C" {
__attribute__((visibility("default"))) void IniProc();
__attribute__((visibility("default"))) void Initialize();
__attribute__((visibility("default"))) void Finalize();
__attribute__((visibility("default"))) const PackageInfoTable* GetPackageInfoTable();
}

// Defines those entries, and the hooks that register the module while it is
// loaded, for the host::ModulePackage that `packageOf` (a function of the
// module, keeping it in a function-local static) returns. Used once, at
// namespace scope, in the module's package.cpp.
#define ORE_SCREEN_MODULE_ENTRIES(packageOf)                           \
    namespace {                                                        \
    __attribute__((constructor)) void moduleAttach() {                 \
        packageOf().Attach(reinterpret_cast<const void*>(&packageOf)); \
    }                                                                  \
    __attribute__((destructor)) void moduleDetach() {                  \
        packageOf().Detach();                                          \
    }                                                                  \
    }                                                                  \
    extern "C" {                                                       \
    void IniProc() {                                                   \
        packageOf().IniProc();                                         \
    }                                                                  \
    void Initialize() {                                                \
        packageOf().Initialize();                                      \
    }                                                                  \
    void Finalize() {                                                  \
        packageOf().Finalize();                                        \
    }                                                                  \
    const PackageInfoTable* GetPackageInfoTable() {                    \
        return packageOf().Table();                                    \
    }                                                                  \
    }
