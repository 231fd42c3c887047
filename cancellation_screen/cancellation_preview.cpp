// The panel "O que acontecerá" of the reason page: what cancelling the
// current order's approval would meet, asked of the server when the first
// step opens the page. It is advice only: the cancellation checks everything
// again when it runs.
#include <exception>
#include <initializer_list>

#include "cancellation_screen/canc_aprov_enc.h"
#include "host/data/exceptions.h"
#include "host/services/busy.h"
#include "host/services/consiste.h"

namespace Cli_ore06100 {

namespace {

// Puts each value where the template has its next %s; nothing else in the
// template or the values is interpreted.
std::string fillPlaceholders(const std::string& textTemplate,
                             std::initializer_list<std::string> values) {
    std::string text;
    std::size_t from = 0;
    for (const std::string& value : values) {
        const auto placeholder = textTemplate.find("%s", from);
        if (placeholder == std::string::npos) {
            break;
        }
        text += textTemplate.substr(from, placeholder - from) + value;
        from = placeholder + 2;
    }
    return text + textTemplate.substr(from);
}

// Each record of the data set as one line of the panel.
template <class Line>
void addLines(TClientDataSet* dataSet, std::string& text, Line line) {
    for (int recNo = 1; recNo <= dataSet->RecordCount(); ++recNo) {
        dataSet->ReadRecord(recNo, [&] { text += "\n" + line(); });
    }
}

}  // namespace

void TfrmCancAprovEnc::LimpaPrevia() {
    memPrevia->Clear();
}

void TfrmCancAprovEnc::MostraPrevia() {
    LimpaPrevia();
    std::string text;
    try {
        TShowAviGuard animation(Application().MainForm, Showavi::aviCarregando);
        vaPrevia = Consiste::CheckResultServ(
            AppServer().PreviewCancAprovaEnc(cdsEncomenda->FieldByName("CDFILIAL").AsString(),
                                             cdsEncomenda->FieldByName("NRORCAEVENTO").AsString(),
                                             cdsEncomenda->FieldByName("NRSEQORCAEVE").AsString()),
            true, 0);
        animation.Stop();
        const Variant::Array& answer = vaPrevia.AsArray();
        if (answer.size() != 8) {
            throw Exception("Resposta inválida do servidor para a prévia do cancelamento.");
        }
        cdsPrevFilha->SetData(answer[0]);
        cdsPrevOrdemProd->SetData(answer[1]);
        cdsPrevPedidoExp->SetData(answer[2]);
        cdsPrevContaBaixada->SetData(answer[3]);
        cdsPrevBoleto->SetData(answer[4]);
        cdsPrevContaExcl->SetData(answer[5]);
        cdsPrevPedidoExcl->SetData(answer[6]);
        const std::string status = answer[7].IsNull() ? std::string() : answer[7].AsString();

        const bool blocked = !cdsPrevFilha->IsEmpty() || !cdsPrevOrdemProd->IsEmpty() ||
                             !cdsPrevPedidoExp->IsEmpty() || !cdsPrevContaBaixada->IsEmpty() ||
                             !cdsPrevBoleto->IsEmpty();
        if (blocked) {
            // Blockers, in the order in which the cancellation meets them.
            text = msgPadrao->Msg("PREV_BLOQUEIOS");
            addLines(cdsPrevFilha, text, [&] {
                return fillPlaceholders(msgPadrao->Msg("PREV_FILHA"),
                                        {cdsPrevFilha->FieldByName("NRORCAEVENTO").AsString(),
                                         cdsPrevFilha->FieldByName("NRSEQORCAEVE").AsString()});
            });
            addLines(cdsPrevOrdemProd, text, [&] {
                return fillPlaceholders(msgPadrao->Msg("PREV_ORDPROD"),
                                        {cdsPrevOrdemProd->FieldByName("NRORDPROD").AsString(),
                                         cdsPrevOrdemProd->FieldByName("NRSUBORDPROD").AsString(),
                                         cdsPrevOrdemProd->FieldByName("NMPRODUTO").AsString()});
            });
            addLines(cdsPrevPedidoExp, text, [&] {
                return fillPlaceholders(msgPadrao->Msg("PREV_PEDEXP"),
                                        {cdsPrevPedidoExp->FieldByName("NRPEDIDO").AsString()});
            });
            addLines(cdsPrevContaBaixada, text, [&] {
                return fillPlaceholders(
                    msgPadrao->Msg("PREV_BAIXADA"),
                    {cdsPrevContaBaixada->FieldByName("NRDOCUMENTO").AsString(),
                     cdsPrevContaBaixada->FieldByName("VRDOCUMENTO").DisplayText()});
            });
            addLines(cdsPrevBoleto, text, [&] {
                return fillPlaceholders(msgPadrao->Msg("PREV_BOLETO"),
                                        {cdsPrevBoleto->FieldByName("NRDOCUMENTO").AsString(),
                                         cdsPrevBoleto->FieldByName("VRDOCUMENTO").DisplayText()});
            });
        } else {
            // Effects: what the cancellation deletes, then the status it sets.
            text = msgPadrao->Msg("PREV_LIVRE");
            addLines(cdsPrevContaExcl, text, [&] {
                return fillPlaceholders(
                    msgPadrao->Msg("PREV_CONTA"),
                    {cdsPrevContaExcl->FieldByName("NRDOCUMENTO").AsString(),
                     cdsPrevContaExcl->FieldByName("VRDOCUMENTO").DisplayText()});
            });
            addLines(cdsPrevPedidoExcl, text, [&] {
                return fillPlaceholders(msgPadrao->Msg("PREV_PEDIDO"),
                                        {cdsPrevPedidoExcl->FieldByName("NRPEDIDO").AsString()});
            });
            if (!Consiste::EmptyString(status)) {
                text += "\n" +
                        fillPlaceholders(msgPadrao->Msg("PREV_SITUACAO"), {msgPadrao->Msg(status)});
            }
        }
    } catch (const EAbort&) {
        throw;
    } catch (const std::exception& error) {
        // The preview is advice: its failure is shown in its place and the
        // command goes on.
        text = fillPlaceholders(msgPadrao->Msg("PREV_FALHA"), {error.what()});
    }
    memPrevia->SetText(text);
}

}  // namespace Cli_ore06100
