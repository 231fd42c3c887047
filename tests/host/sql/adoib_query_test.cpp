#include "host/sql/adoib_query.h"

#include <gtest/gtest.h>

#include "host/data/exceptions.h"
#include "tests/support/test_database.h"

namespace host {
namespace {

const std::vector<std::string> kBranchSql = {"SELECT CDFILIAL, NMFILIAL", "FROM FILIAL",
                                             "WHERE CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T'",
                                             "ORDER BY CDFILIAL"};

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no error";
}

class AdoibQueryTest : public testsupport::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        database().executeScript(
            "INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES ('0002', 'FILIAL CENTRO');"
            "INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES ('0001', 'MATRIZ');"
            "INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES ('0003', 'FILIAL NORTE');");
        m_query.Database = &database();
        m_query.SetSQL(kBranchSql);
    }

    std::vector<std::string> openBranches(const std::string& code, const std::string& allFlag) {
        m_query.Close();
        m_query.ParamByName("P_CDFILIAL").SetAsString(code);
        m_query.ParamByName("P_TCDFILIAL").SetAsString(allFlag);
        m_query.Open();
        std::vector<std::string> codes;
        for (m_query.First(); !m_query.Eof(); m_query.Next()) {
            codes.push_back(m_query.FieldByName("CDFILIAL").AsString());
        }
        m_query.First();
        return codes;
    }

    TADOIBQuery m_query{"qryFilial"};
};

TEST_P(AdoibQueryTest, ParametersComeFromThePlaceholders) {
    ASSERT_EQ(m_query.Params().size(), 2u);
    EXPECT_EQ(m_query.Params()[0].Name(), "P_CDFILIAL");
    EXPECT_EQ(m_query.Params()[1].Name(), "P_TCDFILIAL");
    EXPECT_EQ(&m_query.ParamByName("p_cdfilial"), &m_query.ParamByName("P_CDFILIAL"));
    EXPECT_EQ(errorOf([&] { m_query.ParamByName("P_OUTRO"); }), "Parameter 'P_OUTRO' not found");
    EXPECT_EQ(m_query.SQLText(),
              "SELECT CDFILIAL, NMFILIAL\nFROM FILIAL\n"
              "WHERE CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T'\n"
              "ORDER BY CDFILIAL");
}

TEST_P(AdoibQueryTest, BranchQueryWithAndWithoutTheAllFlag) {
    EXPECT_EQ(openBranches("", "T"), (std::vector<std::string>{"0001", "0002", "0003"}));
    EXPECT_EQ(m_query.RecordCount(), 3);
    EXPECT_EQ(m_query.FieldByName("NMFILIAL").AsString(), "MATRIZ");
    EXPECT_EQ(openBranches("0002", ""), std::vector<std::string>{"0002"});
    EXPECT_EQ(m_query.FieldByName("NMFILIAL").AsString(), "FILIAL CENTRO");
    EXPECT_FALSE(m_query.IsEmpty());
    EXPECT_TRUE(openBranches("9999", "").empty());
    EXPECT_TRUE(m_query.Active());
    EXPECT_TRUE(m_query.IsEmpty());
    EXPECT_TRUE(openBranches("' OR '1'='1", "").empty());
}

TEST_P(AdoibQueryTest, FieldsMadeFromTheResultWhenNoneWereAdded) {
    openBranches("", "T");
    const auto& fields = m_query.DataSet().Fields();
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0]->Definition(), (FieldDef{"CDFILIAL", FieldType::String, 4}));
    EXPECT_EQ(fields[1]->Definition(), (FieldDef{"NMFILIAL", FieldType::String, 30}));
}

TEST_P(AdoibQueryTest, FormFieldsAreFilledByNameAndExtraColumnsIgnored) {
    TADOIBQuery query("qryJustExcl");
    query.Database = &database();
    query.DataSet().AddField({"NMFILIAL", FieldType::String, 30}).DisplayLabel = "Nome";
    query.SetSQL({"SELECT CDFILIAL, NMFILIAL, 'x' AS EXTRA", "FROM FILIAL", "ORDER BY CDFILIAL"});
    query.Open();
    ASSERT_EQ(query.DataSet().Fields().size(), 1u);
    EXPECT_EQ(query.FieldByName("NMFILIAL").AsString(), "MATRIZ");
    EXPECT_EQ(query.FieldByName("NMFILIAL").GetDisplayLabel(), "Nome");
    EXPECT_EQ(errorOf([&] { query.FieldByName("EXTRA"); }), "qryJustExcl: Field 'EXTRA' not found");
}

TEST_P(AdoibQueryTest, MissingColumnIsTheFieldNotFoundErrorAndTheQueryStaysClosed) {
    TADOIBQuery query("qryPesqJust");
    query.Database = &database();
    query.DataSet().AddField({"CDFILIAL", FieldType::String, 4});
    query.DataSet().AddField({"DSJUSTEXCHIS", FieldType::String, 40});
    query.SetSQL({"SELECT CDFILIAL FROM FILIAL"});
    EXPECT_EQ(errorOf([&] { query.Open(); }), "qryPesqJust: Field 'DSJUSTEXCHIS' not found");
    EXPECT_FALSE(query.Active());
    EXPECT_TRUE(query.IsEmpty());
}

TEST_P(AdoibQueryTest, ReadOnly) {
    openBranches("", "T");
    EXPECT_EQ(errorOf([&] { m_query.DataSet().Edit(); }), "Cannot modify a read-only dataset");
    EXPECT_EQ(errorOf([&] { m_query.DataSet().Append(); }), "Cannot modify a read-only dataset");
    EXPECT_EQ(errorOf([&] { m_query.DataSet().Delete(); }), "Cannot modify a read-only dataset");
    EXPECT_EQ(m_query.DataSet().State(), TDataSetState::dsBrowse);
    EXPECT_EQ(m_query.RecordCount(), 3);
}

TEST_P(AdoibQueryTest, OpenOnAnOpenQueryKeepsItsRowsUntilClosed) {
    openBranches("0001", "");
    m_query.ParamByName("P_CDFILIAL").SetAsString("0003");
    m_query.Open();
    EXPECT_EQ(m_query.FieldByName("CDFILIAL").AsString(), "0001");
    m_query.Close();
    EXPECT_FALSE(m_query.Active());
    EXPECT_TRUE(m_query.IsEmpty());
    EXPECT_EQ(m_query.RecordCount(), 0);
    m_query.Open();
    EXPECT_EQ(m_query.FieldByName("CDFILIAL").AsString(), "0003");
}

TEST_P(AdoibQueryTest, NewSqlClosesAndForgetsTheValues) {
    openBranches("0001", "");
    m_query.SetSQL({"SELECT CDFILIAL, NMFILIAL FROM FILIAL WHERE CDFILIAL = :P_CDFILIAL"});
    EXPECT_FALSE(m_query.Active());
    ASSERT_EQ(m_query.Params().size(), 1u);
    EXPECT_TRUE(m_query.ParamByName("P_CDFILIAL").Value().IsNull());
    m_query.Open();
    EXPECT_TRUE(m_query.IsEmpty());
}

TEST_P(AdoibQueryTest, DataSourceFeedsOnTheQueryRows) {
    TDataSource source("dstFilial", &m_query.DataSet());
    openBranches("", "T");
    EXPECT_EQ(source.State(), TDataSetState::dsBrowse);
    source.DataSet->Last();
    EXPECT_EQ(m_query.FieldByName("NMFILIAL").AsString(), "FILIAL NORTE");
}

TEST_P(AdoibQueryTest, GeneralDataModuleIsTheDefaultDatabase) {
    TADOIBQuery query("qryVendedor");
    query.SetSQL({"SELECT COUNT(*) AS N FROM FILIAL"});
    dtmDBGeral().Disconnect();
    EXPECT_FALSE(dtmDBGeral().Connected());
    EXPECT_EQ(errorOf([&] { query.Open(); }), "qryVendedor: No database connection");
    dtmDBGeral().Connect(testDatabase().target());
    EXPECT_TRUE(dtmDBGeral().Connected());
    EXPECT_EQ(dtmDBGeral().Target(), testDatabase().target());
    query.Open();
    EXPECT_EQ(query.FieldByName("N").AsInteger(), 3);
    dtmDBGeral().Disconnect();
    EXPECT_EQ(dtmDBGeral().Database(), nullptr);
}

TEST_P(AdoibQueryTest, EngineErrorReachesTheCaller) {
    TADOIBQuery query("qryErrada");
    query.Database = &database();
    query.SetSQL({"SELECT NADA FROM FILIAL"});
    EXPECT_THROW(query.Open(), sql::DatabaseError);
    EXPECT_FALSE(query.Active());
}

ORE_ON_BOTH_ENGINES(AdoibQueryTest);

}  // namespace
}  // namespace host
