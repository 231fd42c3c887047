#include "desktop/key_mapping.h"

#include <QString>

namespace desktop {

namespace {

host::Word virtualKey(int qtKey) {
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
        return static_cast<host::Word>('A' + (qtKey - Qt::Key_A));
    }
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        return static_cast<host::Word>('0' + (qtKey - Qt::Key_0));
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12) {
        return static_cast<host::Word>(host::VK_F1 + (qtKey - Qt::Key_F1));
    }
    switch (qtKey) {
        case Qt::Key_Backspace:
            return host::VK_BACK;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return host::VK_TAB;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return host::VK_RETURN;
        case Qt::Key_Escape:
            return host::VK_ESCAPE;
        case Qt::Key_Space:
            return host::VK_SPACE;
        case Qt::Key_PageUp:
            return host::VK_PRIOR;
        case Qt::Key_PageDown:
            return host::VK_NEXT;
        case Qt::Key_End:
            return host::VK_END;
        case Qt::Key_Home:
            return host::VK_HOME;
        case Qt::Key_Left:
            return host::VK_LEFT;
        case Qt::Key_Up:
            return host::VK_UP;
        case Qt::Key_Right:
            return host::VK_RIGHT;
        case Qt::Key_Down:
            return host::VK_DOWN;
        case Qt::Key_Insert:
            return host::VK_INSERT;
        case Qt::Key_Delete:
            return host::VK_DELETE;
        default:
            return 0;
    }
}

}  // namespace

ModelKey toModelKey(int qtKey, Qt::KeyboardModifiers modifiers) {
    ModelKey result;
    result.key = virtualKey(qtKey);
    if (result.key == 0) {
        return result;
    }
    // Qt reports Shift+Tab as Backtab, with or without the Shift flag.
    if (modifiers.testFlag(Qt::ShiftModifier) || qtKey == Qt::Key_Backtab) {
        result.shift |= host::ssShift;
    }
    if (modifiers.testFlag(Qt::ControlModifier)) {
        result.shift |= host::ssCtrl;
    }
    if (modifiers.testFlag(Qt::AltModifier)) {
        result.shift |= host::ssAlt;
    }
    return result;
}

QString menuText(const std::string& caption, const std::string& shortCut) {
    QString text = QString::fromStdString(caption);
    if (!shortCut.empty()) {
        text += QLatin1Char('\t') + QString::fromStdString(shortCut);
    }
    return text;
}

}  // namespace desktop
