#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/ui/scripted_platform.h"

namespace host::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct AnswerCase {
    const char* name;
    std::vector<int> queued;
    TMsgDlgButtons buttons;
    int expected;
    bool unanswered;
    std::size_t leftInQueue;
};

TEST(ScriptedPlatformTest, AnswersMessagesFromTheQueue) {
    const std::vector<AnswerCase> cases = {
        {"ok without queue", {}, mbOK, mrOk, false, 0},
        {"ok consumes a queued ok", {mrOk, mrYes}, mbOK, mrOk, false, 1},
        {"ok leaves a queued yes", {mrYes}, mbOK, mrOk, false, 1},
        {"question takes the queue", {mrYes, mrNo}, mbYes | mbNo, mrYes, false, 1},
        {"question without queue is no", {}, mbYes | mbNo, mrNo, true, 0},
        {"ok-cancel without queue is cancel", {}, mbOK | mbCancel, mrCancel, true, 0},
    };
    for (const AnswerCase& answer : cases) {
        SCOPED_TRACE(answer.name);
        ScriptedPlatform platform;
        for (const int queued : answer.queued) {
            platform.QueueAnswer(queued);
        }
        EXPECT_EQ(platform.MessageDialog("Deseja confirmar?", TMsgDlgType::mtConfirmation,
                                         answer.buttons),
                  answer.expected);
        ASSERT_EQ(platform.messages().size(), 1u);
        const auto& message = platform.messages()[0];
        EXPECT_EQ(message.text, "Deseja confirmar?");
        EXPECT_EQ(message.type, TMsgDlgType::mtConfirmation);
        EXPECT_EQ(message.buttons, answer.buttons);
        EXPECT_EQ(message.answer, answer.expected);
        EXPECT_EQ(message.unanswered, answer.unanswered);
        EXPECT_EQ(platform.unansweredQuestion(), answer.unanswered ? "Deseja confirmar?" : "");
        EXPECT_EQ(platform.failures().size(), answer.unanswered ? 1u : 0u);
        EXPECT_EQ(platform.pendingAnswers(), answer.leftInQueue);
    }
}

TEST(ScriptedPlatformTest, RecordsMessagesInOrder) {
    ScriptedPlatform platform;
    platform.QueueAnswer(mrYes);
    platform.MessageDialog("Cancelamento realizado com sucesso.", TMsgDlgType::mtInformation, mbOK);
    platform.MessageDialog("Confirma?", TMsgDlgType::mtConfirmation, mbYes | mbNo);
    platform.MessageDialog("De novo?", TMsgDlgType::mtConfirmation, mbYes | mbNo);
    ASSERT_EQ(platform.messages().size(), 3u);
    EXPECT_EQ(platform.messages()[0].text, "Cancelamento realizado com sucesso.");
    EXPECT_EQ(platform.messages()[1].answer, mrYes);
    EXPECT_EQ(platform.messages()[2].answer, mrNo);
    EXPECT_EQ(platform.unansweredQuestion(), "De novo?");
    EXPECT_THAT(platform.failures(), ElementsAre("unanswered question: De novo?"));
}

TEST(ScriptedPlatformTest, CountsTheBusyAnimation) {
    ScriptedPlatform platform;
    platform.BusyOn(6);
    platform.BusyOn(1);
    EXPECT_EQ(platform.busyDepth(), 2);
    platform.BusyOff();
    platform.BusyOff();
    EXPECT_EQ(platform.busyDepth(), 0);
    EXPECT_EQ(platform.busyOnCount(), 2);
    EXPECT_THAT(platform.busyKinds(), ElementsAre(6, 1));
    EXPECT_THAT(platform.failures(), IsEmpty());
    platform.BusyOff();
    EXPECT_EQ(platform.busyDepth(), 0);
    EXPECT_THAT(platform.failures(), ElementsAre("busy animation stopped while not running"));
}

TEST(ScriptedPlatformTest, RecordsFormsAndCursor) {
    ScriptedPlatform platform;
    TForm form("frmCancAprovEnc");
    platform.ShowForm(form);
    platform.RunModal(form);
    platform.FormClosed(form);
    platform.SetCursor(TCursor::crHourGlass);
    EXPECT_THAT(platform.shownForms(), ElementsAre("frmCancAprovEnc"));
    EXPECT_THAT(platform.modalForms(), ElementsAre("frmCancAprovEnc"));
    EXPECT_THAT(platform.closedForms(), ElementsAre("frmCancAprovEnc"));
    EXPECT_EQ(platform.cursor(), TCursor::crHourGlass);
}

TEST(ScriptedPlatformTest, RunModalHandsTheFormToTheLoop) {
    ScriptedPlatform platform;
    TForm form("frmFiltro");
    platform.modalLoop = [](TForm& running) { running.SetModalResult(mrOk); };
    platform.RunModal(form);
    EXPECT_EQ(form.ModalResult(), mrOk);
}

TEST(ScriptedPlatformTest, AnswersTextRequestsFromTheQueue) {
    ScriptedPlatform platform;
    platform.QueueText("Minhas opções");
    platform.QueueTextCancel();
    std::string value = "Padrão";
    EXPECT_TRUE(platform.InputText("Salvar", "Nome", value));
    EXPECT_EQ(value, "Minhas opções");
    EXPECT_FALSE(platform.InputText("Salvar", "Nome", value));
    EXPECT_EQ(value, "Minhas opções");
    // Nothing queued: the proposed text is accepted as it stands.
    value = "Padrão";
    EXPECT_TRUE(platform.InputText("Salvar", "Nome", value));
    EXPECT_EQ(value, "Padrão");
    EXPECT_THAT(platform.acceptedTexts(), ElementsAre("Salvar: Padrão"));
    EXPECT_TRUE(platform.failures().empty());
}

TEST(ScriptedPlatformTest, PicksMapKeysToRowsOfTheKeyField) {
    TClientDataSet rows("qryVendedor");
    rows.AddField({"CDVENDEDOR", FieldType::FixedString, 4});
    rows.AddField({"NMVENDEDOR", FieldType::String, 30});
    DataPacket packet;
    packet.fields = {{"CDVENDEDOR", FieldType::FixedString, 4},
                     {"NMVENDEDOR", FieldType::String, 30}};
    packet.rows = {{Variant("0001"), Variant("Ana")},
                   {Variant("0002"), Variant("Bruno")},
                   {Variant("0003"), Variant("Carla")}};
    rows.LoadFromPacket(packet);

    PickListRequest request;
    request.title = "Vendedor";
    request.rows = &rows;
    request.keyField = "CDVENDEDOR";
    request.multiple = true;

    ScriptedPlatform platform;
    platform.QueuePick({"0003", "0001"});
    platform.QueuePickNone();
    const auto chosen = platform.PickList(request);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_THAT(*chosen, ElementsAre(0, 2));
    EXPECT_FALSE(platform.PickList(request).has_value());
    EXPECT_FALSE(platform.PickList(request).has_value());
    request.multiple = false;
    platform.QueuePick({"0001", "0002"});
    EXPECT_FALSE(platform.PickList(request).has_value());
    EXPECT_EQ(rows.RecNo(), 1);
    ASSERT_EQ(platform.pickLists().size(), 4u);
    EXPECT_EQ(platform.pickLists()[0].rowCount, 3);
    EXPECT_THAT(*platform.pickLists()[0].chosen, ElementsAre("0003", "0001"));
    EXPECT_FALSE(platform.pickLists()[1].chosen.has_value());
    EXPECT_THAT(platform.failures(),
                ElementsAre("pick list \"Vendedor\": no choice queued",
                            "pick list \"Vendedor\": several rows chosen in a single-choice list"));
}

}  // namespace
}  // namespace host::testing
