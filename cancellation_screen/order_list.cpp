// The order list: loading it from the server, the status text, the grid.
#include "cancellation_screen/canc_aprov_enc.h"
#include "cancellation_screen/unit.h"
#include "host/data/exceptions.h"
#include "host/services/busy.h"
#include "host/services/consiste.h"

namespace Cli_ore06100 {

void TfrmCancAprovEnc::sbtVerificarClick(TObject* /*Sender*/) {
    if (pgcPadrao->ActivePage() == tshPadrao) {
        // Loading the list.
        TShowAviGuard animation(Application().MainForm, Showavi::aviCarregando);
        Variant vaEncomenda = AppServer().GetEncomenda(
            edtCdFilial->Text(), Filtro.NrOrcaEven.NrIni, Filtro.NrOrcaEven.NrFin,
            Filtro.NrOrcaEven.Todos, Filtro.DtEntrega.DtIni, Filtro.DtEntrega.DtFin,
            Filtro.DtEntrega.Todos, Filtro.Vendedor.Lista, Filtro.Vendedor.Todos,
            Filtro.Cliente.Lista, Filtro.Cliente.Todos);
        vaEncomenda = Consiste::CheckResultServ(vaEncomenda, true, 0);
        cdsEncomenda->SetData(vaEncomenda);
        animation.Stop();
        focusOrderNumberColumn();
    } else {
        // Fetching the current order's items and observation again.
        fetchItems(false);
    }
    Habilita();
}

void TfrmCancAprovEnc::cdsEncomendaIDSITUORCEVEGetText(TField& Sender, std::string& Text,
                                                       bool /*DisplayText*/) {
    // Only "3" has a text in this list; other codes, and text that is not a
    // number, show nothing rather than stop the grid from painting.
    const std::string value = Sender.AsString();
    if (!Consiste::EmptyString(value) &&
        value.find_first_not_of(" 0123456789") == std::string::npos &&
        Variant(value).AsInteger() == 3) {
        Text = msgPadrao->Msg("3");
    }
}

void TfrmCancAprovEnc::dbgPadraoCellClick(TColumn& /*Column*/) {}

void TfrmCancAprovEnc::dbgPadraoTitleClick(TColumn& /*Column*/) {}

TfrmCancAprovEnc::OrderKey TfrmCancAprovEnc::currentOrder() const {
    return {cdsEncomenda->FieldByName("CDFILIAL").AsString(),
            cdsEncomenda->FieldByName("NRORCAEVENTO").AsString(),
            cdsEncomenda->FieldByName("NRSEQORCAEVE").AsString()};
}

void TfrmCancAprovEnc::makeCurrent(const OrderKey& order) {
    for (int recNo = 1; recNo <= cdsEncomenda->RecordCount(); ++recNo) {
        bool found = false;
        cdsEncomenda->ReadRecord(recNo, [&] { found = currentOrder() == order; });
        if (found) {
            cdsEncomenda->SetRecNo(recNo);
            return;
        }
    }
}

void TfrmCancAprovEnc::focusOrderNumberColumn() {
    dbgPadrao->SetFocus();
    for (std::size_t i = 0; i < dbgPadrao->Columns.size(); ++i) {
        if (dbgPadrao->Columns[i].FieldName == "NRORCAEVENTO") {
            dbgPadrao->SelectedIndex = static_cast<int>(i);
        }
    }
}

}  // namespace Cli_ore06100
