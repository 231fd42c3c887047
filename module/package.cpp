#include "module/package.h"

#include "cancellation_screen/unit.h"
#include "filter_dialog/unit.h"

namespace {

// The filter dialog's unit, then the screen's; finalization runs in the
// reverse order.
host::ModulePackage& package() {
    static host::ModulePackage instance(
        "libPKG_ORE06100.so",
        {{"Cli_ore06101", &Cli_ore06101::UnitInitialization, &Cli_ore06101::UnitFinalization},
         {"Cli_ore06100", &Cli_ore06100::UnitInitialization, &Cli_ore06100::UnitFinalization}},
        &Cli_ore06100::CriaCancelamentoAprov);
    return instance;
}

}  // namespace

ORE_SCREEN_MODULE_ENTRIES(package)
