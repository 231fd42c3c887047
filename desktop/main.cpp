#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <iostream>

#include "desktop/host_options.h"
#include "desktop/main_window.h"
#include "desktop/qt_platform.h"
#include "desktop/script_platform.h"
#include "desktop/session_setup.h"
#include "desktop/sign_on.h"
#include "desktop/trace.h"
#include "proto/grpc_runtime.h"

namespace {

void nameApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("ore-host"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1.0"));
}

}  // namespace

int main(int argc, char* argv[]) {
    ore::proto::useReleaseLockChecks();
    if (desktop::asksForHelpOnly(argc, argv)) {
        // No window system is needed to print the options.
        QCoreApplication console(argc, argv);
        nameApplication();
        QString error;
        desktop::parseHostOptions(QCoreApplication::arguments(), error);
        std::cerr << "ore-host: " << error.toStdString() << "\n";
        return 2;
    }
    QApplication application(argc, argv);
    nameApplication();
    desktop::applyHostLook();

    QString error;
    const std::optional<desktop::HostOptions> options =
        desktop::parseHostOptions(QApplication::arguments(), error);
    if (!options) {
        std::cerr << "ore-host: " << error.toStdString() << "\n";
        return 2;
    }
    if (!options->traceFile.isEmpty()) {
        if (!desktop::Trace::open(options->traceFile)) {
            std::cerr << "ore-host: cannot write the trace file "
                      << options->traceFile.toStdString() << "\n";
            return 2;
        }
        desktop::Trace::followFocus();
    }
    if (!options->scriptFile.isEmpty()) {
        return desktop::runScript(*options);
    }

    host::CurrentSession() = options->session;
    const desktop::SignOnCall signOn = desktop::serverSignOn(options->session);
    switch (desktop::signOnAtStart(*options, signOn)) {
        case desktop::SignOnOutcome::SignedOn:
            break;
        case desktop::SignOnOutcome::Cancelled:
            return 0;
        case desktop::SignOnOutcome::Failed:
            return 1;
    }
    desktop::MainWindow window(*options);
    desktop::QtPlatform platform(window.formWindows(), window.busyIndicator(), window);
    host::Application().SetPlatform(&platform);
    host::Application().OnException = [&platform](const std::exception& failure) {
        platform.MessageDialog(failure.what(), host::TMsgDlgType::mtError, host::mbOK);
    };
    desktop::installSessionRenewer(window, signOn);
    window.show();
    desktop::connectSession(window);
    const int status = application.exec();
    window.shutDown();
    host::Application().SetPlatform(nullptr);
    host::SetSessionRenewer({});
    return status;
}
