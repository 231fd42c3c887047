#pragma once

#include <QDialog>
#include <QString>

class QTextBrowser;

namespace desktop {

// The help page of a screen in a window of the host ("Ajuda - CODE"); Esc or
// "Fechar" closes it.
class HelpWindow : public QDialog {
public:
    HelpWindow(const QString& screenCode, const QString& page, QWidget* parent);
    QTextBrowser* browser() const { return m_browser; }

    // The page shipped for the screen, or an empty text when there is none.
    static QString pageFor(const QString& screenCode);

private:
    QTextBrowser* m_browser;
};

}  // namespace desktop
