// The screen's filter button and menu item.
#include "cancellation_screen/canc_aprov_enc.h"
#include "filter_dialog/unit.h"

namespace Cli_ore06100 {

void TfrmCancAprovEnc::sbtFiltroClick(TObject* /*Sender*/) {
    Cli_ore06101::CriaFiltroCancAprovEnc();
    Habilita();
}

void TfrmCancAprovEnc::mnuFiltrarClick(TObject* /*Sender*/) {
    Cli_ore06101::CriaFiltroCancAprovEnc();
    Habilita();
}

}  // namespace Cli_ore06100
