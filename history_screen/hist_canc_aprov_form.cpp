// The form definition of the history screen: every component the screen adds
// to the base grid screen, with its properties and event bindings.
#include "history_screen/hist_canc_aprov.h"
#include "host/screens/branch_picker.h"
#include "host/screens/form_parts.h"

namespace Cli_ore06110 {

namespace {

// The outcomes a history record may have, for the pick list.
DataPacket outcomePacket() {
    DataPacket packet;
    packet.fields = {{"IDRESULTADO", FieldType::String, 1}, {"DSRESULTADO", FieldType::String, 40}};
    const char* const outcomes[][2] = {
        {"C", "Aprovação cancelada"},
        {"P", "Bloqueado por ordens de produção"},
        {"E", "Bloqueado por pedidos expedidos"},
        {"R", "Recusado"},
        {"A", "Recusado por autorização"},
        {"X", "Encomenda excluída"},
    };
    for (const auto& outcome : outcomes) {
        packet.rows.push_back({Variant(std::string(outcome[0])), Variant(std::string(outcome[1]))});
    }
    return packet;
}

}  // namespace

TfrmHistCancAprov::TfrmHistCancAprov() : TfrmPadraoGrid("frmHistCancAprov") {
    defineForm();
}

TfrmHistCancAprov::~TfrmHistCancAprov() = default;

void TfrmHistCancAprov::defineForm() {
    using FT = FieldType;

    SetCaption("Histórico de Cancelamentos de Aprovação");
    lblCodTela->SetCaption("ORE06110");
    lblCodTela->Anchors = akTop | akRight;
    MinWidth = 760;
    MinHeight = 420;
    SetBounds(0, 0, 900, 580);
    OnActivate = [this](TObject* s) { FormActivate(s); };

    // ---- Connection to the application server -----------------------------
    netHistCancAprov = Make<TNetConnection>("netHistCancAprov");
    netHistCancAprov->ServerName = histCancAprovServerName;
    netHistCancAprov->Host = "127.0.0.1";
    netHistCancAprov->ThrowException = false;
    netHistCancAprov->BeforeConnect = [this](TObject* s) { netHistCancAprovBeforeConnect(s); };

    // ---- History records cdsHistCanc --------------------------------------
    cdsHistCanc = MakeDataSet("cdsHistCanc");
    addField(cdsHistCanc, "IDHISTCANC", FT::String, 32, "", false);
    addField(cdsHistCanc, "CDFILIAL", FT::String, 4, "Filial");
    addField(cdsHistCanc, "NRORCAEVENTO", FT::String, 10, "Encomenda");
    addField(cdsHistCanc, "NRSEQORCAEVE", FT::FixedString, 2, "Seq.");
    addField(cdsHistCanc, "CDCLIENTE", FT::String, 21, "", false);
    addField(cdsHistCanc, "NMCLIENTE", FT::String, 50, "Cliente");
    addField(cdsHistCanc, "CDVENDEDOR", FT::String, 4, "", false);
    addField(cdsHistCanc, "CDOPERADOR", FT::String, 12, "Operador");
    addField(cdsHistCanc, "NMOPERADOR", FT::String, 40, "", false);
    addField(cdsHistCanc, "DTHRHISTCANC", FT::DateTime, 0, "Data/Hora").DisplayFormat =
        "dd/mm/yyyy hh:nn";
    addField(cdsHistCanc, "CDJUSTEXCHIS", FT::String, 4, "Just.");
    addField(cdsHistCanc, "DSJUSTEXCHIS", FT::String, 40, "Justificativa");
    addField(cdsHistCanc, "IDRESULTADO", FT::String, 1, "Resultado").OnGetText =
        [this](TField& f, std::string& t, bool d) { cdsHistCancIDRESULTADOGetText(f, t, d); };
    addField(cdsHistCanc, "DSRECUSA", FT::String, 200, "Recusa").OnGetText =
        [this](TField& f, std::string& t, bool d) { cdsHistCancDSRECUSAGetText(f, t, d); };
    addField(cdsHistCanc, "TXOBSJUSTORC", FT::String, 1000, "Observação");
    addField(cdsHistCanc, "VRREMOVIDO", FT::Float, 0, "Valor removido").DisplayFormat = "#,##0.00";
    cdsHistCanc->AfterScroll = [this](TClientDataSet& d) { cdsHistCancAfterScroll(d); };
    dtsPadrao->DataSet = cdsHistCanc;
    dbgPadrao->SetDataSource(dtsPadrao);

    // ---- Removed receivables and sales orders -----------------------------
    cdsContaReceber = MakeDataSet("cdsContaReceber");
    addField(cdsContaReceber, "CDFILIAL", FT::String, 4, "Filial");
    addField(cdsContaReceber, "NRDOCUMENTO", FT::String, 10, "Documento");
    addField(cdsContaReceber, "NRORCAEVENTO", FT::String, 10, "", false);
    addField(cdsContaReceber, "NRSEQORCAEVE", FT::FixedString, 2, "", false);
    addField(cdsContaReceber, "VRDOCUMENTO", FT::Float, 0, "Valor").DisplayFormat = "#,##0.00";
    addField(cdsContaReceber, "IDBAIXADA", FT::String, 1, "Baixada").OnGetText =
        [this](TField& f, std::string& t, bool d) { cdsContaReceberIDBAIXADAGetText(f, t, d); };
    addField(cdsContaReceber, "IDBOLETOENVIADO", FT::String, 1, "Boleto enviado").OnGetText =
        [this](TField& f, std::string& t, bool d) { cdsContaReceberIDBAIXADAGetText(f, t, d); };
    dtsContaReceber = MakeDataSource("dtsContaReceber", cdsContaReceber);

    cdsPedido = MakeDataSet("cdsPedido");
    addField(cdsPedido, "CDFILIAL", FT::String, 4, "Filial");
    addField(cdsPedido, "NRPEDIDO", FT::String, 10, "Pedido");
    addField(cdsPedido, "NRORCAEVENTO", FT::String, 10, "", false);
    addField(cdsPedido, "NRSEQORCAEVE", FT::FixedString, 2, "", false);
    addField(cdsPedido, "IDSITUPEDIDO", FT::String, 1, "Situação").OnGetText =
        [this](TField& f, std::string& t, bool d) { cdsPedidoIDSITUPEDIDOGetText(f, t, d); };
    dtsPedido = MakeDataSource("dtsPedido", cdsPedido);

    // ---- Outcomes for the pick list ---------------------------------------
    cdsResultado = MakeDataSet("cdsResultado");
    addField(cdsResultado, "IDRESULTADO", FT::String, 1, "Código");
    addField(cdsResultado, "DSRESULTADO", FT::String, 40, "Descrição");
    cdsResultado->ReadOnly = true;
    cdsResultado->Provider = [](TClientDataSet& d) { d.LoadFromPacket(outcomePacket()); };
    dtsResultado = MakeDataSource("dtsResultado", cdsResultado);

    // ---- Lookup queries on the shared database ----------------------------
    MakeBranchLookup(*this);

    qryJustExcl = Make<TADOIBQuery>("qryJustExcl");
    qryJustExcl->SetSQL({"SELECT", "   CDJUSTEXCHIS,", "   DSJUSTEXCHIS", "FROM", "   JUSTEXCHIS",
                         "ORDER BY", "   CDJUSTEXCHIS "});
    qryJustExcl->DataSet().AddField({"CDJUSTEXCHIS", FT::String, 4}).DisplayLabel = "Código";
    qryJustExcl->DataSet().AddField({"DSJUSTEXCHIS", FT::String, 40}).DisplayLabel = "Descrição";
    dtsJustExcl = MakeDataSource("dtsJustExcl", &qryJustExcl->DataSet());

    qryPesqJust = Make<TADOIBQuery>("qryPesqJust");
    qryPesqJust->SetSQL({"SELECT", "   CDJUSTEXCHIS,", "   DSJUSTEXCHIS", "FROM", "   JUSTEXCHIS",
                         "WHERE", "   (CDJUSTEXCHIS = :P_CDJUSTEXCHIS)"});
    qryPesqJust->DataSet().AddField({"CDJUSTEXCHIS", FT::String, 4});
    qryPesqJust->DataSet().AddField({"DSJUSTEXCHIS", FT::String, 40});

    // ---- Tool bar: a read-only screen; export after verify ----------------
    for (TSpeedButton* button :
         {sbtIncluir, sbtExcluir, sbtPesquisar, sbtAlterar, sbtCancelar, sbtConfirmar}) {
        button->SetEnabled(false);
    }
    for (TMenuItem* item :
         {mnuIncluir, mnuExcluir, mnuPesquisar, mnuAlterar, mnuCancelar, mnuConfirmar}) {
        item->SetEnabled(false);
    }
    sbtExportar = Make<TSpeedButton>("sbtExportar", panMenu);
    sbtExportar->SetBounds(sbtConfirmar->Left() + 36, 3, 28, 28);
    sbtExportar->SetHint("Exportar");
    sbtExportar->Flat = true;
    sbtExportar->SetEnabled(false);
    sbtExportar->OnClick = [this](TObject* s) { sbtExportarClick(s); };
    sbtImprimir->SetBounds(sbtExportar->Left() + 30, 3, 28, 28);
    sbtImprimir->SetEnabled(false);
    sbtAjuda->SetBounds(sbtImprimir->Left() + 30, 3, 28, 28);
    sbtFechar->SetBounds(sbtAjuda->Left() + 30, 3, 28, 28);
    lblCodTela->SetBounds(820, 9, 70, 16);

    // ---- Filter panel, across the top under the tool bar ------------------
    panFiltro = Make<TPanel>("panFiltro", this);
    panFiltro->Align = TAlign::alTop;
    panFiltro->SetBounds(0, 34, 900, 62);
    panFiltro->TabOrder = 0;

    lblPeriodo = makeLabel(this, "lblPeriodo", panFiltro, "Período", 8, 9, 56);
    dtpInicio = Make<TDateEditPlus>("dtpInicio", panFiltro);
    dtpInicio->SetBounds(70, 6, 90, 21);
    dtpInicio->TabOrder = 0;
    lblAte = Make<TLabel>("lblAte", panFiltro);
    lblAte->SetCaption("a");
    lblAte->SetBounds(166, 9, 10, 16);
    dtpFim = Make<TDateEditPlus>("dtpFim", panFiltro);
    dtpFim->SetBounds(180, 6, 90, 21);
    dtpFim->TabOrder = 1;
    for (TDateEditPlus* dateEdit : {dtpInicio, dtpFim}) {
        dateEdit->ValidDateColor = TColor::clBlue;
        dateEdit->SaveTime = false;
    }

    MakeBranchPicker(*this, panFiltro,
                     {.Left = 290, .Top = 6, .NameWidth = 220, .CodeTabOrder = 2});
    edtNmFilial->TabStop = false;

    lblOperador = makeLabel(this, "lblOperador", panFiltro, "Operador", 640, 9, 60);
    edtCdOperador = Make<TEdit>("edtCdOperador", panFiltro);
    edtCdOperador->SetBounds(704, 6, 110, 21);
    edtCdOperador->MaxLength = 12;
    edtCdOperador->CharCase = TEditCharCase::ecUpperCase;
    edtCdOperador->TabOrder = 3;
    edtCdOperador->OnExit = [this](TObject* s) { edtCdOperadorExit(s); };
    lblOperador->FocusControl = edtCdOperador;

    lblJustificativa = makeLabel(this, "lblJustificativa", panFiltro, "Justificativa", 8, 37, 80);
    edtCdJust = Make<TEdit>("edtCdJust", panFiltro);
    edtCdJust->SetBounds(92, 34, 48, 21);
    edtCdJust->MaxLength = 4;
    edtCdJust->CharCase = TEditCharCase::ecUpperCase;
    edtCdJust->SetColor(TColor::clInfoBk);
    edtCdJust->TabOrder = 4;
    edtCdJust->OnChange = [this](TObject* s) { edtCdJustChange(s); };
    edtCdJust->OnExit = [this](TObject* s) { edtCdJustExit(s); };
    lblJustificativa->FocusControl = edtCdJust;
    btnJustificativa = Make<TBtnPesquisa>("btnJustificativa", panFiltro);
    btnJustificativa->SetBounds(142, 34, 21, 21);
    btnJustificativa->Associate = edtCdJust;
    btnJustificativa->Title = "Justificativa";
    btnJustificativa->DataSource = dtsJustExcl;
    btnJustificativa->EmptyError = "Não há justificativa cadastrada.";
    btnJustificativa->SetHint("Pesquisar");
    btnJustificativa->OnAfterPesq = [this](TObject* s) { btnJustificativaAfterPesq(s); };
    edtDsJust = Make<TEdit>("edtDsJust", panFiltro);
    edtDsJust->SetBounds(166, 34, 260, 21);
    edtDsJust->SetEnabled(false);
    edtDsJust->SetColor(TColor::clBtnFace);
    edtDsJust->TabStop = false;

    lblResultado = makeLabel(this, "lblResultado", panFiltro, "Resultado", 440, 37, 66);
    edtIdResultado = Make<TEdit>("edtIdResultado", panFiltro);
    edtIdResultado->SetBounds(510, 34, 28, 21);
    edtIdResultado->MaxLength = 1;
    edtIdResultado->CharCase = TEditCharCase::ecUpperCase;
    edtIdResultado->SetColor(TColor::clInfoBk);
    edtIdResultado->TabOrder = 5;
    edtIdResultado->OnChange = [this](TObject* s) { edtIdResultadoChange(s); };
    edtIdResultado->OnExit = [this](TObject* s) { edtIdResultadoExit(s); };
    lblResultado->FocusControl = edtIdResultado;
    btnResultado = Make<TBtnPesquisa>("btnResultado", panFiltro);
    btnResultado->SetBounds(540, 34, 21, 21);
    btnResultado->Associate = edtIdResultado;
    btnResultado->Title = "Resultado";
    btnResultado->DataSource = dtsResultado;
    btnResultado->SetHint("Pesquisar");
    btnResultado->OnAfterPesq = [this](TObject* s) { btnResultadoAfterPesq(s); };
    edtDsResultado = Make<TEdit>("edtDsResultado", panFiltro);
    edtDsResultado->SetBounds(564, 34, 250, 21);
    edtDsResultado->SetEnabled(false);
    edtDsResultado->SetColor(TColor::clBtnFace);
    edtDsResultado->TabStop = false;

    // ---- Pages ------------------------------------------------------------
    pgcPadrao->SetBounds(0, 96, 900, 454);
    pgcPadrao->OnChange = [this](TObject* s) { pgcPadraoChange(s); };
    tshPadrao->SetCaption("Folha Dados (Grade)");
    dbgPadrao->Columns = {
        {"CDFILIAL", "", 40},     {"NRORCAEVENTO", "", 84},  {"NRSEQORCAEVE", "", 29},
        {"NMCLIENTE", "", 180},   {"CDOPERADOR", "", 80},    {"DTHRHISTCANC", "", 110},
        {"CDJUSTEXCHIS", "", 40}, {"DSJUSTEXCHIS", "", 160}, {"IDRESULTADO", "", 190},
        {"VRREMOVIDO", "", 100},  {"DSRECUSA", "", 200},     {"TXOBSJUSTORC", "", 240},
    };
    dbtNome->Bind(dtsPadrao, "NMCLIENTE");

    tshDocumentos = Make<TTabSheet>("tshDocumentos", pgcPadrao);
    tshDocumentos->SetCaption("Documentos Removidos");
    lblContaReceber =
        makeLabel(this, "lblContaReceber", tshDocumentos, "Contas a receber removidas", 8, 8, 300);
    dbgContaReceber = Make<TDBGrid>("dbgContaReceber", tshDocumentos);
    dbgContaReceber->SetBounds(0, 28, 892, 180);
    dbgContaReceber->Anchors = akLeft | akTop | akRight;
    dbgContaReceber->SetColor(TColor::clInfoBk);
    dbgContaReceber->SetDataSource(dtsContaReceber);
    dbgContaReceber->Columns = {
        {"CDFILIAL", "", 40},  {"NRDOCUMENTO", "", 100},     {"VRDOCUMENTO", "", 110},
        {"IDBAIXADA", "", 70}, {"IDBOLETOENVIADO", "", 100},
    };
    lblPedido = makeLabel(this, "lblPedido", tshDocumentos, "Pedidos removidos", 8, 216, 300);
    dbgPedido = Make<TDBGrid>("dbgPedido", tshDocumentos);
    dbgPedido->SetBounds(0, 236, 892, 186);
    dbgPedido->Anchors = akLeft | akTop | akRight | akBottom;
    dbgPedido->SetColor(TColor::clInfoBk);
    dbgPedido->SetDataSource(dtsPedido);
    dbgPedido->Columns = {
        {"CDFILIAL", "", 40},
        {"NRPEDIDO", "", 100},
        {"IDSITUPEDIDO", "", 110},
    };

    tshGrafico = Make<TTabSheet>("tshGrafico", pgcPadrao);
    tshGrafico->SetCaption("Gráfico");
    chtCancelamentos = Make<TChart>("chtCancelamentos", tshGrafico);
    chtCancelamentos->Align = TAlign::alClient;
    chtCancelamentos->SetBounds(0, 0, 892, 424);
    chtCancelamentos->SetTitle("Cancelamentos de aprovação por mês e justificativa");

    // ---- Menus ------------------------------------------------------------
    mnuFolhaDados = Make<TMenuItem>("mnuFolhaDados", nullptr);
    mnuFolhaDados->SetCaption("&Folha de Dados");
    mnuFolhaDados->OnClick = [this](TObject* s) { mnuFolhaDadosClick(s); };
    mnuDocumentos = Make<TMenuItem>("mnuDocumentos", nullptr);
    mnuDocumentos->SetCaption("&Documentos Removidos");
    mnuDocumentos->OnClick = [this](TObject* s) { mnuDocumentosClick(s); };
    mnuGrafico = Make<TMenuItem>("mnuGrafico", nullptr);
    mnuGrafico->SetCaption("&Gráfico");
    mnuGrafico->OnClick = [this](TObject* s) { mnuGraficoClick(s); };
    N1 = Make<TMenuItem>("N1", nullptr);
    N1->SetCaption("-");
    N1->SetEnabled(false);
    mnuExportar = Make<TMenuItem>("mnuExportar", nullptr);
    mnuExportar->SetCaption("&Exportar para CSV...");
    mnuExportar->SetShortCut("Ctrl+E");
    mnuExportar->OnClick = [this](TObject* s) { sbtExportarClick(s); };
    mnuOperacao->InsertItem(0, mnuFolhaDados);
    mnuOperacao->InsertItem(1, mnuDocumentos);
    mnuOperacao->InsertItem(2, mnuGrafico);
    mnuOperacao->InsertItem(3, N1);
    mnuOperacao->InsertItem(4, mnuExportar);
    mnuListagem->SetEnabled(false);
    mnuConfigImpressora->SetEnabled(false);
    mnuImprimir->SetEnabled(false);

    // ---- Message table ----------------------------------------------------
    msgPadrao->Lines = {
        "padrao|Padrão",
        "Excl|Confirma exclusão?",
        "Local|Local",
        "C|Aprovação cancelada",
        "P|Bloqueado por ordens de produção",
        "E|Bloqueado por pedidos expedidos",
        "R|Recusado",
        "A|Recusado por autorização",
        "X|Encomenda excluída",
        "S|Sim",
        "N|Não",
        "PEDIDO_E|Expedido",
        "FILIAL_N_CADASTRADA|Filial não cadastrada.",
        "JUST_N_CAD|Justificativa não cadastrada.",
        "RESULTADO_INVALIDO|Resultado inválido: use C, P, E, R, A ou X.",
        "PERIODO_INVALIDO|A data inicial do período é posterior à final.",
        "SEM_JUSTIFICATIVA|Sem justificativa",
        "LISTA_CORTADA|A lista mostra apenas os registros mais recentes do filtro; restrinja o "
        "período para ver os demais.",
        "SEM_REGISTROS|Não há registros para exportar.",
        "EXPORTADO|Histórico exportado para %s.",
        "REC_N_PARAM_CONTARECBAIXADA|Conta a receber já baixada: %s",
        "REC_N_PARAM_BOLETO_ENVIADO|Boleto já enviado via CNAB: %s",
        "REC_ENCO_N_APROVADA|Encomenda não aprovada (situação %s)",
        "REC_ENCO_N_ENCONTRADA|Encomenda não encontrada",
        "REC_ENCO_FILHA|Existe encomenda filha",
        "REC_JUST_N_CAD|Justificativa não cadastrada: %s",
        "TITULO_EXPORTAR|Exportar Histórico",
    };
}

}  // namespace Cli_ore06110
