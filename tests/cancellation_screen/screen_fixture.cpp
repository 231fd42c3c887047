#include "tests/cancellation_screen/screen_fixture.h"

#include "cancellation_screen/unit.h"
#include "db/demo_data.h"
#include "filter_dialog/filtro_canc_aprov_enc.h"
#include "host/screens/ore00610.h"
#include "host/services/session.h"
#include "host/sql/adoib_query.h"
#include "module/package.h"

namespace screentest {

namespace {

const char* const kServerName = "ORE06100.rdmCancAprovEnc";

// TNetConnection owns what its transport makes; this hands it a view of the
// test's server so the test keeps control of it.
class ServerView : public IRdmCancAprovEnc {
public:
    explicit ServerView(std::shared_ptr<FakeOrderServer> server) : m_server(std::move(server)) {}
    Variant GetEncomenda(const std::string& a, std::string& b, std::string& c, std::string& d,
                         TDateTime& e, TDateTime& f, std::string& g, std::string& h, std::string& i,
                         std::string& j, std::string& k) override {
        return m_server->GetEncomenda(a, b, c, d, e, f, g, h, i, j, k);
    }
    Variant GetItemEnc(const std::string& a, const std::string& b, const std::string& c) override {
        return m_server->GetItemEnc(a, b, c);
    }
    Variant GetEncomendaFilha(const std::string& a, const std::string& b) override {
        return m_server->GetEncomendaFilha(a, b);
    }
    Variant CancAprovaEnc(std::string& a, std::string& b, std::string& c, const std::string& d,
                          const Variant& e, const std::string& f) override {
        return m_server->CancAprovaEnc(a, b, c, d, e, f);
    }
    Variant SetEncomenda(const Variant& delta) override { return m_server->SetEncomenda(delta); }
    Variant PreviewCancAprovaEnc(const std::string& a, const std::string& b,
                                 const std::string& c) override {
        return m_server->PreviewCancAprovaEnc(a, b, c);
    }

private:
    std::shared_ptr<FakeOrderServer> m_server;
};

}  // namespace

Variant FakeOrderServer::GetEncomenda(const std::string& CDFILIAL, std::string& NrIni,
                                      std::string& NrFin, std::string& TodosNr, TDateTime& DtIni,
                                      TDateTime& DtFin, std::string& TodosDt,
                                      std::string& ListaVendedor, std::string& TodosVendedor,
                                      std::string& ListaCliente, std::string& TodosCliente) {
    calls.push_back("GetEncomenda");
    arguments.push_back({CDFILIAL, NrIni, NrFin, TodosNr, DtIni, DtFin, TodosDt, ListaVendedor,
                         TodosVendedor, ListaCliente, TodosCliente});
    if (!rewriteNrIni.empty()) {
        NrIni = rewriteNrIni;
    }
    return getEncomenda ? getEncomenda() : Variant(orderPacket({}));
}

Variant FakeOrderServer::GetItemEnc(const std::string& CDFILIAL, const std::string& NRORCAEVENTO,
                                    const std::string& NRSEQORCAEVE) {
    calls.push_back("GetItemEnc");
    arguments.push_back({CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE});
    if (getItemEnc) {
        return getItemEnc(NRORCAEVENTO, NRSEQORCAEVE);
    }
    return VarArrayOf({Variant(itemPacket({})), Variant(emptyObservationPacket())});
}

Variant FakeOrderServer::GetEncomendaFilha(const std::string& CDFILIAL,
                                           const std::string& NRORCAEVENTO) {
    calls.push_back("GetEncomendaFilha");
    arguments.push_back({CDFILIAL, NRORCAEVENTO});
    if (getEncomendaFilha) {
        return getEncomendaFilha(NRORCAEVENTO);
    }
    DataPacket none;
    none.fields = {{"NRORCAEVENTO", FieldType::String, 10},
                   {"NRSEQORCAEVE", FieldType::FixedString, 2}};
    return Variant(none);
}

Variant FakeOrderServer::CancAprovaEnc(std::string& CDFILIAL, std::string& NRORCAEVENTO,
                                       std::string& NRSEQORCAEVE, const std::string& CDJUSTEXCHIS,
                                       const Variant& TXOBSJUSTORC, const std::string& CDOPERADOR) {
    calls.push_back("CancAprovaEnc");
    arguments.push_back(
        {CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, CDJUSTEXCHIS, TXOBSJUSTORC, CDOPERADOR});
    return cancAprovaEnc ? cancAprovaEnc() : VarArrayOf({Variant(), Variant()});
}

Variant FakeOrderServer::SetEncomenda(const Variant& Delta) {
    calls.push_back("SetEncomenda");
    arguments.push_back({Delta});
    return setEncomenda ? setEncomenda(Delta.AsPacket()) : Variant();
}

Variant FakeOrderServer::PreviewCancAprovaEnc(const std::string& CDFILIAL,
                                              const std::string& NRORCAEVENTO,
                                              const std::string& NRSEQORCAEVE) {
    calls.push_back("PreviewCancAprovaEnc");
    arguments.push_back({CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE});
    if (previewCancAprovaEnc) {
        return previewCancAprovaEnc(NRORCAEVENTO, NRSEQORCAEVE);
    }
    return previewAnswer(emptyPreview());
}

int FakeOrderServer::count(const std::string& method) const {
    int n = 0;
    for (const std::string& call : calls) {
        n += call == method;
    }
    return n;
}

DataPacket orderPacket(const std::vector<OrderRow>& rows) {
    DataPacket packet;
    packet.fields = {
        {"NRORCAEVENTO", FieldType::String, 10},     {"NMFANTCLIE", FieldType::String, 50},
        {"IDSITUORCEVE", FieldType::String, 1},      {"CDFILIAL", FieldType::String, 4},
        {"NRSEQORCAEVE", FieldType::FixedString, 2}, {"DTEVENTO", FieldType::DateTime, 0},
        {"QTCONVORCEVE", FieldType::Float, 0},       {"CDPRECOBASE", FieldType::String, 2},
        {"DSPRECOBASE", FieldType::String, 30},      {"DTVALIORCEVE", FieldType::DateTime, 0},
        {"CDVENDEDOR", FieldType::String, 4},        {"CDCLIENTE", FieldType::String, 21},
        {"DSTITUORCEVE", FieldType::String, 100},    {"NMCLIEORCEVE", FieldType::String, 50},
        {"CDJUSTEXCHIS", FieldType::String, 4},      {"CDOPEJUSTORC", FieldType::String, 12},
        {"DSJUSTEXCHIS", FieldType::String, 40},     {"DTHRENTROREV", FieldType::DateTime, 0},
    };
    for (const OrderRow& row : rows) {
        packet.rows.push_back({Variant(row.number), Variant(row.customer), Variant(row.status),
                               Variant("0001"), Variant(row.sequence), Variant(TDateTime{45726}),
                               Variant(100.0), Variant("01"), Variant("VAREJO"), Variant(),
                               Variant("0001"), Variant("000001"), Variant(), Variant(), Variant(),
                               Variant(), Variant(), Variant(TDateTime{45726.375})});
    }
    return packet;
}

DataPacket itemPacket(const std::vector<std::pair<double, double>>& items) {
    DataPacket packet;
    packet.fields = {
        {"CDFILIAL", FieldType::String, 4},      {"NRORCAEVENTO", FieldType::String, 10},
        {"NRITEMORCEVE", FieldType::String, 10}, {"CDPRODUTO", FieldType::String, 10},
        {"QTITEMORCEVE", FieldType::Float, 0},   {"VRITEMORCEVE", FieldType::Float, 0},
        {"VRDESCITOREV", FieldType::Float, 0},   {"IDITOREVPROD", FieldType::String, 1},
        {"NROPCAITOREV", FieldType::String, 2},  {"CDGRTOTAPROD", FieldType::String, 3},
        {"CDARVPROD", FieldType::String, 20},    {"NMPRODUTO", FieldType::String, 50},
        {"SGUNIDADE", FieldType::String, 10},
    };
    int number = 1;
    for (const auto& [quantity, price] : items) {
        packet.rows.push_back(
            {Variant("0001"), Variant("0000000101"), Variant(std::to_string(number++)),
             Variant("0000000001"), Variant(quantity), Variant(price), Variant(), Variant(),
             Variant(), Variant(), Variant("01.001.0001"), Variant("PRODUTO"), Variant("UN")});
    }
    return packet;
}

DataPacket emptyObservationPacket() {
    DataPacket packet;
    packet.fields = {
        {"TXOBSJUSTORC", FieldType::Blob, 0},    {"CDFILIAL", FieldType::String, 4},
        {"NRORCAEVENTO", FieldType::String, 10}, {"NRSEQORCAEVE", FieldType::FixedString, 2},
        {"CDOPERADOR", FieldType::String, 12},   {"DTHRHISTORCA", FieldType::DateTime, 0}};
    return packet;
}

DataPacket observationPacket(const std::string& text) {
    DataPacket packet = emptyObservationPacket();
    packet.rows.push_back({Variant(Blob{text}), Variant("0001"), Variant("0000000101"),
                           Variant("00"), Variant("VENDAS"), Variant(TDateTime{45716})});
    return packet;
}

DataPacket productionOrderPacket(int rows) {
    DataPacket packet;
    packet.fields = {{"CDFILIAL", FieldType::String, 4},   {"NRPEDIDO", FieldType::String, 10},
                     {"NRORDPROD", FieldType::String, 10}, {"NRSUBORDPROD", FieldType::String, 1},
                     {"NMPRODUTO", FieldType::String, 50}, {"CDPRODUTO", FieldType::String, 10},
                     {"CDARVPROD", FieldType::String, 20}};
    for (int i = 1; i <= rows; ++i) {
        packet.rows.push_back({Variant("0001"), Variant("0000000105"), Variant("0000000105"),
                               Variant(std::to_string(i)), Variant("BOLO"), Variant("0000000001"),
                               Variant("01.001.0001")});
    }
    return packet;
}

DataPacket receivablePacket(const std::vector<std::pair<std::string, double>>& rows) {
    DataPacket packet;
    packet.fields = {{"NRDOCUMENTO", FieldType::String, 10}, {"VRDOCUMENTO", FieldType::Float, 0}};
    for (const auto& [document, amount] : rows) {
        packet.rows.push_back({Variant(document), Variant(amount)});
    }
    return packet;
}

DataPacket salesOrderPacket(const std::vector<std::string>& numbers) {
    DataPacket packet;
    packet.fields = {{"CDFILIAL", FieldType::String, 4}, {"NRPEDIDO", FieldType::String, 10}};
    for (const std::string& number : numbers) {
        packet.rows.push_back({Variant("0001"), Variant(number)});
    }
    return packet;
}

PreviewLists emptyPreview() {
    PreviewLists lists;
    lists.childOrders.fields = {{"NRORCAEVENTO", FieldType::String, 10},
                                {"NRSEQORCAEVE", FieldType::FixedString, 2}};
    lists.productionOrders = productionOrderPacket(0);
    lists.shippedOrders = salesOrderPacket({});
    lists.paidReceivables = receivablePacket({});
    lists.bankSlipsSent = receivablePacket({});
    lists.deletedReceivables = receivablePacket({});
    lists.deletedSalesOrders = salesOrderPacket({});
    return lists;
}

Variant previewAnswer(const PreviewLists& lists) {
    return VarArrayOf({Variant(lists.childOrders), Variant(lists.productionOrders),
                       Variant(lists.shippedOrders), Variant(lists.paidReceivables),
                       Variant(lists.bankSlipsSent), Variant(lists.deletedReceivables),
                       Variant(lists.deletedSalesOrders), Variant(lists.newStatus)});
}

void ScreenTest::SetUp() {
    Application().SetPlatform(&platform);
    database = std::make_unique<testsupport::TestDatabase>(sql::Engine::sqlite);
    db::generateDemoData(database->database(), 20);
    dtmDBGeral().Connect(database->target());

    Session& session = CurrentSession();
    session = {};
    session.branchCode = "0001";
    session.branchName = "MATRIZ";
    session.operatorCode = "OPER01";
    session.serverPort = 50051;
    SetLocalCacheListener([this](const Variant& tables) {
        for (const Variant& table : tables.AsArray()) {
            cacheRefreshes.push_back(table.AsString());
        }
    });
    RegisterScreen("ORE00610", [this](const Variant& params) {
        openedScreens.push_back("ORE00610:" + params.AsArray().at(1).AsString());
    });
    auto shared = server;
    TNetConnection::RegisterTransport(kServerName, [shared](const std::string&, int) {
        return std::make_unique<ServerView>(shared);
    });
    // The filter dialog opened by the branch panel is confirmed as it stands.
    platform.modalLoop = [](TForm& form) {
        if (auto* dialog = dynamic_cast<Cli_ore06101::TfrmFiltroCancAprovEnc*>(&form)) {
            dialog->UserClick(dialog->sbtConfirma);
        }
    };
    Initialize();
}

void ScreenTest::TearDown() {
    Application().Reset();
    Finalize();
    SetLocalCacheListener({});
    UnregisterScreen("ORE00610");
    dtmDBGeral().Disconnect();
    Application().SetPlatform(nullptr);
}

void ScreenTest::openWithList(const std::vector<OrderRow>& rows) {
    server->getEncomenda = [rows] { return Variant(orderPacket(rows)); };
    IniProc();
    ASSERT_NE(Cli_ore06100::frmCancAprovEnc, nullptr);
    ASSERT_TRUE(screen().UserKey(screen().edtCdFilial, VK_TAB, 0));
}

std::vector<std::string> ScreenTest::takeMessages() {
    std::vector<std::string> texts;
    for (std::size_t i = m_messagesSeen; i < platform.messages().size(); ++i) {
        texts.push_back(platform.messages()[i].text);
    }
    m_messagesSeen = platform.messages().size();
    return texts;
}

}  // namespace screentest
