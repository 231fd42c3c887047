#pragma once

#include <QMainWindow>
#include <memory>

#include "desktop/host_options.h"

class QLabel;
class QMdiArea;

namespace host {
class UiPlatform;
}

namespace desktop {

class BusyIndicator;
class FormWindows;
class ModuleLoader;

// The host's main window: the child-window area where screens open, the
// menus that open them, the session in the status bar, and the busy
// indicator. Screens come from modules loaded on first use.
class MainWindow : public QMainWindow {
public:
    explicit MainWindow(const HostOptions& options, QWidget* parent = nullptr);
    ~MainWindow() override;

    QMdiArea& childArea() const { return *m_area; }
    FormWindows& formWindows() const { return *m_windows; }
    BusyIndicator& busyIndicator() const { return *m_busy; }
    ModuleLoader& cancellationModule() const { return *m_module; }

    // The menu command "Cancelamento da Aprovação da Encomenda": loads the
    // module on first use and calls its IniProc. False when the module could
    // not be loaded (the operator has been told why).
    bool openCancellationScreen();
    // The menu command "Histórico de Cancelamentos de Aprovação": the same
    // for the history module ORE06110.
    bool openHistoryScreen();
    ModuleLoader& historyModule() const { return *m_historyModule; }
    // Closes every screen, drops the forms and finalizes the modules.
    void shutDown();

    // Shows the session (branch, operator, server) in the status bar.
    void showSession();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();

    HostOptions m_options;
    QMdiArea* m_area;
    BusyIndicator* m_busy;
    QLabel* m_sessionLabel;
    std::unique_ptr<FormWindows> m_windows;
    std::unique_ptr<ModuleLoader> m_module;
    std::unique_ptr<ModuleLoader> m_historyModule;
    bool m_shutDown = false;
};

// The window's title.
QString hostTitle();

}  // namespace desktop
