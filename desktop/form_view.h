#pragma once

#include <QHash>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

#include "host/ui/form.h"

class QAction;
class QMenu;
class QMenuBar;
class QTabWidget;
class QScrollArea;
class QTableView;

namespace desktop {

class GridModel;

// The Qt view of one form of the form model: one widget per control, placed
// by the form definition's bounds and alignment. Model changes reach the
// widgets through the controls' observers; the operator's clicks, keys and
// typing reach the model through the form's User* actions, each one event.
// Qt never moves the focus by itself here: every widget refuses focus, and the
// view hands focus requests to the form, then gives Qt's focus to whichever
// control the form made active, so an exit handler that aborts keeps it.
class FormView : public QWidget {
public:
    explicit FormView(host::TForm& form, QWidget* parent = nullptr);
    ~FormView() override;

    host::TForm& form() const { return m_form; }
    // False once the form has closed: the view then ignores the operator.
    bool attached() const { return m_attached; }
    // Attached and the form still exists (a test or the scenario runner may
    // drop every form at once without closing them).
    bool live() const;
    // Stops observing the model; the form must still be alive.
    void detach();

    QWidget* widgetFor(const host::TControl* control) const;
    QAction* actionFor(const host::TMenuItem* item) const;
    QTableView* gridView(const host::TDBGrid* grid) const;
    // The control a widget (or one of its inner widgets) shows, or nullptr.
    host::TControl* controlAt(const QWidget* widget) const;

    // Qt's focus follows the form's ActiveControl.
    void syncFocus();
    // Size of the form's client area plus the menu bar.
    QSize sizeHint() const override;

    // The form asked to close (window button) or ModalResult changed.
    std::function<void()> onModalResult;
    // The operator pressed the mouse inside the view.
    std::function<void()> onMousePressed;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Binding {
        host::TControl* control = nullptr;
        QWidget* widget = nullptr;  // placed at the control's bounds
        QWidget* area = nullptr;    // where a container's children live
        GridModel* gridModel = nullptr;
        int observer = 0;
    };

    void buildMenu(host::TMenuItem* item, QMenu* menu);
    void buildControl(host::TControl* control, QWidget* parentArea);
    QWidget* createWidget(host::TControl* control, QWidget* parentArea, Binding& binding);
    QWidget* createPageControl(host::TPageControl& pages, QWidget* parentArea);

    void controlChanged(host::TControl& control, host::TProp what);
    void applyCommon(Binding& binding, host::TProp what);
    void applyText(Binding& binding);
    void applyChecked(Binding& binding);
    void applyDateMask(Binding& binding);
    void applyData(Binding& binding);
    // A grid hears its data set only through the data source it was given
    // when it was set up; controls bound later to the same source keep it
    // current as well.
    void refreshSiblingGrids(const Binding& changed);
    void applyActivePage(host::TPageControl& pages);
    void applyTabState(host::TTabSheet& sheet);
    void applyFont(const Binding& binding);
    void applyColor(const Binding& binding);
    void menuChanged(host::TMenuItem& item);
    void refreshNavigators();

    void layoutArea(host::TWinControl* container);
    void layoutAll();

    bool handleMousePress(QWidget* widget, QMouseEvent* event);
    bool handleKeyPress(QWidget* widget, QKeyEvent* event);
    bool hasEnabledShortCut(host::Word key, host::TShiftState shift) const;
    Binding* bindingOf(const host::TControl* control);
    const Binding* bindingOf(const host::TControl* control) const;

    host::TForm& m_form;
    bool m_attached = true;
    int m_updating = 0;  // model-to-widget updates in progress
    QMenuBar* m_menuBar = nullptr;
    QWidget* m_client = nullptr;
    QScrollArea* m_scroll = nullptr;
    std::vector<Binding> m_bindings;
    QHash<const host::TControl*, int> m_index;
    QHash<const QWidget*, host::TControl*> m_controlOf;
    QHash<const host::TMenuItem*, QAction*> m_actions;
    QHash<const host::TMenuItem*, QMenu*> m_menus;
    std::vector<std::pair<host::TMenuItem*, int>> m_menuObservers;
    int m_formObserver = 0;
};

}  // namespace desktop
