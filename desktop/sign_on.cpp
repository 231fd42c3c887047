#include "desktop/sign_on.h"

#include <spdlog/spdlog.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <algorithm>
#include <iostream>
#include <utility>

#include "desktop/host_options.h"
#include "desktop/sign_on_window.h"
#include "desktop/trace.h"
#include "desktop/window_focus.h"
#include "host/net/grpc_canc_aprov_enc.h"
#include "host/services/session.h"

namespace desktop {

namespace {

constexpr qint64 kLongestPasswordFile = 1024;

void forget(std::string& secret) {
    std::fill(secret.begin(), secret.end(), '\0');
    secret.clear();
}

// A renewal may come in the middle of a command that shows the hourglass:
// the pointer is the operator's while the window asks.
class PointerForTheOperator {
public:
    PointerForTheOperator() {
        while (QApplication::overrideCursor() != nullptr) {
            QApplication::restoreOverrideCursor();
            ++m_restored;
        }
    }
    ~PointerForTheOperator() {
        for (int i = 0; i < m_restored; ++i) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        }
    }
    PointerForTheOperator(const PointerForTheOperator&) = delete;
    PointerForTheOperator& operator=(const PointerForTheOperator&) = delete;

private:
    int m_restored = 0;
};

}  // namespace

SignOnCall serverSignOn(const host::Session& session) {
    const std::string serverHost = session.serverHost;
    const int serverPort = session.serverPort;
    return [serverHost, serverPort](const std::string& operatorCode, const std::string& password) {
        const host::net::SignOnResult result =
            host::net::signOn(serverHost, serverPort, operatorCode, password);
        SignOnAnswer answer;
        answer.token = result.token;
        answer.expiresAt = result.expiresAt;
        answer.operatorCode = result.operatorCode;
        answer.operatorName = result.operatorName;
        answer.branchCode = result.branch;
        answer.branchName = result.branchName;
        answer.fixedBranch = result.fixedBranch;
        return answer;
    };
}

void applySignOn(const SignOnAnswer& answer, host::Session& session) {
    session.sessionToken = answer.token;
    session.sessionExpiresAt = answer.expiresAt;
    session.operatorCode = answer.operatorCode;
    session.operatorName = answer.operatorName;
    session.branchCode = answer.branchCode;
    session.branchName = answer.branchName;
    session.fixedBranch = answer.fixedBranch;
}

QString serverAddress(const host::Session& session) {
    return QStringLiteral("%1:%2")
        .arg(QString::fromStdString(session.serverHost))
        .arg(session.serverPort);
}

bool readPasswordFile(const QString& file, std::string& password, QString& error) {
    const QByteArray path = QFile::encodeName(file);
    struct stat status {};
    if (::stat(path.constData(), &status) != 0 || !S_ISREG(status.st_mode)) {
        error = QStringLiteral("cannot read the password file %1").arg(file);
        return false;
    }
    if (status.st_uid != ::getuid() || (status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        error = QStringLiteral(
                    "the password file %1 must belong to you and be readable only by you "
                    "(chmod 600)")
                    .arg(file);
        return false;
    }
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the password file %1").arg(file);
        return false;
    }
    QByteArray content = input.read(kLongestPasswordFile + 1);
    if (content.size() > kLongestPasswordFile) {
        content.fill('\0');
        error = QStringLiteral("the password file %1 is too long").arg(file);
        return false;
    }
    const qsizetype lineEnd = content.indexOf('\n');
    qsizetype length = lineEnd < 0 ? content.size() : lineEnd;
    if (length > 0 && content.at(length - 1) == '\r') {
        --length;
    }
    password.assign(content.constData(), static_cast<std::size_t>(length));
    content.fill('\0');
    if (password.empty()) {
        error = QStringLiteral("the password file %1 holds no password").arg(file);
        return false;
    }
    return true;
}

SignOnOutcome signOnAtStart(const HostOptions& options, const SignOnCall& call) {
    host::Session& session = host::CurrentSession();
    if (!options.passwordFile.isEmpty()) {
        std::string password;
        QString error;
        if (!readPasswordFile(options.passwordFile, password, error)) {
            std::cerr << "ore-host: " << error.toStdString() << "\n";
            return SignOnOutcome::Failed;
        }
        try {
            const SignOnAnswer answer = call(session.operatorCode, password);
            forget(password);
            applySignOn(answer, session);
        } catch (const std::exception& failure) {
            forget(password);
            std::cerr << "ore-host: sign-on of " << session.operatorCode
                      << " refused: " << failure.what() << "\n";
            return SignOnOutcome::Failed;
        }
    } else {
        SignOnWindow window(SignOnWindow::Purpose::SignOn,
                            QString::fromStdString(session.operatorCode), serverAddress(session),
                            call);
        if (window.exec() != QDialog::Accepted) {
            Trace::write(QStringLiteral("signon cancelled"));
            return SignOnOutcome::Cancelled;
        }
        applySignOn(window.answer(), session);
    }
    spdlog::info("signed on as {} at branch {}", session.operatorCode, session.branchCode);
    Trace::write(QStringLiteral("session %1 %2")
                     .arg(QString::fromStdString(session.operatorCode),
                          QString::fromStdString(session.branchCode)));
    return SignOnOutcome::SignedOn;
}

void installSessionRenewer(QWidget& dialogParent, SignOnCall call) {
    host::SetSessionRenewer([&dialogParent, call = std::move(call)]() -> bool {
        host::Session& session = host::CurrentSession();
        const KeyboardReturn keyboardBack;
        const PointerForTheOperator pointer;
        SignOnWindow window(SignOnWindow::Purpose::Renewal,
                            QString::fromStdString(session.operatorCode), serverAddress(session),
                            call, ownerForDialog(dialogParent));
        if (window.exec() != QDialog::Accepted) {
            Trace::write(QStringLiteral("renewal cancelled"));
            spdlog::info("renewal of the session of {} cancelled", session.operatorCode);
            return false;
        }
        session.sessionToken = window.answer().token;
        session.sessionExpiresAt = window.answer().expiresAt;
        Trace::write(QStringLiteral("renewal accepted"));
        spdlog::info("session of {} renewed", session.operatorCode);
        return true;
    });
}

}  // namespace desktop
