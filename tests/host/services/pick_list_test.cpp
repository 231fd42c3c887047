#include <gtest/gtest.h>

#include "host/services/pick_list.h"
#include "host/ui/form.h"
#include "host/ui/scripted_platform.h"

namespace host {
namespace {

class PesquisaListaTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application().SetPlatform(&platform);
        salesmen.AddField({"CDVENDEDOR", FieldType::String, 4});
        salesmen.AddField({"NMFANVEN", FieldType::String, 50});
        DataPacket packet;
        packet.fields = {{"CDVENDEDOR", FieldType::String, 4}, {"NMFANVEN", FieldType::String, 50}};
        packet.rows = {{Variant("0001"), Variant("ANA")},
                       {Variant("0002"), Variant("BIA")},
                       {Variant("0003"), Variant("CAIO")}};
        salesmen.LoadFromPacket(packet);
    }
    void TearDown() override { Application().SetPlatform(nullptr); }

    ScriptedPlatform platform;
    TClientDataSet salesmen{"qryVendedor"};
    TDataSource source{"dtsVendedor", &salesmen};
};

TEST_F(PesquisaListaTest, ChosenKeysComeBackCommaSeparated) {
    std::string list;
    platform.QueuePick({"0003", "0001"});
    Pesqlista::PesquisaLista(&source, "CDVENDEDOR", "Vendedor", false, list);
    // In the list's order, no blanks, no quotes.
    EXPECT_EQ(list, "0001,0003");
    ASSERT_EQ(platform.pickLists().size(), 1u);
    EXPECT_EQ(platform.pickLists()[0].title, "Vendedor");
    EXPECT_TRUE(platform.pickLists()[0].multiple);
}

TEST_F(PesquisaListaTest, CurrentListIsPreselectedAndKeptWhenCancelled) {
    std::string list = "0002";
    platform.QueuePickNone();
    Pesqlista::PesquisaLista(&source, "CDVENDEDOR", "Vendedor", false, list);
    EXPECT_EQ(list, "0002");
    ASSERT_EQ(platform.pickLists().size(), 1u);
    EXPECT_EQ(platform.pickLists()[0].preselected, std::vector<std::string>{"0002"});
}

TEST_F(PesquisaListaTest, AnEmptyChoiceEmptiesTheList) {
    std::string list = "0002";
    platform.QueuePick({});
    Pesqlista::PesquisaLista(&source, "CDVENDEDOR", "Vendedor", false, list);
    EXPECT_EQ(list, "");
}

}  // namespace
}  // namespace host
