#include "history_screen/unit.h"

#include "history_screen/hist_canc_aprov.h"

namespace Cli_ore06110 {

TfrmHistCancAprov* frmHistCancAprov = nullptr;
bool boStCriado = false;

namespace {
int initializationCount = 0;
}  // namespace

void CriaHistCancAprov() {
    Application().SetCursor(TCursor::crHourGlass);
    try {
        if (!boStCriado) {
            frmHistCancAprov = Application().CreateForm<TfrmHistCancAprov>();
            boStCriado = true;
        }
        frmHistCancAprov->Show();
        frmHistCancAprov->WindowState = TWindowState::wsNormal;
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
    frmHistCancAprov = nullptr;
}

void UnitFinalization() {
    if (--initializationCount != 0) {
        return;
    }
    boStCriado = false;
}

}  // namespace Cli_ore06110
