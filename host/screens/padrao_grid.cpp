#include "host/screens/padrao_grid.h"

namespace host {

namespace {

constexpr int kButtonSize = 28;

}  // namespace

TfrmPadraoGrid::TfrmPadraoGrid(std::string name) : TForm(std::move(name)) {
    FormStyle = TFormStyle::fsMDIChild;
    KeyPreview = true;
    SetBounds(0, 0, 780, 540);

    panMenu = Make<TPanel>("panMenu", this);
    panMenu->Align = TAlign::alTop;
    panMenu->SetBounds(0, 0, 780, 34);

    // Tool bar, left to right: the record commands, then print, help, close.
    const struct {
        TSpeedButton** button;
        const char* name;
        const char* hint;
    } buttons[] = {
        {&sbtIncluir, "sbtIncluir", "Incluir"},
        {&sbtExcluir, "sbtExcluir", "Excluir"},
        {&sbtPesquisar, "sbtPesquisar", "Pesquisar"},
        {&sbtAlterar, "sbtAlterar", "Alterar"},
        {&sbtVerificar, "sbtVerificar", "Verificar"},
        {&sbtCancelar, "sbtCancelar", "Cancelar"},
        {&sbtConfirmar, "sbtConfirmar", "Confirmar"},
        {&sbtImprimir, "sbtImprimir", "Imprimir"},
        {&sbtAjuda, "sbtAjuda", "Ajuda"},
        {&sbtFechar, "sbtFechar", "Fechar"},
    };
    int left = 4;
    for (const auto& spec : buttons) {
        TSpeedButton* button = Make<TSpeedButton>(spec.name, panMenu);
        button->SetBounds(left, 3, kButtonSize, kButtonSize);
        button->SetHint(spec.hint);
        button->Flat = true;
        *spec.button = button;
        left += kButtonSize + 2;
    }
    lblCodTela = Make<TLabel>("lblCodTela", panMenu);
    lblCodTela->SetBounds(700, 9, 70, 16);
    lblCodTela->SetBold(true);

    panNavigator = Make<TPanel>("panNavigator", this);
    panNavigator->Align = TAlign::alBottom;
    panNavigator->SetBounds(0, 510, 780, 30);
    panNavigator->TabOrder = 2;
    dbnPadrao = Make<TDBNavigator>("dbnPadrao", panNavigator);
    dbnPadrao->SetBounds(4, 3, 120, 24);
    dbtNome = Make<TDBText>("dbtNome", panNavigator);
    dbtNome->SetBounds(134, 8, 400, 16);
    dbtNome->SetBold(true);

    pgcPadrao = Make<TPageControl>("pgcPadrao", this);
    pgcPadrao->Align = TAlign::alClient;
    pgcPadrao->SetBounds(0, 34, 780, 476);
    pgcPadrao->TabOrder = 1;
    tshPadrao = Make<TTabSheet>("tshPadrao", pgcPadrao);
    tshPadrao->SetCaption("Folha de Dados");
    panDbgPadrao = Make<TPanel>("panDbgPadrao", tshPadrao);
    panDbgPadrao->Align = TAlign::alClient;
    scbFolhaDados = Make<TScrollBox>("scbFolhaDados", panDbgPadrao);
    scbFolhaDados->Align = TAlign::alClient;
    dbgPadrao = Make<TDBGrid>("dbgPadrao", scbFolhaDados);
    dbgPadrao->Align = TAlign::alClient;
    pgcPadrao->SetActivePage(tshPadrao);

    dtsPadrao = MakeDataSource("dtsPadrao", nullptr);
    dbgPadrao->SetDataSource(dtsPadrao);
    dbnPadrao->DataSource = dtsPadrao;

    msgPadrao = Make<TMessages>("msgPadrao");
    msgPadrao->Lines = {"padrao|Padrão", "Excl|Confirma exclusão?", "Local|Local"};

    // Menus.
    mnuManutencao = Make<TMenuItem>("mnuManutencao", Menu());
    mnuManutencao->SetCaption("&Manutenção");
    const struct {
        TMenuItem** item;
        TMenuItem** parent;
        const char* name;
        const char* caption;
    } items[] = {
        {&mnuIncluir, &mnuManutencao, "mnuIncluir", "&Incluir"},
        {&mnuExcluir, &mnuManutencao, "mnuExcluir", "&Excluir"},
        {&mnuPesquisar, &mnuManutencao, "mnuPesquisar", "&Pesquisar"},
        {&mnuAlterar, &mnuManutencao, "mnuAlterar", "&Alterar"},
        {&mnuVerificar, &mnuManutencao, "mnuVerificar", "&Verificar"},
        {&mnuCancelar, &mnuManutencao, "mnuCancelar", "&Cancelar"},
        {&mnuConfirmar, &mnuManutencao, "mnuConfirmar", "C&onfirmar"},
    };
    for (const auto& spec : items) {
        *spec.item = Make<TMenuItem>(spec.name, *spec.parent);
        (*spec.item)->SetCaption(spec.caption);
    }
    mnuOperacao = Make<TMenuItem>("mnuOperacao", Menu());
    mnuOperacao->SetCaption("&Operação");
    mnuListagem = Make<TMenuItem>("mnuListagem", mnuOperacao);
    mnuListagem->SetCaption("&Listagem");
    mnuConfigImpressora = Make<TMenuItem>("mnuConfigImpressora", mnuOperacao);
    mnuConfigImpressora->SetCaption("Configurar Im&pressora");
    mnuImprimir = Make<TMenuItem>("mnuImprimir", mnuOperacao);
    mnuImprimir->SetCaption("Imp&rimir");
    mnuTela = Make<TMenuItem>("mnuTela", Menu());
    mnuTela->SetCaption("&Tela");
    mnuAjuda = Make<TMenuItem>("mnuAjuda", mnuTela);
    mnuAjuda->SetCaption("A&juda");
    mnuAjuda->SetShortCut("F1");
    mnuFechar = Make<TMenuItem>("mnuFechar", mnuTela);
    mnuFechar->SetCaption("&Fechar");

    bindCommand(sbtIncluir, mnuIncluir, &TfrmPadraoGrid::sbtIncluirClick);
    bindCommand(sbtExcluir, mnuExcluir, &TfrmPadraoGrid::sbtExcluirClick);
    bindCommand(sbtPesquisar, mnuPesquisar, &TfrmPadraoGrid::sbtPesquisarClick);
    bindCommand(sbtAlterar, mnuAlterar, &TfrmPadraoGrid::sbtAlterarClick);
    bindCommand(sbtVerificar, mnuVerificar, &TfrmPadraoGrid::sbtVerificarClick);
    bindCommand(sbtCancelar, mnuCancelar, &TfrmPadraoGrid::sbtCancelarClick);
    bindCommand(sbtConfirmar, mnuConfirmar, &TfrmPadraoGrid::sbtConfirmarClick);
    bindCommand(sbtImprimir, mnuImprimir, &TfrmPadraoGrid::sbtImprimirClick);
    bindCommand(sbtAjuda, mnuAjuda, &TfrmPadraoGrid::sbtAjudaClick);
    bindCommand(sbtFechar, mnuFechar, &TfrmPadraoGrid::sbtFecharClick);

    OnCreate = [this](TObject* sender) { FormCreate(sender); };
    OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };
    OnDestroy = [this](TObject* sender) { FormDestroy(sender); };
    OnKeyDown = [this](TObject* sender, Word& key, TShiftState shift) {
        FormKeyDown(sender, key, shift);
    };
    dbgPadrao->OnKeyDown = [this](TObject* sender, Word& key, TShiftState shift) {
        dbgPadraoKeyDown(sender, key, shift);
    };
    dtsPadrao->OnStateChange = [this](TDataSource&) { dtsPadraoStateChange(this); };
}

void TfrmPadraoGrid::bindCommand(TSpeedButton* button, TMenuItem* item,
                                 void (TfrmPadraoGrid::*handler)(TObject*)) {
    button->OnClick = [this, handler](TObject* sender) { (this->*handler)(sender); };
    item->OnClick = [this, handler](TObject* sender) { (this->*handler)(sender); };
}

void TfrmPadraoGrid::FormCreate(TObject* /*Sender*/) {}

void TfrmPadraoGrid::FormClose(TObject* /*Sender*/, TCloseAction& Action) {
    // A child window of the host is released when closed.
    Action = TCloseAction::caFree;
}

void TfrmPadraoGrid::FormDestroy(TObject* /*Sender*/) {}

void TfrmPadraoGrid::FormKeyDown(TObject* /*Sender*/, Word& Key, TShiftState Shift) {
    // Enter in an edit moves on, as the operators of this application expect.
    if (Key == VK_RETURN && Shift == 0 && dynamic_cast<TCustomEdit*>(ActiveControl()) != nullptr &&
        dynamic_cast<TMemo*>(ActiveControl()) == nullptr) {
        SelectNext(ActiveControl(), true, true);
        Key = 0;
    }
}

void TfrmPadraoGrid::sbtIncluirClick(TObject* /*Sender*/) {
    if (dtsPadrao->DataSet != nullptr && dtsPadrao->DataSet->Active()) {
        dtsPadrao->DataSet->Append();
    }
}

void TfrmPadraoGrid::sbtExcluirClick(TObject* /*Sender*/) {
    TClientDataSet* dataSet = dtsPadrao->DataSet;
    if (dataSet == nullptr || !dataSet->Active() || dataSet->IsEmpty()) {
        return;
    }
    if (msgPadrao->ShowMsg("Excl", TMsgDlgType::mtConfirmation, mbYes | mbNo, 0) == mrYes) {
        dataSet->Delete();
    }
}

void TfrmPadraoGrid::sbtPesquisarClick(TObject* /*Sender*/) {}

void TfrmPadraoGrid::sbtAlterarClick(TObject* /*Sender*/) {}

void TfrmPadraoGrid::sbtVerificarClick(TObject* /*Sender*/) {}

void TfrmPadraoGrid::sbtCancelarClick(TObject* /*Sender*/) {
    if (dtsPadrao->DataSet != nullptr) {
        dtsPadrao->DataSet->Cancel();
    }
}

void TfrmPadraoGrid::sbtConfirmarClick(TObject* /*Sender*/) {
    TClientDataSet* dataSet = dtsPadrao->DataSet;
    if (dataSet != nullptr && (dataSet->State() == TDataSetState::dsEdit ||
                               dataSet->State() == TDataSetState::dsInsert)) {
        dataSet->Post();
    }
}

void TfrmPadraoGrid::sbtImprimirClick(TObject* /*Sender*/) {}

void TfrmPadraoGrid::sbtAjudaClick(TObject* /*Sender*/) {
    if (Application().Platform().ShowHelp(lblCodTela->Caption())) {
        return;
    }
    MessageDlg("Ajuda da tela " + lblCodTela->Caption() + " não disponível.",
               TMsgDlgType::mtInformation, mbOK, 0);
}

void TfrmPadraoGrid::sbtFecharClick(TObject* /*Sender*/) {
    Close();
}

void TfrmPadraoGrid::dbgPadraoKeyDown(TObject* /*Sender*/, Word& Key, TShiftState Shift) {
    // Ctrl+Delete deletes the current record once the operator confirms.
    if (Key == VK_DELETE && Shift == ssCtrl) {
        Key = 0;
        sbtExcluirClick(sbtExcluir);
    }
}

void TfrmPadraoGrid::dtsPadraoStateChange(TObject* /*Sender*/) {}

}  // namespace host
