// Behaviour of the filter dialog: loading from Filtro, the fields' rules, the
// checks of the confirmation and the writing of Filtro.
#include "filter_dialog/filtro_canc_aprov_enc.h"

#include "cancellation_screen/canc_aprov_enc.h"
#include "cancellation_screen/unit.h"
#include "filter_dialog/unit.h"
#include "host/services/consiste.h"

namespace Cli_ore06101 {

using Cli_ore06100::Filtro;
using Consiste::EmptyString;

void TfrmFiltroCancAprovEnc::FormCreate(TObject* Sender) {
    TfrmFiltroPadrao::FormCreate(Sender);
    medOrcaDe->Clear();
    medOrcaAte->Clear();
    depDeEntrega->Clear();
    depAteEntrega->Clear();
}

void TfrmFiltroCancAprovEnc::FormActivate(TObject* /*Sender*/) {
    if (m_loaded) {
        return;
    }
    m_loaded = true;
    Repaint();
    // Writing the first number clears the second, so the second goes last.
    medOrcaDe->SetText(Filtro.NrOrcaEven.NrIni);
    medOrcaAte->SetText(Filtro.NrOrcaEven.NrFin);
    depDeEntrega->SetDate(Filtro.DtEntrega.DtIni);
    depAteEntrega->SetDate(Filtro.DtEntrega.DtFin);
    rbtTVendedor->SetChecked(Filtro.Vendedor.Todos == "T");
    rbtLVendedor->SetChecked(!(Filtro.Vendedor.Todos == "T"));
    stVendedor = Filtro.Vendedor.Lista;
    rbtTCliente->SetChecked(Filtro.Cliente.Todos == "T");
    rbtLCliente->SetChecked(!(Filtro.Cliente.Todos == "T"));
    stCliente = Filtro.Cliente.Lista;
    chbFechado->SetChecked(true);
}

void TfrmFiltroCancAprovEnc::FormClose(TObject* Sender, TCloseAction& Action) {
    TfrmFiltroPadrao::FormClose(Sender, Action);
    boIdCriado = false;
    Action = TCloseAction::caFree;
}

void TfrmFiltroCancAprovEnc::FormKeyDown(TObject* Sender, Word& Key, TShiftState Shift) {
    TfrmFiltroPadrao::FormKeyDown(Sender, Key, Shift);
}

// ---- Order numbers -----------------------------------------------------

void TfrmFiltroCancAprovEnc::medOrcaDeChange(TObject* /*Sender*/) {
    medOrcaAte->Clear();
}

void TfrmFiltroCancAprovEnc::medOrcaDeExit(TObject* /*Sender*/) {
    medOrcaDe->SetText(Consiste::Ajusta(medOrcaDe->Text(), 10));
    medOrcaAte->SetText(medOrcaDe->Text());
}

void TfrmFiltroCancAprovEnc::medOrcaAteExit(TObject* /*Sender*/) {
    medOrcaAte->SetText(Consiste::Ajusta(medOrcaAte->Text(), 10));
}

// ---- Delivery dates ------------------------------------------------------

void TfrmFiltroCancAprovEnc::depDeEntregaExit(TObject* /*Sender*/) {
    depDeEntrega->CheckValidDate();
}

void TfrmFiltroCancAprovEnc::depAteEntregaExit(TObject* /*Sender*/) {
    depAteEntrega->CheckValidDate();
}

// ---- Radio buttons -------------------------------------------------------

void TfrmFiltroCancAprovEnc::rbtTVendedorClick(TObject* /*Sender*/) {
    sbtVendedor->SetEnabled(!rbtTVendedor->Checked());
}

void TfrmFiltroCancAprovEnc::rbtLVendedorClick(TObject* /*Sender*/) {
    sbtVendedor->SetEnabled(rbtLVendedor->Checked());
}

void TfrmFiltroCancAprovEnc::rbtTClienteClick(TObject* /*Sender*/) {
    sbtCliente->SetEnabled(!rbtTCliente->Checked());
}

void TfrmFiltroCancAprovEnc::rbtLClienteClick(TObject* /*Sender*/) {
    sbtCliente->SetEnabled(rbtLCliente->Checked());
}

// ---- Clear ("Desfazer") --------------------------------------------------

void TfrmFiltroCancAprovEnc::sbtLimpaClick(TObject* /*Sender*/) {
    stVendedor.clear();
    stCliente.clear();
    medOrcaDe->Clear();
    medOrcaAte->Clear();
    depDeEntrega->Clear();
    depAteEntrega->Clear();
    rbtTVendedor->SetChecked(true);
    rbtTCliente->SetChecked(true);
}

// ---- Confirmation ----------------------------------------------------------

void TfrmFiltroCancAprovEnc::report(const std::string& key, TWinControl* target) {
    try {
        Consiste::MensErro(msgPadrao->Msg(key), true);
    } catch (...) {
        if (target != nullptr) {
            target->SetFocus();
        }
        throw;
    }
    throw EAbort();  // MensErro with the abort flag never returns
}

void TfrmFiltroCancAprovEnc::Vd_Intervalo() {
    if (!EmptyString(*medOrcaDe) && !EmptyString(*medOrcaAte) &&
        medOrcaDe->Text() > medOrcaAte->Text()) {
        report("NRINI>NRFIN", medOrcaDe);
    }
}

void TfrmFiltroCancAprovEnc::Vd_DeIntervalo() {
    if (EmptyString(*medOrcaDe) && !EmptyString(*medOrcaAte)) {
        report("NRINI", medOrcaDe);
    }
}

void TfrmFiltroCancAprovEnc::Vd_AteIntervalo() {
    if (!EmptyString(*medOrcaDe) && EmptyString(*medOrcaAte)) {
        report("NRFIN", medOrcaAte);
    }
}

void TfrmFiltroCancAprovEnc::Vd_DeEntrega() {
    if (EmptyString(*depDeEntrega) && !EmptyString(*depAteEntrega)) {
        report("DTINI_ENTREGA", depDeEntrega);
    }
}

void TfrmFiltroCancAprovEnc::Vd_AteEntrega() {
    if (!EmptyString(*depDeEntrega) && EmptyString(*depAteEntrega)) {
        report("DTFIN_ENTREGA", depAteEntrega);
    }
}

void TfrmFiltroCancAprovEnc::Vd_Entrega() {
    if (!EmptyString(*depDeEntrega) && !EmptyString(*depAteEntrega) &&
        depAteEntrega->GetDate().days < depDeEntrega->GetDate().days) {
        report("DTINI>DTFIN_ENTREGA", depDeEntrega);
    }
}

void TfrmFiltroCancAprovEnc::Vd_StatusPedido() {
    if (!chbFechado->Checked()) {
        report("STATUSPED", chbFechado);
    }
}

void TfrmFiltroCancAprovEnc::Vd_Lista() {
    if (rbtLCliente->Checked() && EmptyString(stCliente)) {
        report("LCliente", nullptr);
    }
    if (rbtLVendedor->Checked() && EmptyString(stVendedor)) {
        report("LVendedor", nullptr);
    }
}

void TfrmFiltroCancAprovEnc::adjustOrderNumbers() {
    // Both are computed first: writing the first number clears the second.
    const std::string nrIni = Consiste::Ajusta(medOrcaDe->Text(), 10);
    const std::string nrFin = Consiste::Ajusta(medOrcaAte->Text(), 10);
    medOrcaDe->SetText(nrIni);
    medOrcaAte->SetText(nrFin);
}

void TfrmFiltroCancAprovEnc::checkTypedDate(TDateEditPlus* date) {
    try {
        date->CheckValidDate();
    } catch (...) {
        date->SetFocus();
        throw;
    }
}

void TfrmFiltroCancAprovEnc::sbtConfirmaClick(TObject* Sender) {
    // The confirm button takes no focus and Ctrl+Enter leaves it in place, so
    // the field being typed in has not been left: what its exit would do to
    // the text is done here, without the copy of the first number into the
    // second, which belongs to leaving the first field.
    adjustOrderNumbers();
    Vd_Intervalo();
    Vd_DeIntervalo();
    Vd_AteIntervalo();
    checkTypedDate(depDeEntrega);
    checkTypedDate(depAteEntrega);
    Vd_DeEntrega();
    Vd_AteEntrega();
    Vd_Entrega();
    Vd_StatusPedido();
    Vd_Lista();

    if (!EmptyString(*medOrcaDe) && !EmptyString(*medOrcaAte)) {
        Filtro.NrOrcaEven.NrIni = medOrcaDe->Text();
        Filtro.NrOrcaEven.NrFin = medOrcaAte->Text();
        Filtro.NrOrcaEven.Todos = "";
    } else {
        Filtro.NrOrcaEven.NrIni = "";
        Filtro.NrOrcaEven.NrFin = "";
        Filtro.NrOrcaEven.Todos = "T";
    }

    if (EmptyString(*depDeEntrega) || EmptyString(*depAteEntrega)) {
        Filtro.DtEntrega.DtIni = TDateTime{0};
        Filtro.DtEntrega.DtFin = TDateTime{0};
        Filtro.DtEntrega.Todos = "T";
    } else {
        Filtro.DtEntrega.DtIni = depDeEntrega->GetDate();
        Filtro.DtEntrega.DtFin = depAteEntrega->GetDate();
        Filtro.DtEntrega.Todos = "";
    }

    Filtro.IdSitu = chbFechado->Checked() ? "2" : "";
    Filtro.TodosSitu = "T";

    if (rbtTCliente->Checked()) {
        Filtro.Cliente.Todos = "T";
        Filtro.Cliente.Lista = "";
    } else {
        Filtro.Cliente.Todos = "";
        Filtro.Cliente.Lista = stCliente;
    }

    if (rbtTVendedor->Checked()) {
        Filtro.Vendedor.Todos = "T";
        Filtro.Vendedor.Lista = "";
    } else {
        Filtro.Vendedor.Todos = "";
        Filtro.Vendedor.Lista = stVendedor;
    }

    SetModalResult(mrOk);
    // The screen reloads while the dialog still shows; a failing reload is
    // reported by it, and the dialog closes all the same.
    if (Cli_ore06100::frmCancAprovEnc != nullptr) {
        Cli_ore06100::frmCancAprovEnc->sbtVerificarClick(Sender);
    }
}

void TfrmFiltroCancAprovEnc::sbtCancelClick(TObject* Sender) {
    TfrmFiltroPadrao::sbtCancelClick(Sender);
    SetModalResult(mrCancel);
}

}  // namespace Cli_ore06101
