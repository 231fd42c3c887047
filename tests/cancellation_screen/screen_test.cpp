// Screen behaviour that needs answers a real server never gives: malformed
// packets, refusal texts of every form, and failures at chosen moments.
#include "tests/cancellation_screen/screen_fixture.h"

#include "cancellation_screen/unit.h"
#include "host/data/exceptions.h"
#include "host/data/formatting.h"

namespace screentest {
namespace {

using Cli_ore06100::Filtro;

const std::vector<OrderRow> kTwoOrders = {{"0000000101", "00", "2", "MARIA"},
                                          {"0000000103", "00", "3", "JOAO"}};

TEST_F(ScreenTest, ListRequestSendsBranchAndDefaultFilterAndCopiesBack) {
    server->rewriteNrIni = "0000000001";
    openWithList(kTwoOrders);
    ASSERT_EQ(server->count("GetEncomenda"), 1);
    const auto& args = server->arguments.at(0);
    ASSERT_EQ(args.size(), 11u);
    EXPECT_EQ(args[0].AsString(), "0001");
    EXPECT_EQ(args[1].AsString(), "");
    EXPECT_EQ(args[2].AsString(), "");
    EXPECT_EQ(args[3].AsString(), "T");
    EXPECT_EQ(args[4].AsDateTime().days, 0.0);
    EXPECT_EQ(args[5].AsDateTime().days, 0.0);
    EXPECT_EQ(args[6].AsString(), "T");
    EXPECT_EQ(args[7].AsString(), "");
    EXPECT_EQ(args[8].AsString(), "T");
    EXPECT_EQ(args[9].AsString(), "");
    EXPECT_EQ(args[10].AsString(), "T");
    // By-reference arguments come back into the filter.
    EXPECT_EQ(Filtro.NrOrcaEven.NrIni, "0000000001");
    EXPECT_EQ(screen().cdsEncomenda->RecordCount(), 2);
    EXPECT_EQ(screen().ActiveControl(), screen().dbgPadrao);
    EXPECT_EQ(platform.busyDepth(), 0);
}

TEST_F(ScreenTest, PacketWithExtraColumnLoadsWithoutExposingIt) {
    server->getEncomenda = [] {
        DataPacket packet = orderPacket(kTwoOrders);
        packet.fields.push_back({"EXTRA", FieldType::String, 5});
        for (auto& row : packet.rows) {
            row.push_back(Variant("x"));
        }
        return Variant(packet);
    };
    IniProc();
    ASSERT_TRUE(screen().UserKey(screen().edtCdFilial, VK_TAB, 0));
    EXPECT_EQ(screen().cdsEncomenda->RecordCount(), 2);
    EXPECT_EQ(screen().cdsEncomenda->FindField("EXTRA"), nullptr);
    EXPECT_TRUE(takeMessages().empty());
}

TEST_F(ScreenTest, PacketMissingAColumnIsReportedAndLeavesTheListClosed) {
    server->getEncomenda = [] {
        DataPacket packet = orderPacket(kTwoOrders);
        const int index = packet.FieldIndex("DTHRENTROREV");
        packet.fields.erase(packet.fields.begin() + index);
        for (auto& row : packet.rows) {
            row.erase(row.begin() + index);
        }
        return Variant(packet);
    };
    IniProc();
    screen().UserKey(screen().edtCdFilial, VK_TAB, 0);
    EXPECT_EQ(takeMessages(),
              std::vector<std::string>{"cdsEncomenda: Field 'DTHRENTROREV' not found"});
    EXPECT_FALSE(screen().cdsEncomenda->Active());
    EXPECT_EQ(platform.busyDepth(), 0);
    EXPECT_TRUE(screen().sbtFiltro->Enabled());  // the screen keeps working
}

TEST_F(ScreenTest, StatusTextIsFechadoForThreeOnly) {
    openWithList({{"0000000101", "00", "2", "A"},
                  {"0000000102", "00", "3", "B"},
                  {"0000000103", "00", "", "C"},
                  {"0000000104", "00", "x", "D"},
                  {"0000000105", "00", "8", "E"}});
    const std::vector<std::string> expected = {"", "Fechado", "", "", ""};
    for (int row = 1; row <= 5; ++row) {
        EXPECT_EQ(screen().dbgPadrao->CellText(row, 3), expected[static_cast<std::size_t>(row - 1)])
            << "row " << row;
    }
}

TEST_F(ScreenTest, ItemTotalRoundsOnlyTheUnitPrice) {
    server->getItemEnc = [](const std::string&, const std::string&) {
        return VarArrayOf({Variant(itemPacket({{3, 1.234}, {2.5, 4.00}, {0, 9.99}})),
                           Variant(emptyObservationPacket())});
    };
    openWithList(kTwoOrders);
    TClientDataSet& items = *screen().cdsItemOrcaEven;
    ASSERT_EQ(items.RecordCount(), 3);
    const TField& total = items.FieldByName("VRTOTALITEM");
    EXPECT_DOUBLE_EQ(total.ValueAt(1).AsFloat(), 3 * 1.23);
    EXPECT_EQ(total.DisplayTextAt(1), "3,69");
    EXPECT_EQ(total.DisplayTextAt(2), "10,00");
    EXPECT_EQ(total.DisplayTextAt(3), "0,00");
}

TEST_F(ScreenTest, ANewOrderWithoutObservationClearsTheMemo) {
    server->getItemEnc = [](const std::string& number, const std::string&) {
        return VarArrayOf({Variant(itemPacket({})),
                           Variant(number == "0000000101" ? observationPacket("Texto da 101")
                                                          : emptyObservationPacket())});
    };
    openWithList(kTwoOrders);
    EXPECT_EQ(screen().memObs->Text(), "Texto da 101");
    ASSERT_TRUE(screen().UserSelectRow(screen().dbgPadrao, 2));
    EXPECT_EQ(screen().memObs->Text(), "");
    EXPECT_EQ(server->count("GetItemEnc"), 2);
}

// ---- Outcomes of the cancellation run that only a fake server can give ----

class RunTest : public ScreenTest {
protected:
    // Opens the list, runs the first step and types a registered reason.
    void prepareSecondStep() {
        openWithList(kTwoOrders);
        ASSERT_TRUE(screen().UserClick(screen().sbtConfirmar));
        takeMessages();  // "Motivo precisa ser informado."
        ASSERT_TRUE(screen().UserType(screen().edtCdJust, "1"));
        platform.QueueAnswer(mrYes);
    }
    void confirm() { screen().UserClick(screen().sbtConfirmar); }
};

TEST_F(RunTest, KeyedRefusalWithDetailShowsTheScreenText) {
    prepareSecondStep();
    server->cancAprovaEnc = []() -> Variant {
        throw Exception("N_PARAM_CONTARECBAIXADA|0000000107");
    };
    confirm();
    const std::vector<std::string> expected = {
        "Deseja confirmar o cancelamento da aprovação da encomenda?",
        "Conta a receber não pode ser cancelada, pois a mesma já foi baixada."};
    EXPECT_EQ(takeMessages(), expected);
    EXPECT_EQ(platform.busyDepth(), 0);
    // No reload after a refusal: the local post stays.
    EXPECT_EQ(server->count("GetEncomenda"), 1);
    EXPECT_EQ(screen().cdsEncomenda->FieldByName("IDSITUORCEVE").AsString(), "1");
    EXPECT_EQ(screen().cdsEncomenda->FieldByName("CDOPEJUSTORC").AsString(), "OPER01");
}

TEST_F(RunTest, BareKeyIsLookedUpWhole) {
    prepareSecondStep();
    server->cancAprovaEnc = []() -> Variant { throw Exception("N_PARAM_BOLETO_ENVIADO"); };
    confirm();
    EXPECT_EQ(takeMessages().back(),
              "Conta a receber não pode ser cancelada, pois o boleto já foi enviado via CNAB.");
}

TEST_F(RunTest, WordsInFrontBecomePartOfTheKey) {
    prepareSecondStep();
    server->cancAprovaEnc = []() -> Variant {
        throw Exception("Erro: N_PARAM_CONTARECBAIXADA|0000000107");
    };
    confirm();
    // The key "Erro: N_PARAM_CONTARECBAIXADA" is not in the table: its own text shows.
    EXPECT_EQ(takeMessages().back(), "Erro: N_PARAM_CONTARECBAIXADA");
}

TEST_F(RunTest, DetailFillsThePlaceholderAndPercentSignsStayAsTheyAre) {
    prepareSecondStep();
    screen().msgPadrao->Lines.push_back("N_PARAM_TESTE|Documento %s com 100% e %d.");
    server->cancAprovaEnc = []() -> Variant { throw Exception("N_PARAM_TESTE|12%s%n"); };
    confirm();
    EXPECT_EQ(takeMessages().back(), "Documento 12%s%n com 100% e %d.");
}

TEST_F(RunTest, ErrorWithoutKeyReachesTheGeneralHandlerUnchanged) {
    prepareSecondStep();
    server->cancAprovaEnc = []() -> Variant { throw Exception("Falha de comunicação"); };
    confirm();
    EXPECT_EQ(takeMessages().back(), "Falha de comunicação");
    EXPECT_EQ(platform.busyDepth(), 0);
}

TEST_F(RunTest, EmptyProductionPacketReloadsWithoutMessage) {
    prepareSecondStep();
    server->cancAprovaEnc = [] {
        return VarArrayOf({Variant(productionOrderPacket(0)), Variant()});
    };
    confirm();
    EXPECT_EQ(takeMessages(), std::vector<std::string>{
                                  "Deseja confirmar o cancelamento da aprovação da encomenda?"});
    EXPECT_TRUE(openedScreens.empty());
    EXPECT_EQ(screen().pgcPadrao->ActivePage(), screen().tshPadrao);
    EXPECT_EQ(server->count("GetEncomenda"), 2);
}

TEST_F(RunTest, ProductionOrdersWinOverShippedOrders) {
    prepareSecondStep();
    server->cancAprovaEnc = [] {
        return VarArrayOf({Variant(productionOrderPacket(2)), Variant("E")});
    };
    confirm();
    EXPECT_EQ(openedScreens,
              std::vector<std::string>{"ORE00610:Aprovação não pode ser cancelada, pois existe "
                                       "ordem de produção cadastrada."});
    EXPECT_EQ(takeMessages().size(), 1u);  // only the confirmation: no PEDIDOEXP
    EXPECT_EQ(screen().cdsPedidoOp->RecordCount(), 2);
}

TEST_F(RunTest, ReasonTravelsWithTheRequest) {
    prepareSecondStep();
    ASSERT_TRUE(screen().UserType(screen().memObs, "Cliente desistiu da festa"));
    confirm();
    ASSERT_EQ(server->count("CancAprovaEnc"), 1);
    std::vector<Variant> sent;
    for (std::size_t i = 0; i < server->calls.size(); ++i) {
        if (server->calls[i] == "CancAprovaEnc") {
            sent = server->arguments[i];
        }
    }
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent[0].AsString(), "0001");
    EXPECT_EQ(sent[1].AsString(), "0000000101");
    EXPECT_EQ(sent[2].AsString(), "00");
    EXPECT_EQ(sent[3].AsString(), "0001");
    EXPECT_EQ(sent[4].AsString(), "Cliente desistiu da festa");
    EXPECT_EQ(sent[5].AsString(), "OPER01");
    EXPECT_EQ(takeMessages().back(), "Cancelamento realizado com sucesso.");
}

// ---- Deletion ------------------------------------------------------------

TEST_F(ScreenTest, RefusedDeletionBringsBackTheRecordAndEarlierPosts) {
    openWithList(kTwoOrders);
    // A post made earlier, still in the change log.
    screen().UserClick(screen().sbtAlterar);
    ASSERT_EQ(screen().cdsEncomenda->State(), TDataSetState::dsEdit);
    ASSERT_TRUE(Application().Dispatch([&] { screen().cdsEncomenda->Post(); }));
    ASSERT_EQ(screen().cdsEncomenda->FieldByName("IDSITUORCEVE").AsString(), "1");

    server->setEncomenda = [](const DataPacket&) -> Variant {
        throw Exception("Registro alterado por outro usuário.");
    };
    platform.QueueAnswer(mrYes);
    screen().UserKey(screen().dbgPadrao, VK_DELETE, ssCtrl);
    EXPECT_EQ(takeMessages(), (std::vector<std::string>{"Confirma exclusão?",
                                                        "Registro alterado por outro usuário."}));
    EXPECT_EQ(screen().cdsEncomenda->RecordCount(), 2);
    EXPECT_EQ(screen().cdsEncomenda->ChangeCount(), 0);
    screen().cdsEncomenda->First();
    EXPECT_EQ(screen().cdsEncomenda->FieldByName("IDSITUORCEVE").AsString(), "2");
    EXPECT_EQ(platform.busyDepth(), 0);
    EXPECT_TRUE(cacheRefreshes.empty());
}

TEST_F(ScreenTest, AppliedDeletionMergesAndRefreshesTheCache) {
    openWithList(kTwoOrders);
    DataPacket sentDelta;
    server->setEncomenda = [&sentDelta](const DataPacket& delta) {
        sentDelta = delta;
        return Variant();
    };
    platform.QueueAnswer(mrYes);
    ASSERT_TRUE(screen().UserKey(screen().dbgPadrao, VK_DELETE, ssCtrl));
    ASSERT_EQ(sentDelta.rows.size(), 1u);
    EXPECT_EQ(sentDelta.rowStatus.at(0), RowStatus::Deleted);
    EXPECT_EQ(screen().cdsEncomenda->RecordCount(), 1);
    EXPECT_EQ(screen().cdsEncomenda->ChangeCount(), 0);
    EXPECT_EQ(cacheRefreshes, std::vector<std::string>{"ORCAEVENTO"});
}

TEST_F(ScreenTest, DeletionIsNotConfirmedWithoutYes) {
    openWithList(kTwoOrders);
    platform.QueueAnswer(mrNo);
    screen().UserKey(screen().dbgPadrao, VK_DELETE, ssCtrl);
    EXPECT_EQ(screen().cdsEncomenda->RecordCount(), 2);
    EXPECT_EQ(server->count("SetEncomenda"), 0);
}

}  // namespace
}  // namespace screentest

namespace screentest {
namespace {

TEST_F(ScreenTest, DeletionWithEmptyChangeLogSendsNothing) {
    openWithList(kTwoOrders);
    screen().cdsEncomenda->LogChanges = false;
    platform.QueueAnswer(mrYes);
    ASSERT_TRUE(screen().UserKey(screen().dbgPadrao, VK_DELETE, ssCtrl));
    EXPECT_EQ(screen().cdsEncomenda->RecordCount(), 1);
    EXPECT_EQ(server->count("SetEncomenda"), 0);
    EXPECT_TRUE(cacheRefreshes.empty());
}

}  // namespace
}  // namespace screentest

namespace screentest {
namespace {

TEST_F(RunTest, PostedObservationCarriesTodayTheOperatorAndTheOrderKeys) {
    prepareSecondStep();
    ASSERT_TRUE(screen().UserType(screen().memObs, "Motivo da desistência"));
    server->cancAprovaEnc = []() -> Variant { throw Exception("N_PARAM_CONTARECBAIXADA|1"); };
    confirm();
    TClientDataSet& observation = *screen().cdsObs;
    ASSERT_EQ(observation.RecordCount(), 1);
    EXPECT_EQ(observation.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(observation.FieldByName("TXOBSJUSTORC").AsString(), "Motivo da desistência");
    EXPECT_EQ(observation.FieldByName("CDOPERADOR").AsString(), "OPER01");
    EXPECT_EQ(observation.FieldByName("DTHRHISTORCA").AsDateTime().days, Date().days);
    EXPECT_EQ(observation.FieldByName("CDFILIAL").AsString(), "0001");
    EXPECT_EQ(observation.FieldByName("NRORCAEVENTO").AsString(), "0000000101");
    EXPECT_EQ(observation.FieldByName("NRSEQORCAEVE").AsString(), "00");
}

TEST_F(RunTest, BlankMemoPostsNoObservationAndSendsNone) {
    prepareSecondStep();
    ASSERT_TRUE(screen().UserType(screen().memObs, "   "));
    confirm();
    ASSERT_EQ(server->count("CancAprovaEnc"), 1);
    for (std::size_t i = 0; i < server->calls.size(); ++i) {
        if (server->calls[i] == "CancAprovaEnc") {
            EXPECT_TRUE(server->arguments[i][4].IsNull());
        }
    }
}

TEST_F(RunTest, BusyAnimationStopsOnEveryPath) {
    prepareSecondStep();
    platform.QueueAnswer(mrNo);
    confirm();  // the answer queued by prepareSecondStep is Yes: first run goes through
    confirm();
    EXPECT_EQ(platform.busyDepth(), 0);
    EXPECT_GE(platform.busyOnCount(), 2);
}

TEST_F(ScreenTest, ChildOrderCheckFailureIsNotTranslated) {
    openWithList(kTwoOrders);
    server->getEncomendaFilha = [](const std::string&) -> Variant {
        throw Exception("N_PARAM_CONTARECBAIXADA|1");
    };
    screen().UserClick(screen().sbtConfirmar);
    // Outside the second step's guard the text reaches the host as it is.
    EXPECT_EQ(takeMessages(), std::vector<std::string>{"N_PARAM_CONTARECBAIXADA|1"});
    EXPECT_EQ(screen().cdsEncomenda->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(platform.busyDepth(), 0);
}

// ---- The preview panel of the reason page ----

class PreviewPanelTest : public ScreenTest {
protected:
    // The calls the first step made, in order.
    std::vector<std::string> firstStepCalls() {
        const std::size_t before = server->calls.size();
        screen().UserClick(screen().sbtConfirmar);
        return {server->calls.begin() + static_cast<std::ptrdiff_t>(before), server->calls.end()};
    }
};

TEST_F(PreviewPanelTest, FirstStepAsksForThePreviewOfTheCurrentOrderBeforeTheNotice) {
    openWithList(kTwoOrders);
    ASSERT_TRUE(screen().UserSelectRow(screen().dbgPadrao, 2));
    int busyBefore = platform.busyOnCount();
    std::size_t messagesWhenAsked = 0;
    server->previewCancAprovaEnc = [&](const std::string&, const std::string&) {
        messagesWhenAsked = platform.messages().size();
        EXPECT_EQ(platform.busyDepth(), 1);
        return previewAnswer(emptyPreview());
    };
    takeMessages();
    const std::size_t messagesBefore = platform.messages().size();
    EXPECT_EQ(firstStepCalls(),
              (std::vector<std::string>{"GetEncomendaFilha", "PreviewCancAprovaEnc", "GetItemEnc",
                                        "GetItemEnc"}));
    EXPECT_EQ(messagesWhenAsked, messagesBefore);
    EXPECT_EQ(takeMessages(), std::vector<std::string>{"Motivo precisa ser informado."});
    const auto& args = server->arguments.at(server->arguments.size() - 3);
    EXPECT_EQ(args, (std::vector<Variant>{Variant("0001"), Variant("0000000103"), Variant("00")}));
    EXPECT_GT(platform.busyOnCount(), busyBefore);
    EXPECT_EQ(platform.busyDepth(), 0);
    EXPECT_EQ(screen().memPrevia->Text(),
              "Nenhum bloqueio. O cancelamento vai:\n- Mudar a situação para Pendente");
}

TEST_F(PreviewPanelTest, BlockersComeFirstAndEveryListIsShown) {
    openWithList(kTwoOrders);
    server->previewCancAprovaEnc = [](const std::string&, const std::string&) {
        PreviewLists lists = emptyPreview();
        lists.childOrders.rows = {{Variant("0000000101"), Variant("01")}};
        lists.productionOrders = productionOrderPacket(1);
        lists.shippedOrders = salesOrderPacket({"0000000201"});
        lists.paidReceivables = receivablePacket({{"0000000301", 1234.5}});
        lists.bankSlipsSent = receivablePacket({{"0000000302", 0.5}, {"0000000303", 1000000}});
        // Effects the server would not send with blockers are not shown then.
        lists.deletedReceivables = receivablePacket({{"0000000304", 1}});
        lists.newStatus = "";
        return previewAnswer(lists);
    };
    firstStepCalls();
    EXPECT_EQ(screen().memPrevia->Text(),
              "Bloqueios (nada será alterado):\n"
              "- Encomenda filha 0000000101/01\n"
              "- Ordem de produção 0000000105/1: BOLO\n"
              "- Pedido expedido 0000000201\n"
              "- Conta a receber 0000000301 já baixada: R$ 1.234,50\n"
              "- Boleto enviado via CNAB: conta 0000000302, R$ 0,50\n"
              "- Boleto enviado via CNAB: conta 0000000303, R$ 1.000.000,00");
    EXPECT_EQ(screen().cdsEncomenda->State(), TDataSetState::dsEdit);
}

TEST_F(PreviewPanelTest, EffectsListWhatGoesAndTheNewStatus) {
    openWithList(kTwoOrders);
    server->previewCancAprovaEnc = [](const std::string&, const std::string&) {
        PreviewLists lists = emptyPreview();
        lists.deletedReceivables = receivablePacket({{"0000000101", 13.702}, {"0000000102", 99}});
        lists.deletedSalesOrders = salesOrderPacket({"0000000101"});
        return previewAnswer(lists);
    };
    firstStepCalls();
    EXPECT_EQ(screen().memPrevia->Text(),
              "Nenhum bloqueio. O cancelamento vai:\n"
              "- Excluir a conta a receber 0000000101: R$ 13,70\n"
              "- Excluir a conta a receber 0000000102: R$ 99,00\n"
              "- Excluir o pedido 0000000101\n"
              "- Mudar a situação para Pendente");
}

struct PreviewFailure {
    const char* name;
    std::function<Variant()> answer;
    std::string panel;  // empty: any text of the failure form
};

const std::vector<PreviewFailure>& previewFailures() {
    static const std::vector<PreviewFailure> cases = {
        {"Unreachable",
         []() -> Variant {
             throw Exception("Não foi possível conectar ao servidor de aplicação 127.0.0.1:1.");
         },
         "Não foi possível prever o cancelamento: Não foi possível conectar ao servidor de "
         "aplicação 127.0.0.1:1."},
        {"TextAnswer", [] { return Variant("Falha no servidor."); },
         "Não foi possível prever o cancelamento: Falha no servidor."},
        {"WrongShape",
         [] {
             return VarArrayOf({Variant(), Variant()});
         },
         "Não foi possível prever o cancelamento: Resposta inválida do servidor para a prévia do "
         "cancelamento."},
        {"MissingField",
         [] {
             PreviewLists lists = emptyPreview();
             lists.paidReceivables.fields.pop_back();
             return previewAnswer(lists);
         },
         ""},
    };
    return cases;
}

class PreviewFailureTest : public PreviewPanelTest,
                           public ::testing::WithParamInterface<std::size_t> {};

TEST_P(PreviewFailureTest, IsShownInThePanelAndTheFirstStepGoesOn) {
    const PreviewFailure& test = previewFailures().at(GetParam());
    openWithList(kTwoOrders);
    server->previewCancAprovaEnc = [&](const std::string&, const std::string&) {
        return test.answer();
    };
    takeMessages();
    firstStepCalls();
    EXPECT_EQ(takeMessages(), std::vector<std::string>{"Motivo precisa ser informado."});
    if (!test.panel.empty()) {
        EXPECT_EQ(screen().memPrevia->Text(), test.panel);
    } else {
        EXPECT_EQ(screen().memPrevia->Text().rfind("Não foi possível prever o cancelamento: ", 0),
                  0u)
            << screen().memPrevia->Text();
    }
    EXPECT_EQ(screen().cdsEncomenda->State(), TDataSetState::dsEdit);
    EXPECT_EQ(screen().pgcPadrao->ActivePage(), screen().tshMotivo);
    EXPECT_TRUE(screen().edtCdJust->Focused());
    EXPECT_EQ(platform.busyDepth(), 0);
    // The second step is not affected: it goes to the server as before.
    ASSERT_TRUE(screen().UserType(screen().edtCdJust, "1"));
    platform.QueueAnswer(mrYes);
    screen().UserClick(screen().sbtConfirmar);
    EXPECT_EQ(server->count("CancAprovaEnc"), 1);
    EXPECT_EQ(server->count("PreviewCancAprovaEnc"), 1);
}

INSTANTIATE_TEST_SUITE_P(Answers, PreviewFailureTest,
                         ::testing::Range<std::size_t>(0, previewFailures().size()),
                         [](const auto& param) { return previewFailures()[param.param].name; });

TEST_F(PreviewPanelTest, ThePanelIsReadOnlyAndOutOfTheTabOrder) {
    openWithList(kTwoOrders);
    EXPECT_TRUE(screen().memPrevia->ReadOnly());
    EXPECT_FALSE(screen().memPrevia->TabStop);
    EXPECT_EQ(screen().lblPrevia->Caption(), "O que acontecerá");
    // Below the memo, inside the page as the form defines it.
    EXPECT_GE(screen().memPrevia->Top(), screen().memObs->Top() + screen().memObs->Height());
    EXPECT_LE(screen().memPrevia->Top() + screen().memPrevia->Height(),
              screen().pgcPadrao->Height() - 30);
}

}  // namespace
}  // namespace screentest
