#include "desktop/busy_indicator.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

#include "host/services/busy.h"

namespace desktop {

BusyIndicator::BusyIndicator(QWidget* parent)
    : QWidget(parent), m_label(new QLabel(this)), m_bar(new QProgressBar(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    m_bar->setRange(0, 0);
    m_bar->setTextVisible(false);
    m_bar->setFixedWidth(120);
    m_bar->setMaximumHeight(14);
    hide();
}

void BusyIndicator::start(int kind) {
    ++m_depth;
    m_label->setText(kind == host::Showavi::aviEnviando ? QStringLiteral("Enviando...")
                                                        : QStringLiteral("Carregando..."));
    show();
    repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void BusyIndicator::stop() {
    if (m_depth == 0) {
        return;
    }
    if (--m_depth == 0) {
        hide();
    }
}

QString BusyIndicator::text() const {
    return m_label->text();
}

}  // namespace desktop
