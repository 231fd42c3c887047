#pragma once

#include <QString>

class QKeyEvent;
class QWidget;

namespace desktop {

// What the host does, one line per step, for tests that drive the real window
// from outside (--trace FILE): focus moves, messages, windows, keys handed to
// the form model. Nothing is written unless a file was given.
class Trace {
public:
    // Starts writing to the file (emptied first); false when it cannot.
    static bool open(const QString& file);
    static bool enabled();
    static void write(const QString& line);
    // Follows Qt's focus for the whole application.
    static void followFocus();
    // "FORM CONTROL" for a widget of a form view, else "WINDOW-TITLE CLASS".
    static QString describe(const QWidget* widget);
    // "F9 -", "L ctrl", "Return ctrl+shift".
    static QString keyText(const QKeyEvent& event);
};

}  // namespace desktop
