#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/data/client_data_set.h"
#include "host/ui/types.h"

namespace host {

class TForm;

// A pick list to show: the rows of a data set, the field whose values are
// returned, a title, single or multiple choice, and the keys chosen before.
struct PickListRequest {
    std::string title;
    TClientDataSet* rows = nullptr;
    std::string keyField;
    bool multiple = false;
    std::vector<std::string> preselected;
};

// A file to save: the dialog's title, the name proposed, the kinds of file
// offered ("Arquivos CSV (*.csv)") and the suffix added to a name typed
// without one ("csv").
struct SaveFileRequest {
    std::string title;
    std::string fileName;
    std::string filter;
    std::string defaultSuffix;
};

// Everything a person sees or answers goes through here. The desktop
// implements it with Qt; tests and the scenario runner with a script.
class UiPlatform {
public:
    virtual ~UiPlatform() = default;

    // Shows a message; returns the button pressed (mrOk, mrYes, mrNo, ...).
    virtual int MessageDialog(const std::string& text, TMsgDlgType type,
                              TMsgDlgButtons buttons) = 0;
    // Shows the form modally; returns when its ModalResult is set or it closes.
    virtual void RunModal(TForm& form) = 0;
    // Shows a form as a child window of the main window (or brings it forward).
    virtual void ShowForm(TForm& form) = 0;
    // The form has closed for good; drop any view of it.
    virtual void FormClosed(TForm& form) = 0;
    virtual void BusyOn(int kind) = 0;
    virtual void BusyOff() = 0;
    // Chosen row indexes (0-based) of request.rows, or nothing when cancelled.
    virtual std::optional<std::vector<int>> PickList(const PickListRequest& request) = 0;
    virtual void SetCursor(TCursor cursor) = 0;
    // Asks for a line of text (an option-set name); false when cancelled.
    // `value` comes in as the proposed text and goes out as the answer.
    virtual bool InputText(const std::string& caption, const std::string& prompt,
                           std::string& value) = 0;
    // Shows the help page of the screen with that code; false when the host
    // has none for it.
    virtual bool ShowHelp(const std::string& screenCode) {
        (void)screenCode;
        return false;
    }
    // Asks where to save a file; the path chosen, or nothing when the person
    // cancelled (or the host has no file dialog).
    virtual std::optional<std::string> SaveFileName(const SaveFileRequest& request) {
        (void)request;
        return std::nullopt;
    }
};

}  // namespace host
