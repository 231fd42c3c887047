#pragma once

#include "host/data/client_data_set.h"
#include "host/net/net_connection.h"
#include "host/screens/padrao_grid.h"
#include "host/sql/adoib_query.h"

namespace Cli_ore06100 {

using namespace host;

// "Cancelamento da Aprovação da Encomenda" (screen ORE06100): the operator
// picks a branch, filters its approved orders, states a reason and cancels the
// approval of the current order.
class TfrmCancAprovEnc : public TfrmPadraoGrid {
public:
    TfrmCancAprovEnc();
    ~TfrmCancAprovEnc() override;
    const char* ClassName() const override { return "TfrmCancAprovEnc"; }

    // Branch panel.
    TPanel* panFilial;
    TLabel* lblFilial;
    TEdit* edtCdFilial;
    TBtnPesquisa* btnFilial;
    TEdit* edtNmFilial;

    // Items page.
    TTabSheet* tshItens;
    TLabel* lblCliente;
    TDBText* DBText1;
    TLabel* lblDataHora;
    TDBText* DBText4;
    TLabel* lblPrecoBase;
    TDBEdit* dbePrecoBase;
    TBtnPesquisa* btnPrcBase;
    TDBEdit* dbeNmPrecoBase;
    TDBGrid* dbgItem;

    // Reason page.
    TTabSheet* tshMotivo;
    TLabel* lblMotivo;
    TEdit* edtCdJust;
    TBtnPesquisa* btnJustficativa;
    TEdit* edtDsJust;
    TMemo* memObs;
    TLabel* lblPrevia;
    TMemo* memPrevia;

    // Menus and tool bar.
    TMenuItem* mnuFolhaDados;
    TMenuItem* mnuItens;
    TMenuItem* mnuMotivo;
    TMenuItem* N1;
    TMenuItem* N2;
    TMenuItem* mnuFiltrar;
    TSpeedButton* sbtFiltro;

    // Data.
    TClientDataSet* cdsEncomenda;
    TClientDataSet* cdsItemOrcaEven;
    TClientDataSet* cdsObs;
    TClientDataSet* cdsPedidoOp;
    TClientDataSet* cdsEncoFilha;
    // What the preview found: the blockers, then the effects.
    TClientDataSet* cdsPrevFilha;
    TClientDataSet* cdsPrevOrdemProd;
    TClientDataSet* cdsPrevPedidoExp;
    TClientDataSet* cdsPrevContaBaixada;
    TClientDataSet* cdsPrevBoleto;
    TClientDataSet* cdsPrevContaExcl;
    TClientDataSet* cdsPrevPedidoExcl;
    TDataSource* dtsItemOrcaEven;
    TDataSource* dtsObs;
    TDataSource* dstFilial;
    TDataSource* dtsJustExcl;
    TADOIBQuery* qryFilial;
    TADOIBQuery* qryJustExcl;
    TADOIBQuery* qryPesqJust;
    TNetConnection* netCancAprovEnc;

    // True from creation until the first activation has been handled.
    bool boPrimeiraVez = true;
    // The last answer of GetItemEnc.
    Variant vaItemEnc;
    // The last answer of PreviewCancAprovaEnc.
    Variant vaPrevia;

    // Lifecycle.
    void FormCreate(TObject* Sender) override;
    void FormClose(TObject* Sender, TCloseAction& Action) override;
    void FormDestroy(TObject* Sender) override;
    void netCancAprovEncBeforeConnect(TObject* Sender);

    // Branch panel.
    void FormActivate(TObject* Sender);
    void btnFilialBeforePesq(TObject* Sender, bool& Cancel);
    void btnFilialAfterPesq(TObject* Sender);
    void edtCdFilialChange(TObject* Sender);
    void edtCdFilialEnter(TObject* Sender);
    void edtCdFilialExit(TObject* Sender);
    void panFilialEnter(TObject* Sender);
    void panFilialExit(TObject* Sender);

    // Order list and grid.
    void sbtVerificarClick(TObject* Sender) override;
    void cdsEncomendaIDSITUORCEVEGetText(TField& Sender, std::string& Text, bool DisplayText);
    void dbgPadraoCellClick(TColumn& Column);
    void dbgPadraoTitleClick(TColumn& Column);

    // Items and pages.
    void cdsEncomendaAfterScroll(TClientDataSet& DataSet);
    void cdsItemOrcaEvenCalcFields(TClientDataSet& DataSet);
    void mnuFolhaDadosClick(TObject* Sender);
    void mnuItensClick(TObject* Sender);

    // State rules.
    void Habilita();
    void dtsPadraoStateChange(TObject* Sender) override;

    // Filter.
    void sbtFiltroClick(TObject* Sender);
    void mnuFiltrarClick(TObject* Sender);

    // Reason.
    void pgcPadraoChange(TObject* Sender);
    void LimpaMotivo();
    void Vd_JustExcl(bool boObrigatorio);
    void edtCdJustChange(TObject* Sender);
    void edtCdJustExit(TObject* Sender);
    void btnJustficativaAfterPesq(TObject* Sender);
    void memObsEnter(TObject* Sender);
    void mnuMotivoClick(TObject* Sender);
    void cdsObsBeforePost(TClientDataSet& DataSet);
    void cdsObsAfterPost(TClientDataSet& DataSet);

    // Cancellation run.
    void sbtConfirmarClick(TObject* Sender) override;
    // Asks the server what cancelling the current order's approval would meet
    // and shows it in memPrevia; a failure is shown there too, never raised.
    void MostraPrevia();
    void LimpaPrevia();

    // Change, cancel and delete.
    void sbtAlterarClick(TObject* Sender) override;
    void sbtCancelarClick(TObject* Sender) override;
    void FormKeyDown(TObject* Sender, Word& Key, TShiftState Shift) override;
    void dbgPadraoKeyDown(TObject* Sender, Word& Key, TShiftState Shift) override;
    void cdsEncomendaBeforePost(TClientDataSet& DataSet);
    void cdsEncomendaAfterPost(TClientDataSet& DataSet);
    void cdsEncomendaAfterCancel(TClientDataSet& DataSet);
    void cdsEncomendaAfterDelete(TClientDataSet& DataSet);

private:
    void defineForm();
    IRdmCancAprovEnc& AppServer();
    // The page menu commands: bring the page forward, check its menu item.
    void showPage(TTabSheet* page);
    // Fetches the current order's items and observation under the busy
    // animation; a new current order without observation clears the memo.
    void fetchItems(bool orderChanged);
    // Loads the two packets of vaItemEnc into the items and the observation.
    void loadItemAnswer(bool orderChanged);
    // Puts the observation record into edit state (a new record when none).
    void startObservationEdit();
    // Reports a refusal keyed by "N_PARAM_" with the screen's own text.
    [[noreturn]] void reportKeyedRefusal(const std::string& text);
    void focusOrderNumberColumn();
    // Closes the order list and the items, and brings the data page (the only
    // one enabled then) to the front.
    void closeOrderList();

    // The key of a listed order, as every remote call on it passes it.
    struct OrderKey {
        std::string CDFILIAL;
        std::string NRORCAEVENTO;
        std::string NRSEQORCAEVE;
        friend bool operator==(const OrderKey&, const OrderKey&) = default;
    };
    OrderKey currentOrder() const;
    // Makes the listed order with that key current (the scroll handler runs
    // when the row changes); nothing happens when the list does not hold it.
    void makeCurrent(const OrderKey& order);
    // The order that the scroll handler last made current: the one whose
    // items and observation are shown, and for which the reason code was given.
    OrderKey m_shownOrder;
};

}  // namespace Cli_ore06100
