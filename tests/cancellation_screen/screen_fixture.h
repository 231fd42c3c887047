#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cancellation_screen/canc_aprov_enc.h"
#include "cancellation_screen/unit.h"
#include "host/net/net_connection.h"
#include "host/ui/scripted_platform.h"
#include "module/package.h"
#include "tests/support/test_database.h"

namespace screentest {

using namespace host;

// An order server in the test's own process: each method answers through a
// function the test sets, and every call is logged with its arguments.
class FakeOrderServer : public IRdmCancAprovEnc {
public:
    std::vector<std::string> calls;
    std::vector<std::vector<Variant>> arguments;

    std::function<Variant()> getEncomenda;
    std::function<Variant(const std::string& number, const std::string& sequence)> getItemEnc;
    std::function<Variant(const std::string& number)> getEncomendaFilha;
    std::function<Variant()> cancAprovaEnc;
    std::function<Variant(const DataPacket& delta)> setEncomenda;
    std::function<Variant(const std::string& number, const std::string& sequence)>
        previewCancAprovaEnc;
    // Copied back into the filter's order-number start, as a server may do.
    std::string rewriteNrIni;

    Variant GetEncomenda(const std::string& CDFILIAL, std::string& NrIni, std::string& NrFin,
                         std::string& TodosNr, TDateTime& DtIni, TDateTime& DtFin,
                         std::string& TodosDt, std::string& ListaVendedor,
                         std::string& TodosVendedor, std::string& ListaCliente,
                         std::string& TodosCliente) override;
    Variant GetItemEnc(const std::string& CDFILIAL, const std::string& NRORCAEVENTO,
                       const std::string& NRSEQORCAEVE) override;
    Variant GetEncomendaFilha(const std::string& CDFILIAL,
                              const std::string& NRORCAEVENTO) override;
    Variant CancAprovaEnc(std::string& CDFILIAL, std::string& NRORCAEVENTO,
                          std::string& NRSEQORCAEVE, const std::string& CDJUSTEXCHIS,
                          const Variant& TXOBSJUSTORC, const std::string& CDOPERADOR) override;
    Variant SetEncomenda(const Variant& Delta) override;
    Variant PreviewCancAprovaEnc(const std::string& CDFILIAL, const std::string& NRORCAEVENTO,
                                 const std::string& NRSEQORCAEVE) override;

    int count(const std::string& method) const;
};

// Order list rows: number, sequence, status, customer.
struct OrderRow {
    std::string number;
    std::string sequence;
    std::string status;
    std::string customer;
};

DataPacket orderPacket(const std::vector<OrderRow>& rows);
// Items: (quantity, unit price) pairs.
DataPacket itemPacket(const std::vector<std::pair<double, double>>& items);
DataPacket observationPacket(const std::string& text);
DataPacket emptyObservationPacket();
DataPacket productionOrderPacket(int rows);
// A preview answer: the seven lists (empty unless given) and the new status.
struct PreviewLists {
    DataPacket childOrders;
    DataPacket productionOrders;
    DataPacket shippedOrders;
    DataPacket paidReceivables;
    DataPacket bankSlipsSent;
    DataPacket deletedReceivables;
    DataPacket deletedSalesOrders;
    std::string newStatus = "1";
};
PreviewLists emptyPreview();
Variant previewAnswer(const PreviewLists& lists);
// Receivables (document, amount) and sales orders (numbers).
DataPacket receivablePacket(const std::vector<std::pair<std::string, double>>& rows);
DataPacket salesOrderPacket(const std::vector<std::string>& numbers);

// The screen opened on a fake server and a demo database for the lookups.
class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    Cli_ore06100::TfrmCancAprovEnc& screen() { return *Cli_ore06100::frmCancAprovEnc; }
    // Opens the screen and leaves the branch panel, confirming the filter dialog.
    void openWithList(const std::vector<OrderRow>& rows);
    // Texts of the messages shown since the last call.
    std::vector<std::string> takeMessages();

    ScriptedPlatform platform;
    std::shared_ptr<FakeOrderServer> server = std::make_shared<FakeOrderServer>();
    std::unique_ptr<testsupport::TestDatabase> database;
    std::vector<std::string> cacheRefreshes;
    std::vector<std::string> openedScreens;

private:
    std::size_t m_messagesSeen = 0;
};

}  // namespace screentest
