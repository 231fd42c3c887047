// The branch panel: first-activation defaults, the pick list, the check of a
// typed code, and what entering and leaving the panel do to the screen.
#include "cancellation_screen/canc_aprov_enc.h"
#include "filter_dialog/unit.h"
#include "host/data/exceptions.h"
#include "host/services/consiste.h"
#include "host/services/session.h"

namespace Cli_ore06100 {

void TfrmCancAprovEnc::FormActivate(TObject* /*Sender*/) {
    Repaint();
    if (boPrimeiraVez) {
        edtCdFilial->SetText(Morvane::FiliProc());
        edtNmFilial->SetText(Morvane::NomeFiliProc());
        const bool fixedBranch = Morvane::ModuFili();
        lblFilial->SetEnabled(!fixedBranch);
        edtCdFilial->SetEnabled(!fixedBranch);
        btnFilial->SetEnabled(!fixedBranch);
        if (fixedBranch) {
            Consiste::SetChildEnabled(panFilial, false);
            try {
                panFilialExit(panFilial);
            } catch (const EAbort&) {
                // A fixed branch without a code: reported by the panel exit;
                // the activation still finishes so the screen stays usable.
            }
        } else {
            edtCdFilial->SetFocus();
        }
        cdsItemOrcaEven->FieldByName("CDARVPROD").EditMask = Morvane::DBPict(0);
        boPrimeiraVez = false;
    }
    Habilita();
}

void TfrmCancAprovEnc::btnFilialBeforePesq(TObject* /*Sender*/, bool& /*Cancel*/) {
    qryFilial->Close();
    qryFilial->ParamByName("P_CDFILIAL").SetAsString("");
    qryFilial->ParamByName("P_TCDFILIAL").SetAsString("T");
    qryFilial->Open();
}

void TfrmCancAprovEnc::btnFilialAfterPesq(TObject* /*Sender*/) {
    const std::string previousBranch = edtCdFilial->Text();
    // The code goes first: writing it clears the name.
    edtCdFilial->SetText(qryFilial->FieldByName("CDFILIAL").AsString());
    edtNmFilial->SetText(qryFilial->FieldByName("NMFILIAL").AsString());
    pgcPadrao->SetEnabled(true);
    // The button takes no focus, so a pick made while orders are listed does
    // not enter the panel: the orders of the old branch go as they would then.
    if (edtCdFilial->Text() != previousBranch) {
        closeOrderList();
    }
}

void TfrmCancAprovEnc::edtCdFilialChange(TObject* /*Sender*/) {
    if (!boPrimeiraVez) {
        edtNmFilial->SetText("");
    }
}

void TfrmCancAprovEnc::edtCdFilialEnter(TObject* /*Sender*/) {}

void TfrmCancAprovEnc::edtCdFilialExit(TObject* /*Sender*/) {
    if (Consiste::EmptyString(edtCdFilial->Text())) {
        edtCdFilial->SetFocus();
        Consiste::MensErro(msgPadrao->Msg("Filial_N_Inf"), true);
    }
    edtCdFilial->SetText(Consiste::Ajusta(edtCdFilial->Text(), 4));
    qryFilial->Close();
    qryFilial->ParamByName("P_CDFILIAL").SetAsString(edtCdFilial->Text());
    qryFilial->ParamByName("P_TCDFILIAL").SetAsString("");
    qryFilial->Open();
    edtNmFilial->SetText(qryFilial->IsEmpty() ? std::string()
                                              : qryFilial->FieldByName("NMFILIAL").AsString());
    if (qryFilial->IsEmpty()) {
        edtCdFilial->SetFocus();
        Consiste::MensErro(msgPadrao->Msg("FILIAL_N_CADASTRADA"), true);
    }
}

void TfrmCancAprovEnc::panFilialEnter(TObject* /*Sender*/) {
    closeOrderList();
}

void TfrmCancAprovEnc::closeOrderList() {
    cdsEncomenda->Close();
    cdsItemOrcaEven->Close();
    LimpaPrevia();
    Habilita();
    // The items and reason pages have nothing left to show; with the data page
    // in front, the list that leaving the panel loads is the one shown.
    showPage(tshPadrao);
}

void TfrmCancAprovEnc::panFilialExit(TObject* /*Sender*/) {
    if (Consiste::EmptyString(edtCdFilial->Text())) {
        // With the branch fixed by the host the code field is disabled: the
        // report alone is given and the screen stays usable, list closed.
        if (edtCdFilial->CanFocus()) {
            edtCdFilial->SetFocus();
        }
        Consiste::MensErro(msgPadrao->Msg("Filial_N_Inf"), true);
    }
    pgcPadrao->SetEnabled(true);
    panNavigator->SetEnabled(true);
    Cli_ore06101::CriaFiltroCancAprovEnc();
    boPrimeiraVez = false;
    Habilita();
}

}  // namespace Cli_ore06100
