#include "filter_dialog/unit.h"

#include "filter_dialog/filtro_canc_aprov_enc.h"

namespace Cli_ore06101 {

TfrmFiltroCancAprovEnc* frmFiltroCancAprovEnc = nullptr;
bool boIdCriado = false;
std::string stCliente;
std::string stVendedor;

namespace {
int initializationCount = 0;
}  // namespace

void CriaFiltroCancAprovEnc() {
    // Already open: confirming it reloads the screen, which may leave the
    // branch panel and ask for the filter again; the dialog showing is that
    // filter.
    if (boIdCriado && frmFiltroCancAprovEnc->Modal()) {
        return;
    }
    Application().SetCursor(TCursor::crHourGlass);
    try {
        if (!boIdCriado) {
            frmFiltroCancAprovEnc = Application().CreateForm<TfrmFiltroCancAprovEnc>();
            boIdCriado = true;
        }
        frmFiltroCancAprovEnc->ShowModal();
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
    boIdCriado = false;
    stCliente.clear();
}

void UnitFinalization() {
    if (--initializationCount != 0) {
        return;
    }
    stCliente.clear();
    stVendedor.clear();
    frmFiltroCancAprovEnc = nullptr;
}

}  // namespace Cli_ore06101
