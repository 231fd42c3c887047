#include <QApplication>
#include <QMessageBox>
#include <iostream>

#include "desktop/host_options.h"
#include "desktop/main_window.h"
#include "desktop/qt_platform.h"
#include "desktop/script_platform.h"
#include "desktop/session_setup.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ore-host"));
    QApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    desktop::applyHostLook();

    QString error;
    const std::optional<desktop::HostOptions> options =
        desktop::parseHostOptions(QApplication::arguments(), error);
    if (!options) {
        std::cerr << "ore-host: " << error.toStdString() << "\n";
        return 2;
    }
    if (!options->scriptFile.isEmpty()) {
        return desktop::runScript(*options);
    }

    host::CurrentSession() = options->session;
    desktop::MainWindow window(*options);
    desktop::QtPlatform platform(window.formWindows(), window.busyIndicator(), window);
    host::Application().SetPlatform(&platform);
    host::Application().OnException = [&platform](const std::exception& failure) {
        platform.MessageDialog(failure.what(), host::TMsgDlgType::mtError, host::mbOK);
    };
    window.show();
    desktop::connectSession(window);
    const int status = application.exec();
    window.shutDown();
    host::Application().SetPlatform(nullptr);
    return status;
}
