#include "desktop/main_window.h"

#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>

#include "desktop/busy_indicator.h"
#include "desktop/form_windows.h"
#include "desktop/module_loader.h"
#include "desktop/trace.h"
#include "host/ui/form.h"

namespace desktop {

namespace {

constexpr const char* kCancellationModule = "libPKG_ORE06100.so";
constexpr const char* kHistoryModule = "libPKG_ORE06110.so";

}  // namespace

QString hostTitle() {
    return QStringLiteral("Gestão de Encomendas");
}

MainWindow::MainWindow(const HostOptions& options, QWidget* parent)
    : QMainWindow(parent),
      m_options(options),
      m_area(new QMdiArea(this)),
      m_busy(new BusyIndicator(this)),
      m_sessionLabel(new QLabel(this)) {
    setWindowTitle(hostTitle());
    m_area->setBackground(QColor(128, 128, 128));
    m_area->setActivationOrder(QMdiArea::ActivationHistoryOrder);
    setCentralWidget(m_area);
    statusBar()->addWidget(m_sessionLabel, 1);
    statusBar()->addPermanentWidget(m_busy);
    m_windows = std::make_unique<FormWindows>(*m_area, *this);
    m_windows->onActivated = [](host::TForm& form) {
        host::Application().Dispatch([&form] { form.Activate(); });
    };
    m_module = std::make_unique<ModuleLoader>(
        QDir(options.moduleDirectory).filePath(QLatin1String(kCancellationModule)).toStdString());
    m_historyModule = std::make_unique<ModuleLoader>(
        QDir(options.moduleDirectory).filePath(QLatin1String(kHistoryModule)).toStdString());
    buildMenus();
    showSession();
    resize(1024, 700);
}

MainWindow::~MainWindow() {
    shutDown();
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&Arquivo"));
    QAction* quit = file->addAction(QStringLiteral("&Sair"));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu* orders = menuBar()->addMenu(QStringLiteral("&Encomendas"));
    QAction* cancellation =
        orders->addAction(QStringLiteral("Cancelamento da Aprovação da Encomenda"));
    connect(cancellation, &QAction::triggered, this, [this] { openCancellationScreen(); });
    QAction* history = orders->addAction(QStringLiteral("Histórico de Cancelamentos de Aprovação"));
    connect(history, &QAction::triggered, this, [this] { openHistoryScreen(); });

    QMenu* windows = menuBar()->addMenu(QStringLiteral("&Janela"));
    for (QMenu* menu : {file, orders, windows}) {
        connect(menu, &QMenu::aboutToShow, this, [menu] {
            Trace::write(QStringLiteral("menu popup ") + QString(menu->title()).remove('&'));
        });
    }
    connect(windows->addAction(QStringLiteral("&Cascata")), &QAction::triggered, m_area,
            &QMdiArea::cascadeSubWindows);
    connect(windows->addAction(QStringLiteral("&Lado a lado")), &QAction::triggered, m_area,
            &QMdiArea::tileSubWindows);
}

void MainWindow::showSession() {
    const host::Session& session = host::CurrentSession();
    QString branch = QString::fromStdString(session.branchCode);
    if (!session.branchName.empty()) {
        branch += QStringLiteral(" - ") + QString::fromStdString(session.branchName);
    }
    QString operatorText = QString::fromStdString(session.operatorCode);
    if (!session.operatorName.empty()) {
        operatorText += QStringLiteral(" - ") + QString::fromStdString(session.operatorName);
    }
    m_sessionLabel->setText(
        QStringLiteral("Filial: %1    Operador: %2    Servidor: %3:%4")
            .arg(branch, operatorText, QString::fromStdString(session.serverHost))
            .arg(session.serverPort));
}

bool MainWindow::openCancellationScreen() {
    if (m_shutDown) {
        return false;
    }
    if (!m_module->start()) {
        QMessageBox::critical(this, QStringLiteral("Erro"),
                              QString::fromStdString(m_module->errorString()));
        return false;
    }
    return true;
}

bool MainWindow::openHistoryScreen() {
    if (m_shutDown) {
        return false;
    }
    if (!m_historyModule->start()) {
        QMessageBox::critical(this, QStringLiteral("Erro"),
                              QString::fromStdString(m_historyModule->errorString()));
        return false;
    }
    return true;
}

void MainWindow::shutDown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    // Screens close as the operator would close them, so their modules know.
    std::vector<host::TForm*> open;
    for (const auto& form : host::Application().Forms()) {
        if (form->Showing() && !form->Modal()) {
            open.push_back(form.get());
        }
    }
    for (host::TForm* form : open) {
        if (host::Application().IsAlive(form)) {
            host::Application().Dispatch([form] { form->Close(); });
        }
    }
    m_windows->closeAll();
    // The module's forms go before the module's code.
    host::Application().Reset();
    m_historyModule->finalize();
    m_module->finalize();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    shutDown();
    event->accept();
}

}  // namespace desktop
