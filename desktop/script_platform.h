#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "host/ui/scripted_platform.h"

class QMessageBox;
class QPixmap;

namespace desktop {

class MainWindow;

// The scenario runner's platform with the forms in real Qt windows: answers
// come from the script, but every form, dialog, message and the busy
// indicator are on screen, so `shot NAME` pictures what the operator sees.
// A message stays on screen until the next shot has pictured it, or until a
// newer message or window shows that it has been answered.
class WindowScriptPlatform : public host::ScriptedPlatform {
public:
    explicit WindowScriptPlatform(MainWindow& window);
    ~WindowScriptPlatform() override;

    int MessageDialog(const std::string& text, host::TMsgDlgType type,
                      host::TMsgDlgButtons buttons) override;
    void RunModal(host::TForm& form) override;
    void ShowForm(host::TForm& form) override;
    void FormClosed(host::TForm& form) override;
    void BusyOn(int kind) override;
    void BusyOff() override;

    // The main window with its dialogs and messages on top, framed and titled
    // as on a desktop.
    QPixmap picture();
    // Writes picture() as PNG; false with a reason when it cannot.
    bool shot(const QString& file, QString& error);

private:
    void dismissMessages();

    MainWindow& m_window;
    std::vector<std::unique_ptr<QMessageBox>> m_messages;
};

// `ore-host --script FILE [--shots DIR]`: plays the scenario in the window and
// prints its transcript; the exit status is 0 only when nothing failed.
struct HostOptions;
int runScript(const HostOptions& options);

}  // namespace desktop
