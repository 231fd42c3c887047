// Items and observation of the current order, the item total, and the page
// menu commands.
#include "cancellation_screen/canc_aprov_enc.h"
#include "host/services/busy.h"
#include "host/services/consiste.h"

namespace Cli_ore06100 {

void TfrmCancAprovEnc::cdsEncomendaAfterScroll(TClientDataSet& /*DataSet*/) {
    // A reason code is given for one order: another order becoming current
    // starts without one, so its second step asks for its own reason.
    const OrderKey order = currentOrder();
    if (order != m_shownOrder) {
        m_shownOrder = order;
        edtCdJust->Clear();
        // The preview told of the order that was current before.
        LimpaPrevia();
    }
    if (cdsEncomenda->State() == TDataSetState::dsBrowse) {
        edtDsJust->SetText(cdsEncomenda->FieldByName("DSJUSTEXCHIS").AsString());
    }
    fetchItems(true);
}

void TfrmCancAprovEnc::fetchItems(bool orderChanged) {
    TShowAviGuard animation(Application().MainForm, Showavi::aviCarregando);
    vaItemEnc = Consiste::CheckResultServ(
        AppServer().GetItemEnc(cdsEncomenda->FieldByName("CDFILIAL").AsString(),
                               cdsEncomenda->FieldByName("NRORCAEVENTO").AsString(),
                               cdsEncomenda->FieldByName("NRSEQORCAEVE").AsString()),
        true, 0);
    loadItemAnswer(orderChanged);
    animation.Stop();
}

void TfrmCancAprovEnc::loadItemAnswer(bool orderChanged) {
    const Variant::Array& answer = vaItemEnc.AsArray();
    if (answer.size() != 2) {
        throw Exception("Resposta inválida do servidor para os itens da encomenda.");
    }
    cdsItemOrcaEven->SetData(answer[0]);
    cdsObs->SetData(answer[1]);
    if (!cdsObs->IsEmpty()) {
        memObs->SetText(cdsObs->FieldByName("TXOBSJUSTORC").AsString());
    } else if (orderChanged) {
        // Each order shows its own observation: a newly current order without
        // one must not show, or later post, the previous order's text. A
        // fetch for the same order keeps what the operator typed.
        memObs->Clear();
    }
}

void TfrmCancAprovEnc::cdsItemOrcaEvenCalcFields(TClientDataSet& /*DataSet*/) {
    cdsItemOrcaEven->FieldByName("VRTOTALITEM")
        .SetAsFloat(cdsItemOrcaEven->FieldByName("QTITEMORCEVE").AsFloat() *
                    Consiste::RoundDec(cdsItemOrcaEven->FieldByName("VRITEMORCEVE").AsFloat(), 2));
}

void TfrmCancAprovEnc::showPage(TTabSheet* page) {
    pgcPadrao->SetActivePage(page);
    mnuFolhaDados->SetChecked(pgcPadrao->ActivePage() == tshPadrao);
    mnuItens->SetChecked(pgcPadrao->ActivePage() == tshItens);
    mnuMotivo->SetChecked(pgcPadrao->ActivePage() == tshMotivo);
    Habilita();
}

void TfrmCancAprovEnc::mnuFolhaDadosClick(TObject* /*Sender*/) {
    showPage(tshPadrao);
}

void TfrmCancAprovEnc::mnuItensClick(TObject* /*Sender*/) {
    showPage(tshItens);
}

}  // namespace Cli_ore06100
