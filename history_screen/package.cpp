#include "history_screen/package.h"

#include "history_screen/unit.h"

namespace {

host::ModulePackage& package() {
    static host::ModulePackage instance(
        "libPKG_ORE06110.so",
        {{"Cli_ore06110", &Cli_ore06110::UnitInitialization, &Cli_ore06110::UnitFinalization}},
        &Cli_ore06110::CriaHistCancAprov);
    return instance;
}

}  // namespace

ORE_SCREEN_MODULE_ENTRIES(package)
