#include <dlfcn.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "desktop/busy_indicator.h"
#include "desktop/form_view.h"
#include "desktop/form_windows.h"
#include "desktop/host_options.h"
#include "desktop/main_window.h"
#include "desktop/module_loader.h"
#include "desktop/pick_list_dialog.h"
#include "desktop/qt_platform.h"
#include "desktop/session_setup.h"
#include "host/data/formatting.h"
#include "host/ui/scripted_platform.h"

using namespace host;

namespace {

// A small form with one control of each kind the tests need.
class TestForm : public TForm {
public:
    TestForm() : TForm("frmTeste") {
        SetCaption("Teste");
        SetBounds(0, 0, 480, 360);
        edtCodigo = Make<TEdit>("edtCodigo", this);
        edtCodigo->SetBounds(10, 10, 100, 21);
        edtCodigo->TabOrder = 0;
        edtNome = Make<TEdit>("edtNome", this);
        edtNome->SetBounds(120, 10, 100, 21);
        edtNome->TabOrder = 1;
        edtSigla = Make<TEdit>("edtSigla", this);
        edtSigla->SetBounds(230, 10, 60, 21);
        edtSigla->TabOrder = 2;
        edtSigla->CharCase = TEditCharCase::ecUpperCase;
        edtSigla->MaxLength = 4;
        lblTitulo = Make<TLabel>("lblTitulo", this);
        lblTitulo->SetBounds(300, 12, 80, 16);
        lblTitulo->SetCaption("Título");
        chkFechado = Make<TCheckBox>("chkFechado", this);
        chkFechado->SetBounds(10, 40, 100, 17);
        chkFechado->SetCaption("Fechado");
        chkFechado->TabOrder = 3;
        depEntrega = Make<TDateEditPlus>("depEntrega", this);
        depEntrega->SetBounds(120, 40, 100, 21);
        depEntrega->TabOrder = 4;
        memObs = Make<TMemo>("memObs", this);
        memObs->SetBounds(230, 40, 200, 40);
        memObs->TabOrder = 5;

        pgcPaginas = Make<TPageControl>("pgcPaginas", this);
        pgcPaginas->SetBounds(10, 90, 460, 260);
        pgcPaginas->TabOrder = 6;
        tshDados = Make<TTabSheet>("tshDados", pgcPaginas);
        tshDados->SetCaption("Dados");
        tshMotivo = Make<TTabSheet>("tshMotivo", pgcPaginas);
        tshMotivo->SetCaption("Motivo");
        pgcPaginas->OnChange = [this](TObject*) { ++pageChanges; };

        cdsLista = MakeDataSet("cdsLista");
        cdsLista->AddField({"CODIGO", FieldType::String, 4}).DisplayLabel = "Código";
        cdsLista->AddField({"NOME", FieldType::String, 30}).DisplayLabel = "Nome";
        dtsLista = MakeDataSource("dtsLista", cdsLista);
        dbgLista = Make<TDBGrid>("dbgLista", tshDados);
        dbgLista->Align = TAlign::alClient;
        dbgLista->Columns = {{"CODIGO", "Cód.", 60}, {"NOME", "", 0}};
        dbgLista->SetDataSource(dtsLista);

        mnuManutencao = Make<TMenuItem>("mnuManutencao", Menu());
        mnuManutencao->SetCaption("&Manutenção");
        mnuFiltrar = Make<TMenuItem>("mnuFiltrar", mnuManutencao);
        mnuFiltrar->SetCaption("Fi&ltrar");
        mnuFiltrar->SetShortCut("Ctrl+L");
        mnuFiltrar->OnClick = [this](TObject*) { ++filterCommands; };

        // The code may not be left empty.
        edtCodigo->OnExit = [this](TObject*) {
            if (edtCodigo->Text().empty()) {
                ++refusedExits;
                throw EAbort();
            }
        };
    }

    void Load(const std::vector<std::pair<std::string, std::string>>& rows) {
        DataPacket packet;
        packet.fields = {{"CODIGO", FieldType::String, 4}, {"NOME", FieldType::String, 30}};
        for (const auto& [code, name] : rows) {
            packet.rows.push_back({Variant(code), Variant(name)});
        }
        cdsLista->LoadFromPacket(packet);
    }

    TEdit* edtCodigo;
    TEdit* edtNome;
    TEdit* edtSigla;
    TLabel* lblTitulo;
    TCheckBox* chkFechado;
    TDateEditPlus* depEntrega;
    TMemo* memObs;
    TPageControl* pgcPaginas;
    TTabSheet* tshDados;
    TTabSheet* tshMotivo;
    TClientDataSet* cdsLista;
    TDataSource* dtsLista;
    TDBGrid* dbgLista;
    TMenuItem* mnuManutencao;
    TMenuItem* mnuFiltrar;
    int refusedExits = 0;
    int pageChanges = 0;
    int filterCommands = 0;
};

template <class W>
W* widgetOf(const desktop::FormView& view, const TControl* control) {
    W* widget = qobject_cast<W*>(view.widgetFor(control));
    if (widget == nullptr) {
        qFatal("no widget of the expected kind for %s", control->Name().c_str());
    }
    return widget;
}

}  // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { desktop::applyHostLook(); }

    void init() {
        Application().SetPlatform(&m_platform);
        m_form = Application().CreateForm<TestForm>();
        m_view = std::make_unique<desktop::FormView>(*m_form);
        m_view->show();
        m_view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_view.get()));
    }

    void cleanup() {
        m_view.reset();
        Application().Reset();
        Application().SetPlatform(nullptr);
    }

    void abortedExitKeepsTheFocus() {
        auto* code = widgetOf<QLineEdit>(*m_view, m_form->edtCodigo);
        auto* name = widgetOf<QLineEdit>(*m_view, m_form->edtNome);
        QTest::mouseClick(code, Qt::LeftButton);
        QCOMPARE(m_form->ActiveControl(), m_form->edtCodigo);
        QCOMPARE(QApplication::focusWidget(), code);

        // A click elsewhere runs the exit, which refuses: nothing moves.
        QTest::mouseClick(name, Qt::LeftButton);
        QCOMPARE(m_form->refusedExits, 1);
        QCOMPARE(m_form->ActiveControl(), m_form->edtCodigo);
        QCOMPARE(QApplication::focusWidget(), code);

        // So does Tab.
        QTest::keyClick(code, Qt::Key_Tab);
        QCOMPARE(m_form->refusedExits, 2);
        QCOMPARE(m_form->ActiveControl(), m_form->edtCodigo);
        QCOMPARE(QApplication::focusWidget(), code);

        // With a code the exit passes and Tab moves on in tab order.
        QTest::keyClicks(code, "12");
        QCOMPARE(m_form->edtCodigo->Text(), std::string("12"));
        QTest::keyClick(code, Qt::Key_Tab);
        QCOMPARE(m_form->ActiveControl(), m_form->edtNome);
        QCOMPARE(QApplication::focusWidget(), name);
        QTest::keyClick(name, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(m_form->ActiveControl(), m_form->edtCodigo);
        QCOMPARE(QApplication::focusWidget(), code);
    }

    void focusSetByTheModelMovesQtFocus() {
        Application().Dispatch([this] { m_form->FocusControl(m_form->edtSigla); });
        QCOMPARE(QApplication::focusWidget(), m_view->widgetFor(m_form->edtSigla));
    }

    void disabledTabCannotBeBroughtForwardByAClick() {
        auto* tabs = widgetOf<QTabWidget>(*m_view, m_form->pgcPaginas);
        QTabBar* bar = tabs->tabBar();
        m_form->tshMotivo->SetEnabled(false);
        QVERIFY(!bar->isTabEnabled(1));

        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
        QCOMPARE(m_form->pgcPaginas->ActivePage(), m_form->tshDados);
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(m_form->pageChanges, 0);

        m_form->tshMotivo->SetEnabled(true);
        QVERIFY(bar->isTabEnabled(1));
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
        QCOMPARE(m_form->pgcPaginas->ActivePage(), m_form->tshMotivo);
        QCOMPARE(tabs->currentIndex(), 1);
        QCOMPARE(m_form->pageChanges, 1);
    }

    void pageBroughtForwardByTheModelShows() {
        auto* tabs = widgetOf<QTabWidget>(*m_view, m_form->pgcPaginas);
        m_form->pgcPaginas->SetActivePage(m_form->tshMotivo);
        QCOMPARE(tabs->currentIndex(), 1);
        // Qt's own switch is undone: only the model brings a page forward.
        tabs->setCurrentIndex(0);
        QCOMPARE(tabs->currentIndex(), 1);
    }

    void shortcutReachesItsCommand() {
        auto* name = widgetOf<QLineEdit>(*m_view, m_form->edtNome);
        m_form->edtCodigo->SetText("1");
        QTest::mouseClick(name, Qt::LeftButton);
        QTest::keyClick(name, Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(m_form->filterCommands, 1);
        QCOMPARE(m_form->edtNome->Text(), std::string());

        QAction* action = m_view->actionFor(m_form->mnuFiltrar);
        QVERIFY(action != nullptr);
        QCOMPARE(action->text(), QStringLiteral("Fi&ltrar\tCtrl+L"));
        action->trigger();
        QCOMPARE(m_form->filterCommands, 2);

        // A disabled command ignores its shortcut and its menu entry.
        m_form->mnuFiltrar->SetEnabled(false);
        QVERIFY(!action->isEnabled());
        QTest::keyClick(name, Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(m_form->filterCommands, 2);
    }

    void menuCheckMarkFollowsTheModel() {
        QAction* action = m_view->actionFor(m_form->mnuFiltrar);
        QVERIFY(!action->isChecked());
        m_form->mnuFiltrar->SetChecked(true);
        QVERIFY(action->isCheckable());
        QVERIFY(action->isChecked());
        m_form->mnuFiltrar->SetChecked(false);
        QVERIFY(!action->isChecked());
        m_form->mnuFiltrar->SetCaption("&Filtro");
        QCOMPARE(action->text(), QStringLiteral("&Filtro\tCtrl+L"));
    }

    void propertyChangesReachTheWidgets() {
        m_form->edtNome->SetText("FESTAS ALEGRIA");
        QCOMPARE(widgetOf<QLineEdit>(*m_view, m_form->edtNome)->text(),
                 QStringLiteral("FESTAS ALEGRIA"));
        m_form->edtNome->SetEnabled(false);
        QVERIFY(!m_view->widgetFor(m_form->edtNome)->isEnabled());
        m_form->lblTitulo->SetCaption("Situação");
        QCOMPARE(widgetOf<QLabel>(*m_view, m_form->lblTitulo)->text(), QStringLiteral("Situação"));
        m_form->lblTitulo->SetBold(true);
        QVERIFY(m_view->widgetFor(m_form->lblTitulo)->font().bold());
        m_form->chkFechado->SetChecked(true);
        QVERIFY(widgetOf<QCheckBox>(*m_view, m_form->chkFechado)->isChecked());
        m_form->edtSigla->SetVisible(false);
        QVERIFY(m_view->widgetFor(m_form->edtSigla)->isHidden());
        m_form->edtSigla->SetVisible(true);
        QVERIFY(!m_view->widgetFor(m_form->edtSigla)->isHidden());
        m_form->memObs->SetText("linha 1\nlinha 2");
        QCOMPARE(widgetOf<QPlainTextEdit>(*m_view, m_form->memObs)->toPlainText(),
                 QStringLiteral("linha 1\nlinha 2"));
        m_form->edtCodigo->SetBounds(20, 12, 90, 21);
        QCOMPARE(m_view->widgetFor(m_form->edtCodigo)->geometry().topLeft(), QPoint(20, 12));
    }

    void operatorEditsReachTheModel() {
        m_form->edtCodigo->SetText("1");
        auto* sigla = widgetOf<QLineEdit>(*m_view, m_form->edtSigla);
        QTest::mouseClick(sigla, Qt::LeftButton);
        QTest::keyClicks(sigla, "abcde");
        // Upper case and at most 4 characters, as the edit defines.
        QCOMPARE(m_form->edtSigla->Text(), std::string("ABCD"));
        QCOMPARE(sigla->text(), QStringLiteral("ABCD"));

        auto* box = widgetOf<QCheckBox>(*m_view, m_form->chkFechado);
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(m_form->chkFechado->Checked());
        QCOMPARE(m_form->ActiveControl(), m_form->chkFechado);
        QTest::keyClick(box, Qt::Key_Space);
        QVERIFY(!m_form->chkFechado->Checked());
        QVERIFY(!box->isChecked());

        auto* memo = widgetOf<QPlainTextEdit>(*m_view, m_form->memObs);
        QTest::mouseClick(memo->viewport(), Qt::LeftButton);
        QTest::keyClicks(memo, "ok");
        QCOMPARE(m_form->memObs->Text(), std::string("ok"));
        // Accented letters arrive as typed, in UTF-8.
        QTest::keyClicks(memo, " card");
        QTest::sendKeyEvent(QTest::Click, memo, Qt::Key_Aacute, QStringLiteral("á"),
                            Qt::NoModifier);
        QTest::keyClicks(memo, "pio");
        QCOMPARE(m_form->memObs->Text(), std::string("ok cardápio"));
        QCOMPARE(memo->toPlainText(), QStringLiteral("ok cardápio"));
    }

    void zeroDateShowsAnEmptyField() {
        auto* date = widgetOf<QLineEdit>(*m_view, m_form->depEntrega);
        QCOMPARE(date->displayText(), QString());
        m_form->depEntrega->SetDate(EncodeDate(2025, 3, 10));
        QCOMPARE(date->displayText(), QStringLiteral("10/03/2025"));
        m_form->depEntrega->SetDate(TDateTime{});
        QCOMPARE(date->displayText(), QString());

        // Typed through the mask, the date reaches the model.
        m_form->edtCodigo->SetText("1");
        QTest::mouseClick(date, Qt::LeftButton);
        QTest::keyClicks(date, "11032025");
        QCOMPARE(m_form->depEntrega->Text(), std::string("11/03/2025"));
    }

    void gridShowsTitlesWidthsAndTheCurrentRecord() {
        m_form->Load({{"0001", "MATRIZ"}, {"0002", "FILIAL CENTRO"}, {"0003", "FILIAL NORTE"}});
        auto* view = widgetOf<QTableView>(*m_view, m_form->dbgLista);
        QAbstractItemModel* model = view->model();
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Cód."));
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Nome"));
        QCOMPARE(view->columnWidth(0), 60);
        QCOMPARE(model->index(1, 1).data().toString(), QStringLiteral("FILIAL CENTRO"));
        QCOMPARE(view->currentIndex().row(), 0);

        m_form->cdsLista->Last();
        QCOMPARE(view->currentIndex().row(), 2);

        // A click on a row makes it current.
        m_form->edtCodigo->SetText("1");
        const QRect cell = view->visualRect(model->index(1, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(m_form->ActiveControl(), m_form->dbgLista);
        QCOMPARE(m_form->cdsLista->RecNo(), 2);
        QCOMPARE(view->currentIndex().row(), 1);
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(m_form->cdsLista->RecNo(), 3);
        QTest::keyClick(view, Qt::Key_Home);
        QCOMPARE(m_form->cdsLista->RecNo(), 1);

        m_form->cdsLista->Close();
        QCOMPARE(model->rowCount(), 0);
    }

    void closedFormLeavesTheViewInert() {
        m_view->detach();
        m_form->edtNome->SetText("depois");
        QCOMPARE(widgetOf<QLineEdit>(*m_view, m_form->edtNome)->text(), QString());
        QTest::mouseClick(m_view->widgetFor(m_form->edtNome), Qt::LeftButton);
        QCOMPARE(m_form->ActiveControl(), nullptr);
    }

private:
    ScriptedPlatform m_platform;
    TestForm* m_form = nullptr;
    std::unique_ptr<desktop::FormView> m_view;
};

// The host's own windows and services, without a form view.
class HostServicesTest : public QObject {
    Q_OBJECT

private slots:
    void messageDialogShowsTheTextsAndReturnsTheAnswer() {
        QWidget parent;
        QMdiArea area;
        desktop::FormWindows windows(area, parent);
        desktop::BusyIndicator busy;
        desktop::QtPlatform platform(windows, busy, parent);
        QString shownText;
        QStringList buttons;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            shownText = box->text();
            for (QAbstractButton* button : box->buttons()) {
                buttons << button->text();
            }
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == QStringLiteral("Não")) {
                    button->click();
                }
            }
        });
        const int answer =
            platform.MessageDialog("Deseja confirmar o cancelamento da aprovação da encomenda?",
                                   TMsgDlgType::mtConfirmation, mbYes | mbNo);
        QCOMPARE(answer, mrNo);
        QCOMPARE(shownText,
                 QStringLiteral("Deseja confirmar o cancelamento da aprovação da encomenda?"));
        buttons.sort();
        QCOMPARE(buttons, (QStringList{QStringLiteral("Não"), QStringLiteral("Sim")}));
    }

    void busyIndicatorShowsBetweenOnAndOff() {
        desktop::BusyIndicator busy;
        QVERIFY(!busy.running());
        busy.start(6);
        busy.start(1);
        QVERIFY(busy.isVisibleTo(nullptr) || !busy.isHidden());
        QCOMPARE(busy.text(), QStringLiteral("Enviando..."));
        busy.stop();
        QVERIFY(busy.running());
        busy.stop();
        QVERIFY(!busy.running());
        QVERIFY(busy.isHidden());
    }

    void pickListOffersTheRowsWithTheirLabels() {
        TClientDataSet rows("cdsVendedor");
        rows.AddField({"CDVENDEDOR", FieldType::String, 4}).DisplayLabel = "Código";
        rows.AddField({"NMVENDEDOR", FieldType::String, 40}).DisplayLabel = "Nome";
        DataPacket packet;
        packet.fields = {{"CDVENDEDOR", FieldType::String, 4},
                         {"NMVENDEDOR", FieldType::String, 40}};
        packet.rows = {{Variant("0001"), Variant("CARLOS VENDAS")},
                       {Variant("0002"), Variant("BEATRIZ LIMA")},
                       {Variant("0003"), Variant("RICARDO ALVES")}};
        rows.LoadFromPacket(packet);

        PickListRequest request;
        request.title = "Vendedor";
        request.rows = &rows;
        request.keyField = "CDVENDEDOR";
        request.multiple = true;
        request.preselected = {"0003"};
        desktop::PickListDialog dialog(request);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Vendedor"));
        QAbstractItemModel* model = dialog.table()->model();
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Código"));
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Nome"));
        QCOMPARE(model->index(1, 1).data().toString(), QStringLiteral("BEATRIZ LIMA"));
        QCOMPARE(dialog.chosenRows(), (std::vector<int>{2}));
        dialog.setRowChosen(0, true);
        QCOMPARE(dialog.chosenRows(), (std::vector<int>{0, 2}));

        request.multiple = false;
        desktop::PickListDialog single(request);
        single.setRowChosen(1, true);
        QCOMPARE(single.chosenRows(), (std::vector<int>{1}));
        // The current record is where the caller left it.
        QCOMPARE(rows.RecNo(), 1);
    }

    void moduleLoaderRunsTheSequence() {
        desktop::ModuleLoader loader(FAKE_MODULE_FILE);
        QCOMPARE(loader.state(), desktop::ModuleLoader::State::unloaded);
        QVERIFY(loader.start());
        QCOMPARE(loader.state(), desktop::ModuleLoader::State::running);
        QCOMPARE(loader.unitCount(), 1);
        QVERIFY(loader.start());

        void* handle = ::dlopen(FAKE_MODULE_FILE, RTLD_NOW | RTLD_NOLOAD);
        QVERIFY(handle != nullptr);
        using Counter = void (*)(int*, int*, int*);
        auto counter = reinterpret_cast<Counter>(::dlsym(handle, "FakeCalls"));
        int initialize = 0, iniProc = 0, finalize = 0;
        counter(&initialize, &iniProc, &finalize);
        QCOMPARE(initialize, 1);
        QCOMPARE(iniProc, 2);
        QCOMPARE(finalize, 0);
        loader.finalize();
        QCOMPARE(loader.state(), desktop::ModuleLoader::State::finalized);
        counter(&initialize, &iniProc, &finalize);
        QCOMPARE(finalize, 1);
        ::dlclose(handle);
    }

    void moduleLoaderRefusesAModuleWithoutAnEntry() {
        desktop::ModuleLoader loader(FAKE_INCOMPLETE_FILE);
        QVERIFY(!loader.start());
        QCOMPARE(loader.state(), desktop::ModuleLoader::State::failed);
        QCOMPARE(QString::fromStdString(loader.errorString()),
                 QStringLiteral("O módulo libdesktop_fake_incomplete.so não exporta a entrada "
                                "IniProc."));
        // Nothing of it ran and it is unloaded again.
        QVERIFY(::dlopen(FAKE_INCOMPLETE_FILE, RTLD_NOW | RTLD_NOLOAD) == nullptr);
    }

    void cancellationModulePassesTheEntryChecks() {
        desktop::ModuleLoader loader(CANCELLATION_MODULE_FILE);
        QVERIFY2(loader.initialize(), loader.errorString().c_str());
        QCOMPARE(loader.state(), desktop::ModuleLoader::State::initialized);
        // The framework's units, then the filter dialog's and the screen's.
        QVERIFY(loader.unitCount() > 2);
        loader.finalize();
        QCOMPARE(loader.state(), desktop::ModuleLoader::State::finalized);
    }

    void menuOpensTheCancellationScreenInAChildWindow() {
        desktop::HostOptions options;
        options.moduleDirectory = QFileInfo(CANCELLATION_MODULE_FILE).absolutePath();
        CurrentSession() = Session{};
        CurrentSession().branchCode = "0001";
        CurrentSession().branchName = "MATRIZ";
        CurrentSession().operatorCode = "OPER01";
        CurrentSession().operatorName = "OPERADOR UM";
        CurrentSession().serverPort = 1;  // nothing listens: the screen opens anyway
        {
            desktop::MainWindow window(options);
            desktop::QtPlatform platform(window.formWindows(), window.busyIndicator(), window);
            Application().SetPlatform(&platform);
            window.show();
            // The status bar names who is signed on, as it names the branch.
            QStringList statusTexts;
            for (const QLabel* label : window.statusBar()->findChildren<QLabel*>()) {
                statusTexts << label->text();
            }
            QVERIFY2(statusTexts.join('|').contains(
                         QStringLiteral("Filial: 0001 - MATRIZ    Operador: OPER01 - OPERADOR UM")),
                     qPrintable(statusTexts.join('|')));
            QVERIFY(window.openCancellationScreen());
            QCOMPARE(window.cancellationModule().state(), desktop::ModuleLoader::State::running);
            const auto children = window.childArea().subWindowList();
            QCOMPARE(children.size(), 1);
            QCOMPARE(children.front()->windowTitle(),
                     QStringLiteral("Cancelamento da Aprovação da Encomenda"));
            auto* branch = children.front()->findChild<QLineEdit*>(QStringLiteral("edtCdFilial"));
            QVERIFY(branch != nullptr);
            QCOMPARE(branch->text(), QStringLiteral("0001"));
            // A second choice of the menu brings the same screen forward.
            QVERIFY(window.openCancellationScreen());
            QCOMPARE(window.childArea().subWindowList().size(), 1);
            window.shutDown();
            QCOMPARE(window.cancellationModule().state(), desktop::ModuleLoader::State::finalized);
        }
        Application().SetPlatform(nullptr);
        CurrentSession() = Session{};
    }

    void moduleLoaderReportsAMissingFile() {
        desktop::ModuleLoader loader("/nonexistent/libPKG_ORE06100.so");
        QVERIFY(!loader.initialize());
        QCOMPARE(loader.state(), desktop::ModuleLoader::State::failed);
        QVERIFY(QString::fromStdString(loader.errorString())
                    .startsWith(
                        QStringLiteral("Não foi possível carregar o módulo libPKG_ORE06100.so: ")));
    }

    void hostOptions_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("session");  // host:port|db|branch|name|operator|fixed
        QTest::addColumn<QString>("error");
        QTest::newRow("defaults") << QStringList{} << "127.0.0.1:50051||0001||ADMIN|no"
                                  << "";
        QTest::newRow("everything") << QStringList{"--server-host",  "10.0.0.5",   "--server-port",
                                                   "6000",           "--database", "demo.db",
                                                   "--branch",       "0002",       "--branch-name",
                                                   "FILIAL CENTRO",  "--operator", "OPER01",
                                                   "--fixed-branch", "yes"}
                                    << "10.0.0.5:6000|demo.db|0002|FILIAL CENTRO|OPER01|yes"
                                    << "";
        QTest::newRow("port not a number") << QStringList{"--server-port", "x"} << ""
                                           << "invalid server port 'x': expected a number from 1 "
                                              "to 65535";
        QTest::newRow("port out of range") << QStringList{"--server-port", "70000"} << ""
                                           << "invalid server port '70000': expected a number "
                                              "from 1 to 65535";
        QTest::newRow("bad flag") << QStringList{"--fixed-branch", "talvez"} << ""
                                  << "invalid fixed-branch value 'talvez': expected yes or no";
        QTest::newRow("long branch") << QStringList{"--branch", "00001"} << ""
                                     << "invalid branch code '00001': at most 4 characters";
        QTest::newRow("unknown option") << QStringList{"--colour"} << ""
                                        << "Unknown option 'colour'.";
        QTest::newRow("shots without script") << QStringList{"--shots", "/tmp/x"} << ""
                                              << "--shots needs --script";
        QTest::newRow("missing settings") << QStringList{"--settings", "/nonexistent/ore.ini"} << ""
                                          << "cannot read the settings file "
                                             "/nonexistent/ore.ini";
    }

    void hostOptions() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, session);
        QFETCH(QString, error);
        QString failure;
        const auto options =
            desktop::parseHostOptions(QStringList{"ore-host"} + arguments, failure);
        QCOMPARE(failure, error);
        QCOMPARE(options.has_value(), error.isEmpty());
        if (options) {
            const Session& s = options->session;
            const QString found =
                QStringLiteral("%1:%2|%3|%4|%5|%6|%7")
                    .arg(QString::fromStdString(s.serverHost))
                    .arg(s.serverPort)
                    .arg(QString::fromStdString(s.database), QString::fromStdString(s.branchCode),
                         QString::fromStdString(s.branchName),
                         QString::fromStdString(s.operatorCode), s.fixedBranch ? "yes" : "no");
            QCOMPARE(found, session);
        }
    }

    void commandLineOverridesTheSettingsFile() {
        QTemporaryDir folder;
        const QString file = folder.filePath("ore-host.ini");
        QFile ini(file);
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(
            "[server]\nhost=192.168.0.9\nport=7000\n[database]\ntarget=/srv/ore.db\n"
            "[session]\nbranch=0003\nbranchName=FILIAL NORTE\noperator=VENDAS\n"
            "fixedBranch=yes\n[pictures]\n0=\"!99.999.9999;0;_\"\n");
        ini.close();
        QString failure;
        const auto options = desktop::parseHostOptions(
            {"ore-host", "--settings", file, "--server-port", "7100", "--operator", "OPER02"},
            failure);
        QVERIFY2(options.has_value(), qPrintable(failure));
        const Session& s = options->session;
        QCOMPARE(s.serverHost, std::string("192.168.0.9"));
        QCOMPARE(s.serverPort, 7100);
        QCOMPARE(s.database, std::string("/srv/ore.db"));
        QCOMPARE(s.branchCode, std::string("0003"));
        QCOMPARE(s.branchName, std::string("FILIAL NORTE"));
        QCOMPARE(s.operatorCode, std::string("OPER02"));
        QVERIFY(s.fixedBranch);
        QCOMPARE(s.pictures.at(0), std::string("!99.999.9999;0;_"));
    }

    void certificateFilesFromSettingsAndCommandLine() {
        QTemporaryDir folder;
        const QString file = folder.filePath("ore-host.ini");
        QFile ini(file);
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[server]\nca=certs/ca.pem\nclientCert=/etc/ore/host.pem\nclientKey=host.key\n");
        ini.close();
        QString failure;
        auto options = desktop::parseHostOptions({"ore-host", "--settings", file}, failure);
        QVERIFY2(options.has_value(), qPrintable(failure));
        QCOMPARE(options->session.serverCaFile, folder.filePath("certs/ca.pem").toStdString());
        QCOMPARE(options->session.clientCertFile, std::string("/etc/ore/host.pem"));
        QCOMPARE(options->session.clientKeyFile, folder.filePath("host.key").toStdString());

        options = desktop::parseHostOptions({"ore-host", "--settings", file, "--server-ca",
                                             "/tmp/other-ca.pem", "--client-key", "k.pem"},
                                            failure);
        QVERIFY2(options.has_value(), qPrintable(failure));
        QCOMPARE(options->session.serverCaFile, std::string("/tmp/other-ca.pem"));
        QCOMPARE(options->session.clientCertFile, std::string("/etc/ore/host.pem"));
        QCOMPARE(options->session.clientKeyFile, std::string("k.pem"));

        options = desktop::parseHostOptions({"ore-host"}, failure);
        QVERIFY2(options.has_value(), qPrintable(failure));
        QCOMPARE(options->session.serverCaFile, std::string());
    }
};

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    int status = 0;
    {
        DesktopTest views;
        status |= QTest::qExec(&views, argc, argv);
    }
    {
        HostServicesTest services;
        status |= QTest::qExec(&services, argc, argv);
    }
    return status;
}

#include "desktop_test.moc"
