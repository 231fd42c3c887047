#include "cancellation_screen/unit.h"

#include "cancellation_screen/canc_aprov_enc.h"
#include "host/services/screen_unit.h"

namespace Cli_ore06100 {

TfrmCancAprovEnc* frmCancAprovEnc = nullptr;
bool boStCriado = false;
TFiltro Filtro;

namespace {
TUnitNesting nesting;
}  // namespace

void CriaCancelamentoAprov() {
    ShowUnitScreen(frmCancAprovEnc, boStCriado);
}

void UnitInitialization() {
    if (nesting.Enter()) {
        boStCriado = false;
    }
}

void UnitFinalization() {
    if (nesting.Leave()) {
        ReleaseFiltro(Filtro);
    }
}

}  // namespace Cli_ore06100
