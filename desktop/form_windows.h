#pragma once

#include <QDialog>
#include <QMdiSubWindow>
#include <QPointer>
#include <functional>
#include <map>

#include "host/ui/form.h"

class QEventLoop;
class QMdiArea;

namespace desktop {

class FormView;

// The windows in which forms are shown: child windows in the main window's
// child-window area for Show, dialogs for ShowModal. The window's close button
// asks the form to close; the form decides.
class FormWindows {
public:
    FormWindows(QMdiArea& area, QWidget& dialogParent);
    ~FormWindows();
    FormWindows(const FormWindows&) = delete;
    FormWindows& operator=(const FormWindows&) = delete;

    // Shows the form as a child window, or brings its window forward.
    void show(host::TForm& form);
    // Shows the form in a dialog and returns at once (the scenario runner
    // drives it); runModal waits as well.
    void openDialog(host::TForm& form);
    // Runs the dialog until the form's ModalResult is set or it closes.
    void runModal(host::TForm& form);
    // The form closed: its view stops observing it and its window goes.
    void closed(host::TForm& form);
    // Drops every window; the forms themselves are left alone.
    void closeAll();

    FormView* viewOf(const host::TForm& form) const;
    // The child window or dialog of the form, or nullptr.
    QWidget* windowOf(const host::TForm& form) const;
    // Dialogs on screen, oldest first.
    std::vector<QDialog*> openDialogs() const;

    // A child window came forward by the operator's hand: the form activates.
    std::function<void(host::TForm&)> onActivated;

private:
    struct Entry {
        QPointer<QWidget> window;
        FormView* view = nullptr;
        bool dialog = false;
        QEventLoop* loop = nullptr;
        int order = 0;
        // Who had the keyboard when the dialog opened gets it back.
        QPointer<QWidget> backWindow;
        QPointer<QWidget> backFocus;
    };
    Entry& entryFor(host::TForm& form, bool dialog);
    void subWindowActivated(QMdiSubWindow* window);

    QMdiArea& m_area;
    QWidget& m_dialogParent;
    std::map<const host::TForm*, Entry> m_entries;
    int m_nextOrder = 0;
    int m_showing = 0;  // inside show(): the form activates itself
    QPointer<QMdiSubWindow> m_lastActive;
};

// Child window whose close button asks the form.
class FormSubWindow : public QMdiSubWindow {
public:
    explicit FormSubWindow(host::TForm& form) : m_form(form) {}
    void closeForGood() {
        m_closing = true;
        close();
    }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    host::TForm& m_form;
    bool m_closing = false;
};

// Dialog whose close button and Escape go through the form.
class FormDialog : public QDialog {
public:
    FormDialog(host::TForm& form, QWidget* parent) : QDialog(parent), m_form(form) {}
    void closeForGood() {
        m_closing = true;
        hide();
    }
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    host::TForm& m_form;
    bool m_closing = false;
};

}  // namespace desktop
