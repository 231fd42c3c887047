// The form definition of the filter dialog: criteria group boxes with their
// controls, the clear button, the lookups of the pick lists, the message table.
#include "filter_dialog/filtro_canc_aprov_enc.h"

namespace Cli_ore06101 {

namespace {

TGroupBox* groupBox(TForm* form, TWinControl* parent, const char* name, const char* caption,
                    int left, int top, int width, int height, int tabOrder) {
    TGroupBox* box = form->Make<TGroupBox>(name, parent);
    box->SetCaption(caption);
    box->SetBold(true);
    box->SetBounds(left, top, width, height);
    box->TabOrder = tabOrder;
    return box;
}

TLabel* label(TForm* form, TWinControl* parent, const char* name, const char* caption, int left,
              int top) {
    TLabel* text = form->Make<TLabel>(name, parent);
    text->SetCaption(caption);
    text->SetBounds(left, top, 24, 16);
    return text;
}

}  // namespace

TfrmFiltroCancAprovEnc::TfrmFiltroCancAprovEnc() : TfrmFiltroPadrao("frmFiltroCancAprovEnc") {
    defineForm();
}

void TfrmFiltroCancAprovEnc::defineForm() {
    SetCaption("Filtro de Cancelamento da Aprovação da Encomenda");
    SetBounds(0, 0, 512, 173);
    HelpContext = 12200101;
    HelpFile = "pedhelp.hlp";
    lblCodTela->SetCaption("ORE06101");
    OnActivate = [this](TObject* s) { FormActivate(s); };

    // ---- Order number range -----------------------------------------------
    grbNrOrca = groupBox(this, grbFiltroPadrao, "grbNrOrca", "Nr. Encomenda", 6, 10, 154, 79, 0);
    lblOrcaDe = label(this, grbNrOrca, "lblOrcaDe", "de", 8, 22);
    lblOrcaAte = label(this, grbNrOrca, "lblOrcaAte", "até", 8, 50);
    medOrcaDe = Make<TMaskEdit>("medOrcaDe", grbNrOrca);
    medOrcaDe->SetBounds(40, 18, 100, 21);
    medOrcaDe->MaxLength = 10;
    medOrcaDe->TabOrder = 0;
    medOrcaDe->OnChange = [this](TObject* s) { medOrcaDeChange(s); };
    medOrcaDe->OnExit = [this](TObject* s) { medOrcaDeExit(s); };
    medOrcaAte = Make<TMaskEdit>("medOrcaAte", grbNrOrca);
    medOrcaAte->SetBounds(40, 46, 100, 21);
    medOrcaAte->MaxLength = 10;
    medOrcaAte->TabOrder = 1;
    medOrcaAte->OnExit = [this](TObject* s) { medOrcaAteExit(s); };

    // ---- Delivery date range ----------------------------------------------
    grbDtEvento =
        groupBox(this, grbFiltroPadrao, "grbDtEvento", "Data da Entrega", 162, 10, 156, 79, 1);
    lblEntregaDe = label(this, grbDtEvento, "lblEntregaDe", "de", 8, 22);
    lblEntregaAte = label(this, grbDtEvento, "lblEntregaAte", "até", 8, 50);
    const std::vector<std::string> weekDays = {"Domingo", "Segunda", "Terça", "Quarta",
                                               "Quinta",  "Sexta",   "Sábado"};
    depDeEntrega = Make<TDateEditPlus>("depDeEntrega", grbDtEvento);
    depDeEntrega->SetBounds(40, 18, 100, 21);
    depDeEntrega->TabOrder = 0;
    depDeEntrega->OnExit = [this](TObject* s) { depDeEntregaExit(s); };
    depAteEntrega = Make<TDateEditPlus>("depAteEntrega", grbDtEvento);
    depAteEntrega->SetBounds(40, 46, 100, 21);
    depAteEntrega->TabOrder = 1;
    depAteEntrega->OnExit = [this](TObject* s) { depAteEntregaExit(s); };
    for (TDateEditPlus* dateEdit : {depDeEntrega, depAteEntrega}) {
        dateEdit->ValidDateColor = TColor::clBlue;
        dateEdit->NomeSemana = weekDays;
        dateEdit->SaveTime = false;
    }

    // ---- Salesmen ---------------------------------------------------------
    grbVendedor = groupBox(this, grbFiltroPadrao, "grbVendedor", "Vendedor", 5, 90, 155, 79, 2);
    rbtTVendedor = Make<TRadioButton>("rbtTVendedor", grbVendedor);
    rbtTVendedor->SetCaption("Todos");
    rbtTVendedor->SetBounds(10, 22, 70, 17);
    rbtTVendedor->TabOrder = 0;
    rbtTVendedor->SetChecked(true);
    rbtTVendedor->OnClick = [this](TObject* s) { rbtTVendedorClick(s); };
    rbtLVendedor = Make<TRadioButton>("rbtLVendedor", grbVendedor);
    rbtLVendedor->SetCaption("Lista");
    rbtLVendedor->SetBounds(10, 48, 60, 17);
    rbtLVendedor->TabOrder = 1;
    rbtLVendedor->OnClick = [this](TObject* s) { rbtLVendedorClick(s); };
    rbtLVendedor->OnKeyDown = [this](TObject* s, Word& k, TShiftState sh) {
        rbtLVendedorKeyDown(s, k, sh);
    };
    sbtVendedor = Make<TButtonFlat>("sbtVendedor", grbVendedor);
    sbtVendedor->SetBounds(72, 46, 21, 21);
    sbtVendedor->SetHint("Pesquisar");
    sbtVendedor->SetEnabled(false);
    sbtVendedor->OnClick = [this](TObject* s) { sbtVendedorClick(s); };

    // ---- Customers --------------------------------------------------------
    grbCliente = groupBox(this, grbFiltroPadrao, "grbCliente", "Cliente", 162, 90, 156, 79, 3);
    rbtTCliente = Make<TRadioButton>("rbtTCliente", grbCliente);
    rbtTCliente->SetCaption("Todos");
    rbtTCliente->SetBounds(10, 22, 70, 17);
    rbtTCliente->TabOrder = 0;
    rbtTCliente->SetChecked(true);
    rbtTCliente->OnClick = [this](TObject* s) { rbtTClienteClick(s); };
    rbtLCliente = Make<TRadioButton>("rbtLCliente", grbCliente);
    rbtLCliente->SetCaption("Lista");
    rbtLCliente->SetBounds(10, 48, 60, 17);
    rbtLCliente->TabOrder = 1;
    rbtLCliente->OnClick = [this](TObject* s) { rbtLClienteClick(s); };
    rbtLCliente->OnKeyDown = [this](TObject* s, Word& k, TShiftState sh) {
        rbtLClienteKeyDown(s, k, sh);
    };
    sbtCliente = Make<TButtonFlat>("sbtCliente", grbCliente);
    sbtCliente->SetBounds(72, 46, 21, 21);
    sbtCliente->SetHint("Pesquisar");
    sbtCliente->SetEnabled(false);
    sbtCliente->OnClick = [this](TObject* s) { sbtClienteClick(s); };

    // ---- Status -----------------------------------------------------------
    grbSituacao = groupBox(this, grbFiltroPadrao, "grbSituacao", "Situação", 320, 10, 133, 159, 4);
    chbPendente = Make<TCheckBox>("chbPendente", grbSituacao);
    chbPendente->SetCaption("Pendente");
    chbPendente->SetBounds(12, 24, 100, 17);
    chbPendente->TabOrder = 0;
    chbPendente->SetEnabled(false);
    chbFechado = Make<TCheckBox>("chbFechado", grbSituacao);
    chbFechado->SetCaption("Fechado");
    chbFechado->SetBounds(12, 50, 100, 17);
    chbFechado->TabOrder = 1;
    chbFechado->SetChecked(true);
    chbEncerrado = Make<TCheckBox>("chbEncerrado", grbSituacao);
    chbEncerrado->SetCaption("Encerrado");
    chbEncerrado->SetBounds(12, 76, 100, 17);
    chbEncerrado->TabOrder = 2;
    chbEncerrado->SetEnabled(false);

    // ---- Button panel -----------------------------------------------------
    btfSaveOpc->SetBounds(btfSaveOpc->Left(), 58, btfSaveOpc->Width(), btfSaveOpc->Height());
    sbtLimpa = Make<TSpeedButton>("sbtLimpa", panMenu);
    sbtLimpa->SetHint("Desfazer");
    sbtLimpa->SetBounds(10, 112, 40, 24);
    sbtLimpa->OnClick = [this](TObject* s) { sbtLimpaClick(s); };

    // ---- Lookups of the pick lists ----------------------------------------
    qryVendedor = Make<TADOIBQuery>("qryVendedor");
    qryVendedor->SetSQL({"SELECT", "   CDVENDEDOR,", "   NMFANVEN", "FROM", "   VENDEDOR",
                         "ORDER BY", "   CDVENDEDOR"});
    TField& salesmanCode = qryVendedor->DataSet().AddField({"CDVENDEDOR", FieldType::String, 4});
    salesmanCode.DisplayLabel = "Código";
    salesmanCode.Required = true;
    qryVendedor->DataSet().AddField({"NMFANVEN", FieldType::String, 50}).DisplayLabel = "Nome";
    dtsVendedor = MakeDataSource("dtsVendedor", &qryVendedor->DataSet());

    qryCliente = Make<TADOIBQuery>("qryCliente");
    qryCliente->SetSQL(
        {"SELECT", "   C.CDCLIENTE , C.IDTPIJURCLIE, C.NRINSJURCLIE,",
         "   C.NMFANTCLIE, C.NMRAZSOCCLIE, P.NMPAIS, ",
         "   M.SGESTADO  , M.NMMUNICIPIO , E.DSENDECLIE ", "FROM", "   CLIENTE C, PAIS P, ",
         "   MUNICIPIO M, ENDECLIE E", "WHERE ", "   (C.CDCLIENTE   = E.CDCLIENTE  ) AND",
         "   (E.CDPAIS      = M.CDPAIS     ) AND", "   (E.SGESTADO    = M.SGESTADO   ) AND",
         "   (E.CDMUNICIPIO = M.CDMUNICIPIO) AND", "   (M.CDPAIS      = P.CDPAIS     ) AND",
         "   (IDTPENDECLIE  = 'P')", "ORDER BY", "   NRINSJURCLIE"});
    TClientDataSet& customers = qryCliente->DataSet();
    TField& customerCode = customers.AddField({"CDCLIENTE", FieldType::String, 21});
    customerCode.Visible = false;
    customerCode.Required = true;
    customers.AddField({"IDTPIJURCLIE", FieldType::String, 1}).Visible = false;
    TField& registration = customers.AddField({"NRINSJURCLIE", FieldType::String, 20});
    registration.DisplayLabel = "Nr. Inscrição";
    registration.OnGetText = [this](TField& f, std::string& t, bool d) {
        qryClienteNRINSJURCLIEGetText(f, t, d);
    };
    customers.AddField({"NMFANTCLIE", FieldType::String, 50}).DisplayLabel = "Nome";
    customers.AddField({"NMRAZSOCCLIE", FieldType::String, 50}).DisplayLabel = "Razão Social";
    customers.AddField({"NMPAIS", FieldType::String, 30}).DisplayLabel = "País";
    TField& state = customers.AddField({"SGESTADO", FieldType::String, 2});
    state.DisplayLabel = "Estado";
    state.Required = true;
    customers.AddField({"NMMUNICIPIO", FieldType::String, 30}).DisplayLabel = "Municipio";
    customers.AddField({"DSENDECLIE", FieldType::String, 50}).DisplayLabel = "Endereço";
    dtsCliente = MakeDataSource("dtsCliente", &qryCliente->DataSet());

    // ---- Message table ----------------------------------------------------
    msgPadrao->Lines = {
        "DTINI>DTFIN_ENTREGA|Data de entrega inicial deve ser menor ou igual à data de entrega "
        "final.",
        "DTINI_ENTREGA|Data de entrega inicial deve ser informada.",
        "DTFIN_ENTREGA|Data de entrega final deve ser informada.",
        "CODVERS|Código da versão deve ser informado.",
        "GRUP_SIST|Grupo do sistema deve ser informado.",
        "SISTEMA|Sistema deve ser informado.",
        "ASSUNTO|Assunto deve ser informado.",
        "FASE_TRAM|Fase da tramitação deve ser informada.",
        "FUNC_SOLI|Funcionário solicitante deve ser informado.",
        "FUNC_RESP|Funcionário responsável deve ser informado.",
        "CLIENTE|Cliente",
        "INTERLOC|Interlocutor deve ser informado.",
        "NRINI>NRFIN|Número da encomenda inicial deve ser menor ou igual ao número da encomenda "
        "final.",
        "VENDEDOR|Vendedor",
        "REPRESENTANTE|Representante",
        "PRODUTO|Produto",
        "NRINI|Número da encomenda inicial deve ser informado.",
        "NRFIN|Número da encomenda final deve ser informado.",
        "PEDIDO|Pedido",
        "STATUSPED|Situação da encomenda deve ser informada.",
        "STATUSITEMPED|Situação do item do pedido deve ser informada.",
        "PRIO|Prioridade deve ser informada.",
        "LNrPedido|Número do pedido deve ser informado.",
        "LRepresentante|Representante deve ser informado.",
        "LVendedor|Vendedor deve ser informado.",
        "LProduto|Produto deve ser informado.",
        "LCliente|Cliente deve ser informado.",
        "DATA_INV|Data inválida.",
        "DTINI>DTFIN_PEDIDO|Data do pedido inicial deve ser menor ou igual à data do pedido final.",
        "DTINI_PEDIDO|Data do pedido inicial deve ser informada.",
        "DTFIN_PEDIDO|Data do pedido final deve ser informada.",
        "CLIE|Não há cliente cadastrado.",
        "PROD|Não há produto cadastrado.",
        "VEND|Não há vendedor cadastrado.",
        "PEDNCAD|Pedido não cadastrado.",
        "LMuniciCli|Município do cliente deve ser informado.",
        "LTipoPed|Tipo de pedido deve ser informado.",
        "Municipio|Município",
        "Mun_NC|Município não cadastrado.",
        "ORIGEM_DEVE|Origem da devolução deve ser informada.",
        "LFiliDest|Filial de destino deve ser informada.",
        "TPSERV_N_CAD|Tipo de serviço não cadastrado.",
        "TIPO_N_CAD|Tipo não cadastrado.",
        "TIPOOPER|Tipo de operação",
        "TIPOOPER_INF|Tipo de operação deve ser informado.",
        "TIPOSERV|Tipo de serviço",
        "TIPOEVEN|Tipo de evento",
        "TIPOEVEN_N_CAD|Tipo de evento não cadastrado.",
        "Orca_ini_maior|Orçamento inicial maior que o final.",
    };
}

}  // namespace Cli_ore06101
