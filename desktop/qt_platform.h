#pragma once

#include "host/ui/platform.h"

#include <QMessageBox>
#include <QString>

class QWidget;

namespace desktop {

class BusyIndicator;
class FormWindows;

// The host's visible services in Qt: message boxes, child windows and
// dialogs for forms, the busy indicator, the pick-list window, the hourglass.
class QtPlatform : public host::UiPlatform {
public:
    QtPlatform(FormWindows& windows, BusyIndicator& busy, QWidget& dialogParent);
    ~QtPlatform() override;

    int MessageDialog(const std::string& text, host::TMsgDlgType type,
                      host::TMsgDlgButtons buttons) override;
    void RunModal(host::TForm& form) override;
    void ShowForm(host::TForm& form) override;
    void FormClosed(host::TForm& form) override;
    void BusyOn(int kind) override;
    void BusyOff() override;
    std::optional<std::vector<int>> PickList(const host::PickListRequest& request) override;
    void SetCursor(host::TCursor cursor) override;
    bool InputText(const std::string& caption, const std::string& prompt,
                   std::string& value) override;
    bool ShowHelp(const std::string& screenCode) override;
    std::optional<std::string> SaveFileName(const host::SaveFileRequest& request) override;

private:
    FormWindows& m_windows;
    BusyIndicator& m_busy;
    QWidget& m_dialogParent;
    bool m_hourglass = false;
};

// Title of a message box of that kind ("Erro", "Confirmação", ...).
QString messageTitle(host::TMsgDlgType type);
// The standard icon of a message box of that kind.
QMessageBox::Icon messageIcon(host::TMsgDlgType type);

}  // namespace desktop
