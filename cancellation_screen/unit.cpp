#include "cancellation_screen/unit.h"

#include "cancellation_screen/canc_aprov_enc.h"

namespace Cli_ore06100 {

TfrmCancAprovEnc* frmCancAprovEnc = nullptr;
bool boStCriado = false;
TFiltro Filtro;

namespace {
int initializationCount = 0;
}  // namespace

void CriaCancelamentoAprov() {
    Application().SetCursor(TCursor::crHourGlass);
    try {
        if (!boStCriado) {
            frmCancAprovEnc = Application().CreateForm<TfrmCancAprovEnc>();
            boStCriado = true;
        }
        frmCancAprovEnc->Show();
        frmCancAprovEnc->WindowState = TWindowState::wsNormal;
    } catch (...) {
        Application().SetCursor(TCursor::crDefault);
        throw;
    }
    Application().SetCursor(TCursor::crDefault);
}

void UnitInitialization() {
    if (initializationCount++ != 0) {
        return;
    }
    boStCriado = false;
}

void UnitFinalization() {
    if (--initializationCount != 0) {
        return;
    }
    ReleaseFiltro(Filtro);
}

}  // namespace Cli_ore06100
