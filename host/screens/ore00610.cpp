#include "host/screens/ore00610.h"

#include "host/data/exceptions.h"
#include "host/services/handles.h"
#include "host/services/session.h"

namespace host {

TfrmPedidoOp::TfrmPedidoOp() : TForm("frmPedidoOp") {
    SetCaption("Ordens de Produção");
    SetBounds(0, 0, 520, 300);
    lblMensagem = Make<TLabel>("lblMensagem", this);
    lblMensagem->SetBounds(10, 10, 500, 32);
    lblMensagem->SetBold(true);
    dbgPedidoOp = Make<TDBGrid>("dbgPedidoOp", this);
    dbgPedidoOp->SetBounds(10, 48, 500, 200);
    dbgPedidoOp->TabOrder = 0;
    btnFechar = Make<TButton>("btnFechar", this);
    btnFechar->SetCaption("Fechar");
    btnFechar->SetBounds(430, 258, 80, 28);
    btnFechar->TabOrder = 1;
    btnFechar->Default = true;
    btnFechar->Cancel = true;
    btnFechar->OnClick = [this](TObject*) { SetModalResult(mrOk); };
    dtsPedidoOp = MakeDataSource("dtsPedidoOp", nullptr);
    OnClose = [](TObject*, TCloseAction& action) { action = TCloseAction::caFree; };
}

void AbrePedidoOp(const Variant& params) {
    const Variant::Array& values = params.AsArray();
    if (values.size() != 2) {
        throw Exception("ORE00610: parâmetros inválidos.");
    }
    TClientDataSet* productionOrders = DataSetFromHandle(values[0].AsInteger());
    if (productionOrders == nullptr) {
        throw Exception("ORE00610: conjunto de dados inválido.");
    }
    TfrmPedidoOp* form = Application().CreateForm<TfrmPedidoOp>();
    form->lblMensagem->SetCaption(values[1].AsString());
    form->dtsPedidoOp->DataSet = productionOrders;
    form->dbgPedidoOp->SetDataSource(form->dtsPedidoOp);
    // Visible fields only, with their labels: the data set decides what shows.
    for (const auto& field : productionOrders->Fields()) {
        if (field->Visible) {
            form->dbgPedidoOp->Columns.push_back({field->FieldName(), "", 0});
        }
    }
    form->ShowModal();
}

void RegisterHostScreens() {
    RegisterScreen("ORE00610", &AbrePedidoOp);
}

}  // namespace host
