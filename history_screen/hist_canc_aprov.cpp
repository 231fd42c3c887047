// The history screen's behaviour: lifecycle, the filter, the record list,
// the documents each record removed, the chart and the export.
#include "history_screen/hist_canc_aprov.h"

#include <map>
#include <utility>

#include "history_screen/unit.h"
#include "host/data/exceptions.h"
#include "host/data/formatting.h"
#include "host/services/busy.h"
#include "host/services/consiste.h"
#include "host/services/export.h"
#include "host/services/messages.h"
#include "host/services/session.h"

namespace Cli_ore06110 {

namespace {

constexpr std::string_view outcomeCodes = "CPERAX";

std::string withDetail(std::string text, const std::string& detail) {
    const auto at = text.find("%s");
    if (at != std::string::npos) {
        text.replace(at, 2, detail);
    }
    return text;
}

}  // namespace

// ---- Lifecycle --------------------------------------------------------------

void TfrmHistCancAprov::FormCreate(TObject* Sender) {
    TfrmPadraoGrid::FormCreate(Sender);
    netHistCancAprov->SetConnected(true);
    boPrimeiraVez = true;
    mnuFolhaDados->SetChecked(true);
    Habilita();
}

void TfrmHistCancAprov::FormClose(TObject* Sender, TCloseAction& Action) {
    TfrmPadraoGrid::FormClose(Sender, Action);
    boStCriado = false;
}

void TfrmHistCancAprov::FormDestroy(TObject* Sender) {
    TfrmPadraoGrid::FormDestroy(Sender);
    netHistCancAprov->SetConnected(false);
    if (frmHistCancAprov == this) {
        frmHistCancAprov = nullptr;
    }
}

void TfrmHistCancAprov::FormActivate(TObject* /*Sender*/) {
    if (!boPrimeiraVez) {
        return;
    }
    boPrimeiraVez = false;
    // The signed-on branch is proposed; a branch fixed by the host stays.
    edtCdFilial->SetText(Morvane::FiliProc());
    edtNmFilial->SetText(Morvane::NomeFiliProc());
    const bool fixedBranch = Morvane::ModuFili();
    edtCdFilial->SetEnabled(!fixedBranch);
    btnFilial->SetEnabled(!fixedBranch);
    dtpInicio->SetFocus();
}

void TfrmHistCancAprov::netHistCancAprovBeforeConnect(TObject* /*Sender*/) {
    netHistCancAprov->Host = Morvane::WebURL();
    netHistCancAprov->Port = Morvane::WebPort();
}

IRdmHistCancAprov& TfrmHistCancAprov::AppServer() {
    return netHistCancAprov->AppServerAs<IRdmHistCancAprov>();
}

// ---- Filter -----------------------------------------------------------------

void TfrmHistCancAprov::edtCdFilialChange(TObject* /*Sender*/) {
    if (!boPrimeiraVez) {
        edtNmFilial->SetText("");
    }
}

void TfrmHistCancAprov::edtCdFilialExit(TObject* /*Sender*/) {
    // An empty branch reads every branch the operator may see.
    edtCdFilial->SetText(Consiste::Ajusta(edtCdFilial->Text(), 4));
    if (Consiste::EmptyString(edtCdFilial->Text())) {
        edtCdFilial->SetText("");
        edtNmFilial->SetText("");
        return;
    }
    qryFilial->Close();
    qryFilial->ParamByName("P_CDFILIAL").SetAsString(edtCdFilial->Text());
    qryFilial->ParamByName("P_TCDFILIAL").SetAsString("");
    qryFilial->Open();
    edtNmFilial->SetText(qryFilial->IsEmpty() ? std::string()
                                              : qryFilial->FieldByName("NMFILIAL").AsString());
    if (qryFilial->IsEmpty()) {
        if (edtCdFilial->CanFocus()) {
            edtCdFilial->SetFocus();
        }
        Consiste::MensErro(msgPadrao->Msg("FILIAL_N_CADASTRADA"), true);
    }
}

void TfrmHistCancAprov::btnFilialBeforePesq(TObject* /*Sender*/, bool& /*Cancel*/) {
    qryFilial->Close();
    qryFilial->ParamByName("P_CDFILIAL").SetAsString("");
    qryFilial->ParamByName("P_TCDFILIAL").SetAsString("T");
    qryFilial->Open();
}

void TfrmHistCancAprov::btnFilialAfterPesq(TObject* /*Sender*/) {
    edtCdFilial->SetText(qryFilial->FieldByName("CDFILIAL").AsString());
    edtNmFilial->SetText(qryFilial->FieldByName("NMFILIAL").AsString());
}

void TfrmHistCancAprov::edtCdOperadorExit(TObject* /*Sender*/) {
    if (Consiste::EmptyString(edtCdOperador->Text())) {
        edtCdOperador->SetText("");
    }
}

void TfrmHistCancAprov::edtCdJustChange(TObject* /*Sender*/) {
    edtDsJust->SetText("");
}

void TfrmHistCancAprov::edtCdJustExit(TObject* /*Sender*/) {
    edtCdJust->SetText(Consiste::Ajusta(edtCdJust->Text(), 4));
    if (Consiste::EmptyString(edtCdJust->Text())) {
        edtCdJust->SetText("");
        return;
    }
    qryPesqJust->Close();
    qryPesqJust->ParamByName("P_CDJUSTEXCHIS").SetAsString(edtCdJust->Text());
    qryPesqJust->Open();
    if (qryPesqJust->IsEmpty()) {
        edtCdJust->SetFocus();
        Consiste::MensErro(msgPadrao->Msg("JUST_N_CAD"), true);
    }
    edtDsJust->SetText(qryPesqJust->FieldByName("DSJUSTEXCHIS").AsString());
}

void TfrmHistCancAprov::btnJustificativaAfterPesq(TObject* /*Sender*/) {
    edtCdJust->SetText(qryJustExcl->FieldByName("CDJUSTEXCHIS").AsString());
    edtDsJust->SetText(qryJustExcl->FieldByName("DSJUSTEXCHIS").AsString());
}

void TfrmHistCancAprov::edtIdResultadoChange(TObject* /*Sender*/) {
    edtDsResultado->SetText(outcomeText(edtIdResultado->Text()));
}

void TfrmHistCancAprov::edtIdResultadoExit(TObject* /*Sender*/) {
    const std::string code = edtIdResultado->Text();
    if (Consiste::EmptyString(code)) {
        edtIdResultado->SetText("");
        return;
    }
    if (outcomeText(code).empty()) {
        edtIdResultado->SetFocus();
        Consiste::MensErro(msgPadrao->Msg("RESULTADO_INVALIDO"), true);
    }
}

void TfrmHistCancAprov::btnResultadoAfterPesq(TObject* /*Sender*/) {
    edtIdResultado->SetText(cdsResultado->FieldByName("IDRESULTADO").AsString());
}

void TfrmHistCancAprov::Vd_Filtro() {
    // The tool-bar button takes no focus, so a field typed last has not been
    // left: every field is checked again here, in the order of the panel.
    dtpInicio->CheckValidDate();
    dtpFim->CheckValidDate();
    const TDateTime from = dtpInicio->GetDate();
    const TDateTime to = dtpFim->GetDate();
    if (from.days != 0 && to.days != 0 && from.days > to.days) {
        dtpInicio->SetFocus();
        Consiste::MensErro(msgPadrao->Msg("PERIODO_INVALIDO"), true);
    }
    edtCdFilialExit(edtCdFilial);
    edtCdOperadorExit(edtCdOperador);
    edtCdJustExit(edtCdJust);
    edtIdResultadoExit(edtIdResultado);
}

std::string TfrmHistCancAprov::outcomeText(const std::string& code) const {
    if (code.size() != 1 || outcomeCodes.find(code) == std::string_view::npos) {
        return {};
    }
    return msgPadrao->Msg(code);
}

// ---- Record list ------------------------------------------------------------

void TfrmHistCancAprov::sbtVerificarClick(TObject* /*Sender*/) {
    Vd_Filtro();
    TShowAviGuard animation(Application().MainForm, Showavi::aviCarregando);
    bool truncated = false;
    Variant vaHistorico = AppServer().GetHistCancAprov(
        dtpInicio->GetDate(), dtpFim->GetDate(), edtCdFilial->Text(), edtCdOperador->Text(),
        edtCdJust->Text(), edtIdResultado->Text(), truncated);
    vaHistorico = Consiste::CheckResultServ(vaHistorico, true, 0);
    // An empty list makes no record current: what the last one removed goes.
    closeDocuments();
    cdsHistCanc->SetData(vaHistorico);
    animation.Stop();
    PreencheGrafico();
    Habilita();
    if (truncated) {
        msgPadrao->ShowMsg("LISTA_CORTADA", TMsgDlgType::mtInformation, mbOK, 0);
    }
}

void TfrmHistCancAprov::cdsHistCancIDRESULTADOGetText(TField& Sender, std::string& Text,
                                                      bool /*DisplayText*/) {
    const std::string code = Sender.AsString();
    const std::string text = outcomeText(code);
    Text = text.empty() ? code : text;
}

void TfrmHistCancAprov::cdsHistCancDSRECUSAGetText(TField& Sender, std::string& Text,
                                                   bool /*DisplayText*/) {
    // Refusals are kept by their key ("KEY|detail"); the known keys read in
    // words, anything else (an authorization refusal's text) as recorded.
    Text = Sender.AsString();
    const auto bar = Text.find('|');
    const std::string key = "REC_" + Text.substr(0, bar);
    if (msgPadrao->Msg(key) != key) {
        Text =
            withDetail(msgPadrao->Msg(key), bar == std::string::npos ? "" : Text.substr(bar + 1));
    }
}

// ---- Removed documents ------------------------------------------------------

void TfrmHistCancAprov::cdsHistCancAfterScroll(TClientDataSet& /*DataSet*/) {
    fetchDocuments();
}

void TfrmHistCancAprov::fetchDocuments() {
    if (!cdsHistCanc->Active() || cdsHistCanc->IsEmpty()) {
        closeDocuments();
        return;
    }
    TShowAviGuard animation(Application().MainForm, Showavi::aviCarregando);
    vaDocumentos = Consiste::CheckResultServ(
        AppServer().GetHistCancAprovDoc(cdsHistCanc->FieldByName("IDHISTCANC").AsString()), true,
        0);
    const Variant::Array& answer = vaDocumentos.AsArray();
    if (answer.size() != 2) {
        throw Exception("Resposta inválida do servidor para os documentos removidos.");
    }
    cdsContaReceber->SetData(answer[0]);
    cdsPedido->SetData(answer[1]);
    animation.Stop();
}

void TfrmHistCancAprov::closeDocuments() {
    cdsContaReceber->Close();
    cdsPedido->Close();
}

void TfrmHistCancAprov::cdsContaReceberIDBAIXADAGetText(TField& Sender, std::string& Text,
                                                        bool /*DisplayText*/) {
    const std::string flag = Sender.AsString();
    Text = flag == "S" || flag == "N" ? msgPadrao->Msg(flag) : flag;
}

void TfrmHistCancAprov::cdsPedidoIDSITUPEDIDOGetText(TField& Sender, std::string& Text,
                                                     bool /*DisplayText*/) {
    const std::string status = Sender.AsString();
    Text = status == "E" ? msgPadrao->Msg("PEDIDO_E") : status;
}

// ---- Chart ------------------------------------------------------------------

void TfrmHistCancAprov::PreencheGrafico() {
    // Cancellations (outcome C) of the listed records, counted per calendar
    // month and justification; every month from the first to the last one
    // with a cancellation has its bar, so gaps show as gaps.
    std::map<std::pair<int, int>, std::map<std::string, double>> counts;
    std::map<std::string, std::string> names;
    if (cdsHistCanc->Active()) {
        for (int recNo = 1; recNo <= cdsHistCanc->RecordCount(); ++recNo) {
            cdsHistCanc->ReadRecord(recNo, [&] {
                if (cdsHistCanc->FieldByName("IDRESULTADO").AsString() != "C") {
                    return;
                }
                int year = 0;
                int month = 0;
                int day = 0;
                DecodeDate(cdsHistCanc->FieldByName("DTHRHISTCANC").AsDateTime(), year, month, day);
                const std::string code = cdsHistCanc->FieldByName("CDJUSTEXCHIS").AsString();
                std::string name = cdsHistCanc->FieldByName("DSJUSTEXCHIS").AsString();
                if (code.empty()) {
                    name = msgPadrao->Msg("SEM_JUSTIFICATIVA");
                } else if (name.empty()) {
                    name = code;
                }
                names[code] = name;
                counts[{year, month}][code] += 1;
            });
        }
    }
    std::vector<std::string> categories;
    std::vector<std::pair<int, int>> months;
    if (!counts.empty()) {
        auto [year, month] = counts.begin()->first;
        const std::pair<int, int> last = counts.rbegin()->first;
        while (std::make_pair(year, month) <= last) {
            months.emplace_back(year, month);
            categories.push_back(FormatDateTime("mm/yyyy", EncodeDate(year, month, 1)));
            if (++month > 12) {
                month = 1;
                ++year;
            }
        }
    }
    // Series in the order of the justification codes; the records without
    // one last.
    std::vector<std::string> codes;
    for (const auto& [code, name] : names) {
        if (!code.empty()) {
            codes.push_back(code);
        }
    }
    if (names.count("") != 0) {
        codes.emplace_back();
    }
    std::vector<TChartSeries> series;
    for (const std::string& code : codes) {
        TChartSeries one{names[code], {}};
        for (const auto& month : months) {
            double count = 0;
            if (const auto found = counts.find(month); found != counts.end()) {
                const auto inner = found->second.find(code);
                count = inner == found->second.end() ? 0 : inner->second;
            }
            one.Values.push_back(count);
        }
        series.push_back(std::move(one));
    }
    chtCancelamentos->SetData(std::move(categories), std::move(series));
}

// ---- Pages, state and export ------------------------------------------------

void TfrmHistCancAprov::showPage(TTabSheet* page) {
    pgcPadrao->SetActivePage(page);
    pgcPadraoChange(pgcPadrao);
}

void TfrmHistCancAprov::pgcPadraoChange(TObject* /*Sender*/) {
    mnuFolhaDados->SetChecked(pgcPadrao->ActivePage() == tshPadrao);
    mnuDocumentos->SetChecked(pgcPadrao->ActivePage() == tshDocumentos);
    mnuGrafico->SetChecked(pgcPadrao->ActivePage() == tshGrafico);
    Habilita();
}

void TfrmHistCancAprov::mnuFolhaDadosClick(TObject* /*Sender*/) {
    showPage(tshPadrao);
}

void TfrmHistCancAprov::mnuDocumentosClick(TObject* /*Sender*/) {
    showPage(tshDocumentos);
}

void TfrmHistCancAprov::mnuGraficoClick(TObject* /*Sender*/) {
    showPage(tshGrafico);
}

void TfrmHistCancAprov::Habilita() {
    const bool listed = cdsHistCanc->Active() && !cdsHistCanc->IsEmpty();
    sbtExportar->SetEnabled(listed);
    mnuExportar->SetEnabled(listed);
    tshDocumentos->SetEnabled(listed);
    mnuDocumentos->SetEnabled(listed);
    tshGrafico->SetEnabled(cdsHistCanc->Active());
    mnuGrafico->SetEnabled(cdsHistCanc->Active());
}

void TfrmHistCancAprov::sbtExportarClick(TObject* /*Sender*/) {
    if (!cdsHistCanc->Active() || cdsHistCanc->IsEmpty()) {
        Consiste::MensErro(msgPadrao->Msg("SEM_REGISTROS"), true);
    }
    SaveFileRequest request;
    request.title = msgPadrao->Msg("TITULO_EXPORTAR");
    request.fileName = "historico-cancelamentos.csv";
    request.filter = "Arquivos CSV (*.csv)";
    request.defaultSuffix = "csv";
    const std::optional<std::string> path = SaveDialog(request);
    if (!path) {
        return;
    }
    WriteFileAtomically(*path, GridToCsv(*dbgPadrao));
    MessageDlg(withDetail(msgPadrao->Msg("EXPORTADO"), *path), TMsgDlgType::mtInformation, mbOK, 0);
}

}  // namespace Cli_ore06110
