#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host/screens/option_sets.h"

namespace host {
namespace {

class OptionSetStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder =
            std::filesystem::temp_directory_path() /
            ("ore-options-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::filesystem::path folder;
};

TEST_F(OptionSetStoreTest, SetsAreKeptPerScreenAndName) {
    OptionSetStore filter(folder, "ORE06101");
    OptionSetStore other(folder, "ORE09999");
    filter.save("Padrão", {"stCliente=000001,000002", "medOrcaDe=0000000012"});
    filter.save("Outro", {"stVendedor=0001"});
    other.save("Padrão", {"x=1"});

    EXPECT_EQ(filter.setNames(), (std::vector<std::string>{"Outro", "Padrão"}));
    EXPECT_EQ(filter.load("Padrão").value(),
              (std::vector<std::string>{"stCliente=000001,000002", "medOrcaDe=0000000012"}));
    EXPECT_EQ(other.load("Padrão").value(), std::vector<std::string>{"x=1"});
    EXPECT_FALSE(filter.load("Nenhum").has_value());
}

TEST_F(OptionSetStoreTest, SavingAgainReplacesOnlyThatSet) {
    OptionSetStore store(folder, "ORE06101");
    store.save("A", {"stCliente=1"});
    store.save("B", {"stCliente=2"});
    store.save("A", {"stVendedor=3"});
    EXPECT_EQ(store.load("A").value(), std::vector<std::string>{"stVendedor=3"});
    EXPECT_EQ(store.load("B").value(), std::vector<std::string>{"stCliente=2"});
}

TEST_F(OptionSetStoreTest, NamesAndValuesCannotBreakTheFile) {
    OptionSetStore store(folder, "ORE06101");
    store.save("a]\n[b", {"stCliente=x\ny=z"});
    ASSERT_EQ(store.setNames().size(), 1u);
    EXPECT_EQ(store.load(store.setNames()[0]).value(), std::vector<std::string>{"stCliente=x y=z"});
}

TEST_F(OptionSetStoreTest, UnwritableFolderRaisesAndKeepsTheOldFile) {
    OptionSetStore store(folder, "ORE06101");
    store.save("A", {"k=1"});
    std::filesystem::remove(store.file());
    std::filesystem::create_directory(store.file());  // a folder where the file should be
    EXPECT_THROW(store.save("A", {"k=2"}), std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_directory(store.file()));
}

TEST(OptionValueTest, EmptyValueRemovesTheEntry) {
    std::vector<std::string> options = {"stCliente=1,2", "stVendedor=9"};
    EXPECT_EQ(optionValue(options, "stCliente"), "1,2");
    EXPECT_EQ(optionValue(options, "stCli"), "");
    setOptionValue(options, "stCliente", "");
    EXPECT_EQ(options, std::vector<std::string>{"stVendedor=9"});
    setOptionValue(options, "stVendedor", "7");
    setOptionValue(options, "stCliente", "3");
    EXPECT_EQ(options, (std::vector<std::string>{"stVendedor=7", "stCliente=3"}));
    setOptionValue(options, "nada", "");
    EXPECT_EQ(options.size(), 2u);
}

}  // namespace
}  // namespace host
