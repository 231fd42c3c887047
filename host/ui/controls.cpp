#include "host/ui/controls.h"

#include <algorithm>
#include <cctype>

#include "host/ui/form.h"

namespace host {

namespace {

// Case conversion of UTF-8 text: ASCII and the Latin-1 letters Portuguese
// needs (two-byte sequences starting 0xC3).
std::string convertCase(const std::string& text, TEditCharCase charCase) {
    if (charCase == TEditCharCase::ecNormal) {
        return text;
    }
    const bool upper = charCase == TEditCharCase::ecUpperCase;
    std::string result = text;
    for (std::size_t i = 0; i < result.size(); ++i) {
        const auto byte = static_cast<unsigned char>(result[i]);
        if (byte < 0x80) {
            result[i] = static_cast<char>(upper ? std::toupper(byte) : std::tolower(byte));
        } else if (byte == 0xC3 && i + 1 < result.size()) {
            const auto next = static_cast<unsigned char>(result[i + 1]);
            if (upper && next >= 0xA0 && next <= 0xBE && next != 0xB7) {
                result[i + 1] = static_cast<char>(next - 0x20);
            } else if (!upper && next >= 0x80 && next <= 0x9E && next != 0x97) {
                result[i + 1] = static_cast<char>(next + 0x20);
            }
            ++i;
        }
    }
    return result;
}

// The first `count` characters (code points) of UTF-8 text.
std::string firstCharacters(const std::string& text, int count) {
    int seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) != 0x80) {
            if (seen == count) {
                return text.substr(0, i);
            }
            ++seen;
        }
    }
    return text;
}

}  // namespace

// ---- TControl ----

TControl::TControl(std::string name, TWinControl* parent)
    : TComponent(std::move(name)), m_parent(parent) {
    if (m_parent != nullptr) {
        m_parent->AddChild(this);
    }
}

TControl::~TControl() {
    if (TForm* form = Form(); form != nullptr) {
        form->controlDestroyed(this);
    }
    if (m_parent != nullptr) {
        m_parent->RemoveChild(this);
    }
}

TForm* TControl::Form() const {
    for (const TControl* control = this; control != nullptr; control = control->Parent()) {
        if (const auto* form = dynamic_cast<const TForm*>(control)) {
            return const_cast<TForm*>(form);
        }
    }
    return nullptr;
}

void TControl::SetEnabled(bool value) {
    if (m_enabled != value) {
        m_enabled = value;
        Changed(TProp::Enabled);
    }
}

void TControl::SetVisible(bool value) {
    if (m_visible != value) {
        m_visible = value;
        Changed(TProp::Visible);
    }
}

void TControl::SetCaption(const std::string& value) {
    if (m_caption != value) {
        m_caption = value;
        Changed(TProp::Caption);
    }
}

void TControl::SetHint(const std::string& value) {
    if (m_hint != value) {
        m_hint = value;
        Changed(TProp::Hint);
    }
}

void TControl::SetColor(TColor value) {
    if (m_color != value) {
        m_color = value;
        Changed(TProp::Color);
    }
}

void TControl::SetBold(bool value) {
    if (m_bold != value) {
        m_bold = value;
        Changed(TProp::Font);
    }
}

void TControl::SetBounds(int left, int top, int width, int height) {
    if (m_left != left || m_top != top || m_width != width || m_height != height) {
        m_left = left;
        m_top = top;
        m_width = width;
        m_height = height;
        Changed(TProp::Bounds);
    }
}

bool TControl::EnabledAndVisibleChain() const {
    for (const TControl* control = this; control != nullptr; control = control->Parent()) {
        if (!control->Enabled() || !control->Visible()) {
            return false;
        }
    }
    return true;
}

bool TControl::Focused() const {
    const TForm* form = Form();
    return form != nullptr && form->ActiveControl() == this;
}

void TControl::SetFocus() {
    TForm* form = Form();
    auto* self = dynamic_cast<TWinControl*>(this);
    if (form == nullptr || self == nullptr) {
        throw EInvalidOperation("Cannot focus a disabled or invisible window");
    }
    // A handler asking for the focus of a control that cannot take it (a
    // disabled page in front, say) goes on without it: the form's refusal
    // would end the operator's command with a text meant for programmers.
    if (self != form->ActiveControl() && !self->CanTakeFocus()) {
        return;
    }
    form->FocusControl(self);
}

bool TControl::ClickEnabled() const {
    if (!Enabled() || !Visible()) {
        return false;
    }
    for (const TControl* parent = Parent(); parent != nullptr; parent = parent->Parent()) {
        if (!parent->Enabled()) {
            return false;
        }
    }
    return true;
}

void TControl::Click() {
    if (ClickEnabled() && OnClick) {
        OnClick(this);
    }
}

int TControl::AddObserver(std::function<void(TControl&, TProp)> observer) {
    const int token = m_nextToken++;
    m_observers.emplace_back(token, std::move(observer));
    return token;
}

void TControl::RemoveObserver(int token) {
    std::erase_if(m_observers, [token](const auto& entry) { return entry.first == token; });
}

void TControl::Changed(TProp what) {
    // Observers may remove themselves while they are told.
    const auto observers = m_observers;
    for (const auto& [token, observer] : observers) {
        observer(*this, what);
    }
}

// ---- TWinControl ----

TWinControl::~TWinControl() {
    for (TControl* child : m_children) {
        child->m_parent = nullptr;
    }
}

bool TWinControl::CanFocus() const {
    return AcceptsFocus() && EnabledAndVisibleChain() && OnActivePages();
}

bool TWinControl::CanTakeFocus() const {
    if (!AcceptsFocus() || !EnabledAndVisibleChain()) {
        return false;
    }
    for (const TControl* parent = Parent(); parent != nullptr; parent = parent->Parent()) {
        const auto* sheet = dynamic_cast<const TTabSheet*>(parent);
        if (sheet != nullptr && sheet->PageControl() == nullptr) {
            return false;
        }
    }
    return true;
}

bool TWinControl::OnActivePages() const {
    for (const TControl* parent = Parent(); parent != nullptr; parent = parent->Parent()) {
        if (const auto* sheet = dynamic_cast<const TTabSheet*>(parent)) {
            if (sheet->PageControl() == nullptr || sheet->PageControl()->ActivePage() != sheet) {
                return false;
            }
        }
    }
    return true;
}

void TWinControl::RemoveChild(TControl* child) {
    std::erase(m_children, child);
}

bool TWinControl::Contains(const TControl* control) const {
    for (; control != nullptr; control = control->Parent()) {
        if (control == this) {
            return true;
        }
    }
    return false;
}

std::vector<TWinControl*> TWinControl::TabOrderedChildren() const {
    std::vector<TWinControl*> windowed;
    for (TControl* child : m_children) {
        if (auto* control = dynamic_cast<TWinControl*>(child)) {
            windowed.push_back(control);
        }
    }
    std::stable_sort(
        windowed.begin(), windowed.end(),
        [](const TWinControl* a, const TWinControl* b) { return a->TabOrder < b->TabOrder; });
    return windowed;
}

// ---- Edits ----

void TCustomEdit::SetText(const std::string& value) {
    if (m_text == value) {
        return;
    }
    m_text = value;
    Changed(TProp::Text);
    if (OnChange) {
        OnChange(this);
    }
}

void TCustomEdit::SetReadOnly(bool value) {
    if (m_readOnly != value) {
        m_readOnly = value;
        Changed(TProp::ReadOnly);
    }
}

void TCustomEdit::TypeText(const std::string& value) {
    if (m_readOnly) {
        return;
    }
    std::string text = convertCase(value, CharCase);
    if (MaxLength > 0) {
        text = firstCharacters(text, MaxLength);
    }
    SetText(text);
}

// ---- Check box and radio button ----

void TCheckBox::SetChecked(bool value) {
    if (m_checked == value) {
        return;
    }
    m_checked = value;
    Changed(TProp::Checked);
    if (OnClick) {
        OnClick(this);
    }
}

void TCheckBox::Click() {
    if (ClickEnabled()) {
        SetChecked(!m_checked);
    }
}

void TRadioButton::SetChecked(bool value) {
    if (m_checked == value) {
        return;
    }
    m_checked = value;
    Changed(TProp::Checked);
    if (!value) {
        return;
    }
    if (Parent() != nullptr) {
        for (TControl* sibling : Parent()->Controls()) {
            auto* radio = dynamic_cast<TRadioButton*>(sibling);
            if (radio != nullptr && radio != this && radio->m_checked) {
                radio->m_checked = false;
                radio->Changed(TProp::Checked);
            }
        }
    }
    if (OnClick) {
        OnClick(this);
    }
}

void TRadioButton::Click() {
    if (ClickEnabled()) {
        SetChecked(true);
    }
}

// ---- Pages ----

TTabSheet::TTabSheet(std::string name, TPageControl* pageControl)
    : TWinControl(std::move(name), pageControl), m_pageControl(pageControl) {
    if (m_pageControl != nullptr) {
        m_pageControl->AddPage(this);
    }
}

TTabSheet::~TTabSheet() {
    if (m_pageControl != nullptr) {
        m_pageControl->forgetPage(this);
    }
}

TPageControl::~TPageControl() {
    for (TTabSheet* page : m_pages) {
        page->m_pageControl = nullptr;
    }
}

void TPageControl::AddPage(TTabSheet* page) {
    m_pages.push_back(page);
    if (m_active == nullptr) {
        m_active = page;
        Changed(TProp::ActivePage);
    }
}

void TPageControl::RemovePage(TTabSheet* page) {
    std::erase(m_pages, page);
    if (m_active == page) {
        m_active = m_pages.empty() ? nullptr : m_pages.front();
        Changed(TProp::ActivePage);
    }
}

void TPageControl::forgetPage(TTabSheet* page) {
    std::erase(m_pages, page);
    if (m_active == page) {
        m_active = m_pages.empty() ? nullptr : m_pages.front();
    }
}

int TPageControl::ActivePageIndex() const {
    const auto found = std::find(m_pages.begin(), m_pages.end(), m_active);
    return found == m_pages.end() ? -1 : static_cast<int>(found - m_pages.begin());
}

void TPageControl::SetActivePage(TTabSheet* page) {
    if (page == m_active) {
        return;
    }
    if (page != nullptr &&
        (std::find(m_pages.begin(), m_pages.end(), page) == m_pages.end() || !page->Enabled())) {
        return;
    }
    m_active = page;
    Changed(TProp::ActivePage);
}

void TPageControl::ClickTab(TTabSheet* page) {
    if (page == nullptr || page == m_active ||
        std::find(m_pages.begin(), m_pages.end(), page) == m_pages.end()) {
        return;
    }
    if (!EnabledAndVisibleChain() || !page->Enabled() || !page->TabVisible) {
        return;
    }
    m_active = page;
    Changed(TProp::ActivePage);
    if (OnChange) {
        OnChange(this);
    }
}

// ---- Menu items ----

TMenuItem::TMenuItem(std::string name, TMenuItem* parent)
    : TComponent(std::move(name)), m_parent(parent) {
    if (m_parent != nullptr) {
        m_parent->AddItem(this);
    }
}

TMenuItem::~TMenuItem() {
    for (TMenuItem* item : m_items) {
        item->m_parent = nullptr;
    }
    if (m_parent != nullptr) {
        std::erase(m_parent->m_items, this);
    }
}

void TMenuItem::SetCaption(const std::string& value) {
    if (m_caption != value) {
        m_caption = value;
        changed();
    }
}

void TMenuItem::SetEnabled(bool value) {
    if (m_enabled != value) {
        m_enabled = value;
        changed();
    }
}

void TMenuItem::SetChecked(bool value) {
    if (m_checked != value) {
        m_checked = value;
        changed();
    }
}

void TMenuItem::SetVisible(bool value) {
    if (m_visible != value) {
        m_visible = value;
        changed();
    }
}

void TMenuItem::SetShortCut(const std::string& text) {
    Word key = 0;
    TShiftState shift = 0;
    if (!text.empty() && !ParseShortCut(text, key, shift)) {
        throw EInvalidOperation("Invalid shortcut \"" + text + "\" for menu item " + Name());
    }
    ShortCutKey = key;
    ShortCutShift = shift;
    changed();
}

std::string TMenuItem::ShortCutText() const {
    return ShortCutKey == 0 ? std::string() : ShortCutToText(ShortCutKey, ShortCutShift);
}

bool TMenuItem::ClickEnabled() const {
    if (!m_enabled || !m_visible) {
        return false;
    }
    for (const TMenuItem* parent = m_parent; parent != nullptr; parent = parent->m_parent) {
        if (!parent->m_enabled) {
            return false;
        }
    }
    return true;
}

void TMenuItem::Click() {
    if (ClickEnabled() && OnClick) {
        OnClick(this);
    }
}

int TMenuItem::AddObserver(std::function<void(TMenuItem&)> observer) {
    const int token = m_nextToken++;
    m_observers.emplace_back(token, std::move(observer));
    return token;
}

void TMenuItem::RemoveObserver(int token) {
    std::erase_if(m_observers, [token](const auto& entry) { return entry.first == token; });
}

void TMenuItem::changed() {
    const auto observers = m_observers;
    for (const auto& [token, observer] : observers) {
        observer(*this);
    }
}

}  // namespace host
