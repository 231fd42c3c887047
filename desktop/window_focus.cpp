#include "desktop/window_focus.h"

#include <QApplication>

namespace desktop {

QWidget* ownerForDialog(QWidget& fallback) {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    if (QWidget* active = QApplication::activeWindow()) {
        return active;
    }
    return &fallback;
}

void takeKeyboard(QWidget& window, QWidget* focus) {
    QWidget* top = window.window();
    top->raise();
    top->activateWindow();
    if (focus != nullptr && QApplication::focusWidget() != focus) {
        focus->setFocus(Qt::ActiveWindowFocusReason);
    }
}

KeyboardReturn::KeyboardReturn()
    : m_window(QApplication::activeWindow()), m_focus(QApplication::focusWidget()) {}

KeyboardReturn::~KeyboardReturn() {
    if (m_window == nullptr || !m_window->isVisible()) {
        return;
    }
    // A window hidden meanwhile, or one a modal dialog now blocks, keeps out.
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != m_window) {
        return;
    }
    takeKeyboard(*m_window, m_focus != nullptr && m_focus->isVisible() ? m_focus.data() : nullptr);
}

}  // namespace desktop
