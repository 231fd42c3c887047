#include "desktop/help_window.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

// The pages are compiled into a static library: its resources register only
// when asked to, from outside any namespace.
static void registerHelpPages() {
    Q_INIT_RESOURCE(help);
}

namespace {

void loadHelpResources() {
    static const bool loaded = [] {
        registerHelpPages();
        return true;
    }();
    (void)loaded;
}

}  // namespace

namespace desktop {

HelpWindow::HelpWindow(const QString& screenCode, const QString& page, QWidget* parent)
    : QDialog(parent), m_browser(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("help"));
    setWindowTitle(QStringLiteral("Ajuda - ") + screenCode);
    m_browser->setObjectName(QStringLiteral("helpText"));
    m_browser->setHtml(page);
    m_browser->setOpenLinks(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Fechar"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_browser);
    layout->addWidget(buttons);
    resize(560, 480);
    m_browser->setFocus();
}

QString HelpWindow::pageFor(const QString& screenCode) {
    loadHelpResources();
    QFile file(QStringLiteral(":/help/") + screenCode + QStringLiteral(".html"));
    if (screenCode.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

}  // namespace desktop
