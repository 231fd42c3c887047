// Parts of the filter dialog a scenario cannot see: the registration number
// laid out by the person kind's mask, and what the saved options hold.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "cancellation_screen/unit.h"
#include "db/demo_data.h"
#include "filter_dialog/filtro_canc_aprov_enc.h"
#include "filter_dialog/unit.h"
#include "host/screens/option_sets.h"
#include "host/sql/adoib_query.h"
#include "host/ui/scripted_platform.h"
#include "module/package.h"
#include "tests/support/test_database.h"

namespace {

using namespace host;
using Cli_ore06101::TfrmFiltroCancAprovEnc;

class FilterDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application().SetPlatform(&platform);
        db::generateDemoData(database.database(), 20);
        dtmDBGeral().Connect(database.target());
        folder = std::filesystem::temp_directory_path() /
                 ("ore-filter-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        ::setenv("ORE_CONFIG_DIR", folder.c_str(), 1);
        Initialize();
        Cli_ore06100::SetFiltroDefaults(Cli_ore06100::Filtro);
        dialog = Application().CreateForm<TfrmFiltroCancAprovEnc>();
        dialog->Activate();
    }
    void TearDown() override {
        Application().Reset();
        Finalize();
        dtmDBGeral().Disconnect();
        ::unsetenv("ORE_CONFIG_DIR");
        std::filesystem::remove_all(folder);
        Application().SetPlatform(nullptr);
    }

    ScriptedPlatform platform;
    testsupport::TestDatabase database{sql::Engine::sqlite};
    std::filesystem::path folder;
    TfrmFiltroCancAprovEnc* dialog = nullptr;
};

TEST_F(FilterDialogTest, RegistrationNumberIsShownThroughThePersonKindsMask) {
    dialog->qryCliente->Open();
    TClientDataSet& customers = dialog->qryCliente->DataSet();
    ASSERT_FALSE(customers.IsEmpty());
    int checked = 0;
    for (int row = 1; row <= customers.RecordCount(); ++row) {
        customers.SetRecNo(row);
        const std::string kind = customers.FieldByName("IDTPIJURCLIE").AsString();
        const std::string stored = customers.FieldByName("NRINSJURCLIE").AsString();
        const std::string shown = customers.FieldByName("NRINSJURCLIE").DisplayText();
        if (kind == "F") {
            ASSERT_EQ(stored.size(), 11u);
            EXPECT_EQ(shown, stored.substr(0, 3) + "." + stored.substr(3, 3) + "." +
                                 stored.substr(6, 3) + "-" + stored.substr(9, 2));
            ++checked;
        } else if (kind == "J") {
            ASSERT_EQ(stored.size(), 14u);
            EXPECT_EQ(shown, stored.substr(0, 2) + "." + stored.substr(2, 3) + "." +
                                 stored.substr(5, 3) + "/" + stored.substr(8, 4) + "-" +
                                 stored.substr(12, 2));
            ++checked;
        }
        // The stored value is left as it was.
        EXPECT_EQ(customers.FieldByName("NRINSJURCLIE").AsString(), stored);
    }
    EXPECT_EQ(checked, customers.RecordCount());
}

TEST_F(FilterDialogTest, SavedOptionsHoldTheListsAndAnEmptyListLeavesNoEntry) {
    Cli_ore06101::stCliente = "000001,000002";
    Cli_ore06101::stVendedor = "";
    ASSERT_TRUE(dialog->UserClickMenu(dialog->mnuSalvarOpcoes));
    const OptionSetStore store(folder, "ORE06101");
    const auto saved = store.load("Padrão");
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(optionValue(*saved, "stCliente"), "000001,000002");
    for (const std::string& option : *saved) {
        EXPECT_NE(option.rfind("stVendedor=", 0), 0u) << option;
    }

    // Loading it empties a salesman list chosen since.
    Cli_ore06101::stVendedor = "0003";
    Cli_ore06101::stCliente = "";
    platform.QueuePick({"Padrão"});
    ASSERT_TRUE(dialog->UserClickMenu(dialog->mnuCarregarOpcoes));
    EXPECT_EQ(Cli_ore06101::stVendedor, "");
    EXPECT_EQ(Cli_ore06101::stCliente, "000001,000002");
}

TEST_F(FilterDialogTest, CancellingTheLoadKeepsTheWorkingLists) {
    ASSERT_TRUE(dialog->UserClickMenu(dialog->mnuSalvarOpcoes));
    Cli_ore06101::stVendedor = "0003";
    platform.QueuePickNone();
    ASSERT_TRUE(dialog->UserClickMenu(dialog->mnuCarregarOpcoes));
    EXPECT_EQ(Cli_ore06101::stVendedor, "0003");
}

TEST_F(FilterDialogTest, LoadingWithNoSavedSetSaysSo) {
    Cli_ore06101::stCliente = "000004";
    ASSERT_TRUE(dialog->UserClickMenu(dialog->mnuCarregarOpcoes));
    ASSERT_EQ(platform.messages().size(), 1u);
    EXPECT_EQ(platform.messages()[0].text, "Não há opções salvas.");
    EXPECT_EQ(Cli_ore06101::stCliente, "000004");
}

}  // namespace
