#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace desktop {

// The busy animation: a moving bar and a word in the status bar, shown from
// BusyOn to BusyOff. The call it announces blocks the event loop, so showing
// it paints at once.
class BusyIndicator : public QWidget {
public:
    explicit BusyIndicator(QWidget* parent = nullptr);

    void start(int kind);
    void stop();
    bool running() const { return m_depth > 0; }
    QString text() const;

private:
    QLabel* m_label;
    QProgressBar* m_bar;
    int m_depth = 0;
};

}  // namespace desktop
