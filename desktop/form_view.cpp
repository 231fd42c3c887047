#include "desktop/form_view.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "desktop/grid_model.h"
#include "desktop/key_mapping.h"
#include "desktop/trace.h"

namespace desktop {

namespace {

bool isGridNavigationKey(host::Word key) {
    return key == host::VK_UP || key == host::VK_DOWN || key == host::VK_PRIOR ||
           key == host::VK_NEXT || key == host::VK_HOME || key == host::VK_END;
}

host::TMenuItem* findEnabledShortCut(host::TMenuItem* item, host::Word key,
                                     host::TShiftState shift) {
    if (item == nullptr) {
        return nullptr;
    }
    if (item->ShortCutKey == key && item->ShortCutShift == shift && item->ClickEnabled()) {
        return item;
    }
    for (host::TMenuItem* child : item->Items()) {
        if (host::TMenuItem* found = findEnabledShortCut(child, key, shift)) {
            return found;
        }
    }
    return nullptr;
}

// Controls placed by their alignment first (top, bottom, left, right, client),
// then the free ones, as the platform lays out a container.
int alignRank(host::TAlign align) {
    switch (align) {
        case host::TAlign::alTop:
            return 0;
        case host::TAlign::alBottom:
            return 1;
        case host::TAlign::alLeft:
            return 2;
        case host::TAlign::alRight:
            return 3;
        case host::TAlign::alClient:
            return 4;
        case host::TAlign::alNone:
            return 5;
    }
    return 5;
}

struct SeenKey {
    const QKeyEvent* event = nullptr;
    quint64 timestamp = 0;
    int key = 0;
    quint32 scanCode = 0;
};

SeenKey& lastSeenKey() {
    static SeenKey seen;
    return seen;
}

bool isKeySeen(const QKeyEvent& event) {
    const SeenKey& seen = lastSeenKey();
    return seen.event == &event && seen.timestamp == event.timestamp() && seen.key == event.key() &&
           seen.scanCode == event.nativeScanCode();
}

void markKeySeen(const QKeyEvent& event) {
    lastSeenKey() = {&event, event.timestamp(), event.key(), event.nativeScanCode()};
}

void forgetSeenKey() {
    lastSeenKey() = {};
}

// The size a container has in the form definition, against which anchored
// controls keep their distances. A page has its page control's size less the
// tabs and the frame.
QSize designSize(const host::TWinControl& container) {
    if (const auto* sheet = dynamic_cast<const host::TTabSheet*>(&container);
        sheet != nullptr && sheet->PageControl() != nullptr) {
        return {sheet->PageControl()->Width() - 8, sheet->PageControl()->Height() - 30};
    }
    return {container.Width(), container.Height()};
}

}  // namespace

FormView::FormView(host::TForm& form, QWidget* parent) : QWidget(parent), m_form(form) {
    setObjectName(QString::fromStdString(form.Name()));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (!form.Menu()->Items().empty()) {
        m_menuBar = new QMenuBar(this);
        m_menuBar->setNativeMenuBar(false);
        layout->setMenuBar(m_menuBar);
        for (host::TMenuItem* top : form.Menu()->Items()) {
            QMenu* menu = m_menuBar->addMenu(QString::fromStdString(top->Caption()));
            QObject::connect(menu, &QMenu::aboutToShow, this, [menu] {
                Trace::write(QStringLiteral("menu popup ") + QString(menu->title()).remove('&'));
            });
            m_menus.insert(top, menu);
            m_actions.insert(top, menu->menuAction());
            buildMenu(top, menu);
        }
    }
    // The controls follow the window's size down to the form's minimum; below
    // it the form scrolls, so no control is ever cut off or covered.
    auto* scroll = new QScrollArea(this);
    m_scroll = scroll;
    scroll->setObjectName(QStringLiteral("formScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    m_client = new QWidget;
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setMinimumSize(form.MinWidth > 0 ? form.MinWidth : form.Width(),
                             form.MinHeight > 0 ? form.MinHeight : form.Height());
    scroll->setWidget(m_client);
    layout->addWidget(scroll, 1);

    ++m_updating;
    Binding root;
    root.control = &form;
    root.widget = m_client;
    root.area = m_client;
    m_index.insert(&form, 0);
    m_bindings.push_back(root);
    m_controlOf.insert(m_client, &form);
    m_controlOf.insert(this, &form);
    for (host::TControl* child : form.Controls()) {
        buildControl(child, m_client);
    }

    for (std::size_t i = 0; i < m_bindings.size(); ++i) {
        host::TControl* control = m_bindings[i].control;
        m_bindings[i].observer = control->AddObserver(
            [this](host::TControl& changed, host::TProp what) { controlChanged(changed, what); });
        for (host::TProp what :
             {host::TProp::Caption, host::TProp::Enabled, host::TProp::Hint, host::TProp::Font,
              host::TProp::Color, host::TProp::ReadOnly, host::TProp::Text, host::TProp::Checked,
              host::TProp::Data, host::TProp::ActivePage}) {
            applyCommon(m_bindings[i], what);
        }
    }
    for (auto it = m_actions.constBegin(); it != m_actions.constEnd(); ++it) {
        auto* item = const_cast<host::TMenuItem*>(it.key());
        m_menuObservers.emplace_back(
            item, item->AddObserver([this](host::TMenuItem& changed) { menuChanged(changed); }));
        menuChanged(*item);
    }
    refreshNavigators();

    // Focus belongs to the form model: Qt never moves it on its own.
    const auto children = findChildren<QWidget*>();
    for (QWidget* widget : children) {
        widget->setFocusPolicy(Qt::NoFocus);
        widget->installEventFilter(this);
    }
    setFocusPolicy(Qt::NoFocus);
    installEventFilter(this);
    setWindowTitle(QString::fromStdString(form.Caption()));
    resize(sizeHint());
    --m_updating;
    layoutAll();
}

FormView::~FormView() {
    // The form may already be gone when Qt tears the window down; only a view
    // still attached touches it.
    if (m_attached && host::Application().IsAlive(&m_form)) {
        detach();
    }
}

bool FormView::live() const {
    return m_attached && host::Application().IsAlive(&m_form);
}

void FormView::detach() {
    if (!m_attached) {
        return;
    }
    m_attached = false;
    for (Binding& binding : m_bindings) {
        binding.control->RemoveObserver(binding.observer);
        binding.observer = 0;
    }
    for (auto& [item, token] : m_menuObservers) {
        item->RemoveObserver(token);
    }
    m_menuObservers.clear();
}

QSize FormView::sizeHint() const {
    const int menuHeight = m_menuBar != nullptr ? m_menuBar->sizeHint().height() : 0;
    return {m_form.Width(), m_form.Height() + menuHeight};
}

FormView::Binding* FormView::bindingOf(const host::TControl* control) {
    const auto found = m_index.constFind(control);
    return found == m_index.constEnd() ? nullptr : &m_bindings[static_cast<std::size_t>(*found)];
}

const FormView::Binding* FormView::bindingOf(const host::TControl* control) const {
    const auto found = m_index.constFind(control);
    return found == m_index.constEnd() ? nullptr : &m_bindings[static_cast<std::size_t>(*found)];
}

QWidget* FormView::widgetFor(const host::TControl* control) const {
    const Binding* binding = bindingOf(control);
    return binding != nullptr ? binding->widget : nullptr;
}

QAction* FormView::actionFor(const host::TMenuItem* item) const {
    return m_actions.value(item);
}

QTableView* FormView::gridView(const host::TDBGrid* grid) const {
    return qobject_cast<QTableView*>(widgetFor(grid));
}

host::TControl* FormView::controlAt(const QWidget* widget) const {
    for (const QWidget* current = widget; current != nullptr; current = current->parentWidget()) {
        if (host::TControl* control = m_controlOf.value(current)) {
            return control;
        }
        if (current == this) {
            break;
        }
    }
    return nullptr;
}

// ---- Building ----

void FormView::buildMenu(host::TMenuItem* item, QMenu* menu) {
    for (host::TMenuItem* child : item->Items()) {
        if (child->IsSeparator()) {
            m_actions.insert(child, menu->addSeparator());
            continue;
        }
        if (!child->Items().empty()) {
            QMenu* sub = menu->addMenu(QString::fromStdString(child->Caption()));
            m_menus.insert(child, sub);
            m_actions.insert(child, sub->menuAction());
            buildMenu(child, sub);
            continue;
        }
        QAction* action = menu->addAction(menuText(child->Caption(), child->ShortCutText()));
        m_actions.insert(child, action);
        QObject::connect(action, &QAction::triggered, this, [this, child] {
            if (!live()) {
                return;
            }
            m_form.UserClickMenu(child);
            if (m_attached) {
                menuChanged(*child);
                syncFocus();
            }
        });
    }
}

void FormView::buildControl(host::TControl* control, QWidget* parentArea) {
    Binding binding;
    binding.control = control;
    QWidget* widget = createWidget(control, parentArea, binding);
    binding.widget = widget;
    const int index = static_cast<int>(m_bindings.size());
    m_index.insert(control, index);
    m_bindings.push_back(binding);
    m_controlOf.insert(widget, control);
    widget->setObjectName(QString::fromStdString(control->Name()));

    if (auto* pages = dynamic_cast<host::TPageControl*>(control)) {
        auto* tabs = qobject_cast<QTabWidget*>(widget);
        for (host::TTabSheet* sheet : pages->Pages()) {
            auto* page = new QWidget;
            page->setObjectName(QString::fromStdString(sheet->Name()));
            tabs->addTab(page, QString::fromStdString(sheet->Caption()));
            Binding sheetBinding;
            sheetBinding.control = sheet;
            sheetBinding.widget = page;
            sheetBinding.area = page;
            m_index.insert(sheet, static_cast<int>(m_bindings.size()));
            m_bindings.push_back(sheetBinding);
            m_controlOf.insert(page, sheet);
            for (host::TControl* child : sheet->Controls()) {
                buildControl(child, page);
            }
        }
        return;
    }
    if (auto* container = dynamic_cast<host::TWinControl*>(control)) {
        QWidget* area = m_bindings[static_cast<std::size_t>(index)].area;
        if (area != nullptr) {
            for (host::TControl* child : container->Controls()) {
                buildControl(child, area);
            }
        }
    }
}

// ---- Model to widgets ----

void FormView::controlChanged(host::TControl& control, host::TProp what) {
    if (!m_attached) {
        return;
    }
    Binding* binding = bindingOf(&control);
    if (binding == nullptr) {
        return;
    }
    ++m_updating;
    applyCommon(*binding, what);
    --m_updating;
}

void FormView::applyCommon(Binding& binding, host::TProp what) {
    host::TControl* control = binding.control;
    QWidget* widget = binding.widget;
    auto* sheet = dynamic_cast<host::TTabSheet*>(control);
    const bool isForm = control == &m_form;
    switch (what) {
        case host::TProp::Enabled:
        case host::TProp::Visible:
            if (sheet != nullptr) {
                applyTabState(*sheet);
            } else if (isForm) {
                m_client->setEnabled(control->Enabled());
            } else if (what == host::TProp::Enabled) {
                widget->setEnabled(control->Enabled());
            } else if (control->Parent() != nullptr) {
                layoutArea(control->Parent());
            }
            break;
        case host::TProp::Caption:
            if (isForm) {
                setWindowTitle(QString::fromStdString(control->Caption()));
            } else if (sheet != nullptr) {
                applyTabState(*sheet);
            } else {
                applyText(binding);
                if (control->Parent() != nullptr) {
                    layoutArea(control->Parent());
                }
            }
            break;
        case host::TProp::Hint:
            if (!isForm) {
                widget->setToolTip(QString::fromStdString(control->Hint()));
                applyText(binding);
            }
            break;
        case host::TProp::Font:
            applyFont(binding);
            if (!isForm && control->Parent() != nullptr) {
                layoutArea(control->Parent());
            }
            break;
        case host::TProp::Color:
            applyColor(binding);
            break;
        case host::TProp::Bounds:
            if (isForm) {
                resize(sizeHint());
            } else if (control->Parent() != nullptr) {
                layoutArea(control->Parent());
            }
            break;
        case host::TProp::ReadOnly:
            if (auto* edit = dynamic_cast<host::TCustomEdit*>(control)) {
                if (auto* line = qobject_cast<QLineEdit*>(widget)) {
                    line->setReadOnly(edit->ReadOnly());
                } else if (auto* memo = qobject_cast<QPlainTextEdit*>(widget)) {
                    memo->setReadOnly(edit->ReadOnly());
                }
            }
            break;
        case host::TProp::Text:
            applyText(binding);
            break;
        case host::TProp::Checked:
            applyChecked(binding);
            break;
        case host::TProp::Data:
            applyData(binding);
            refreshSiblingGrids(binding);
            refreshNavigators();
            break;
        case host::TProp::ActivePage:
            if (auto* pages = dynamic_cast<host::TPageControl*>(control)) {
                applyActivePage(*pages);
            }
            break;
        case host::TProp::Focus:
            applyDateMask(binding);
            syncFocus();
            break;
        case host::TProp::ModalResult:
            if (isForm && onModalResult) {
                onModalResult();
            }
            break;
        case host::TProp::Other:
            if (isForm) {
                update();
            }
            break;
    }
}

void FormView::applyActivePage(host::TPageControl& pages) {
    auto* tabs = qobject_cast<QTabWidget*>(widgetFor(&pages));
    if (tabs == nullptr) {
        return;
    }
    for (host::TTabSheet* sheet : pages.Pages()) {
        applyTabState(*sheet);
    }
    const int index = pages.ActivePageIndex();
    if (index >= 0 && tabs->currentIndex() != index) {
        ++m_updating;
        tabs->setCurrentIndex(index);
        --m_updating;
    }
}

void FormView::applyTabState(host::TTabSheet& sheet) {
    host::TPageControl* pages = sheet.PageControl();
    auto* tabs = pages != nullptr ? qobject_cast<QTabWidget*>(widgetFor(pages)) : nullptr;
    if (tabs == nullptr) {
        return;
    }
    const auto& list = pages->Pages();
    const auto found = std::find(list.begin(), list.end(), &sheet);
    if (found == list.end()) {
        return;
    }
    const int index = static_cast<int>(found - list.begin());
    ++m_updating;
    tabs->setTabText(index, QString::fromStdString(sheet.Caption()));
    tabs->setTabEnabled(index, sheet.Enabled());
    tabs->setTabVisible(index, sheet.TabVisible && sheet.Visible());
    if (pages->ActivePageIndex() >= 0 && tabs->currentIndex() != pages->ActivePageIndex()) {
        tabs->setCurrentIndex(pages->ActivePageIndex());
    }
    --m_updating;
}

void FormView::menuChanged(host::TMenuItem& item) {
    if (!m_attached) {
        return;
    }
    QAction* action = m_actions.value(&item);
    if (action == nullptr) {
        return;
    }
    ++m_updating;
    if (!item.IsSeparator()) {
        action->setText(menuText(item.Caption(), item.ShortCutText()));
        if (QMenu* menu = m_menus.value(&item)) {
            menu->setTitle(QString::fromStdString(item.Caption()));
        } else {
            // Only a checked item shows a mark, as the platform's menus do.
            action->setCheckable(item.Checked());
            action->setChecked(item.Checked());
        }
    }
    action->setEnabled(item.Enabled());
    action->setVisible(item.Visible());
    --m_updating;
}

// ---- Layout ----

void FormView::layoutAll() {
    for (const Binding& binding : m_bindings) {
        if (auto* container = dynamic_cast<host::TWinControl*>(binding.control);
            container != nullptr && binding.area != nullptr) {
            layoutArea(container);
        }
    }
}

void FormView::layoutArea(host::TWinControl* container) {
    const Binding* owner = bindingOf(container);
    if (owner == nullptr || owner->area == nullptr) {
        return;
    }
    QWidget* area = owner->area;
    QRect free = area->contentsRect();
    if (qobject_cast<QGroupBox*>(area) != nullptr) {
        free.adjust(2, area->fontMetrics().height() + 2, -2, -2);
    }

    std::vector<host::TControl*> children;
    for (host::TControl* child : container->Controls()) {
        if (bindingOf(child) != nullptr && dynamic_cast<host::TTabSheet*>(child) == nullptr) {
            children.push_back(child);
        }
    }
    std::stable_sort(children.begin(), children.end(),
                     [](const host::TControl* a, const host::TControl* b) {
                         const int rankA = alignRank(a->Align);
                         const int rankB = alignRank(b->Align);
                         if (rankA != rankB) {
                             return rankA < rankB;
                         }
                         if (a->Align == host::TAlign::alTop) {
                             return a->Top() < b->Top();
                         }
                         if (a->Align == host::TAlign::alBottom) {
                             return a->Top() > b->Top();
                         }
                         return false;
                     });

    for (host::TControl* child : children) {
        QWidget* widget = bindingOf(child)->widget;
        if (!child->Visible()) {
            widget->hide();
            continue;
        }
        QRect bounds;
        const QSize hint = widget->sizeHint();
        const int width = child->Width() > 0 ? child->Width() : hint.width();
        const int height = child->Height() > 0 ? child->Height() : hint.height();
        switch (child->Align) {
            case host::TAlign::alTop:
                bounds = QRect(free.left(), free.top(), free.width(), height);
                free.setTop(free.top() + height);
                break;
            case host::TAlign::alBottom:
                bounds = QRect(free.left(), free.bottom() - height + 1, free.width(), height);
                free.setBottom(free.bottom() - height);
                break;
            case host::TAlign::alLeft:
                bounds = QRect(free.left(), free.top(), width, free.height());
                free.setLeft(free.left() + width);
                break;
            case host::TAlign::alRight:
                bounds = QRect(free.right() - width + 1, free.top(), width, free.height());
                free.setRight(free.right() - width);
                break;
            case host::TAlign::alClient:
                bounds = free;
                break;
            case host::TAlign::alNone: {
                // Captions never get clipped: labels, check boxes and radio
                // buttons grow to their text as the platform's auto-size does.
                int fitWidth = width;
                int fitHeight = height;
                if (qobject_cast<QLabel*>(widget) != nullptr ||
                    qobject_cast<QCheckBox*>(widget) != nullptr ||
                    qobject_cast<QAbstractButton*>(widget) != nullptr) {
                    if (dynamic_cast<host::TLabel*>(child) != nullptr ||
                        dynamic_cast<host::TCheckBox*>(child) != nullptr ||
                        dynamic_cast<host::TRadioButton*>(child) != nullptr) {
                        fitWidth = std::max(width, hint.width());
                    }
                    fitHeight = std::max(height, std::min(hint.height(), height + 6));
                }
                // Anchors keep the design distances to the container's edges.
                const QSize design = designSize(*container);
                const int grownWidth = area->width() - design.width();
                const int grownHeight = area->height() - design.height();
                int left = child->Left();
                int top = child->Top();
                if ((child->Anchors & host::akRight) != 0) {
                    if ((child->Anchors & host::akLeft) != 0) {
                        fitWidth = std::max(fitWidth + grownWidth, std::min(fitWidth, 40));
                    } else {
                        left = std::max(0, left + grownWidth);
                    }
                }
                if ((child->Anchors & host::akBottom) != 0) {
                    if ((child->Anchors & host::akTop) != 0) {
                        fitHeight = std::max(fitHeight + grownHeight, std::min(fitHeight, 40));
                    } else {
                        top = std::max(0, top + grownHeight);
                    }
                }
                bounds = QRect(left, top, fitWidth, fitHeight);
                // A caption grown past its container's edge moves back inside.
                if (bounds.right() > area->width() - 2 && bounds.width() < area->width() - 4) {
                    bounds.moveRight(area->width() - 3);
                }
                break;
            }
        }
        widget->setGeometry(bounds);
        widget->show();
    }
}

// ---- Widgets to model ----

void FormView::syncFocus() {
    if (!live()) {
        return;
    }
    host::TWinControl* active = m_form.ActiveControl();
    QWidget* widget = active != nullptr ? widgetFor(active) : nullptr;
    if (widget == nullptr) {
        return;
    }
    if (QApplication::focusWidget() != widget) {
        widget->setFocus(Qt::OtherFocusReason);
    }
    // Scrolled below its minimum size, the form shows the focused control.
    if (m_scroll != nullptr && widget->isVisible()) {
        m_scroll->ensureWidgetVisible(widget, 8, 8);
    }
}

bool FormView::hasEnabledShortCut(host::Word key, host::TShiftState shift) const {
    return findEnabledShortCut(m_form.Menu(), key, shift) != nullptr;
}

bool FormView::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr) {
        return false;
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (!live()) {
                return true;
            }
            if (onMousePressed) {
                onMousePressed();
            }
            return handleMousePress(widget, static_cast<QMouseEvent*>(event));
        case QEvent::KeyPress:
            if (!live()) {
                return true;
            }
            return handleKeyPress(widget, static_cast<QKeyEvent*>(event));
        case QEvent::KeyRelease:
            // The press is over: the next press is a new key, even one that
            // comes at the same address with the same time stamp.
            forgetSeenKey();
            return false;
        case QEvent::Resize:
            if (live()) {
                if (host::TControl* control = m_controlOf.value(widget)) {
                    auto* container = dynamic_cast<host::TWinControl*>(control);
                    const Binding* binding = bindingOf(control);
                    if (container != nullptr && binding != nullptr && binding->area == widget) {
                        layoutArea(container);
                    }
                }
            }
            return false;
        default:
            return false;
    }
}

bool FormView::handleMousePress(QWidget* widget, QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return false;
    }
    host::TControl* control = controlAt(widget);
    if (control == nullptr) {
        return false;
    }
    if (auto* bar = qobject_cast<QTabBar*>(widget)) {
        auto* pages = dynamic_cast<host::TPageControl*>(control);
        const int index = bar->tabAt(event->position().toPoint());
        if (pages != nullptr && index >= 0 && index < static_cast<int>(pages->Pages().size())) {
            m_form.UserClick(pages->Pages()[static_cast<std::size_t>(index)]);
            if (m_attached) {
                applyActivePage(*pages);
                syncFocus();
            }
        }
        return true;
    }
    auto* windowed = dynamic_cast<host::TWinControl*>(control);
    if (windowed == nullptr || windowed == &m_form || !windowed->AcceptsFocus()) {
        return false;
    }
    if (m_form.ActiveControl() != windowed) {
        if (!windowed->CanFocus()) {
            return true;
        }
        m_form.UserFocus(windowed);
        if (!m_attached) {
            return true;
        }
        syncFocus();
        if (m_form.ActiveControl() != windowed) {
            // An exit handler refused the move: the click goes nowhere.
            return true;
        }
    }
    if (auto* date = dynamic_cast<host::TDateEditPlus*>(control);
        date != nullptr && date->Text().empty()) {
        // An empty date is typed from its first digit, wherever the click was.
        if (auto* line = qobject_cast<QLineEdit*>(widgetFor(date))) {
            line->setCursorPosition(0);
        }
        return true;
    }
    if (auto* grid = dynamic_cast<host::TDBGrid*>(control)) {
        QTableView* view = gridView(grid);
        if (view != nullptr && widget == view->viewport()) {
            const QModelIndex index = view->indexAt(event->position().toPoint());
            if (index.isValid()) {
                host::Application().Dispatch(
                    [grid, index] { grid->ClickCell(index.row() + 1, index.column()); });
            }
            return true;
        }
    }
    return false;
}

bool FormView::handleKeyPress(QWidget* widget, QKeyEvent* event) {
    // A key a widget ignored travels up to its parents as the same event:
    // the model hears it at its first stop only, whatever happened meanwhile
    // (a dialog run by the key may have moved Qt's focus anywhere).
    if (isKeySeen(*event)) {
        return true;
    }
    QWidget* focus = QApplication::focusWidget();
    if (focus != nullptr && focus != widget) {
        return false;
    }
    markKeySeen(*event);
    const ModelKey key = toModelKey(event->key(), event->modifiers());
    if (key.key == 0) {
        return false;
    }
    host::TControl* control = controlAt(widget);
    auto* target = dynamic_cast<host::TWinControl*>(control);
    if (target == &m_form) {
        target = nullptr;
    }
    if (Trace::enabled()) {
        Trace::write(QStringLiteral("key ") + Trace::describe(widget) + QLatin1Char(' ') +
                     Trace::keyText(*event));
    }
    host::TWinControl* before = m_form.ActiveControl();
    const bool shortCut = hasEnabledShortCut(key.key, key.shift);
    m_form.UserKey(target, key.key, key.shift);
    if (!m_attached) {
        return true;
    }
    syncFocus();
    if (shortCut || m_form.ActiveControl() != before) {
        return true;
    }
    switch (key.key) {
        case host::VK_TAB:
        case host::VK_ESCAPE:
            return true;
        case host::VK_RETURN:
            return dynamic_cast<host::TMemo*>(target) == nullptr;
        case host::VK_SPACE:
            return dynamic_cast<host::TCheckBox*>(target) != nullptr;
        default:
            break;
    }
    if (auto* grid = dynamic_cast<host::TDBGrid*>(target);
        grid != nullptr && isGridNavigationKey(key.key)) {
        // The form moves the record for Up and Down; the longer jumps are the
        // grid's own.
        QTableView* view = gridView(grid);
        const int page =
            view != nullptr
                ? std::max(1, view->viewport()->height() /
                                  std::max(1, view->verticalHeader()->defaultSectionSize()))
                : 10;
        const host::Word pressed = key.key;
        host::Application().Dispatch([grid, pressed, page] {
            host::TClientDataSet* rows =
                grid->DataSource() != nullptr ? grid->DataSource()->DataSet : nullptr;
            if (rows == nullptr || !rows->Active() || rows->IsEmpty()) {
                return;
            }
            if (pressed == host::VK_HOME) {
                rows->First();
            } else if (pressed == host::VK_END) {
                rows->Last();
            } else if (pressed == host::VK_PRIOR) {
                rows->SetRecNo(std::max(1, rows->RecNo() - page));
            } else if (pressed == host::VK_NEXT) {
                rows->SetRecNo(std::min(rows->RecordCount(), rows->RecNo() + page));
            }
        });
        return true;
    }
    return false;
}

}  // namespace desktop
