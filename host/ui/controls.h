#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/data/client_data_set.h"
#include "host/data/exceptions.h"
#include "host/ui/types.h"

namespace host {

class TForm;
class TWinControl;

// Properties a view may need to refresh when they change.
enum class TProp {
    Text,
    Caption,
    Enabled,
    Visible,
    Checked,
    Bounds,
    Color,
    Font,
    ReadOnly,
    Hint,
    ActivePage,
    Data,  // rows or current record of a data-aware control
    Focus,
    ModalResult,
    Other
};

// Anything a form owns by name: controls, menu items, data sets, queries.
class TComponent : public TObject {
public:
    explicit TComponent(std::string name) : m_name(std::move(name)) {}
    const std::string& Name() const { return m_name; }
    virtual const char* ClassName() const { return "TComponent"; }
    int Tag = 0;

private:
    std::string m_name;
};

// A visible element of a form. Property setters notify observers (the view).
class TControl : public TComponent {
public:
    TControl(std::string name, TWinControl* parent);
    ~TControl() override;
    const char* ClassName() const override { return "TControl"; }

    TWinControl* Parent() const { return m_parent; }
    TForm* Form() const;

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool value);
    bool Visible() const { return m_visible; }
    void SetVisible(bool value);
    const std::string& Caption() const { return m_caption; }
    void SetCaption(const std::string& value);
    const std::string& Hint() const { return m_hint; }
    void SetHint(const std::string& value);
    TColor Color() const { return m_color; }
    void SetColor(TColor value);
    bool Bold() const { return m_bold; }
    void SetBold(bool value);

    int Left() const { return m_left; }
    int Top() const { return m_top; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    void SetBounds(int left, int top, int width, int height);
    TAlign Align = TAlign::alNone;
    TAnchors Anchors = akLeft | akTop;
    // Below this size (0: the design size) a form scrolls instead of
    // squeezing its controls.
    int MinWidth = 0;
    int MinHeight = 0;

    // Focus: only windowed controls take it (see TWinControl).
    virtual bool IsWindowed() const { return false; }
    bool EnabledAndVisibleChain() const;  // this control and all its parents
    virtual bool CanFocus() const { return false; }
    bool Focused() const;
    void SetFocus();  // raises EInvalidOperation when the control cannot take the focus

    // Runs OnClick when the control is enabled and visible and every parent is
    // enabled; a program pressing a disabled control does nothing. Exceptions
    // from the handler reach the caller.
    virtual void Click();
    bool ClickEnabled() const;

    // Stops observing any data set; the form calls it before it destroys its
    // components, whatever their order.
    virtual void DetachData() {}

    TNotifyEvent OnClick;

    int AddObserver(std::function<void(TControl&, TProp)> observer);
    void RemoveObserver(int token);
    void Changed(TProp what);

private:
    friend class TWinControl;
    TWinControl* m_parent;
    bool m_enabled = true;
    bool m_visible = true;
    bool m_bold = false;
    std::string m_caption;
    std::string m_hint;
    TColor m_color = TColor::clDefault;
    int m_left = 0, m_top = 0, m_width = 0, m_height = 0;
    std::vector<std::pair<int, std::function<void(TControl&, TProp)>>> m_observers;
    int m_nextToken = 1;
};

// A control that can hold the focus and contain other controls.
class TWinControl : public TControl {
public:
    using TControl::TControl;
    ~TWinControl() override;  // children it still holds lose their parent
    const char* ClassName() const override { return "TWinControl"; }
    bool IsWindowed() const override { return true; }
    // Focusable kind, enabled and visible with all parents, and every tab
    // sheet around it is the page in front.
    bool CanFocus() const override;
    // Whether this kind of control ever takes the focus (containers do not).
    virtual bool AcceptsFocus() const { return true; }
    // Every tab sheet that contains this control is its page control's active page.
    bool OnActivePages() const;

    const std::vector<TControl*>& Controls() const { return m_children; }
    void AddChild(TControl* child) { m_children.push_back(child); }
    void RemoveChild(TControl* child);
    bool Contains(const TControl* control) const;  // self or a descendant

    int TabOrder = 0;
    bool TabStop = true;

    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TKeyEvent OnKeyDown;

    // Windowed children in tab order.
    std::vector<TWinControl*> TabOrderedChildren() const;

private:
    std::vector<TControl*> m_children;
};

// Containers: hold controls, never take the focus themselves.
class TPanel : public TWinControl {
public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TPanel"; }
    bool AcceptsFocus() const override { return false; }
};

class TGroupBox : public TWinControl {
public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TGroupBox"; }
    bool AcceptsFocus() const override { return false; }
};

class TScrollBox : public TWinControl {
public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TScrollBox"; }
    bool AcceptsFocus() const override { return false; }
};

class TLabel : public TControl {
public:
    using TControl::TControl;
    const char* ClassName() const override { return "TLabel"; }
    TWinControl* FocusControl = nullptr;
};

// Single-line text entry. SetText fires OnChange when the text changes.
class TCustomEdit : public TWinControl {
public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TCustomEdit"; }

    const std::string& Text() const { return m_text; }
    void SetText(const std::string& value);
    void Clear() { SetText(""); }
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool value);

    int MaxLength = 0;  // 0: unlimited; typed text is cut to it
    TEditCharCase CharCase = TEditCharCase::ecNormal;

    // Text as the operator types it: case conversion and MaxLength (in
    // characters) applied; a read-only edit ignores typing.
    void TypeText(const std::string& value);

    TNotifyEvent OnChange;

private:
    std::string m_text;
    bool m_readOnly = false;
};

class TEdit : public TCustomEdit {
public:
    using TCustomEdit::TCustomEdit;
    const char* ClassName() const override { return "TEdit"; }
};

class TMaskEdit : public TCustomEdit {
public:
    using TCustomEdit::TCustomEdit;
    const char* ClassName() const override { return "TMaskEdit"; }
    std::string EditMask;
};

class TMemo : public TCustomEdit {
public:
    using TCustomEdit::TCustomEdit;
    const char* ClassName() const override { return "TMemo"; }
};

// Date entry whose text is dd/mm/yyyy; a zero date shows as an empty field.
class TDateEditPlus : public TCustomEdit {
public:
    using TCustomEdit::TCustomEdit;
    const char* ClassName() const override { return "TDateEditPlus"; }

    TDateTime GetDate() const;  // 0 when the text holds no valid date
    void SetDate(TDateTime value);
    // Shows an error and aborts when the text is neither empty nor a valid date.
    void CheckValidDate();

    TColor ValidDateColor = TColor::clBlue;
    std::vector<std::string> NomeSemana;
    bool SaveTime = false;
};

class TCheckBox : public TWinControl {
public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TCheckBox"; }
    bool Checked() const { return m_checked; }
    // A change of state runs OnClick, as the platform does.
    void SetChecked(bool value);
    void Click() override;  // toggles, then OnClick

private:
    bool m_checked = false;
};

// Selecting one radio button clears the others of the same parent and runs
// its OnClick, as the platform does. Setting an unchecked button true is a
// selection; setting it false or setting it again runs nothing.
class TRadioButton : public TWinControl {
public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TRadioButton"; }
    bool Checked() const { return m_checked; }
    void SetChecked(bool value);
    void Click() override;  // selects (OnClick when it was not selected)

private:
    bool m_checked = false;
};

class TButton : public TWinControl {
public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TButton"; }
    // Enter anywhere on the form (but on another button or a memo) presses the
    // default button; Esc presses the cancel button.
    bool Default = false;
    bool Cancel = false;
};

// Tool-bar button: never takes the focus.
class TSpeedButton : public TControl {
public:
    using TControl::TControl;
    const char* ClassName() const override { return "TSpeedButton"; }
    bool Flat = false;
    int NumGlyphs = 1;
};

class TButtonFlat : public TSpeedButton {
public:
    using TSpeedButton::TSpeedButton;
    const char* ClassName() const override { return "TButtonFlat"; }
};

// Pick-list button: runs OnBeforePesq (which may cancel), shows the rows of
// DataSource in the platform's pick list under Title (or EmptyError as an
// error when there are none), leaves the chosen row current, then runs
// OnAfterPesq. A cancelled pick runs nothing.
class TBtnPesquisa : public TSpeedButton {
public:
    using TSpeedButton::TSpeedButton;
    const char* ClassName() const override { return "TBtnPesquisa"; }
    void Click() override;

    TCustomEdit* Associate = nullptr;
    std::string Title;
    TDataSource* DataSource = nullptr;
    std::string EmptyError;
    std::string KeyField;  // empty: the first field of the data set
    std::function<void(TObject* Sender, bool& Cancel)> OnBeforePesq;
    TNotifyEvent OnAfterPesq;
};

class TPageControl;

class TTabSheet : public TWinControl {
public:
    TTabSheet(std::string name, TPageControl* pageControl);
    ~TTabSheet() override;
    const char* ClassName() const override { return "TTabSheet"; }
    bool AcceptsFocus() const override { return false; }
    TPageControl* PageControl() const { return m_pageControl; }
    // The tab's enabled state is the sheet's own Enabled.
    bool TabVisible = true;

private:
    friend class TPageControl;
    TPageControl* m_pageControl;
};

// Page control that keeps a page whose tab is disabled out of the front.
class TPageControl : public TWinControl {
public:
    using TWinControl::TWinControl;
    ~TPageControl() override;
    const char* ClassName() const override { return "TPageControl"; }

    const std::vector<TTabSheet*>& Pages() const { return m_pages; }
    // The first page added comes to the front.
    void AddPage(TTabSheet* page);
    void RemovePage(TTabSheet* page);
    TTabSheet* ActivePage() const { return m_active; }
    int ActivePageIndex() const;
    // Brings the page forward from code; refused (no change) when its tab is
    // disabled. Does not run OnChange.
    void SetActivePage(TTabSheet* page);
    // The operator's click on a tab: refused when disabled, else brings the
    // page forward and runs OnChange.
    void ClickTab(TTabSheet* page);

    TNotifyEvent OnChange;

private:
    friend class TTabSheet;
    void forgetPage(TTabSheet* page);  // a page going away: no notices, the view goes too
    std::vector<TTabSheet*> m_pages;
    TTabSheet* m_active = nullptr;
};

class TColumn {
public:
    std::string FieldName;
    std::string Title;  // empty: the field's display label
    int Width = 0;      // 0: the grid's default width
};

// Read-only grid over a data source; the current row is the data set's.
class TDBGrid : public TWinControl {
public:
    TDBGrid(std::string name, TWinControl* parent);
    ~TDBGrid() override;
    const char* ClassName() const override { return "TDBGrid"; }

    TDataSource* DataSource() const { return m_dataSource; }
    // Observes the source's data set as it is now; a later change of the
    // source's DataSet needs SetDataSource again.
    void SetDataSource(TDataSource* source);
    std::vector<TColumn> Columns;
    int SelectedIndex = 0;  // column with the cell cursor
    bool ReadOnly = true;

    // Columns shown: Columns, or every visible field when Columns is empty.
    int ColumnCount() const;
    TColumn ColumnAt(int column) const;  // 0-based
    int RowCount() const;                // records of the data set; 0 when closed

    // Text the grid shows in a cell (row 1-based, column 0-based): the column
    // field's DisplayText of that row; empty for an unknown field or row.
    std::string CellText(int row, int column) const;
    std::string ColumnTitle(int column) const;

    // The operator's click on a cell of row (1-based): makes the row current,
    // selects the column, then OnCellClick.
    void ClickCell(int row, int column);
    void ClickTitle(int column);  // OnTitleClick only
    void DetachData() override;

    std::function<void(TColumn&)> OnCellClick;
    std::function<void(TColumn&)> OnTitleClick;

private:
    TDataSource* m_dataSource = nullptr;
    TClientDataSet* m_observed = nullptr;
    int m_observerToken = 0;
};

// Label showing one field of the current record.
// The link of a data-aware control to one field of its data source's current
// record: it tells the control when the data set changes.
class TFieldDataLink {
public:
    TFieldDataLink() = default;
    TFieldDataLink(const TFieldDataLink&) = delete;
    TFieldDataLink& operator=(const TFieldDataLink&) = delete;
    ~TFieldDataLink() { Detach(); }

    void Bind(TControl* control, TDataSource* source, std::string fieldName);
    void Detach();
    TDataSource* DataSource() const { return m_dataSource; }
    const std::string& DataField() const { return m_dataField; }
    std::string Text() const;  // DisplayText of the field in the current record

private:
    TClientDataSet* m_observed = nullptr;
    TDataSource* m_dataSource = nullptr;
    std::string m_dataField;
    int m_observerToken = 0;
};

// Label showing one field of the current record.
class TDBText : public TControl {
public:
    using TControl::TControl;
    const char* ClassName() const override { return "TDBText"; }
    void Bind(TDataSource* source, std::string fieldName) {
        m_link.Bind(this, source, std::move(fieldName));
    }
    TDataSource* DataSource() const { return m_link.DataSource(); }
    const std::string& DataField() const { return m_link.DataField(); }
    std::string Text() const { return m_link.Text(); }
    void DetachData() override { m_link.Detach(); }

private:
    TFieldDataLink m_link;
};

// Edit showing one field of the current record.
class TDBEdit : public TWinControl {
public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TDBEdit"; }
    void Bind(TDataSource* source, std::string fieldName) {
        m_link.Bind(this, source, std::move(fieldName));
    }
    TDataSource* DataSource() const { return m_link.DataSource(); }
    const std::string& DataField() const { return m_link.DataField(); }
    std::string Text() const { return m_link.Text(); }
    void DetachData() override { m_link.Detach(); }

private:
    TFieldDataLink m_link;
};

// Record navigator (first, prior, next, last) over a data source.
class TDBNavigator : public TWinControl {
public:
    using TWinControl::TWinControl;
    const char* ClassName() const override { return "TDBNavigator"; }
    bool AcceptsFocus() const override { return false; }
    TDataSource* DataSource = nullptr;
    std::vector<std::string> Hints;
};

// Menu entry; items nest. Click runs OnClick when the item is enabled and
// visible and every parent is enabled.
class TMenuItem : public TComponent {
public:
    TMenuItem(std::string name, TMenuItem* parent);
    ~TMenuItem() override;
    const char* ClassName() const override { return "TMenuItem"; }

    TMenuItem* Parent() const { return m_parent; }
    const std::vector<TMenuItem*>& Items() const { return m_items; }
    void AddItem(TMenuItem* item) { m_items.push_back(item); }
    // Puts an item made without a parent at the given place among the items.
    void InsertItem(int index, TMenuItem* item) {
        item->m_parent = this;
        m_items.insert(m_items.begin() + index, item);
    }

    const std::string& Caption() const { return m_caption; }
    void SetCaption(const std::string& value);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool value);
    bool Checked() const { return m_checked; }
    void SetChecked(bool value);
    bool Visible() const { return m_visible; }
    void SetVisible(bool value);
    bool IsSeparator() const { return m_caption == "-"; }

    // "Ctrl+L"; an empty text removes the shortcut. Raises EInvalidOperation
    // for a text that names no key.
    void SetShortCut(const std::string& text);
    std::string ShortCutText() const;  // empty when there is none
    Word ShortCutKey = 0;
    TShiftState ShortCutShift = 0;

    void Click();
    bool ClickEnabled() const;
    TNotifyEvent OnClick;

    int AddObserver(std::function<void(TMenuItem&)> observer);
    void RemoveObserver(int token);

private:
    void changed();
    TMenuItem* m_parent;
    std::vector<TMenuItem*> m_items;
    std::string m_caption;
    bool m_enabled = true;
    bool m_checked = false;
    bool m_visible = true;
    std::vector<std::pair<int, std::function<void(TMenuItem&)>>> m_observers;
    int m_nextToken = 1;
};

class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};

}  // namespace host
