// The reason page: justification code with its check and pick, the
// observation memo and the observation record.
#include "cancellation_screen/canc_aprov_enc.h"
#include "host/data/formatting.h"
#include "host/services/consiste.h"
#include "host/services/session.h"

namespace Cli_ore06100 {

void TfrmCancAprovEnc::pgcPadraoChange(TObject* /*Sender*/) {
    Habilita();
    if (pgcPadrao->ActivePage() == tshMotivo) {
        LimpaMotivo();
        startObservationEdit();
        cdsEncomenda->Edit();
    }
}

void TfrmCancAprovEnc::LimpaMotivo() {
    edtCdJust->Clear();
    edtDsJust->Clear();
    memObs->Clear();
}

void TfrmCancAprovEnc::Vd_JustExcl(bool boObrigatorio) {
    const bool empty = Consiste::EmptyString(edtCdJust->Text());
    try {
        if (empty && boObrigatorio) {
            Consiste::MensErro(msgPadrao->Msg("CDJUST_NULL"), true);
        }
        if (empty) {
            return;
        }
        edtCdJust->SetText(Consiste::Ajusta(edtCdJust->Text(), 4));
        qryPesqJust->Close();
        qryPesqJust->ParamByName("P_CDJUSTEXCHIS").SetAsString(edtCdJust->Text());
        qryPesqJust->Open();
        if (qryPesqJust->IsEmpty()) {
            Consiste::MensErro(msgPadrao->Msg("JUST_N_CAD"), true);
        }
        edtDsJust->SetText(qryPesqJust->FieldByName("DSJUSTEXCHIS").AsString());
    } catch (...) {
        pgcPadrao->SetActivePage(tshMotivo);
        pgcPadraoChange(pgcPadrao);
        edtCdJust->SetFocus();
        Habilita();
        throw;
    }
}

void TfrmCancAprovEnc::edtCdJustChange(TObject* /*Sender*/) {
    edtDsJust->Clear();
}

void TfrmCancAprovEnc::edtCdJustExit(TObject* /*Sender*/) {
    Vd_JustExcl(false);
}

void TfrmCancAprovEnc::btnJustficativaAfterPesq(TObject* /*Sender*/) {
    if (cdsEncomenda->State() == TDataSetState::dsBrowse) {
        cdsEncomenda->Edit();
    }
    edtCdJust->SetText(qryJustExcl->FieldByName("CDJUSTEXCHIS").AsString());
    edtDsJust->SetText(qryJustExcl->FieldByName("DSJUSTEXCHIS").AsString());
    cdsEncomenda->FieldByName("CDJUSTEXCHIS").SetAsString(edtCdJust->Text());
}

void TfrmCancAprovEnc::memObsEnter(TObject* /*Sender*/) {
    startObservationEdit();
    Habilita();
}

void TfrmCancAprovEnc::startObservationEdit() {
    // An observation already being edited stays as it is: starting again would
    // post the pending record behind the operator's back.
    if (cdsObs->State() == TDataSetState::dsEdit || cdsObs->State() == TDataSetState::dsInsert) {
        return;
    }
    if (!cdsObs->Active()) {
        cdsObs->Open();
    }
    if (cdsObs->IsEmpty()) {
        cdsObs->Insert();
    } else {
        cdsObs->Edit();
    }
}

void TfrmCancAprovEnc::mnuMotivoClick(TObject* /*Sender*/) {
    showPage(tshMotivo);
}

void TfrmCancAprovEnc::cdsObsBeforePost(TClientDataSet& /*DataSet*/) {
    cdsObs->FieldByName("CDFILIAL").SetAsString(cdsEncomenda->FieldByName("CDFILIAL").AsString());
    cdsObs->FieldByName("NRORCAEVENTO")
        .SetAsString(cdsEncomenda->FieldByName("NRORCAEVENTO").AsString());
    cdsObs->FieldByName("NRSEQORCAEVE")
        .SetAsString(cdsEncomenda->FieldByName("NRSEQORCAEVE").AsString());
    cdsObs->FieldByName("TXOBSJUSTORC").SetValue(Blob{memObs->Text()});
    cdsObs->FieldByName("CDOPERADOR").SetAsString(Morvane::Operador());
    cdsObs->FieldByName("DTHRHISTORCA").SetAsDateTime(Date());
}

void TfrmCancAprovEnc::cdsObsAfterPost(TClientDataSet& /*DataSet*/) {}

}  // namespace Cli_ore06100
