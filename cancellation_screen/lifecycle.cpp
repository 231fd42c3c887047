// Creation, closing and release of the screen, and its connection.
#include "cancellation_screen/canc_aprov_enc.h"
#include "cancellation_screen/unit.h"
#include "host/services/handles.h"
#include "host/services/session.h"

namespace Cli_ore06100 {

void TfrmCancAprovEnc::FormCreate(TObject* Sender) {
    TfrmPadraoGrid::FormCreate(Sender);
    netCancAprovEnc->SetConnected(true);
    boPrimeiraVez = true;
    SetFiltroDefaults(Filtro);
    mnuFolhaDados->SetChecked(true);
}

void TfrmCancAprovEnc::FormClose(TObject* Sender, TCloseAction& Action) {
    TfrmPadraoGrid::FormClose(Sender, Action);
    boStCriado = false;
}

void TfrmCancAprovEnc::FormDestroy(TObject* Sender) {
    TfrmPadraoGrid::FormDestroy(Sender);
    netCancAprovEnc->SetConnected(false);
    ForgetHandle(cdsPedidoOp);
    if (frmCancAprovEnc == this) {
        frmCancAprovEnc = nullptr;
    }
}

void TfrmCancAprovEnc::netCancAprovEncBeforeConnect(TObject* /*Sender*/) {
    netCancAprovEnc->Host = Morvane::WebURL();
    netCancAprovEnc->Port = Morvane::WebPort();
}

IRdmCancAprovEnc& TfrmCancAprovEnc::AppServer() {
    return netCancAprovEnc->AppServerAs<IRdmCancAprovEnc>();
}

}  // namespace Cli_ore06100
