#include "desktop/session_setup.h"

#include <spdlog/spdlog.h>
#include <QApplication>
#include <QMessageBox>
#include <QStyleFactory>

#include "desktop/main_window.h"
#include "host/screens/ore00610.h"
#include "host/services/session.h"
#include "host/sql/adoib_query.h"

namespace desktop {

void applyHostLook() {
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
        QApplication::setStyle(fusion);
    }
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(8);
    QApplication::setFont(font);
}

void connectSession(MainWindow& window) {
    host::RegisterHostScreens();
    host::Session& session = host::CurrentSession();
    if (session.database.empty()) {
        QMessageBox::warning(&window, QStringLiteral("Atenção"),
                             QStringLiteral("Nenhum banco de dados foi informado (--database); "
                                            "as consultas da tela não funcionarão."));
        return;
    }
    try {
        host::dtmDBGeral().Connect(session.database);
        spdlog::info("connected to the shared database {}", session.database);
        if (session.branchName.empty() && !session.branchCode.empty()) {
            const host::DataPacket rows = host::dtmDBGeral().Database()->query(
                "SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = :P_CDFILIAL",
                {{"P_CDFILIAL", host::Variant(session.branchCode)}});
            if (!rows.rows.empty() && !rows.rows.front().empty()) {
                session.branchName = rows.rows.front().front().AsString();
            }
        }
    } catch (const std::exception& error) {
        spdlog::error("cannot connect to the shared database {}: {}", session.database,
                      error.what());
        QMessageBox::critical(
            &window, QStringLiteral("Erro"),
            QStringLiteral("Não foi possível conectar ao banco de dados %1: %2")
                .arg(QString::fromStdString(session.database), QString::fromUtf8(error.what())));
    }
    window.showSession();
}

}  // namespace desktop
