#include "host/ui/form.h"

#include <algorithm>

namespace host {

namespace {

constexpr const char* kCannotFocus = "Cannot focus a disabled or invisible window";

void collectTabOrder(const TWinControl& container, std::vector<TWinControl*>& list) {
    for (TWinControl* child : container.TabOrderedChildren()) {
        list.push_back(child);
        collectTabOrder(*child, list);
    }
}

TMenuItem* findShortCut(TMenuItem* item, Word key, TShiftState shift) {
    if (item == nullptr) {
        return nullptr;
    }
    if (item->ShortCutKey == key && item->ShortCutShift == shift && item->ClickEnabled()) {
        return item;
    }
    for (TMenuItem* child : item->Items()) {
        if (TMenuItem* found = findShortCut(child, key, shift)) {
            return found;
        }
    }
    return nullptr;
}

// Brings forward every page around the control; false when a page control
// refused one.
bool bringPagesForward(TWinControl& control) {
    for (TWinControl* parent = control.Parent(); parent != nullptr; parent = parent->Parent()) {
        if (auto* sheet = dynamic_cast<TTabSheet*>(parent)) {
            if (sheet->PageControl() == nullptr) {
                return false;
            }
            sheet->PageControl()->SetActivePage(sheet);
        }
    }
    return control.OnActivePages();
}

// The form's cancel button (Esc) or default button (Enter), if it has one.
TButton* findDialogButton(const TForm& form, bool cancel) {
    for (const auto& component : form.Components()) {
        auto* button = dynamic_cast<TButton*>(component.get());
        if (button != nullptr && (cancel ? button->Cancel : button->Default) &&
            button->ClickEnabled()) {
            return button;
        }
    }
    return nullptr;
}

bool mayTakeFocus(const TWinControl& control) {
    if (!control.AcceptsFocus() || !control.EnabledAndVisibleChain()) {
        return false;
    }
    for (const TWinControl* parent = control.Parent(); parent != nullptr;
         parent = parent->Parent()) {
        const auto* sheet = dynamic_cast<const TTabSheet*>(parent);
        if (sheet != nullptr && sheet->PageControl() == nullptr) {
            return false;
        }
    }
    return true;
}

}  // namespace

TForm::TForm(std::string name) : TWinControl(std::move(name), nullptr) {
    m_menu = Make<TMenuItem>("mnuPrincipal", nullptr);
}

TForm::~TForm() {
    m_activeControl = nullptr;
    for (const auto& component : m_components) {
        if (auto* control = dynamic_cast<TControl*>(component.get())) {
            control->DetachData();
        }
    }
    // Newest first, so children go before the containers and menus that hold them.
    while (!m_components.empty()) {
        std::unique_ptr<TComponent> last = std::move(m_components.back());
        m_components.pop_back();
        last.reset();
    }
    m_dataSources.clear();
    while (!m_dataSets.empty()) {
        m_dataSets.pop_back();
    }
}

void TForm::Register(std::unique_ptr<TComponent> component) {
    if (!component->Name().empty() && FindComponent(component->Name()) != nullptr) {
        throw EInvalidOperation("A component named " + component->Name() + " already exists");
    }
    m_components.push_back(std::move(component));
}

TComponent* TForm::FindComponent(const std::string& name) const {
    for (const auto& component : m_components) {
        if (component->Name() == name) {
            return component.get();
        }
    }
    return nullptr;
}

TClientDataSet* TForm::MakeDataSet(const std::string& name) {
    if (!name.empty() && FindDataSet(name) != nullptr) {
        throw EInvalidOperation("A data set named " + name + " already exists");
    }
    m_dataSets.push_back(std::make_unique<TClientDataSet>(name));
    return m_dataSets.back().get();
}

TDataSource* TForm::MakeDataSource(const std::string& name, TClientDataSet* dataSet) {
    if (!name.empty() && FindDataSource(name) != nullptr) {
        throw EInvalidOperation("A data source named " + name + " already exists");
    }
    m_dataSources.push_back(std::make_unique<TDataSource>(name, dataSet));
    return m_dataSources.back().get();
}

TClientDataSet* TForm::FindDataSet(const std::string& name) const {
    for (const auto& dataSet : m_dataSets) {
        if (dataSet->Name() == name) {
            return dataSet.get();
        }
    }
    return nullptr;
}

TDataSource* TForm::FindDataSource(const std::string& name) const {
    for (const auto& source : m_dataSources) {
        if (source->Name() == name) {
            return source.get();
        }
    }
    return nullptr;
}

// ---- Focus ----

void TForm::controlDestroyed(TControl* control) {
    if (m_activeControl == control) {
        m_activeControl = nullptr;
    }
}

void TForm::setActiveControl(TWinControl* control) {
    TWinControl* previous = m_activeControl;
    m_activeControl = control;
    if (previous != nullptr) {
        previous->Changed(TProp::Focus);
    }
    if (control != nullptr) {
        control->Changed(TProp::Focus);
    }
}

void TForm::FocusControl(TWinControl* control) {
    if (control != nullptr && control == m_activeControl) {
        // Already there: nothing runs, even if it has been disabled meanwhile;
        // only a page left behind comes forward again.
        bringPagesForward(*control);
        return;
    }
    if (control == nullptr || control->Form() != this || !mayTakeFocus(*control)) {
        throw EInvalidOperation(kCannotFocus);
    }
    TWinControl* from = m_activeControl;
    if (from != nullptr) {
        // A move started by an exit handler joins the exits already running:
        // no exit runs twice, and the move that started them gives way.
        const bool outermost = m_exitsStarted == nullptr;
        std::vector<TWinControl*> started;
        if (outermost) {
            m_exitsStarted = &started;
        }
        try {
            auto runExit = [this, from](TWinControl* leaving) {
                auto& done = *m_exitsStarted;
                if (std::find(done.begin(), done.end(), leaving) == done.end()) {
                    done.push_back(leaving);
                    if (leaving->OnExit) {
                        leaving->OnExit(leaving);
                    }
                }
                return m_activeControl == from;
            };
            bool stillThere = runExit(from);
            for (TWinControl* container = from->Parent();
                 stillThere && container != nullptr && container != this &&
                 !container->Contains(control);
                 container = container->Parent()) {
                stillThere = runExit(container);
            }
        } catch (...) {
            if (outermost) {
                m_exitsStarted = nullptr;
            }
            throw;
        }
        if (outermost) {
            m_exitsStarted = nullptr;
        }
        if (m_activeControl != from) {
            return;
        }
    }
    if (!mayTakeFocus(*control) || !bringPagesForward(*control)) {
        throw EInvalidOperation(kCannotFocus);
    }
    setActiveControl(control);
    runEnters(from, control);
}

void TForm::runEnters(TWinControl* from, TWinControl* to) {
    std::vector<TWinControl*> entered;
    for (TWinControl* container = to->Parent(); container != nullptr && container != this;
         container = container->Parent()) {
        if (from != nullptr && container->Contains(from)) {
            break;
        }
        entered.push_back(container);
    }
    for (auto it = entered.rbegin(); it != entered.rend(); ++it) {
        if (m_activeControl != to) {
            return;  // an enter handler moved the focus on
        }
        if ((*it)->OnEnter) {
            (*it)->OnEnter(*it);
        }
    }
    if (m_activeControl == to && to->OnEnter) {
        to->OnEnter(to);
    }
}

TWinControl* TForm::FindNextControl(TWinControl* from, bool goForward, bool checkTabStop,
                                    bool checkParent) const {
    std::vector<TWinControl*> list;
    collectTabOrder(*this, list);
    if (list.empty()) {
        return nullptr;
    }
    const int count = static_cast<int>(list.size());
    const auto found = std::find(list.begin(), list.end(), from);
    int start =
        found != list.end() ? static_cast<int>(found - list.begin()) : (goForward ? count - 1 : 0);
    int index = start;
    do {
        index = goForward ? (index + 1) % count : (index + count - 1) % count;
        TWinControl* candidate = list[static_cast<std::size_t>(index)];
        if (candidate->CanFocus() && (!checkTabStop || candidate->TabStop) &&
            (!checkParent || candidate->Parent() == this)) {
            return candidate;
        }
    } while (index != start);
    return nullptr;
}

void TForm::SelectNext(TWinControl* from, bool goForward, bool checkTabStop) {
    if (TWinControl* next = FindNextControl(from, goForward, checkTabStop, false)) {
        FocusControl(next);
    }
}

void TForm::SelectFirst() {
    if (TWinControl* first = FindNextControl(nullptr, true, true, false)) {
        FocusControl(first);
    }
}

// ---- Keys ----

void TForm::KeyDown(TWinControl* target, Word key, TShiftState shift) {
    TWinControl* control = target != nullptr ? target : m_activeControl;
    if (key == 0) {
        return;
    }
    if (TMenuItem* item = findShortCut(m_menu, key, shift)) {
        item->Click();
        return;
    }
    if (KeyPreview && OnKeyDown) {
        OnKeyDown(this, key, shift);
        if (key == 0) {
            return;
        }
    }
    if (control != nullptr && control->OnKeyDown) {
        control->OnKeyDown(control, key, shift);
        if (key == 0) {
            return;
        }
    }
    if (key == VK_TAB && (shift & ssCtrl) == 0) {
        SelectNext(control, (shift & ssShift) == 0, true);
        return;
    }
    if (shift == 0 && (key == VK_ESCAPE || key == VK_RETURN)) {
        const bool onButtonOrMemo =
            dynamic_cast<TButton*>(control) != nullptr || dynamic_cast<TMemo*>(control) != nullptr;
        if (key == VK_ESCAPE || !onButtonOrMemo) {
            if (TButton* button = findDialogButton(*this, key == VK_ESCAPE)) {
                button->Click();
                return;
            }
        }
    }
    if (auto* grid = dynamic_cast<TDBGrid*>(control)) {
        TClientDataSet* rows =
            grid->DataSource() != nullptr ? grid->DataSource()->DataSet : nullptr;
        if (rows != nullptr && rows->Active() && (shift & (ssCtrl | ssAlt)) == 0) {
            if (key == VK_UP) {
                rows->Prior();
            } else if (key == VK_DOWN) {
                rows->Next();
            }
        }
        return;
    }
    if (key == VK_SPACE && dynamic_cast<TCheckBox*>(control) != nullptr) {
        control->Click();
        return;
    }
    if (key == VK_RETURN && dynamic_cast<TButton*>(control) != nullptr) {
        control->Click();
    }
}

// ---- Window ----

void TForm::SetModalResult(int value) {
    m_modalResult = value;
    Changed(TProp::ModalResult);
}

void TForm::Activate() {
    if (OnActivate) {
        OnActivate(this);
    }
}

void TForm::Show() {
    if (!m_showing) {
        m_showing = true;
        Changed(TProp::Visible);
        if (OnShow) {
            OnShow(this);
        }
    }
    Application().Platform().ShowForm(*this);
    Activate();
}

void TForm::Hide() {
    if (!m_showing) {
        return;
    }
    m_showing = false;
    Changed(TProp::Visible);
    if (Application().HasPlatform()) {
        Application().Platform().FormClosed(*this);
    }
}

int TForm::ShowModal() {
    if (m_modal) {
        throw EInvalidOperation("Cannot make a visible window modal");
    }
    UiPlatform& platform = Application().Platform();
    SetModalResult(mrNone);
    m_modal = true;
    m_showing = true;
    Changed(TProp::Visible);
    try {
        if (OnShow) {
            OnShow(this);
        }
        Activate();
        for (;;) {
            platform.RunModal(*this);
            if (!m_showing) {
                break;
            }
            TCloseAction action = TCloseAction::caHide;
            if (OnClose) {
                OnClose(this, action);
            }
            // A refused close keeps the dialog running, unless the platform
            // came back without an answer: then nothing would ever end it.
            if (action == TCloseAction::caNone && m_modalResult != mrNone) {
                SetModalResult(mrNone);
                continue;
            }
            m_modal = false;
            applyCloseAction(action == TCloseAction::caFree ? TCloseAction::caFree
                                                            : TCloseAction::caHide);
            break;
        }
    } catch (...) {
        m_modal = false;
        Hide();
        throw;
    }
    m_modal = false;
    return m_modalResult;
}

void TForm::Close() {
    if (m_modal) {
        SetModalResult(mrCancel);
        return;
    }
    if (m_closing) {
        return;
    }
    m_closing = true;
    try {
        TCloseAction action = TCloseAction::caHide;
        if (OnClose) {
            OnClose(this, action);
        }
        applyCloseAction(action);
    } catch (...) {
        m_closing = false;
        throw;
    }
    m_closing = false;
}

bool TForm::applyCloseAction(TCloseAction action) {
    switch (action) {
        case TCloseAction::caNone:
            return false;
        case TCloseAction::caMinimize:
            WindowState = TWindowState::wsMinimized;
            Changed(TProp::Other);
            return true;
        case TCloseAction::caHide:
            Hide();
            return true;
        case TCloseAction::caFree:
            Hide();
            Application().Release(this);
            return true;
    }
    return false;
}

void TForm::runCreate() {
    if (OnCreate) {
        OnCreate(this);
    }
}

// ---- Operator actions ----

bool TForm::UserFocus(TWinControl* control) {
    return Application().Dispatch([this, control] { FocusControl(control); });
}

bool TForm::UserType(TCustomEdit* edit, const std::string& text) {
    return Application().Dispatch([this, edit, &text] {
        FocusControl(edit);
        if (m_activeControl != edit) {
            throw EAbort();
        }
        edit->TypeText(text);
    });
}

bool TForm::UserClick(TControl* control) {
    return Application().Dispatch([this, control] {
        if (control == nullptr) {
            return;
        }
        if (auto* sheet = dynamic_cast<TTabSheet*>(control)) {
            if (sheet->PageControl() != nullptr) {
                sheet->PageControl()->ClickTab(sheet);
            }
            return;
        }
        if (auto* windowed = dynamic_cast<TWinControl*>(control);
            windowed != nullptr && windowed->AcceptsFocus()) {
            // A control the operator cannot reach does not react to a click.
            if (!windowed->CanFocus()) {
                return;
            }
            FocusControl(windowed);
            if (m_activeControl != windowed) {
                return;
            }
        }
        control->Click();
    });
}

bool TForm::UserClickMenu(TMenuItem* item) {
    return Application().Dispatch([item] {
        if (item != nullptr) {
            item->Click();
        }
    });
}

bool TForm::UserKey(TWinControl* target, Word key, TShiftState shift) {
    return Application().Dispatch([this, target, key, shift] { KeyDown(target, key, shift); });
}

bool TForm::UserSelectRow(TDBGrid* grid, int row) {
    return Application().Dispatch([this, grid, row] {
        FocusControl(grid);
        if (m_activeControl != grid) {
            throw EAbort();
        }
        TClientDataSet* rows =
            grid->DataSource() != nullptr ? grid->DataSource()->DataSet : nullptr;
        if (rows != nullptr && rows->Active()) {
            rows->SetRecNo(row);
        }
    });
}

}  // namespace host
