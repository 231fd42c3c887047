// The form definition of the cancellation screen: every component the screen
// adds to the base grid screen, with its properties and event bindings.
#include "cancellation_screen/canc_aprov_enc.h"
#include "host/screens/branch_picker.h"
#include "host/screens/form_parts.h"

namespace Cli_ore06100 {

TfrmCancAprovEnc::TfrmCancAprovEnc() : TfrmPadraoGrid("frmCancAprovEnc") {
    defineForm();
}

TfrmCancAprovEnc::~TfrmCancAprovEnc() = default;

void TfrmCancAprovEnc::defineForm() {
    using FT = FieldType;

    SetCaption("Cancelamento da Aprovação da Encomenda");
    lblCodTela->SetCaption("ORE06100");
    lblCodTela->Anchors = akTop | akRight;
    // Narrower or lower than this the screen scrolls; above it the grids and
    // the memo take the room.
    MinWidth = 700;
    MinHeight = 400;
    OnActivate = [this](TObject* s) { FormActivate(s); };

    // ---- Connection to the application server -----------------------------
    netCancAprovEnc = Make<TNetConnection>("netCancAprovEnc");
    netCancAprovEnc->ServerName = "ORE06100.rdmCancAprovEnc";
    netCancAprovEnc->Host = "127.0.0.1";
    netCancAprovEnc->ThrowException = false;
    netCancAprovEnc->BeforeConnect = [this](TObject* s) { netCancAprovEncBeforeConnect(s); };

    // ---- Order list cdsEncomenda ------------------------------------------
    cdsEncomenda = MakeDataSet("cdsEncomenda");
    addField(cdsEncomenda, "NRORCAEVENTO", FT::String, 10, "Orçamento");
    addField(cdsEncomenda, "NMFANTCLIE", FT::String, 50, "Cliente");
    addField(cdsEncomenda, "IDSITUORCEVE", FT::String, 1, "Situação").OnGetText =
        [this](TField& f, std::string& t, bool d) { cdsEncomendaIDSITUORCEVEGetText(f, t, d); };
    addField(cdsEncomenda, "CDFILIAL", FT::String, 4, "", false);
    addField(cdsEncomenda, "NRSEQORCAEVE", FT::FixedString, 2, "Seq.", false);
    addField(cdsEncomenda, "DTEVENTO", FT::DateTime, 0, "", false);
    addField(cdsEncomenda, "QTCONVORCEVE", FT::Float, 0, "", false);
    addField(cdsEncomenda, "CDPRECOBASE", FT::String, 2, "", false);
    addField(cdsEncomenda, "DSPRECOBASE", FT::String, 30, "", false);
    addField(cdsEncomenda, "DTVALIORCEVE", FT::DateTime, 0, "", false);
    addField(cdsEncomenda, "CDVENDEDOR", FT::String, 4, "", false);
    addField(cdsEncomenda, "CDCLIENTE", FT::String, 21, "", false);
    addField(cdsEncomenda, "DSTITUORCEVE", FT::String, 100, "", false);
    addField(cdsEncomenda, "NMCLIEORCEVE", FT::String, 50, "Cliente", false);
    addField(cdsEncomenda, "CDJUSTEXCHIS", FT::String, 4, "", false);
    addField(cdsEncomenda, "CDOPEJUSTORC", FT::String, 12, "", false);
    addField(cdsEncomenda, "DSJUSTEXCHIS", FT::String, 40, "", false);
    addField(cdsEncomenda, "DTHRENTROREV", FT::DateTime, 0, "Entrega");
    cdsEncomenda->BeforePost = [this](TClientDataSet& d) { cdsEncomendaBeforePost(d); };
    cdsEncomenda->AfterPost = [this](TClientDataSet& d) { cdsEncomendaAfterPost(d); };
    cdsEncomenda->AfterCancel = [this](TClientDataSet& d) { cdsEncomendaAfterCancel(d); };
    cdsEncomenda->AfterDelete = [this](TClientDataSet& d) { cdsEncomendaAfterDelete(d); };
    cdsEncomenda->AfterScroll = [this](TClientDataSet& d) { cdsEncomendaAfterScroll(d); };
    dtsPadrao->DataSet = cdsEncomenda;
    dbgPadrao->SetDataSource(dtsPadrao);  // the grid observes the data set it now shows

    // ---- Order items cdsItemOrcaEven --------------------------------------
    cdsItemOrcaEven = MakeDataSet("cdsItemOrcaEven");
    addField(cdsItemOrcaEven, "CDFILIAL", FT::String, 4, "Código");
    addField(cdsItemOrcaEven, "NRORCAEVENTO", FT::String, 10);
    addField(cdsItemOrcaEven, "NRITEMORCEVE", FT::String, 10);
    addField(cdsItemOrcaEven, "CDPRODUTO", FT::String, 10);
    addField(cdsItemOrcaEven, "QTITEMORCEVE", FT::Float, 0).DisplayFormat = "#,##0.000";
    addField(cdsItemOrcaEven, "VRITEMORCEVE", FT::Float, 0).DisplayFormat = "#,##0.00";
    addField(cdsItemOrcaEven, "VRDESCITOREV", FT::Float, 0);
    addField(cdsItemOrcaEven, "IDITOREVPROD", FT::String, 1);
    addField(cdsItemOrcaEven, "NROPCAITOREV", FT::String, 2);
    addField(cdsItemOrcaEven, "CDGRTOTAPROD", FT::String, 3);
    addField(cdsItemOrcaEven, "CDARVPROD", FT::String, 20);
    addField(cdsItemOrcaEven, "NMPRODUTO", FT::String, 50);
    addField(cdsItemOrcaEven, "SGUNIDADE", FT::String, 10);
    cdsItemOrcaEven->AddCalculatedField({"VRTOTALITEM", FT::Float, 0}).DisplayFormat = "#,##0.00";
    cdsItemOrcaEven->OnCalcFields = [this](TClientDataSet& d) { cdsItemOrcaEvenCalcFields(d); };
    dtsItemOrcaEven = MakeDataSource("dtsItemOrcaEven", cdsItemOrcaEven);

    // ---- Observation cdsObs -----------------------------------------------
    cdsObs = MakeDataSet("cdsObs");
    addField(cdsObs, "TXOBSJUSTORC", FT::Blob, 0, "Observação");
    addField(cdsObs, "CDFILIAL", FT::String, 4, "", false);
    addField(cdsObs, "NRORCAEVENTO", FT::String, 10, "", false);
    addField(cdsObs, "NRSEQORCAEVE", FT::FixedString, 2, "", false);
    addField(cdsObs, "CDOPERADOR", FT::String, 12);
    addField(cdsObs, "DTHRHISTORCA", FT::DateTime, 0);
    cdsObs->BeforePost = [this](TClientDataSet& d) { cdsObsBeforePost(d); };
    cdsObs->AfterPost = [this](TClientDataSet& d) { cdsObsAfterPost(d); };
    dtsObs = MakeDataSource("dtsObs", cdsObs);

    // ---- Production orders cdsPedidoOp ------------------------------------
    cdsPedidoOp = MakeDataSet("cdsPedidoOp");
    addField(cdsPedidoOp, "CDFILIAL", FT::String, 4, "", false);
    addField(cdsPedidoOp, "NRPEDIDO", FT::String, 10, "", false);
    addField(cdsPedidoOp, "NRORDPROD", FT::String, 10, "Ordem");
    addField(cdsPedidoOp, "NRSUBORDPROD", FT::String, 1, "Sequêncial", false);
    addField(cdsPedidoOp, "NMPRODUTO", FT::String, 50, "Produto");
    addField(cdsPedidoOp, "CDPRODUTO", FT::String, 10, "", false);
    addField(cdsPedidoOp, "CDARVPROD", FT::String, 20, "", false);

    // ---- Child orders cdsEncoFilha ----------------------------------------
    cdsEncoFilha = MakeDataSet("cdsEncoFilha");
    addField(cdsEncoFilha, "NRORCAEVENTO", FT::String, 10);
    addField(cdsEncoFilha, "NRSEQORCAEVE", FT::FixedString, 2);

    // ---- Preview of the cancellation --------------------------------------
    cdsPrevFilha = MakeDataSet("cdsPrevFilha");
    addField(cdsPrevFilha, "NRORCAEVENTO", FT::String, 10);
    addField(cdsPrevFilha, "NRSEQORCAEVE", FT::FixedString, 2);
    cdsPrevOrdemProd = MakeDataSet("cdsPrevOrdemProd");
    addField(cdsPrevOrdemProd, "CDFILIAL", FT::String, 4, "", false);
    addField(cdsPrevOrdemProd, "NRPEDIDO", FT::String, 10, "", false);
    addField(cdsPrevOrdemProd, "NRORDPROD", FT::String, 10, "Ordem");
    addField(cdsPrevOrdemProd, "NRSUBORDPROD", FT::String, 1, "Sequêncial");
    addField(cdsPrevOrdemProd, "NMPRODUTO", FT::String, 50, "Produto");
    addField(cdsPrevOrdemProd, "CDPRODUTO", FT::String, 10, "", false);
    addField(cdsPrevOrdemProd, "CDARVPROD", FT::String, 20, "", false);
    cdsPrevPedidoExp = MakeDataSet("cdsPrevPedidoExp");
    addField(cdsPrevPedidoExp, "CDFILIAL", FT::String, 4, "", false);
    addField(cdsPrevPedidoExp, "NRPEDIDO", FT::String, 10, "Pedido");
    cdsPrevContaBaixada = MakeDataSet("cdsPrevContaBaixada");
    addField(cdsPrevContaBaixada, "NRDOCUMENTO", FT::String, 10, "Documento");
    addField(cdsPrevContaBaixada, "VRDOCUMENTO", FT::Float, 0, "Valor").DisplayFormat = "#,##0.00";
    cdsPrevBoleto = MakeDataSet("cdsPrevBoleto");
    addField(cdsPrevBoleto, "NRDOCUMENTO", FT::String, 10, "Documento");
    addField(cdsPrevBoleto, "VRDOCUMENTO", FT::Float, 0, "Valor").DisplayFormat = "#,##0.00";
    cdsPrevContaExcl = MakeDataSet("cdsPrevContaExcl");
    addField(cdsPrevContaExcl, "NRDOCUMENTO", FT::String, 10, "Documento");
    addField(cdsPrevContaExcl, "VRDOCUMENTO", FT::Float, 0, "Valor").DisplayFormat = "#,##0.00";
    cdsPrevPedidoExcl = MakeDataSet("cdsPrevPedidoExcl");
    addField(cdsPrevPedidoExcl, "CDFILIAL", FT::String, 4, "", false);
    addField(cdsPrevPedidoExcl, "NRPEDIDO", FT::String, 10, "Pedido");

    // ---- Lookup queries on the shared database ----------------------------
    MakeBranchLookup(*this);

    qryJustExcl = Make<TADOIBQuery>("qryJustExcl");
    qryJustExcl->SetSQL({"SELECT", "   CDJUSTEXCHIS,", "   DSJUSTEXCHIS", "FROM", "   JUSTEXCHIS",
                         "ORDER BY", "   CDJUSTEXCHIS "});
    TField& justCode = qryJustExcl->DataSet().AddField({"CDJUSTEXCHIS", FT::String, 4});
    justCode.DisplayLabel = "Código";
    justCode.Required = true;
    qryJustExcl->DataSet().AddField({"DSJUSTEXCHIS", FT::String, 40}).DisplayLabel = "Descrição";
    dtsJustExcl = MakeDataSource("dtsJustExcl", &qryJustExcl->DataSet());

    qryPesqJust = Make<TADOIBQuery>("qryPesqJust");
    qryPesqJust->SetSQL({"SELECT", "   CDJUSTEXCHIS,", "   DSJUSTEXCHIS", "FROM", "   JUSTEXCHIS",
                         "WHERE", "   (CDJUSTEXCHIS = :P_CDJUSTEXCHIS)"});
    qryPesqJust->DataSet().AddField({"CDJUSTEXCHIS", FT::String, 4}).Required = true;
    qryPesqJust->DataSet().AddField({"DSJUSTEXCHIS", FT::String, 40});

    // ---- Tool bar: the filter button after the record commands ------------
    sbtFiltro = Make<TSpeedButton>("sbtFiltro", panMenu);
    sbtFiltro->SetBounds(sbtConfirmar->Left() + 36, 3, 28, 28);
    sbtFiltro->SetHint("Filtrar");
    sbtFiltro->Flat = true;
    sbtFiltro->NumGlyphs = 2;
    sbtFiltro->SetEnabled(false);
    sbtFiltro->OnClick = [this](TObject* s) { sbtFiltroClick(s); };
    sbtImprimir->SetBounds(sbtFiltro->Left() + 30, 3, 28, 28);
    sbtImprimir->SetEnabled(false);
    sbtAjuda->SetBounds(sbtImprimir->Left() + 30, 3, 28, 28);
    sbtFechar->SetBounds(sbtAjuda->Left() + 30, 3, 28, 28);

    // ---- Branch panel, across the top under the tool bar ------------------
    panFilial = Make<TPanel>("panFilial", this);
    panFilial->Align = TAlign::alTop;
    panFilial->SetBounds(0, 34, 780, 34);
    panFilial->TabOrder = 0;
    panFilial->OnEnter = [this](TObject* s) { panFilialEnter(s); };
    panFilial->OnExit = [this](TObject* s) { panFilialExit(s); };

    MakeBranchPicker(*this, panFilial, {.Left = 8, .Top = 6, .NameWidth = 260, .CodeTabOrder = 0});
    edtCdFilial->OnEnter = [this](TObject* s) { edtCdFilialEnter(s); };
    edtNmFilial->TabOrder = 1;

    // ---- Pages ------------------------------------------------------------
    pgcPadrao->SetBounds(0, 68, 780, 442);
    pgcPadrao->OnChange = [this](TObject* s) { pgcPadraoChange(s); };
    tshPadrao->SetCaption("Folha Dados (Grade)");
    tshPadrao->TabVisible = true;

    dbgPadrao->Columns = {
        {"NRORCAEVENTO", "Nr. Encomenda", 108},
        {"NRSEQORCAEVE", "", 29},
        {"NMFANTCLIE", "", 242},
        {"IDSITUORCEVE", "", 97},
        {"DTHRENTROREV", "", 0},
    };
    dbgPadrao->OnCellClick = [this](TColumn& c) { dbgPadraoCellClick(c); };
    dbgPadrao->OnTitleClick = [this](TColumn& c) { dbgPadraoTitleClick(c); };

    dbtNome->Bind(dtsPadrao, "NMFANTCLIE");
    dbnPadrao->Hints.clear();

    tshItens = Make<TTabSheet>("tshItens", pgcPadrao);
    tshItens->SetCaption("Itens");
    lblCliente = makeLabel(this, "lblCliente", tshItens, "Cliente", 8, 8, 50);
    DBText1 = Make<TDBText>("DBText1", tshItens);
    DBText1->Bind(dtsPadrao, "NMFANTCLIE");
    DBText1->SetBounds(62, 8, 360, 16);
    lblDataHora = makeLabel(this, "lblDataHora", tshItens, "Data/Hora", 480, 8, 70);
    DBText4 = Make<TDBText>("DBText4", tshItens);
    DBText4->Bind(dtsPadrao, "DTHRENTROREV");
    DBText4->SetBounds(554, 8, 140, 16);
    lblPrecoBase = makeLabel(this, "lblPrecoBase", tshItens, "Preço Base", 8, 36, 70);
    dbePrecoBase = Make<TDBEdit>("dbePrecoBase", tshItens);
    dbePrecoBase->Bind(dtsPadrao, "CDPRECOBASE");
    dbePrecoBase->SetBounds(82, 32, 32, 21);
    dbePrecoBase->SetColor(TColor::clInfoBk);
    dbePrecoBase->SetEnabled(false);
    btnPrcBase = Make<TBtnPesquisa>("btnPrcBase", tshItens);
    btnPrcBase->SetBounds(116, 32, 21, 21);
    btnPrcBase->Associate = nullptr;
    btnPrcBase->Title = "Preço Base";
    btnPrcBase->EmptyError = "Não há preço base cadastrado.";
    btnPrcBase->SetEnabled(false);
    dbeNmPrecoBase = Make<TDBEdit>("dbeNmPrecoBase", tshItens);
    dbeNmPrecoBase->Bind(dtsPadrao, "DSPRECOBASE");
    dbeNmPrecoBase->SetBounds(140, 32, 260, 21);
    dbeNmPrecoBase->SetEnabled(false);
    dbgItem = Make<TDBGrid>("dbgItem", tshItens);
    dbgItem->SetBounds(0, 62, 772, 350);
    dbgItem->Anchors = akLeft | akTop | akRight | akBottom;
    dbgItem->SetColor(TColor::clInfoBk);
    dbgItem->SetDataSource(dtsItemOrcaEven);
    dbgItem->Columns = {
        {"NRITEMORCEVE", "Item", 80},
        {"CDARVPROD", "Produto", 0},
        {"NMPRODUTO", "Nome do Produto", 276},
        {"QTITEMORCEVE", "Quantidade", 0},
        {"SGUNIDADE", "Un.", 32},
        {"VRITEMORCEVE", "Preço Unitário", 78},
        {"VRTOTALITEM", "Vr. Total", 0},
    };

    tshMotivo = Make<TTabSheet>("tshMotivo", pgcPadrao);
    tshMotivo->SetCaption("Motivo");
    lblMotivo = makeLabel(this, "lblMotivo", tshMotivo, "Motivo", 8, 10, 50);
    edtCdJust = Make<TEdit>("edtCdJust", tshMotivo);
    edtCdJust->SetBounds(62, 6, 48, 21);
    edtCdJust->CharCase = TEditCharCase::ecUpperCase;
    edtCdJust->MaxLength = 4;
    edtCdJust->SetColor(TColor::clInfoBk);
    edtCdJust->TabOrder = 0;
    edtCdJust->OnChange = [this](TObject* s) { edtCdJustChange(s); };
    edtCdJust->OnExit = [this](TObject* s) { edtCdJustExit(s); };
    btnJustficativa = Make<TBtnPesquisa>("btnJustficativa", tshMotivo);
    btnJustficativa->SetBounds(112, 6, 21, 21);
    btnJustficativa->Associate = edtCdJust;
    btnJustficativa->Title = "Motivo";
    btnJustficativa->DataSource = dtsJustExcl;
    btnJustficativa->EmptyError = "Não há justificativa cadastrada.";
    btnJustficativa->SetHint("Pesquisar");
    btnJustficativa->OnAfterPesq = [this](TObject* s) { btnJustficativaAfterPesq(s); };
    edtDsJust = Make<TEdit>("edtDsJust", tshMotivo);
    edtDsJust->SetBounds(136, 6, 300, 21);
    edtDsJust->SetEnabled(false);
    edtDsJust->CharCase = TEditCharCase::ecUpperCase;
    edtDsJust->TabStop = false;
    edtDsJust->SetColor(TColor::clBtnFace);
    edtDsJust->TabOrder = 1;
    memObs = Make<TMemo>("memObs", tshMotivo);
    memObs->SetBounds(0, 34, 772, 250);
    memObs->Anchors = akLeft | akTop | akRight | akBottom;
    memObs->TabOrder = 2;
    memObs->OnEnter = [this](TObject* s) { memObsEnter(s); };
    // What the cancellation would meet, under the memo: it keeps its height
    // and stays at the bottom while the memo takes the rest of the page.
    lblPrevia = makeLabel(this, "lblPrevia", tshMotivo, "O que acontecerá", 8, 290, 120);
    lblPrevia->Anchors = akLeft | akBottom;
    memPrevia = Make<TMemo>("memPrevia", tshMotivo);
    memPrevia->SetBounds(0, 308, 772, 104);
    memPrevia->Anchors = akLeft | akRight | akBottom;
    memPrevia->SetReadOnly(true);
    memPrevia->TabStop = false;
    memPrevia->SetColor(TColor::clBtnFace);
    memPrevia->TabOrder = 3;

    // ---- Menus ------------------------------------------------------------
    // The page items and a separator go ahead of the inherited listing items.
    mnuFolhaDados = Make<TMenuItem>("mnuFolhaDados", nullptr);
    mnuFolhaDados->SetCaption("&Folha de Dados");
    mnuFolhaDados->OnClick = [this](TObject* s) { mnuFolhaDadosClick(s); };
    mnuItens = Make<TMenuItem>("mnuItens", nullptr);
    mnuItens->SetCaption("&Itens");
    mnuItens->OnClick = [this](TObject* s) { mnuItensClick(s); };
    mnuMotivo = Make<TMenuItem>("mnuMotivo", nullptr);
    mnuMotivo->SetCaption("&Motivo");
    mnuMotivo->OnClick = [this](TObject* s) { mnuMotivoClick(s); };
    N1 = Make<TMenuItem>("N1", nullptr);
    N1->SetCaption("-");
    N1->SetEnabled(false);
    mnuOperacao->InsertItem(0, mnuFolhaDados);
    mnuOperacao->InsertItem(1, mnuItens);
    mnuOperacao->InsertItem(2, mnuMotivo);
    mnuOperacao->InsertItem(3, N1);
    mnuListagem->SetEnabled(false);
    mnuConfigImpressora->SetEnabled(false);
    mnuImprimir->SetEnabled(false);

    N2 = Make<TMenuItem>("N2", mnuManutencao);
    N2->SetCaption("-");
    mnuFiltrar = Make<TMenuItem>("mnuFiltrar", mnuManutencao);
    mnuFiltrar->SetCaption("Fi&ltrar");
    mnuFiltrar->SetShortCut("Ctrl+L");
    mnuFiltrar->OnClick = [this](TObject* s) { mnuFiltrarClick(s); };

    // ---- Message table ----------------------------------------------------
    msgPadrao->Lines = {
        "padrao|Padrão",
        "Excl|Confirma exclusão?",
        "Local|Local",
        "Filial_N_Inf|Filial deve ser informada.",
        "1|Pendente",
        "2|Aprovado",
        "8|Cancelado",
        "Motivo|Motivo",
        "Motivo_NCad|Motivo não cadastrado.",
        "Motivo_N_Inf|Motivo precisa ser informado.",
        "Canc_Canc|Deseja cancelar?",
        "9|Adiado",
        "confirmar|Escollha uma operação",
        "btnCancelar|Cancelar",
        "btnAdiar|Adiar",
        "CDJUST_NULL|Justificativa deve ser informada.",
        "JUST_N_CAD|Justificativa de exclusão do histórico não cadastrada.",
        "3|Fechado",
        "APROV_N_CANC|Aprovação não pode ser cancelada, pois existe ordem de produção cadastrada.",
        "SUCESSO|Cancelamento realizado com sucesso.",
        "Conf_Cancela|Deseja confirmar o cancelamento da aprovação da encomenda?",
        "N_PARAM_CONTARECBAIXADA|Conta a receber não pode ser cancelada, pois a mesma já foi "
        "baixada.",
        "FILIAL_N_CADASTRADA|Filial não cadastrada.",
        "ENCO_FILHA|Aprovação da encomenda não pode ser cancelada, pois existe encomenda filha. "
        "Operação Bloqueada.",
        "N_PARAM_BOLETO_ENVIADO|Conta a receber não pode ser cancelada, pois o boleto já foi "
        "enviado via CNAB.",
        "PEDIDOEXP|Aprovação não pode ser cancelada, pois existe(m) pedido(s) expedido(s).",
        "PREV_BLOQUEIOS|Bloqueios (nada será alterado):",
        "PREV_FILHA|- Encomenda filha %s/%s",
        "PREV_ORDPROD|- Ordem de produção %s/%s: %s",
        "PREV_PEDEXP|- Pedido expedido %s",
        "PREV_BAIXADA|- Conta a receber %s já baixada: R$ %s",
        "PREV_BOLETO|- Boleto enviado via CNAB: conta %s, R$ %s",
        "PREV_LIVRE|Nenhum bloqueio. O cancelamento vai:",
        "PREV_CONTA|- Excluir a conta a receber %s: R$ %s",
        "PREV_PEDIDO|- Excluir o pedido %s",
        "PREV_SITUACAO|- Mudar a situação para %s",
        "PREV_FALHA|Não foi possível prever o cancelamento: %s",
    };
}

}  // namespace Cli_ore06100
