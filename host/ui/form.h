#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "host/ui/controls.h"
#include "host/ui/platform.h"

namespace host {

// A form: the top container, owner of every component by name, and keeper of
// the focus. Moving the focus runs the exit of the control left, the exits of
// the containers left (innermost first), the enters of the containers entered
// (outermost first), then the enter of the control; an exception from an exit
// keeps the focus where it was and ends the move.
class TForm : public TWinControl {
public:
    explicit TForm(std::string name);
    ~TForm() override;
    const char* ClassName() const override { return "TForm"; }
    bool AcceptsFocus() const override { return false; }

    // Creates a component owned by the form and registers it by name.
    template <class T, class... Args>
    T* Make(Args&&... args) {
        auto owned = std::make_unique<T>(std::forward<Args>(args)...);
        T* raw = owned.get();
        Register(std::move(owned));
        return raw;
    }
    // Raises EInvalidOperation when another component already has the name.
    void Register(std::unique_ptr<TComponent> component);
    TComponent* FindComponent(const std::string& name) const;
    const std::vector<std::unique_ptr<TComponent>>& Components() const { return m_components; }

    // Data sets and sources live on the form too.
    TClientDataSet* MakeDataSet(const std::string& name);
    TDataSource* MakeDataSource(const std::string& name, TClientDataSet* dataSet);
    TClientDataSet* FindDataSet(const std::string& name) const;
    TDataSource* FindDataSource(const std::string& name) const;
    const std::vector<std::unique_ptr<TClientDataSet>>& DataSets() const { return m_dataSets; }

    TMenuItem* Menu() const { return m_menu; }  // root of the main menu

    // Focus.
    TWinControl* ActiveControl() const { return m_activeControl; }
    // Moves the focus as described above; raises what an exit or enter raised.
    // A control on a page that is not in front brings that page forward once
    // the exits have passed. Focusing the focused control runs nothing. Raises EInvalidOperation
    // ("Cannot focus a disabled or invisible window") when the control cannot take the focus.
    void FocusControl(TWinControl* control);
    // The next control in tab order after `from` (wrapping), or nullptr. The
    // order is depth first, each container's windowed children by TabOrder.
    // checkParent keeps only controls placed directly on the form.
    TWinControl* FindNextControl(TWinControl* from, bool goForward, bool checkTabStop,
                                 bool checkParent) const;
    void SelectNext(TWinControl* from, bool goForward, bool checkTabStop);
    void SelectFirst();

    // Key handling: menu shortcuts, then OnKeyDown when KeyPreview, then the
    // control's OnKeyDown, then the default (Tab moves the focus, Up and Down
    // move a grid's record, Space toggles a check box, Enter presses a
    // button). A handler that zeroes the key ends it. A null target is the
    // active control.
    void KeyDown(TWinControl* target, Word key, TShiftState shift);
    bool KeyPreview = false;
    TKeyEvent OnKeyDown;

    // Window.
    TFormStyle FormStyle = TFormStyle::fsNormal;
    TWindowState WindowState = TWindowState::wsNormal;
    int HelpContext = 0;
    std::string HelpFile;
    int ModalResult() const { return m_modalResult; }
    void SetModalResult(int value);
    bool Showing() const { return m_showing; }
    bool Modal() const { return m_modal; }

    void Show();      // child window, activates the form
    int ShowModal();  // runs until ModalResult is set or the form closes
    // OnClose decides (caHide unless it says otherwise); caFree releases the
    // form, caNone keeps it open. A modal form only gets ModalResult mrCancel
    // here; ShowModal closes it when the modal run ends.
    void Close();
    void Hide();      // stops showing without OnClose
    void Activate();  // OnActivate (the platform calls it when the form comes forward)
    void Repaint() { Changed(TProp::Other); }

    TNotifyEvent OnCreate;
    TNotifyEvent OnActivate;
    TNotifyEvent OnShow;
    std::function<void(TObject* Sender, TCloseAction& Action)> OnClose;
    TNotifyEvent OnDestroy;

    // Operator actions: what a click, a key or typing does, each run as one
    // event through the application's dispatcher (aborts end quietly, other
    // errors reach the general handler). They return false when the event
    // ended by an exception.
    bool UserFocus(TWinControl* control);
    bool UserType(TCustomEdit* edit, const std::string& text);
    bool UserClick(TControl* control);
    bool UserClickMenu(TMenuItem* item);
    bool UserKey(TWinControl* target, Word key, TShiftState shift);
    bool UserSelectRow(TDBGrid* grid, int row);

private:
    friend class TApplication;
    friend class TControl;
    void runCreate();
    void controlDestroyed(TControl* control);
    void setActiveControl(TWinControl* control);
    void runEnters(TWinControl* from, TWinControl* to);
    // Applies a close action decided by OnClose; false when it was caNone.
    bool applyCloseAction(TCloseAction action);
    bool m_modal = false;
    std::vector<TWinControl*>* m_exitsStarted = nullptr;  // exits run by the move under way
    std::vector<std::unique_ptr<TComponent>> m_components;
    std::vector<std::unique_ptr<TClientDataSet>> m_dataSets;
    std::vector<std::unique_ptr<TDataSource>> m_dataSources;
    TMenuItem* m_menu = nullptr;
    TWinControl* m_activeControl = nullptr;
    int m_modalResult = mrNone;
    bool m_showing = false;
    bool m_closing = false;
};

// The application object: one per process. Owns the forms created through it,
// holds the platform and the general error handler.
class TApplication {
public:
    // Raises EInvalidOperation when no platform has been set.
    UiPlatform& Platform() const;
    void SetPlatform(UiPlatform* platform) { m_platform = platform; }
    bool HasPlatform() const { return m_platform != nullptr; }

    TForm* MainForm = nullptr;

    // Creates a form owned by the application and runs its OnCreate. The form
    // class builds its components in its constructor and binds OnCreate there.
    template <class F, class... Args>
    F* CreateForm(Args&&... args) {
        static_assert(std::is_base_of_v<TForm, F>);
        auto owned = std::make_unique<F>(std::forward<Args>(args)...);
        F* raw = owned.get();
        m_forms.push_back(std::move(owned));
        try {
            raw->runCreate();
        } catch (...) {
            discard(raw);
            throw;
        }
        return raw;
    }
    // Destroys a form (after its OnDestroy) once the running event has ended.
    void Release(TForm* form);
    // Destroys released forms; called when an operator event ends.
    void ProcessReleases();
    const std::vector<std::unique_ptr<TForm>>& Forms() const { return m_forms; }
    bool IsAlive(const TForm* form) const;

    // Runs one operator event: EAbort ends it quietly, any other exception is
    // shown by HandleException. Returns false when it ended by an exception.
    bool Dispatch(const std::function<void()>& event);
    void HandleException(const std::exception& error);
    std::function<void(const std::exception&)> OnException;

    void SetCursor(TCursor cursor);
    TCursor Cursor() const { return m_cursor; }

    // Runs OnDestroy of every form and destroys them all, forgets pending
    // releases and the error handler (end of process or of a test).
    void Reset();

private:
    void discard(TForm* form);  // destroys a form whose creation failed
    void destroyForm(TForm* form);
    UiPlatform* m_platform = nullptr;
    std::vector<std::unique_ptr<TForm>> m_forms;
    std::vector<TForm*> m_released;
    TCursor m_cursor = TCursor::crDefault;
    int m_dispatchDepth = 0;
    bool m_processingReleases = false;
};

TApplication& Application();

}  // namespace host
