#pragma once

#include "host/ui/form.h"

namespace host {

// The host's screen "ORE00610": the production orders that block a
// cancellation, listed under the text the caller hands over. Modal; returns
// when the operator closes it.
class TfrmPedidoOp : public TForm {
public:
    TfrmPedidoOp();
    const char* ClassName() const override { return "TfrmPedidoOp"; }

    TLabel* lblMensagem;
    TDBGrid* dbgPedidoOp;
    TButton* btnFechar;
    TDataSource* dtsPedidoOp;
};

// Opens ORE00610 with [data set handle, message text]; raises when the handle
// names no live data set.
void AbrePedidoOp(const Variant& params);

// Registers the screens the host itself provides (ORE00610).
void RegisterHostScreens();

}  // namespace host
