// The confirm command: the child-order block, the first step that opens the
// reason page, and the second step that asks the server to cancel the
// approval and reports its outcome.
#include <exception>

#include "cancellation_screen/canc_aprov_enc.h"
#include "host/data/exceptions.h"
#include "host/services/busy.h"
#include "host/services/consiste.h"
#include "host/services/handles.h"
#include "host/services/session.h"

namespace Cli_ore06100 {

namespace {

bool isEditing(const TClientDataSet* dataSet) {
    return dataSet->State() == TDataSetState::dsEdit || dataSet->State() == TDataSetState::dsInsert;
}

// Puts the detail where the template has %s. Nothing else in the template or
// the detail is interpreted, so a stray % can never break the message.
std::string fillPlaceholder(const std::string& textTemplate, const std::string& detail) {
    const auto placeholder = textTemplate.find("%s");
    if (placeholder == std::string::npos) {
        return textTemplate;
    }
    return textTemplate.substr(0, placeholder) + detail + textTemplate.substr(placeholder + 2);
}

}  // namespace

void TfrmCancAprovEnc::sbtConfirmarClick(TObject* /*Sender*/) {
    // No current order (the list closed, or emptied by deletions while the
    // button stays enabled): there is nothing to cancel and nothing to ask.
    if (cdsEncomenda->IsEmpty()) {
        return;
    }

    // 1. Child-order check, always first.
    cdsEncoFilha->SetData(Consiste::CheckResultServ(
        AppServer().GetEncomendaFilha(cdsEncomenda->FieldByName("CDFILIAL").AsString(),
                                      cdsEncomenda->FieldByName("NRORCAEVENTO").AsString()),
        true, 0));
    if (cdsEncoFilha->RecordCount() > 0 &&
        cdsEncomenda->FieldByName("NRSEQORCAEVE").AsString() == "00") {
        Consiste::MensErro(msgPadrao->Msg("ENCO_FILHA"), true);
    }

    // 2. The order's state chooses the step.
    if (!isEditing(cdsEncomenda)) {
        // 3. First step: prepare the reason page.
        cdsEncomenda->Edit();
        tshMotivo->SetEnabled(true);
        pgcPadrao->SetActivePage(tshMotivo);
        edtCdJust->Clear();
        // Clearing a code that is empty already changes nothing, so the
        // order's stored description is cleared here too.
        edtDsJust->Clear();
        edtCdJust->SetFocus();
        memObs->Clear();
        Habilita();
        // Everything that blocks the cancellation, or that it would remove,
        // is shown under the memo before the operator gives the reason.
        MostraPrevia();
        MessageDlg(msgPadrao->Msg("Motivo_N_Inf"), TMsgDlgType::mtInformation, mbOK, 0);
    } else {
        // 4. Second step, under the guard of 5.
        try {
            TShowAviGuard animation(Application().MainForm, Showavi::aviEnviando);
            if (msgPadrao->ShowMsg("Conf_Cancela", TMsgDlgType::mtConfirmation, mbYes | mbNo, 0) !=
                mrYes) {
                animation.Stop();
            } else {
                Vd_JustExcl(true);
                pgcPadrao->SetActivePage(tshPadrao);
                std::string cdFilial = cdsEncomenda->FieldByName("CDFILIAL").AsString();
                std::string nrOrcaEvento = cdsEncomenda->FieldByName("NRORCAEVENTO").AsString();
                std::string nrSeqOrcaEve = cdsEncomenda->FieldByName("NRSEQORCAEVE").AsString();
                // The observation travels with the request, and is recorded by
                // the server, only when it is the one the operator wrote now.
                Variant observation;
                if (!Consiste::EmptyString(memObs->Text()) && isEditing(cdsObs)) {
                    cdsObs->Post();
                    observation = Variant(memObs->Text());
                }
                if (isEditing(cdsEncomenda)) {
                    cdsEncomenda->Post();
                }
                const Variant answer = Consiste::CheckResultServ(
                    AppServer().CancAprovaEnc(cdFilial, nrOrcaEvento, nrSeqOrcaEve,
                                              edtCdJust->Text(), observation, Morvane::Operador()),
                    true, 0);
                const Variant::Array& outcome = answer.AsArray();
                const Variant productionOrders = outcome.size() > 0 ? outcome[0] : Variant();
                const Variant shippedOrders = outcome.size() > 1 ? outcome[1] : Variant();
                if (VarIsNull(productionOrders) && VarIsNull(shippedOrders)) {
                    // 4.9.1 Cancelled.
                    pgcPadrao->SetActivePage(tshPadrao);
                    sbtVerificarClick(sbtVerificar);
                    sbtVerificarClick(sbtVerificar);
                    msgPadrao->ShowMsg("SUCESSO", TMsgDlgType::mtInformation, mbOK, 0);
                } else if (!VarIsNull(productionOrders)) {
                    // 4.9.2 Blocked by production orders: screen ORE00610 lists them.
                    cdsPedidoOp->SetData(productionOrders);
                    if (cdsPedidoOp->RecordCount() > 0) {
                        const Variant params =
                            VarArrayOf({Variant(HandleOf(cdsPedidoOp)),
                                        Variant(msgPadrao->Msg("APROV_N_CANC"))});
                        Morvane::LoadBPL("ORE00610", params);
                    }
                } else {
                    // 4.9.3 Blocked by shipped sales orders.
                    Consiste::MensErro(msgPadrao->Msg("PEDIDOEXP"), true);
                }
                animation.Stop();
            }
        } catch (const std::exception& error) {
            // 5. The animation is already off (the guard's destructor ran).
            const std::string text = error.what();
            if (dynamic_cast<const EAbort*>(&error) == nullptr &&
                text.find("N_PARAM_") != std::string::npos) {
                reportKeyedRefusal(text);
            }
            throw;
        }
    }

    // 6. Closing sequence.
    sbtVerificarClick(sbtVerificar);
    pgcPadrao->SetActivePage(tshPadrao);
    sbtVerificarClick(sbtVerificar);
}

void TfrmCancAprovEnc::reportKeyedRefusal(const std::string& text) {
    const auto bar = text.find('|');
    if (bar != std::string::npos) {
        const std::string key = text.substr(0, bar);
        const std::string detail = text.substr(bar + 1);
        Consiste::MensErro(fillPlaceholder(msgPadrao->Msg(key), detail), true);
    }
    Consiste::MensErro(msgPadrao->Msg(text), true);
    throw EAbort();  // MensErro with the abort flag never returns
}

}  // namespace Cli_ore06100
