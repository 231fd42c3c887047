#pragma once

#include <string>

#include "host/services/messages.h"
#include "host/ui/form.h"

namespace host {

// The base grid screen: a tool bar of record commands, a page control whose
// data page holds the grid of the screen's main data set, a navigator, the
// maintenance and operations menus, and a message table. Screens derive from
// it, add their components in their constructor, and override the handlers
// they replace (calling the base version where they want its behaviour).
class TfrmPadraoGrid : public TForm {
public:
    explicit TfrmPadraoGrid(std::string name);
    const char* ClassName() const override { return "TfrmPadraoGrid"; }

    // Tool bar and its buttons, in their order on the bar.
    TPanel* panMenu;
    TSpeedButton* sbtIncluir;
    TSpeedButton* sbtExcluir;
    TSpeedButton* sbtPesquisar;
    TSpeedButton* sbtAlterar;
    TSpeedButton* sbtVerificar;
    TSpeedButton* sbtCancelar;
    TSpeedButton* sbtConfirmar;
    TSpeedButton* sbtImprimir;
    TSpeedButton* sbtAjuda;
    TSpeedButton* sbtFechar;
    TLabel* lblCodTela;

    // Navigator panel at the bottom.
    TPanel* panNavigator;
    TDBNavigator* dbnPadrao;
    TDBText* dbtNome;

    // Pages.
    TPageControl* pgcPadrao;
    TTabSheet* tshPadrao;
    TPanel* panDbgPadrao;
    TScrollBox* scbFolhaDados;
    TDBGrid* dbgPadrao;

    TDataSource* dtsPadrao;
    TMessages* msgPadrao;

    // Menus.
    TMenuItem* mnuManutencao;
    TMenuItem* mnuIncluir;
    TMenuItem* mnuExcluir;
    TMenuItem* mnuPesquisar;
    TMenuItem* mnuAlterar;
    TMenuItem* mnuVerificar;
    TMenuItem* mnuCancelar;
    TMenuItem* mnuConfirmar;
    TMenuItem* mnuOperacao;
    TMenuItem* mnuImprimir;
    TMenuItem* mnuListagem;
    TMenuItem* mnuConfigImpressora;
    TMenuItem* mnuTela;
    TMenuItem* mnuAjuda;
    TMenuItem* mnuFechar;

    // Handlers of the base; a screen overrides those it replaces.
    virtual void FormCreate(TObject* Sender);
    virtual void FormClose(TObject* Sender, TCloseAction& Action);
    virtual void FormDestroy(TObject* Sender);
    virtual void FormKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
    virtual void sbtIncluirClick(TObject* Sender);
    virtual void sbtExcluirClick(TObject* Sender);
    virtual void sbtPesquisarClick(TObject* Sender);
    virtual void sbtAlterarClick(TObject* Sender);
    virtual void sbtVerificarClick(TObject* Sender);
    virtual void sbtCancelarClick(TObject* Sender);
    virtual void sbtConfirmarClick(TObject* Sender);
    virtual void sbtImprimirClick(TObject* Sender);
    virtual void sbtAjudaClick(TObject* Sender);
    virtual void sbtFecharClick(TObject* Sender);
    virtual void dbgPadraoKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
    virtual void dtsPadraoStateChange(TObject* Sender);

protected:
    // Binds a tool-bar button and its menu item to one handler.
    void bindCommand(TSpeedButton* button, TMenuItem* item,
                     void (TfrmPadraoGrid::*handler)(TObject*));
};

}  // namespace host
