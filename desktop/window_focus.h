#pragma once

#include <QPointer>
#include <QWidget>

namespace desktop {

// The window a new dialog belongs over: the modal dialog in front, else the
// active window, else the fallback. A dialog parented to a window that a
// modal dialog blocks would hand the keyboard back to the blocked one.
QWidget* ownerForDialog(QWidget& fallback);

// Brings a window to the front and gives it the keyboard, on the window
// manager's terms too: raised, activated, focus on `focus` when given.
void takeKeyboard(QWidget& window, QWidget* focus = nullptr);

// Remembers which window and control had the keyboard, and gives it back
// when it goes out of scope (a message box, a pick list, a dialog closed).
class KeyboardReturn {
public:
    KeyboardReturn();
    ~KeyboardReturn();
    KeyboardReturn(const KeyboardReturn&) = delete;
    KeyboardReturn& operator=(const KeyboardReturn&) = delete;

private:
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_focus;
};

}  // namespace desktop
