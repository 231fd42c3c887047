// Which pages, buttons and menu items the operator may use, from the state of
// the order list and of the items.
#include "cancellation_screen/canc_aprov_enc.h"

namespace Cli_ore06100 {

void TfrmCancAprovEnc::Habilita() {
    const bool editing = cdsEncomenda->State() == TDataSetState::dsEdit ||
                         cdsEncomenda->State() == TDataSetState::dsInsert;
    const bool hasOrders = cdsEncomenda->Active() && !cdsEncomenda->IsEmpty();
    const bool hasItems = cdsItemOrcaEven->Active() && !cdsItemOrcaEven->IsEmpty();
    const bool browsing = dtsPadrao->State() == TDataSetState::dsBrowse;

    tshPadrao->SetEnabled(!editing);                          // 1
    tshItens->SetEnabled(hasOrders && hasItems && !editing);  // 2
    tshMotivo->SetEnabled(hasOrders && editing);              // 3
    sbtIncluir->SetEnabled(false);                            // 4
    sbtExcluir->SetEnabled(false);
    sbtPesquisar->SetEnabled(false);
    sbtCancelar->SetEnabled(editing);                              // 5
    sbtConfirmar->SetEnabled(hasOrders);                           // 6
    sbtAlterar->SetEnabled(hasOrders && !sbtCancelar->Enabled());  // 7
    sbtVerificar->SetEnabled(browsing);                            // 8
    sbtFiltro->SetEnabled(!sbtCancelar->Enabled());                // 9
    panNavigator->SetEnabled(hasOrders && tshPadrao->Enabled());   // 10
    mnuFolhaDados->SetEnabled(tshPadrao->Enabled());               // 11
    mnuItens->SetEnabled(tshItens->Enabled());
    mnuMotivo->SetEnabled(tshMotivo->Enabled());
    mnuFolhaDados->SetChecked(pgcPadrao->ActivePage() == tshPadrao);  // 12
    mnuItens->SetChecked(pgcPadrao->ActivePage() == tshItens);
    mnuMotivo->SetChecked(pgcPadrao->ActivePage() == tshMotivo);
    mnuIncluir->SetEnabled(sbtIncluir->Enabled());  // 13
    mnuExcluir->SetEnabled(sbtExcluir->Enabled());
    mnuPesquisar->SetEnabled(sbtPesquisar->Enabled());
    mnuCancelar->SetEnabled(sbtCancelar->Enabled());
    mnuConfirmar->SetEnabled(sbtConfirmar->Enabled());
    mnuAlterar->SetEnabled(sbtAlterar->Enabled());
    mnuVerificar->SetEnabled(sbtVerificar->Enabled());
    mnuFiltrar->SetEnabled(sbtFiltro->Enabled());  // 14
}

// A state change of the order list runs no code: the commands follow it at the
// next point where Habilita runs.
void TfrmCancAprovEnc::dtsPadraoStateChange(TObject* /*Sender*/) {}

}  // namespace Cli_ore06100
