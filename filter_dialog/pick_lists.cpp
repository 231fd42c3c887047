// The salesman and customer pick lists, and the working lists in the saved
// filter options.
#include "filter_dialog/filtro_canc_aprov_enc.h"
#include "filter_dialog/unit.h"
#include "host/data/formatting.h"
#include "host/services/consiste.h"
#include "host/services/pick_list.h"

namespace Cli_ore06101 {

void TfrmFiltroCancAprovEnc::sbtVendedorClick(TObject* /*Sender*/) {
    if (!qryVendedor->Active()) {
        qryVendedor->Open();
    }
    if (qryVendedor->IsEmpty()) {
        report("VEND", rbtLVendedor);
    }
    Pesqlista::PesquisaLista(dtsVendedor, "CDVENDEDOR", msgPadrao->Msg("VENDEDOR"), false,
                             stVendedor);
}

void TfrmFiltroCancAprovEnc::sbtClienteClick(TObject* /*Sender*/) {
    if (!qryCliente->Active()) {
        qryCliente->Open();
    }
    if (qryCliente->IsEmpty()) {
        report("CLIE", rbtLCliente);
    }
    Pesqlista::PesquisaLista(dtsCliente, "CDCLIENTE", msgPadrao->Msg("CLIENTE"), false, stCliente);
}

void TfrmFiltroCancAprovEnc::rbtLVendedorKeyDown(TObject* /*Sender*/, Word& Key,
                                                 TShiftState /*Shift*/) {
    if (Key == VK_F9) {
        sbtVendedorClick(sbtVendedor);
    }
}

void TfrmFiltroCancAprovEnc::rbtLClienteKeyDown(TObject* /*Sender*/, Word& Key,
                                                TShiftState /*Shift*/) {
    if (Key == VK_F9) {
        sbtClienteClick(sbtCliente);
    }
}

void TfrmFiltroCancAprovEnc::qryClienteNRINSJURCLIEGetText(TField& Sender, std::string& Text,
                                                           bool /*DisplayText*/) {
    const std::string mask = Consiste::PictPess(qryCliente->FieldByName("IDTPIJURCLIE").AsString());
    Text = FormatMaskText(mask, Sender.AsString());
}

void TfrmFiltroCancAprovEnc::btfSaveOpcClick(TObject* Sender) {
    SetOptionValue("stCliente", stCliente);
    SetOptionValue("stVendedor", stVendedor);
    TfrmFiltroPadrao::btfSaveOpcClick(Sender);
}

void TfrmFiltroCancAprovEnc::btfLoadOpcClick(TObject* Sender) {
    TfrmFiltroPadrao::btfLoadOpcClick(Sender);
    if (!OpcoesCarregadas) {
        return;
    }
    stCliente = OptionValue("stCliente");
    stVendedor = OptionValue("stVendedor");
}

}  // namespace Cli_ore06101
