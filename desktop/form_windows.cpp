#include "desktop/form_windows.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QIcon>
#include <QMdiArea>
#include <QPixmap>
#include <QVBoxLayout>
#include <algorithm>

#include "desktop/form_view.h"
#include "desktop/trace.h"
#include "desktop/window_focus.h"

namespace desktop {

namespace {

void askFormToClose(host::TForm& form) {
    if (!host::Application().IsAlive(&form)) {
        return;
    }
    host::Application().Dispatch([&form] { form.Close(); });
}

}  // namespace

void FormSubWindow::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        QMdiSubWindow::closeEvent(event);
        return;
    }
    event->ignore();
    // The form's close handlers run outside Qt's close handling, which they
    // may end by closing this very window.
    host::TForm* form = &m_form;
    QMetaObject::invokeMethod(
        this, [form] { askFormToClose(*form); }, Qt::QueuedConnection);
}

void FormDialog::reject() {
    // Escape belongs to the form's key handling; only the form ends the dialog.
}

void FormDialog::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    host::TForm* form = &m_form;
    QMetaObject::invokeMethod(
        this, [form] { askFormToClose(*form); }, Qt::QueuedConnection);
}

FormWindows::FormWindows(QMdiArea& area, QWidget& dialogParent)
    : m_area(area), m_dialogParent(dialogParent) {
    QObject::connect(&m_area, &QMdiArea::subWindowActivated, &m_area,
                     [this](QMdiSubWindow* window) { subWindowActivated(window); });
    // A click on a control that takes no focus (a tool-bar button) or on the
    // frame hands Qt's focus to the child window itself, where no key reaches
    // the form: it goes on to the form's focused control.
    QObject::connect(qApp, &QApplication::focusChanged, &m_area, [this](QWidget*, QWidget* now) {
        auto* window = qobject_cast<QMdiSubWindow*>(now);
        if (window == nullptr) {
            return;
        }
        QMetaObject::invokeMethod(
            &m_area,
            [this, target = QPointer<QMdiSubWindow>(window)] {
                if (target == nullptr || QApplication::focusWidget() != target) {
                    return;
                }
                for (const auto& [form, entry] : m_entries) {
                    if (entry.window == target && entry.view != nullptr && entry.view->live()) {
                        entry.view->syncFocus();
                        return;
                    }
                }
            },
            Qt::QueuedConnection);
    });
}

FormWindows::~FormWindows() {
    closeAll();
}

FormWindows::Entry& FormWindows::entryFor(host::TForm& form, bool dialog) {
    auto found = m_entries.find(&form);
    if (found != m_entries.end() && found->second.window != nullptr &&
        found->second.dialog == dialog) {
        return found->second;
    }
    if (found != m_entries.end()) {
        closed(form);
    }
    Entry entry;
    entry.dialog = dialog;
    entry.order = m_nextOrder++;
    if (dialog) {
        auto* window = new FormDialog(form, ownerForDialog(m_dialogParent));
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        entry.view = new FormView(form, window);
        layout->addWidget(entry.view);
        window->setWindowTitle(entry.view->windowTitle());
        window->setFixedSize(entry.view->sizeHint());
        window->setWindowModality(Qt::ApplicationModal);
        QObject::connect(entry.view, &QWidget::windowTitleChanged, window,
                         &QWidget::setWindowTitle);
        entry.window = window;
    } else {
        auto* window = new FormSubWindow(form);
        window->setAttribute(Qt::WA_DeleteOnClose);
        // A click inside must not pull Qt's focus off the form's control.
        window->setFocusPolicy(Qt::NoFocus);
        QPixmap blank(16, 16);
        blank.fill(Qt::transparent);
        window->setWindowIcon(QIcon(blank));
        entry.view = new FormView(form);
        window->setWidget(entry.view);
        window->setWindowTitle(entry.view->windowTitle());
        QObject::connect(entry.view, &QWidget::windowTitleChanged, window,
                         &QWidget::setWindowTitle);
        m_area.addSubWindow(window);
        window->adjustSize();
        entry.window = window;
        entry.view->onMousePressed = [this, window] {
            if (m_area.activeSubWindow() != window) {
                m_area.setActiveSubWindow(window);
            }
        };
    }
    return m_entries.insert_or_assign(&form, entry).first->second;
}

void FormWindows::show(host::TForm& form) {
    Entry& entry = entryFor(form, false);
    Trace::write(QStringLiteral("window shown ") + QString::fromStdString(form.Name()));
    auto* window = static_cast<QMdiSubWindow*>(entry.window.data());
    ++m_showing;
    if (window->isMinimized()) {
        window->showNormal();
    } else {
        window->show();
    }
    m_area.setActiveSubWindow(window);
    m_lastActive = window;
    --m_showing;
    entry.view->syncFocus();
    takeKeyboard(*window, entry.view->widgetFor(form.ActiveControl()));
}

void FormWindows::openDialog(host::TForm& form) {
    Entry& entry = entryFor(form, true);
    QWidget* window = entry.window;
    if (!window->isVisible()) {
        Trace::write(QStringLiteral("window shown ") + QString::fromStdString(form.Name()));
        entry.backWindow = QApplication::activeWindow();
        entry.backFocus = QApplication::focusWidget();
        const QWidget* anchor = m_dialogParent.window();
        const QPoint centre = anchor->geometry().center();
        window->move(centre - QPoint(window->width() / 2, window->height() / 2));
        window->show();
    }
    // A dialog opens with the keyboard on its first control in tab order,
    // unless its handlers placed the focus themselves.
    if (form.ActiveControl() == nullptr) {
        host::Application().Dispatch([&form] { form.SelectFirst(); });
    }
    FormView* view = viewOf(form);
    if (view == nullptr || !view->live()) {
        return;
    }
    view->syncFocus();
    takeKeyboard(*window, view->widgetFor(form.ActiveControl()));
}

void FormWindows::runModal(host::TForm& form) {
    if (!form.Showing() || form.ModalResult() != host::mrNone) {
        return;
    }
    openDialog(form);
    QEventLoop loop;
    Entry& entry = m_entries.at(&form);
    entry.loop = &loop;
    entry.view->onModalResult = [&form, &loop] {
        if (form.ModalResult() != host::mrNone) {
            loop.quit();
        }
    };
    loop.exec(QEventLoop::DialogExec);
    auto found = m_entries.find(&form);
    if (found != m_entries.end() && found->second.loop == &loop) {
        found->second.loop = nullptr;
        found->second.view->onModalResult = nullptr;
    }
}

void FormWindows::closed(host::TForm& form) {
    auto found = m_entries.find(&form);
    if (found == m_entries.end()) {
        return;
    }
    Entry entry = found->second;
    m_entries.erase(found);
    Trace::write(QStringLiteral("window closed ") + QString::fromStdString(form.Name()));
    if (entry.loop != nullptr) {
        entry.loop->quit();
    }
    if (entry.view != nullptr) {
        entry.view->onModalResult = nullptr;
        entry.view->onMousePressed = nullptr;
        entry.view->detach();
    }
    if (entry.window == nullptr) {
        return;
    }
    if (m_lastActive == entry.window) {
        m_lastActive = nullptr;
    }
    // The window may be in the middle of one of its own signals: it goes
    // once control is back in the event loop.
    if (auto* child = dynamic_cast<FormSubWindow*>(entry.window.data())) {
        child->closeForGood();
    } else if (auto* dialog = dynamic_cast<FormDialog*>(entry.window.data())) {
        dialog->closeForGood();
        dialog->deleteLater();
        if (entry.backWindow != nullptr && entry.backWindow->isVisible()) {
            takeKeyboard(*entry.backWindow, entry.backFocus);
        }
    }
}

void FormWindows::closeAll() {
    while (!m_entries.empty()) {
        auto first = m_entries.begin();
        Entry entry = first->second;
        const host::TForm* form = first->first;
        m_entries.erase(first);
        if (entry.loop != nullptr) {
            entry.loop->quit();
        }
        if (entry.view != nullptr && host::Application().IsAlive(form)) {
            entry.view->detach();
        }
        delete entry.window.data();
    }
    m_lastActive = nullptr;
}

FormView* FormWindows::viewOf(const host::TForm& form) const {
    const auto found = m_entries.find(&form);
    return found == m_entries.end() ? nullptr : found->second.view;
}

QWidget* FormWindows::windowOf(const host::TForm& form) const {
    const auto found = m_entries.find(&form);
    return found == m_entries.end() ? nullptr : found->second.window.data();
}

std::vector<QDialog*> FormWindows::openDialogs() const {
    std::vector<std::pair<int, QDialog*>> dialogs;
    for (const auto& [form, entry] : m_entries) {
        if (entry.dialog && entry.window != nullptr && entry.window->isVisible()) {
            dialogs.emplace_back(entry.order, static_cast<QDialog*>(entry.window.data()));
        }
    }
    std::sort(dialogs.begin(), dialogs.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<QDialog*> result;
    for (const auto& [order, dialog] : dialogs) {
        result.push_back(dialog);
    }
    return result;
}

void FormWindows::subWindowActivated(QMdiSubWindow* window) {
    // Only the operator switching from one child window to another activates
    // a form: Show activates it itself, and a dialog closing hands the focus
    // back without a new activation.
    if (m_showing > 0 || window == nullptr || window == m_lastActive) {
        return;
    }
    const bool switched = m_lastActive != nullptr;
    m_lastActive = window;
    for (auto& [form, entry] : m_entries) {
        if (entry.window == window) {
            auto* target = const_cast<host::TForm*>(form);
            if (switched && onActivated && host::Application().IsAlive(target)) {
                onActivated(*target);
            }
            if (entry.view != nullptr) {
                entry.view->syncFocus();
            }
            return;
        }
    }
}

}  // namespace desktop
