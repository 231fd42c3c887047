#include "host/screens/filtro_padrao.h"

#include <functional>

#include "host/screens/option_sets.h"

namespace host {

namespace {

const char* const kNoOptions = "Não há opções salvas.";

}  // namespace

TfrmFiltroPadrao::TfrmFiltroPadrao(std::string name) : TForm(std::move(name)) {
    KeyPreview = true;
    SetBounds(0, 0, 512, 173);

    lblCodTela = Make<TLabel>("lblCodTela", this);
    lblCodTela->SetBounds(459, 152, 50, 16);
    lblCodTela->SetBold(true);

    grbFiltroPadrao = Make<TGroupBox>("grbFiltroPadrao", this);
    grbFiltroPadrao->SetBounds(0, 0, 457, 173);
    grbFiltroPadrao->TabOrder = 0;

    panMenu = Make<TPanel>("panMenu", this);
    panMenu->SetBounds(457, 0, 55, 150);
    panMenu->TabOrder = 1;
    sbtConfirma = Make<TSpeedButton>("sbtConfirma", panMenu);
    sbtConfirma->SetBounds(10, 4, 40, 24);
    sbtConfirma->SetHint("Confirmar");
    sbtCancel = Make<TSpeedButton>("sbtCancel", panMenu);
    sbtCancel->SetBounds(10, 31, 40, 24);
    sbtCancel->SetHint("Cancelar");
    btfSaveOpc = Make<TButtonFlat>("btfSaveOpc", panMenu);
    btfSaveOpc->SetBounds(10, 58, 40, 24);
    btfSaveOpc->SetHint("Opções");
    sbtHelp = Make<TSpeedButton>("sbtHelp", panMenu);
    sbtHelp->SetBounds(10, 85, 40, 24);
    sbtHelp->SetHint("Ajuda");

    ppmOpcoes = Make<TMenuItem>("ppmOpcoes", nullptr);
    mnuSalvarOpcoes = Make<TMenuItem>("mnuSalvarOpcoes", ppmOpcoes);
    mnuSalvarOpcoes->SetCaption("&Salvar Opções");
    mnuCarregarOpcoes = Make<TMenuItem>("mnuCarregarOpcoes", ppmOpcoes);
    mnuCarregarOpcoes->SetCaption("&Carregar Opções");
    PopupMenu1 = Make<TMenuItem>("PopupMenu1", nullptr);

    msgPadrao = Make<TMessages>("msgPadrao");
    cdsCarregaOpcoes = MakeDataSet("cdsCarregaOpcoes");
    cdsCarregaOpcoes->AddField({"NMOPCAO", FieldType::String, 60}).DisplayLabel = "Opção";
    dtsCarregaOpcoes = MakeDataSource("dtsCarregaOpcoes", cdsCarregaOpcoes);

    sbtConfirma->OnClick = [this](TObject* sender) { sbtConfirmaClick(sender); };
    sbtCancel->OnClick = [this](TObject* sender) { sbtCancelClick(sender); };
    sbtHelp->OnClick = [this](TObject* sender) { sbtHelpClick(sender); };
    btfSaveOpc->OnClick = [this](TObject* sender) { btfSaveOpcClick(sender); };
    mnuSalvarOpcoes->OnClick = [this](TObject* sender) { btfSaveOpcClick(sender); };
    mnuCarregarOpcoes->OnClick = [this](TObject* sender) { btfLoadOpcClick(sender); };

    OnCreate = [this](TObject* sender) { FormCreate(sender); };
    OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };
    OnKeyDown = [this](TObject* sender, Word& key, TShiftState shift) {
        FormKeyDown(sender, key, shift);
    };
}

std::string TfrmFiltroPadrao::OptionValue(const std::string& name) const {
    return optionValue(Opcoes, name);
}

void TfrmFiltroPadrao::SetOptionValue(const std::string& name, const std::string& value) {
    setOptionValue(Opcoes, name, value);
}

void TfrmFiltroPadrao::FormCreate(TObject* /*Sender*/) {}

void TfrmFiltroPadrao::FormClose(TObject* /*Sender*/, TCloseAction& Action) {
    Action = TCloseAction::caFree;
}

void TfrmFiltroPadrao::FormKeyDown(TObject* /*Sender*/, Word& Key, TShiftState Shift) {
    if (Key == VK_ESCAPE && Shift == 0) {
        Key = 0;
        sbtCancel->Click();
    } else if (Key == VK_F1 && Shift == 0) {
        Key = 0;
        sbtHelp->Click();
    } else if (Key == VK_RETURN && (Shift & ssCtrl) != 0) {
        Key = 0;
        sbtConfirma->Click();
    } else if (Key == VK_RETURN && Shift == 0 &&
               dynamic_cast<TCustomEdit*>(ActiveControl()) != nullptr) {
        Key = 0;
        SelectNext(ActiveControl(), true, true);
    }
}

void TfrmFiltroPadrao::sbtConfirmaClick(TObject* /*Sender*/) {
    SetModalResult(mrOk);
}

void TfrmFiltroPadrao::sbtCancelClick(TObject* /*Sender*/) {}

void TfrmFiltroPadrao::sbtHelpClick(TObject* /*Sender*/) {
    if (Application().Platform().ShowHelp(screenCode())) {
        return;
    }
    MessageDlg("Ajuda da tela " + lblCodTela->Caption() + " não disponível.",
               TMsgDlgType::mtInformation, mbOK, 0);
}

std::string TfrmFiltroPadrao::screenCode() const {
    return lblCodTela->Caption().empty() ? Name() : lblCodTela->Caption();
}

void TfrmFiltroPadrao::collectControls(std::vector<std::string>& options) const {
    // In creation order, so that loading writes a field before the fields its
    // change handler resets.
    // An empty field is stored too, so loading the set empties it.
    const auto put = [&options](const std::string& name, const std::string& value) {
        setOptionValue(options, name, {});
        options.push_back(name + "=" + value);
    };
    std::function<void(const TWinControl*)> visit = [&](const TWinControl* container) {
        for (const TControl* control : container->Controls()) {
            if (const auto* edit = dynamic_cast<const TCustomEdit*>(control)) {
                put(edit->Name(), edit->Text());
            } else if (const auto* check = dynamic_cast<const TCheckBox*>(control)) {
                put(check->Name(), check->Checked() ? "S" : "N");
            } else if (const auto* radio = dynamic_cast<const TRadioButton*>(control)) {
                put(radio->Name(), radio->Checked() ? "S" : "N");
            } else if (const auto* inner = dynamic_cast<const TWinControl*>(control)) {
                visit(inner);
            }
        }
    };
    visit(grbFiltroPadrao);
}

void TfrmFiltroPadrao::applyControls(const std::vector<std::string>& options) {
    for (const std::string& option : options) {
        const auto equals = option.find('=');
        TComponent* component = FindComponent(option.substr(0, equals));
        const std::string value = option.substr(equals + 1);
        if (auto* edit = dynamic_cast<TCustomEdit*>(component)) {
            edit->SetText(value);
        } else if (auto* check = dynamic_cast<TCheckBox*>(component)) {
            check->SetChecked(value == "S");
        } else if (auto* radio = dynamic_cast<TRadioButton*>(component); radio && value == "S") {
            radio->SetChecked(true);
        }
    }
}

void TfrmFiltroPadrao::btfSaveOpcClick(TObject* /*Sender*/) {
    std::string setName = "Padrão";
    if (!Application().Platform().InputText("Salvar Opções", "Nome das opções:", setName) ||
        setName.empty()) {
        return;
    }
    collectControls(Opcoes);
    OptionSetStore(OptionSetStore::defaultFolder(), screenCode()).save(setName, Opcoes);
}

void TfrmFiltroPadrao::btfLoadOpcClick(TObject* /*Sender*/) {
    OpcoesCarregadas = false;
    const OptionSetStore store(OptionSetStore::defaultFolder(), screenCode());
    const std::vector<std::string> names = store.setNames();
    if (names.empty()) {
        MessageDlg(kNoOptions, TMsgDlgType::mtInformation, mbOK, 0);
        return;
    }
    DataPacket packet;
    packet.fields = {{"NMOPCAO", FieldType::String, 60}};
    for (const std::string& name : names) {
        packet.rows.push_back({Variant(name)});
    }
    cdsCarregaOpcoes->LoadFromPacket(packet);

    PickListRequest request;
    request.title = "Carregar Opções";
    request.rows = cdsCarregaOpcoes;
    request.keyField = "NMOPCAO";
    const auto chosen = Application().Platform().PickList(request);
    if (!chosen || chosen->empty()) {
        return;
    }
    const auto options = store.load(names.at(static_cast<std::size_t>(chosen->front())));
    Opcoes = options.value_or(std::vector<std::string>{});
    OpcoesCarregadas = true;
    applyControls(Opcoes);
}

}  // namespace host
