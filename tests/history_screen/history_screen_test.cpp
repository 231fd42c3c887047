// The history screen ORE06110 headless: a server in the test's own process,
// the demo database for the lookups, the scripted platform for the operator.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "db/demo_data.h"
#include "history_screen/hist_canc_aprov.h"
#include "history_screen/package.h"
#include "history_screen/unit.h"
#include "host/data/formatting.h"
#include "host/services/session.h"
#include "host/sql/adoib_query.h"
#include "host/ui/scripted_platform.h"
#include "tests/support/test_database.h"

namespace {

using namespace host;

// One history record as the server would send it.
struct Row {
    std::string id;
    std::string number = "0000000101";
    std::string customer = "MARIA DA SILVA";
    std::string operatorCode = "SUPERVISOR";
    TDateTime when = EncodeDateTime(2026, 11, 10, 9, 30, 0);
    std::string justification = "0001";
    std::string description = "CLIENTE DESISTIU";
    std::string outcome = "C";
    std::string refusal{};
    std::string observation{};
    Variant removed{};
};

DataPacket recordPacket(const std::vector<Row>& rows) {
    DataPacket packet;
    packet.fields = {
        {"IDHISTCANC", FieldType::String, 32},     {"CDFILIAL", FieldType::String, 4},
        {"NRORCAEVENTO", FieldType::String, 10},   {"NRSEQORCAEVE", FieldType::FixedString, 2},
        {"CDCLIENTE", FieldType::String, 21},      {"NMCLIENTE", FieldType::String, 50},
        {"CDVENDEDOR", FieldType::String, 4},      {"CDOPERADOR", FieldType::String, 12},
        {"NMOPERADOR", FieldType::String, 40},     {"DTHRHISTCANC", FieldType::DateTime, 0},
        {"CDJUSTEXCHIS", FieldType::String, 4},    {"DSJUSTEXCHIS", FieldType::String, 40},
        {"IDRESULTADO", FieldType::String, 1},     {"DSRECUSA", FieldType::String, 200},
        {"TXOBSJUSTORC", FieldType::String, 1000}, {"VRREMOVIDO", FieldType::Float, 0},
    };
    const auto textOrNull = [](const std::string& text) {
        return text.empty() ? Variant() : Variant(text);
    };
    for (const Row& row : rows) {
        packet.rows.push_back(
            {Variant(row.id), Variant(std::string("0001")), Variant(row.number),
             Variant(std::string("00")), Variant(std::string("000001")), Variant(row.customer),
             Variant(std::string("0001")), Variant(row.operatorCode), Variant(), Variant(row.when),
             textOrNull(row.justification), textOrNull(row.description), Variant(row.outcome),
             textOrNull(row.refusal), textOrNull(row.observation), row.removed});
    }
    return packet;
}

DataPacket receivablePacket(const std::vector<std::pair<std::string, double>>& documents) {
    DataPacket packet;
    packet.fields = {
        {"CDFILIAL", FieldType::String, 4},       {"NRDOCUMENTO", FieldType::String, 10},
        {"NRORCAEVENTO", FieldType::String, 10},  {"NRSEQORCAEVE", FieldType::FixedString, 2},
        {"VRDOCUMENTO", FieldType::Float, 0},     {"IDBAIXADA", FieldType::String, 1},
        {"IDBOLETOENVIADO", FieldType::String, 1}};
    for (const auto& [number, value] : documents) {
        packet.rows.push_back({Variant(std::string("0001")), Variant(number),
                               Variant(std::string("0000000101")), Variant(std::string("00")),
                               Variant(value), Variant(std::string("N")),
                               Variant(std::string("N"))});
    }
    return packet;
}

DataPacket salesOrderPacket(const std::vector<std::string>& numbers) {
    DataPacket packet;
    packet.fields = {{"CDFILIAL", FieldType::String, 4},
                     {"NRPEDIDO", FieldType::String, 10},
                     {"NRORCAEVENTO", FieldType::String, 10},
                     {"NRSEQORCAEVE", FieldType::FixedString, 2},
                     {"IDSITUPEDIDO", FieldType::String, 1}};
    for (const std::string& number : numbers) {
        packet.rows.push_back({Variant(std::string("0001")), Variant(number),
                               Variant(std::string("0000000101")), Variant(std::string("00")),
                               Variant(std::string("A"))});
    }
    return packet;
}

// A history server in the test's process: answers what the test sets, logs
// every call with its arguments.
class FakeHistoryServer : public IRdmHistCancAprov {
public:
    std::vector<std::string> calls;
    std::vector<Row> rows;
    bool truncated = false;
    std::function<Variant(const std::string& id)> documents = [](const std::string&) {
        return VarArrayOf({Variant(receivablePacket({})), Variant(salesOrderPacket({}))});
    };

    Variant GetHistCancAprov(TDateTime DtIni, TDateTime DtFin, const std::string& CDFILIAL,
                             const std::string& CDOPERADOR, const std::string& CDJUSTEXCHIS,
                             const std::string& IDRESULTADO, bool& Truncated) override {
        calls.push_back("GetHistCancAprov(" + DateToStrOrEmpty(DtIni) + "," +
                        DateToStrOrEmpty(DtFin) + "," + CDFILIAL + "," + CDOPERADOR + "," +
                        CDJUSTEXCHIS + "," + IDRESULTADO + ")");
        Truncated = truncated;
        return Variant(recordPacket(rows));
    }

    Variant GetHistCancAprovDoc(const std::string& IDHISTCANC) override {
        calls.push_back("GetHistCancAprovDoc(" + IDHISTCANC + ")");
        return documents(IDHISTCANC);
    }

private:
    static std::string DateToStrOrEmpty(TDateTime when) {
        return when.days == 0 ? std::string() : DateToStr(when);
    }
};

// The connection owns what the transport makes; the test keeps the server.
class ServerView : public IRdmHistCancAprov {
public:
    explicit ServerView(std::shared_ptr<FakeHistoryServer> server) : m_server(std::move(server)) {}
    Variant GetHistCancAprov(TDateTime a, TDateTime b, const std::string& c, const std::string& d,
                             const std::string& e, const std::string& f, bool& g) override {
        return m_server->GetHistCancAprov(a, b, c, d, e, f, g);
    }
    Variant GetHistCancAprovDoc(const std::string& id) override {
        return m_server->GetHistCancAprovDoc(id);
    }

private:
    std::shared_ptr<FakeHistoryServer> m_server;
};

class HistoryScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application().SetPlatform(&platform);
        database = std::make_unique<testsupport::TestDatabase>(sql::Engine::sqlite);
        db::generateDemoData(database->database(), 20);
        dtmDBGeral().Connect(database->target());
        Session& session = CurrentSession();
        session = {};
        session.branchCode = "0001";
        session.branchName = "MATRIZ";
        session.operatorCode = "OPER01";
        auto shared = server;
        TNetConnection::RegisterTransport(
            histCancAprovServerName,
            [shared](const std::string&, int) { return std::make_unique<ServerView>(shared); });
        folder = std::filesystem::temp_directory_path() /
                 ("ore-hist-test-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        Initialize();
        IniProc();
        ASSERT_NE(Cli_ore06110::frmHistCancAprov, nullptr);
    }

    void TearDown() override {
        Application().Reset();
        Finalize();
        TNetConnection::RegisterTransport(histCancAprovServerName, {});
        dtmDBGeral().Disconnect();
        Application().SetPlatform(nullptr);
        std::filesystem::remove_all(folder);
    }

    Cli_ore06110::TfrmHistCancAprov& screen() { return *Cli_ore06110::frmHistCancAprov; }

    std::vector<std::string> takeMessages() {
        std::vector<std::string> texts;
        for (std::size_t i = m_seen; i < platform.messages().size(); ++i) {
            texts.push_back(platform.messages()[i].text);
        }
        m_seen = platform.messages().size();
        return texts;
    }

    std::string cell(TDBGrid* grid, int row, const std::string& field) {
        for (int column = 0; column < grid->ColumnCount(); ++column) {
            if (grid->ColumnAt(column).FieldName == field) {
                return grid->CellText(row, column);
            }
        }
        return "<no column " + field + ">";
    }

    static std::string fileBytes(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

    ScriptedPlatform platform;
    std::shared_ptr<FakeHistoryServer> server = std::make_shared<FakeHistoryServer>();
    std::unique_ptr<testsupport::TestDatabase> database;
    std::filesystem::path folder;

private:
    std::size_t m_seen = 0;
};

std::string id(int n) {
    const std::string digits = std::to_string(n);
    return std::string(32 - digits.size(), '0') + digits;
}

TEST_F(HistoryScreenTest, OpensWithTheSignedOnBranchAndNothingListed) {
    EXPECT_EQ(screen().Caption(), "Histórico de Cancelamentos de Aprovação");
    EXPECT_EQ(screen().lblCodTela->Caption(), "ORE06110");
    EXPECT_EQ(screen().edtCdFilial->Text(), "0001");
    EXPECT_EQ(screen().edtNmFilial->Text(), "MATRIZ");
    EXPECT_EQ(screen().ActiveControl(), screen().dtpInicio);
    EXPECT_FALSE(screen().cdsHistCanc->Active());
    EXPECT_FALSE(screen().sbtExportar->Enabled());
    EXPECT_FALSE(screen().tshDocumentos->Enabled());
    EXPECT_TRUE(server->calls.empty());
}

TEST_F(HistoryScreenTest, TheFilterGoesToTheServerAsTyped) {
    server->rows = {Row{.id = id(1)}};
    ASSERT_TRUE(screen().UserType(screen().dtpInicio, "01/11/2026"));
    ASSERT_TRUE(screen().UserType(screen().dtpFim, "30/11/2026"));
    ASSERT_TRUE(screen().UserType(screen().edtCdFilial, "2"));
    ASSERT_TRUE(screen().UserType(screen().edtCdOperador, "supervisor"));
    ASSERT_TRUE(screen().UserType(screen().edtCdJust, "3"));
    ASSERT_TRUE(screen().UserType(screen().edtIdResultado, "c"));
    EXPECT_EQ(screen().edtDsResultado->Text(), "Aprovação cancelada");
    ASSERT_TRUE(screen().UserClick(screen().sbtVerificar));
    EXPECT_EQ(takeMessages(), std::vector<std::string>{});
    ASSERT_EQ(server->calls.size(), 2u);
    EXPECT_EQ(server->calls[0], "GetHistCancAprov(01/11/2026,30/11/2026,0002,SUPERVISOR,0003,C)");
    EXPECT_EQ(server->calls[1], "GetHistCancAprovDoc(" + id(1) + ")");
    EXPECT_EQ(screen().edtNmFilial->Text(), "FILIAL CENTRO");
    EXPECT_EQ(screen().edtDsJust->Text(), "ALTERAÇÃO DE CARDÁPIO");
}

TEST_F(HistoryScreenTest, EmptyCriteriaReadEverythingTheOperatorMaySee) {
    ASSERT_TRUE(screen().UserType(screen().edtCdFilial, ""));
    ASSERT_TRUE(screen().UserClick(screen().sbtVerificar));
    ASSERT_EQ(server->calls.size(), 1u);
    EXPECT_EQ(server->calls[0], "GetHistCancAprov(,,,,,)");
    EXPECT_TRUE(screen().cdsHistCanc->Active());
    EXPECT_TRUE(screen().cdsHistCanc->IsEmpty());
    EXPECT_FALSE(screen().sbtExportar->Enabled());
    EXPECT_TRUE(screen().tshGrafico->Enabled());
}

TEST_F(HistoryScreenTest, BadCriteriaAreReportedAndNothingIsAsked) {
    const struct {
        const char* name;
        std::function<void(Cli_ore06110::TfrmHistCancAprov&)> type;
        const char* message;
        std::function<TWinControl*(Cli_ore06110::TfrmHistCancAprov&)> focus;
    } cases[] = {
        {"unknown branch", [](auto& s) { s.UserType(s.edtCdFilial, "9"); },
         "Filial não cadastrada.", [](auto& s) -> TWinControl* { return s.edtCdFilial; }},
        {"unknown justification", [](auto& s) { s.UserType(s.edtCdJust, "99"); },
         "Justificativa não cadastrada.", [](auto& s) -> TWinControl* { return s.edtCdJust; }},
        {"unknown outcome", [](auto& s) { s.UserType(s.edtIdResultado, "z"); },
         "Resultado inválido: use C, P, E, R, A ou X.",
         [](auto& s) -> TWinControl* { return s.edtIdResultado; }},
        {"reversed period",
         [](auto& s) {
             s.UserType(s.dtpInicio, "02/11/2026");
             s.UserType(s.dtpFim, "01/11/2026");
         },
         "A data inicial do período é posterior à final.",
         [](auto& s) -> TWinControl* { return s.dtpInicio; }},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        Application().Reset();
        Finalize();
        Initialize();
        IniProc();
        takeMessages();
        server->calls.clear();
        test.type(screen());
        screen().UserClick(screen().sbtVerificar);
        EXPECT_EQ(takeMessages(), std::vector<std::string>{test.message});
        EXPECT_EQ(screen().ActiveControl(), test.focus(screen()));
        EXPECT_TRUE(server->calls.empty());
        EXPECT_FALSE(screen().cdsHistCanc->Active());
    }
}

TEST_F(HistoryScreenTest, GridShowsOutcomesAndRefusalsInWords) {
    server->rows = {
        Row{.id = id(1),
            .when = EncodeDateTime(2026, 12, 31, 14, 5, 0),
            .removed = Variant(1234.56)},
        Row{.id = id(2), .outcome = "R", .refusal = "N_PARAM_BOLETO_ENVIADO|0000000108"},
        Row{.id = id(3), .outcome = "A", .refusal = "Operador sem permissão na filial 0002."},
        Row{.id = id(4), .outcome = "R", .refusal = "ENCO_N_APROVADA|8"},
        Row{.id = id(5), .outcome = "R", .refusal = "OUTRA_CHAVE|1"},
    };
    ASSERT_TRUE(screen().UserClick(screen().sbtVerificar));
    TDBGrid* grid = screen().dbgPadrao;
    EXPECT_EQ(grid->RowCount(), 5);
    EXPECT_EQ(cell(grid, 1, "DTHRHISTCANC"), "31/12/2026 14:05");
    EXPECT_EQ(cell(grid, 1, "IDRESULTADO"), "Aprovação cancelada");
    EXPECT_EQ(cell(grid, 1, "VRREMOVIDO"), "1.234,56");
    EXPECT_EQ(cell(grid, 2, "IDRESULTADO"), "Recusado");
    EXPECT_EQ(cell(grid, 2, "DSRECUSA"), "Boleto já enviado via CNAB: 0000000108");
    EXPECT_EQ(cell(grid, 3, "IDRESULTADO"), "Recusado por autorização");
    EXPECT_EQ(cell(grid, 3, "DSRECUSA"), "Operador sem permissão na filial 0002.");
    EXPECT_EQ(cell(grid, 4, "DSRECUSA"), "Encomenda não aprovada (situação 8)");
    EXPECT_EQ(cell(grid, 5, "DSRECUSA"), "OUTRA_CHAVE|1");
    EXPECT_EQ(grid->ColumnTitle(1), "Encomenda");
    EXPECT_TRUE(screen().sbtExportar->Enabled());
}

TEST_F(HistoryScreenTest, RemovedDocumentsFollowTheCurrentRecord) {
    server->rows = {Row{.id = id(1)}, Row{.id = id(2)}};
    server->documents = [](const std::string& record) {
        if (record == id(2)) {
            return VarArrayOf(
                {Variant(receivablePacket({{"0000000201", 10.5}, {"0000000202", 2000}})),
                 Variant(salesOrderPacket({"0000000201"}))});
        }
        return VarArrayOf({Variant(receivablePacket({})), Variant(salesOrderPacket({}))});
    };
    ASSERT_TRUE(screen().UserClick(screen().sbtVerificar));
    EXPECT_EQ(screen().cdsContaReceber->RecordCount(), 0);
    ASSERT_TRUE(screen().UserSelectRow(screen().dbgPadrao, 2));
    EXPECT_EQ(server->calls.back(), "GetHistCancAprovDoc(" + id(2) + ")");
    EXPECT_EQ(screen().cdsContaReceber->RecordCount(), 2);
    EXPECT_EQ(cell(screen().dbgContaReceber, 2, "VRDOCUMENTO"), "2.000,00");
    EXPECT_EQ(cell(screen().dbgContaReceber, 1, "IDBAIXADA"), "Não");
    EXPECT_EQ(screen().cdsPedido->RecordCount(), 1);
    EXPECT_EQ(cell(screen().dbgPedido, 1, "NRPEDIDO"), "0000000201");

    // A new list without records leaves no documents behind.
    server->rows.clear();
    ASSERT_TRUE(screen().UserClick(screen().sbtVerificar));
    EXPECT_FALSE(screen().cdsContaReceber->Active());
    EXPECT_FALSE(screen().cdsPedido->Active());
    EXPECT_FALSE(screen().tshDocumentos->Enabled());
}

TEST_F(HistoryScreenTest, ChartCountsCancellationsPerMonthByJustification) {
    server->rows = {
        Row{.id = id(1), .when = EncodeDateTime(2026, 9, 2, 10, 0, 0)},
        Row{.id = id(2),
            .when = EncodeDateTime(2026, 9, 30, 23, 0, 0),
            .justification = "0002",
            .description = "ERRO NA APROVAÇÃO"},
        Row{.id = id(3), .when = EncodeDateTime(2026, 9, 3, 10, 0, 0)},
        // Refused attempts are no cancellations.
        Row{.id = id(4), .when = EncodeDateTime(2026, 10, 3, 10, 0, 0), .outcome = "R"},
        Row{.id = id(5),
            .when = EncodeDateTime(2026, 11, 1, 0, 0, 0),
            .justification = "",
            .description = ""},
        Row{.id = id(6),
            .when = EncodeDateTime(2026, 11, 20, 8, 0, 0),
            .justification = "0002",
            .description = "ERRO NA APROVAÇÃO"},
    };
    ASSERT_TRUE(screen().UserClick(screen().sbtVerificar));
    const TChart& chart = *screen().chtCancelamentos;
    EXPECT_EQ(chart.Categories(), (std::vector<std::string>{"09/2026", "10/2026", "11/2026"}));
    ASSERT_EQ(chart.Series().size(), 3u);
    EXPECT_EQ(chart.Series()[0], (TChartSeries{"CLIENTE DESISTIU", {2, 0, 0}}));
    EXPECT_EQ(chart.Series()[1], (TChartSeries{"ERRO NA APROVAÇÃO", {1, 0, 1}}));
    EXPECT_EQ(chart.Series()[2], (TChartSeries{"Sem justificativa", {0, 0, 1}}));
    EXPECT_EQ(chart.DataText(),
              "09/2026: CLIENTE DESISTIU=2, ERRO NA APROVAÇÃO=1; 10/2026:; 11/2026: ERRO NA "
              "APROVAÇÃO=1, Sem justificativa=1");

    server->rows.clear();
    ASSERT_TRUE(screen().UserClick(screen().sbtVerificar));
    EXPECT_TRUE(screen().chtCancelamentos->Categories().empty());
    EXPECT_EQ(screen().chtCancelamentos->DataText(), "");
}

TEST_F(HistoryScreenTest, CsvExportWritesTheGridAsBrazilianSpreadsheetsReadIt) {
    server->rows = {
        Row{.id = id(1),
            .customer = "BUFFET D'ÁVILA; FILIAL",
            .when = EncodeDateTime(2026, 12, 31, 14, 5, 0),
            .observation = "Disse \"não\"\nao telefone",
            .removed = Variant(1234.56)},
        Row{.id = id(2),
            .number = "0000000108",
            .customer = "JOÃO PEREIRA",
            .operatorCode = "VENDAS",
            .when = EncodeDateTime(2026, 1, 2, 8, 0, 0),
            .justification = "",
            .description = "",
            .outcome = "R",
            .refusal = "N_PARAM_CONTARECBAIXADA|0000000108"},
    };
    ASSERT_TRUE(screen().UserClick(screen().sbtVerificar));
    const auto path = folder / "historico.csv";
    platform.QueueSavePath(path.string());
    ASSERT_TRUE(screen().UserClick(screen().sbtExportar));
    EXPECT_EQ(platform.saveDialogs(),
              std::vector<std::string>{"Exportar Histórico: historico-cancelamentos.csv"});
    EXPECT_EQ(takeMessages(),
              std::vector<std::string>{"Histórico exportado para " + path.string() + "."});
    const std::string expected =
        "\xEF\xBB\xBF"
        "Filial;Encomenda;Seq.;Cliente;Operador;Data/Hora;Just.;Justificativa;Resultado;"
        "Valor removido;Recusa;Observação\r\n"
        "0001;0000000101;00;\"BUFFET D'ÁVILA; FILIAL\";SUPERVISOR;31/12/2026 14:05;0001;"
        "CLIENTE DESISTIU;Aprovação cancelada;1.234,56;;\"Disse \"\"não\"\"\nao telefone\"\r\n"
        "0001;0000000108;00;JOÃO PEREIRA;VENDAS;02/01/2026 08:00;;;Recusado;;"
        "Conta a receber já baixada: 0000000108;\r\n";
    EXPECT_EQ(fileBytes(path), expected);
    // Nothing but the file is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(HistoryScreenTest, CancelledExportWritesNothing) {
    server->rows = {Row{.id = id(1)}};
    ASSERT_TRUE(screen().UserClick(screen().sbtVerificar));
    platform.QueueSaveCancel();
    ASSERT_TRUE(screen().UserClick(screen().sbtExportar));
    EXPECT_EQ(takeMessages(), std::vector<std::string>{});
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(HistoryScreenTest, FailedExportSaysWhyAndKeepsTheOldFile) {
    server->rows = {Row{.id = id(1)}};
    ASSERT_TRUE(screen().UserClick(screen().sbtVerificar));
    const auto missing = folder / "sem-pasta" / "historico.csv";
    platform.QueueSavePath(missing.string());
    screen().UserClick(screen().sbtExportar);
    EXPECT_EQ(takeMessages(),
              std::vector<std::string>{"Não foi possível gravar o arquivo " + missing.string() +
                                       ": No such file or directory."});

    // A folder named like the file: refused, the folder stays as it was.
    const auto taken = folder / "pasta.csv";
    std::filesystem::create_directories(taken);
    platform.QueueSavePath(taken.string());
    screen().UserClick(screen().sbtExportar);
    EXPECT_EQ(takeMessages(), std::vector<std::string>{"Não foi possível gravar o arquivo " +
                                                       taken.string() + ": Is a directory."});
    EXPECT_TRUE(std::filesystem::is_directory(taken));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(HistoryScreenTest, ExportOverwritesAnExistingFileWhole) {
    const auto path = folder / "historico.csv";
    {
        std::ofstream old(path, std::ios::binary);
        old << std::string(10000, 'x');
    }
    server->rows = {Row{.id = id(1)}};
    ASSERT_TRUE(screen().UserClick(screen().sbtVerificar));
    platform.QueueSavePath(path.string());
    ASSERT_TRUE(screen().UserClick(screen().sbtExportar));
    const std::string bytes = fileBytes(path);
    EXPECT_EQ(bytes.find('x'), std::string::npos);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
}

TEST_F(HistoryScreenTest, ACutListIsToldToTheOperator) {
    server->rows = {Row{.id = id(1)}};
    server->truncated = true;
    ASSERT_TRUE(screen().UserClick(screen().sbtVerificar));
    EXPECT_EQ(takeMessages(),
              std::vector<std::string>{"A lista mostra apenas os registros mais recentes do "
                                       "filtro; restrinja o período para ver os demais."});
    EXPECT_EQ(screen().cdsHistCanc->RecordCount(), 1);
}

TEST_F(HistoryScreenTest, IniProcTwiceKeepsOneScreen) {
    Cli_ore06110::TfrmHistCancAprov* first = Cli_ore06110::frmHistCancAprov;
    IniProc();
    EXPECT_EQ(Cli_ore06110::frmHistCancAprov, first);
    screen().Close();
    Application().ProcessReleases();
    EXPECT_FALSE(Cli_ore06110::boStCriado);
    IniProc();
    EXPECT_TRUE(Cli_ore06110::boStCriado);
    EXPECT_NE(Cli_ore06110::frmHistCancAprov, nullptr);
}

}  // namespace
