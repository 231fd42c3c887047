// The change and cancel commands, the screen's keys, and what posting,
// cancelling and deleting an order do.
#include "cancellation_screen/canc_aprov_enc.h"
#include "host/services/busy.h"
#include "host/services/consiste.h"
#include "host/services/session.h"

namespace Cli_ore06100 {

void TfrmCancAprovEnc::sbtAlterarClick(TObject* Sender) {
    TfrmPadraoGrid::sbtAlterarClick(Sender);
    if (pgcPadrao->ActivePage() == tshPadrao) {
        cdsEncomenda->Edit();
    } else if (pgcPadrao->ActivePage() == tshMotivo) {
        startObservationEdit();
        memObs->SetFocus();
        Habilita();
    }
}

void TfrmCancAprovEnc::sbtCancelarClick(TObject* /*Sender*/) {
    if (pgcPadrao->ActivePage() == tshPadrao) {
        cdsEncomenda->Cancel();
    } else if (pgcPadrao->ActivePage() == tshMotivo) {
        cdsObs->Cancel();
        cdsEncomenda->Cancel();
    }
    Habilita();
}

void TfrmCancAprovEnc::FormKeyDown(TObject* /*Sender*/, Word& Key, TShiftState Shift) {
    if (Key == VK_RETURN && (Shift & ssCtrl) != 0) {
        const TDataSetState state = dtsPadrao->State();
        if (state == TDataSetState::dsEdit || state == TDataSetState::dsInsert) {
            sbtConfirmar->Click();
            if (state == TDataSetState::dsInsert) {
                sbtIncluir->Click();
            }
        }
    } else if (Key == VK_F12 && Shift == 0) {
        TWinControl* next = Consiste::SelectNextControl(pgcPadrao, false, true, false);
        if (next != nullptr) {
            Consiste::SelectFirstControl(next->Parent());
        }
    }
}

void TfrmCancAprovEnc::dbgPadraoKeyDown(TObject* Sender, Word& Key, TShiftState Shift) {
    TfrmPadraoGrid::dbgPadraoKeyDown(Sender, Key, Shift);
}

void TfrmCancAprovEnc::cdsEncomendaBeforePost(TClientDataSet& /*DataSet*/) {
    cdsEncomenda->FieldByName("CDOPEJUSTORC").SetAsString(Morvane::Operador());
    cdsEncomenda->FieldByName("IDSITUORCEVE").SetAsString("1");
}

void TfrmCancAprovEnc::cdsEncomendaAfterPost(TClientDataSet& /*DataSet*/) {}

void TfrmCancAprovEnc::cdsEncomendaAfterCancel(TClientDataSet& /*DataSet*/) {
    const OrderKey order = currentOrder();
    cdsEncomenda->CancelUpdates();
    cdsObs->CancelUpdates();
    cdsEncomendaAfterScroll(*cdsEncomenda);
    sbtVerificarClick(sbtVerificar);
    // A reload of the list makes its first row current; the order the operator
    // was on stays current, so a move in the grid that dropped the edit goes
    // on from it.
    makeCurrent(order);
    pgcPadrao->SetActivePage(tshPadrao);
    focusOrderNumberColumn();
}

void TfrmCancAprovEnc::cdsEncomendaAfterDelete(TClientDataSet& /*DataSet*/) {
    if (cdsEncomenda->ChangeCount() <= 0) {
        return;
    }
    try {
        TShowAviGuard animation(Application().MainForm, Showavi::aviEnviando);
        Consiste::CheckResultServ(AppServer().SetEncomenda(Variant(cdsEncomenda->Delta())), true,
                                  0);
        animation.Stop();
        if (cdsEncomenda->LogChanges) {
            cdsEncomenda->MergeChangeLog();
        }
        Morvane::AtualizaLocalCache(VarArrayOf({Variant("ORCAEVENTO")}));
    } catch (...) {
        cdsEncomenda->CancelUpdates();
        // The refused record is back; it is current again, as the order whose
        // items and observation are still shown.
        makeCurrent(m_shownOrder);
        throw;
    }
}

}  // namespace Cli_ore06100
