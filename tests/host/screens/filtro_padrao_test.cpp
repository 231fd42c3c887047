#include "host/screens/filtro_padrao.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/ui/scripted_platform.h"

namespace host {
namespace {

using ::testing::ElementsAre;

// A dialog with two criteria fields whose exits and confirmation are logged.
class TfrmFiltroTeste : public TfrmFiltroPadrao {
public:
    TfrmFiltroTeste() : TfrmFiltroPadrao("frmFiltroTeste") {
        edtDe = Make<TEdit>("edtDe", grbFiltroPadrao);
        edtAte = Make<TEdit>("edtAte", grbFiltroPadrao);
        edtAte->TabOrder = 1;
        edtDe->OnExit = [this](TObject*) { log.push_back("edtDe:Exit " + edtDe->Text()); };
        edtAte->OnExit = [this](TObject*) {
            log.push_back("edtAte:Exit " + edtAte->Text());
            if (edtAte->Text() == "recusado") {
                throw EAbort();
            }
        };
    }
    void sbtConfirmaClick(TObject* Sender) override {
        log.push_back("sbtConfirmaClick");
        TfrmFiltroPadrao::sbtConfirmaClick(Sender);
    }

    TEdit* edtDe;
    TEdit* edtAte;
    std::vector<std::string> log;
};

class FiltroPadraoTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application().Reset();
        Application().SetPlatform(&platform);
        dialog = Application().CreateForm<TfrmFiltroTeste>();
    }
    void TearDown() override {
        Application().Reset();
        Application().SetPlatform(nullptr);
    }

    ScriptedPlatform platform;
    TfrmFiltroTeste* dialog = nullptr;
};

struct ConfirmCase {
    const char* name;
    std::function<bool(TfrmFiltroTeste&)> confirm;
};

const std::vector<ConfirmCase> kConfirmations = {
    {"button", [](TfrmFiltroTeste& d) { return d.UserClick(d.sbtConfirma); }},
    {"Ctrl+Enter", [](TfrmFiltroTeste& d) { return d.UserKey(nullptr, VK_RETURN, ssCtrl); }},
};

TEST_F(FiltroPadraoTest, ConfirmingRunsTheExitOfTheFieldBeingEditedFirst) {
    for (const ConfirmCase& confirmation : kConfirmations) {
        SCOPED_TRACE(confirmation.name);
        dialog->FocusControl(dialog->edtAte);
        dialog->edtAte->SetText("300");
        dialog->log.clear();
        dialog->SetModalResult(mrNone);
        EXPECT_TRUE(confirmation.confirm(*dialog));
        EXPECT_THAT(dialog->log, ElementsAre("edtAte:Exit 300", "sbtConfirmaClick"));
        EXPECT_EQ(dialog->ActiveControl(), dialog->edtAte);
        EXPECT_EQ(dialog->ModalResult(), mrOk);
    }
}

TEST_F(FiltroPadraoTest, AnExitThatRefusesTheTextEndsTheConfirmation) {
    for (const ConfirmCase& confirmation : kConfirmations) {
        SCOPED_TRACE(confirmation.name);
        dialog->FocusControl(dialog->edtAte);
        dialog->edtAte->SetText("recusado");
        dialog->log.clear();
        dialog->SetModalResult(mrNone);
        EXPECT_FALSE(confirmation.confirm(*dialog));
        EXPECT_THAT(dialog->log, ElementsAre("edtAte:Exit recusado"));
        EXPECT_EQ(dialog->ActiveControl(), dialog->edtAte);
        EXPECT_EQ(dialog->ModalResult(), mrNone);
    }
}

TEST_F(FiltroPadraoTest, WithNoFieldFocusedTheConfirmationRunsAlone) {
    EXPECT_TRUE(dialog->UserClick(dialog->sbtConfirma));
    EXPECT_THAT(dialog->log, ElementsAre("sbtConfirmaClick"));
}

TEST_F(FiltroPadraoTest, OnlyTheFocusedFieldIsLeft) {
    dialog->FocusControl(dialog->edtDe);
    dialog->log.clear();
    EXPECT_TRUE(dialog->UserClick(dialog->sbtConfirma));
    EXPECT_THAT(dialog->log, ElementsAre("edtDe:Exit ", "sbtConfirmaClick"));
    dialog->log.clear();
    dialog->SetModalResult(mrNone);
    dialog->FocusControl(dialog->edtAte);
    EXPECT_THAT(dialog->log, ElementsAre("edtDe:Exit "));
}

}  // namespace
}  // namespace host
