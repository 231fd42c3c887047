// A stand-in screen module: counts the calls of its entries so the loader's
// sequence can be checked.
#include "host/services/package.h"

namespace {

struct Calls {
    int initialize = 0;
    int iniProc = 0;
    int finalize = 0;
};

Calls calls;

const PackageUnitEntry units[] = {{"Fake_unit", nullptr, nullptr}};
const PackageInfoTable table{1, units};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void Initialize() {
    ++calls.initialize;
}
__attribute__((visibility("default"))) void Finalize() {
    ++calls.finalize;
}
__attribute__((visibility("default"))) const PackageInfoTable* GetPackageInfoTable() {
    return &table;
}
#ifndef FAKE_MODULE_WITHOUT_INIPROC
__attribute__((visibility("default"))) void IniProc() {
    ++calls.iniProc;
}
#endif
// Calls so far as "initialize,iniProc,finalize".
__attribute__((visibility("default"))) void FakeCalls(int* initialize, int* iniProc,
                                                      int* finalize) {
    *initialize = calls.initialize;
    *iniProc = calls.iniProc;
    *finalize = calls.finalize;
}
}
