#pragma once

#include <string>

#include "host/data/client_data_set.h"
#include "host/net/hist_canc_aprov.h"
#include "host/net/net_connection.h"
#include "host/screens/padrao_grid.h"
#include "host/sql/adoib_query.h"
#include "host/ui/chart.h"

namespace Cli_ore06110 {

using namespace host;

// "Histórico de Cancelamentos de Aprovação" (screen ORE06110): the operator
// narrows the history of approval cancellations by period, branch, operator,
// justification and outcome, reads the records, what each one removed and a
// chart of the cancellations per month, and exports the list.
class TfrmHistCancAprov : public TfrmPadraoGrid {
public:
    TfrmHistCancAprov();
    ~TfrmHistCancAprov() override;
    const char* ClassName() const override { return "TfrmHistCancAprov"; }

    // Filter panel.
    TPanel* panFiltro;
    TLabel* lblPeriodo;
    TDateEditPlus* dtpInicio;
    TLabel* lblAte;
    TDateEditPlus* dtpFim;
    TLabel* lblFilial;
    TEdit* edtCdFilial;
    TBtnPesquisa* btnFilial;
    TEdit* edtNmFilial;
    TLabel* lblOperador;
    TEdit* edtCdOperador;
    TLabel* lblJustificativa;
    TEdit* edtCdJust;
    TBtnPesquisa* btnJustificativa;
    TEdit* edtDsJust;
    TLabel* lblResultado;
    TEdit* edtIdResultado;
    TBtnPesquisa* btnResultado;
    TEdit* edtDsResultado;

    // Removed documents page.
    TTabSheet* tshDocumentos;
    TLabel* lblContaReceber;
    TDBGrid* dbgContaReceber;
    TLabel* lblPedido;
    TDBGrid* dbgPedido;

    // Chart page.
    TTabSheet* tshGrafico;
    TChart* chtCancelamentos;

    // Menus and tool bar.
    TMenuItem* mnuFolhaDados;
    TMenuItem* mnuDocumentos;
    TMenuItem* mnuGrafico;
    TMenuItem* N1;
    TMenuItem* mnuExportar;
    TSpeedButton* sbtExportar;

    // Data.
    TClientDataSet* cdsHistCanc;
    TClientDataSet* cdsContaReceber;
    TClientDataSet* cdsPedido;
    TClientDataSet* cdsResultado;
    TDataSource* dtsContaReceber;
    TDataSource* dtsPedido;
    TDataSource* dstFilial;
    TDataSource* dtsJustExcl;
    TDataSource* dtsResultado;
    TADOIBQuery* qryFilial;
    TADOIBQuery* qryJustExcl;
    TADOIBQuery* qryPesqJust;
    TNetConnection* netHistCancAprov;

    // True from creation until the first activation has been handled.
    bool boPrimeiraVez = true;
    // The last answer of GetHistCancAprovDoc.
    Variant vaDocumentos;

    // Lifecycle.
    void FormCreate(TObject* Sender) override;
    void FormClose(TObject* Sender, TCloseAction& Action) override;
    void FormDestroy(TObject* Sender) override;
    void FormActivate(TObject* Sender);
    void netHistCancAprovBeforeConnect(TObject* Sender);

    // Filter.
    void edtCdFilialChange(TObject* Sender);
    void edtCdFilialExit(TObject* Sender);
    void btnFilialBeforePesq(TObject* Sender, bool& Cancel);
    void btnFilialAfterPesq(TObject* Sender);
    void edtCdOperadorExit(TObject* Sender);
    void edtCdJustChange(TObject* Sender);
    void edtCdJustExit(TObject* Sender);
    void btnJustificativaAfterPesq(TObject* Sender);
    void edtIdResultadoChange(TObject* Sender);
    void edtIdResultadoExit(TObject* Sender);
    void btnResultadoAfterPesq(TObject* Sender);
    void Vd_Filtro();

    // Record list, removed documents and chart.
    void sbtVerificarClick(TObject* Sender) override;
    void cdsHistCancIDRESULTADOGetText(TField& Sender, std::string& Text, bool DisplayText);
    void cdsHistCancDSRECUSAGetText(TField& Sender, std::string& Text, bool DisplayText);
    void cdsHistCancAfterScroll(TClientDataSet& DataSet);
    void cdsContaReceberIDBAIXADAGetText(TField& Sender, std::string& Text, bool DisplayText);
    void cdsPedidoIDSITUPEDIDOGetText(TField& Sender, std::string& Text, bool DisplayText);
    void PreencheGrafico();

    // Pages, state and export.
    void mnuFolhaDadosClick(TObject* Sender);
    void mnuDocumentosClick(TObject* Sender);
    void mnuGraficoClick(TObject* Sender);
    void pgcPadraoChange(TObject* Sender);
    void sbtExportarClick(TObject* Sender);
    void Habilita();

private:
    void defineForm();
    IRdmHistCancAprov& AppServer();
    void showPage(TTabSheet* page);
    void fetchDocuments();
    void closeDocuments();
    // The text of an outcome code ("" for an unknown one).
    std::string outcomeText(const std::string& code) const;
};

}  // namespace Cli_ore06110
