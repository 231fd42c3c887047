#include "history_screen/unit.h"

#include "history_screen/hist_canc_aprov.h"
#include "host/services/screen_unit.h"

namespace Cli_ore06110 {

TfrmHistCancAprov* frmHistCancAprov = nullptr;
bool boStCriado = false;

namespace {
TUnitNesting nesting;
}  // namespace

void CriaHistCancAprov() {
    ShowUnitScreen(frmHistCancAprov, boStCriado);
}

void UnitInitialization() {
    if (nesting.Enter()) {
        boStCriado = false;
        frmHistCancAprov = nullptr;
    }
}

void UnitFinalization() {
    if (nesting.Leave()) {
        boStCriado = false;
    }
}

}  // namespace Cli_ore06110
