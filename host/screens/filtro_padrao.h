#pragma once

#include <string>
#include <vector>

#include "host/services/messages.h"
#include "host/ui/form.h"

namespace host {

// The base filter dialog: the screen-code label, the criteria group box, the
// button panel (confirm, cancel, help, save/load options) and a message table.
// Option sets store the criteria controls' values and whatever entries the
// dialog adds, per screen code and set name.
class TfrmFiltroPadrao : public TForm {
public:
    explicit TfrmFiltroPadrao(std::string name);
    const char* ClassName() const override { return "TfrmFiltroPadrao"; }

    TLabel* lblCodTela;
    TGroupBox* grbFiltroPadrao;
    TPanel* panMenu;
    TSpeedButton* sbtConfirma;
    TSpeedButton* sbtCancel;
    TSpeedButton* sbtHelp;
    TButtonFlat* btfSaveOpc;
    TMenuItem* ppmOpcoes;
    TMenuItem* mnuSalvarOpcoes;
    TMenuItem* mnuCarregarOpcoes;
    TMenuItem* PopupMenu1;
    TMessages* msgPadrao;
    TClientDataSet* cdsCarregaOpcoes;
    TDataSource* dtsCarregaOpcoes;

    // The option list of the set being saved or last loaded: name=value lines.
    std::vector<std::string> Opcoes;
    // Whether the last load-options command loaded a set (the operator may
    // cancel the choice, leaving Opcoes as it was).
    bool OpcoesCarregadas = false;
    std::string OptionValue(const std::string& name) const;
    void SetOptionValue(const std::string& name, const std::string& value);

    virtual void FormCreate(TObject* Sender);
    virtual void FormClose(TObject* Sender, TCloseAction& Action);
    virtual void FormKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
    virtual void sbtConfirmaClick(TObject* Sender);
    virtual void sbtCancelClick(TObject* Sender);
    virtual void sbtHelpClick(TObject* Sender);
    // Stores Opcoes (with the criteria controls' values) under a name the
    // operator gives.
    virtual void btfSaveOpcClick(TObject* Sender);
    // Lets the operator choose a stored set, fills Opcoes and the controls.
    virtual void btfLoadOpcClick(TObject* Sender);

private:
    std::string screenCode() const;
    void collectControls(std::vector<std::string>& options) const;
    void applyControls(const std::vector<std::string>& options);
};

}  // namespace host
