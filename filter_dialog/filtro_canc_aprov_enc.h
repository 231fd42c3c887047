#pragma once

#include "host/screens/filtro_padrao.h"
#include "host/sql/adoib_query.h"

namespace Cli_ore06101 {

using namespace host;

// "Filtro de Cancelamento da Aprovação da Encomenda" (screen ORE06101): the
// criteria of the cancellation screen's order list.
class TfrmFiltroCancAprovEnc : public TfrmFiltroPadrao {
public:
    TfrmFiltroCancAprovEnc();
    const char* ClassName() const override { return "TfrmFiltroCancAprovEnc"; }

    TGroupBox* grbNrOrca;
    TLabel* lblOrcaDe;
    TLabel* lblOrcaAte;
    TMaskEdit* medOrcaDe;
    TMaskEdit* medOrcaAte;
    TGroupBox* grbDtEvento;
    TLabel* lblEntregaDe;
    TLabel* lblEntregaAte;
    TDateEditPlus* depDeEntrega;
    TDateEditPlus* depAteEntrega;
    TGroupBox* grbVendedor;
    TRadioButton* rbtTVendedor;
    TRadioButton* rbtLVendedor;
    TButtonFlat* sbtVendedor;
    TGroupBox* grbCliente;
    TRadioButton* rbtTCliente;
    TRadioButton* rbtLCliente;
    TButtonFlat* sbtCliente;
    TGroupBox* grbSituacao;
    TCheckBox* chbPendente;
    TCheckBox* chbFechado;
    TCheckBox* chbEncerrado;
    TSpeedButton* sbtLimpa;

    TADOIBQuery* qryVendedor;
    TADOIBQuery* qryCliente;
    TDataSource* dtsVendedor;
    TDataSource* dtsCliente;

    void FormCreate(TObject* Sender) override;
    void FormActivate(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action) override;
    void FormKeyDown(TObject* Sender, Word& Key, TShiftState Shift) override;
    void medOrcaDeChange(TObject* Sender);
    void medOrcaDeExit(TObject* Sender);
    void medOrcaAteExit(TObject* Sender);
    void depDeEntregaExit(TObject* Sender);
    void depAteEntregaExit(TObject* Sender);
    void rbtTVendedorClick(TObject* Sender);
    void rbtLVendedorClick(TObject* Sender);
    void rbtTClienteClick(TObject* Sender);
    void rbtLClienteClick(TObject* Sender);
    void sbtConfirmaClick(TObject* Sender) override;
    void sbtCancelClick(TObject* Sender) override;
    void sbtLimpaClick(TObject* Sender);

    // Checks of the confirmation, in the order they run.
    void Vd_Intervalo();
    void Vd_DeIntervalo();
    void Vd_AteIntervalo();
    void Vd_DeEntrega();
    void Vd_AteEntrega();
    void Vd_Entrega();
    void Vd_StatusPedido();
    void Vd_Lista();

    // Pick lists and saved options.
    void sbtVendedorClick(TObject* Sender);
    void sbtClienteClick(TObject* Sender);
    void rbtLVendedorKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
    void rbtLClienteKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
    void qryClienteNRINSJURCLIEGetText(TField& Sender, std::string& Text, bool DisplayText);
    void btfSaveOpcClick(TObject* Sender) override;
    void btfLoadOpcClick(TObject* Sender) override;

private:
    void defineForm();
    // Reports the key's text, then puts the focus on `target` (when given) as
    // the abort leaves the handler.
    [[noreturn]] void report(const std::string& key, TWinControl* target);
    // Brings both order numbers to their 10-character form, as leaving each
    // field does.
    void adjustOrderNumbers();
    // The date edit's own check of a typed date (its message, then the focus
    // on it), as leaving the field does.
    void checkTypedDate(TDateEditPlus* date);
    // The controls are loaded from Filtro on the first activation only, so a
    // return from a pick list never overwrites the working lists.
    bool m_loaded = false;
};

}  // namespace Cli_ore06101
