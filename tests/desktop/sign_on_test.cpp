#include <sys/stat.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <string>
#include <utility>
#include <vector>

#include "desktop/host_options.h"
#include "desktop/session_setup.h"
#include "desktop/sign_on.h"
#include "desktop/sign_on_window.h"
#include "desktop/trace.h"
#include "host/data/exceptions.h"
#include "host/services/session.h"

namespace {

constexpr const char* kRefusal = "Operador ou senha inválidos.";

// A server that knows one operator with one password, and remembers every
// attempt it was given.
struct FakeServer {
    std::string operatorCode = "OPER01";
    std::string password = "certa-123";
    std::vector<std::pair<std::string, std::string>> attempts;
    int signOns = 0;

    desktop::SignOnCall call() {
        return [this](const std::string& code, const std::string& secret) {
            attempts.emplace_back(code, secret);
            if (code != operatorCode || secret != password) {
                throw host::Exception(kRefusal);
            }
            ++signOns;
            desktop::SignOnAnswer answer;
            answer.token = "token-" + std::to_string(signOns);
            answer.operatorCode = code;
            answer.operatorName = "OPERADOR UM";
            answer.branchCode = "0002";
            answer.branchName = "FILIAL CENTRO";
            answer.fixedBranch = true;
            return answer;
        };
    }
};

void writeFile(const QString& path, const QByteArray& content, QFile::Permissions permissions) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    QVERIFY(file.setPermissions(permissions));
}

desktop::SignOnWindow* activeSignOnWindow() {
    return dynamic_cast<desktop::SignOnWindow*>(QApplication::activeModalWidget());
}

}  // namespace

class SignOnTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { desktop::applyHostLook(); }

    void cleanup() {
        host::SetSessionRenewer({});
        host::CurrentSession() = host::Session();
    }

    void windowShowsItsFieldsAndButtons() {
        FakeServer server;
        desktop::SignOnWindow window(desktop::SignOnWindow::Purpose::SignOn, "OPER01",
                                     "127.0.0.1:50051", server.call());
        QCOMPARE(window.windowTitle(), QStringLiteral("Identificação do Operador"));
        QCOMPARE(window.signOnButton().text(), QStringLiteral("Entrar"));
        QCOMPARE(window.cancelButton().text(), QStringLiteral("Cancelar"));
        QVERIFY(window.signOnButton().isDefault());
        QCOMPARE(window.passwordField().echoMode(), QLineEdit::Password);
        QStringList labels;
        for (const QLabel* label : window.findChildren<QLabel*>()) {
            labels << label->text().remove(QLatin1Char('&'));
        }
        QVERIFY2(labels.contains("Operador") && labels.contains("Senha") &&
                     labels.contains("127.0.0.1:50051"),
                 qPrintable(labels.join(", ")));
        QVERIFY(!window.operatorField().isReadOnly());
    }

    void focusStartsInTheFirstEmptyField_data() {
        QTest::addColumn<QString>("operatorCode");
        QTest::addColumn<QString>("focused");
        QTest::newRow("no operator") << ""
                                     << "edtOperador";
        QTest::newRow("operator given") << "OPER01"
                                        << "edtSenha";
    }

    void focusStartsInTheFirstEmptyField() {
        QFETCH(QString, operatorCode);
        QFETCH(QString, focused);
        FakeServer server;
        desktop::SignOnWindow window(desktop::SignOnWindow::Purpose::SignOn, operatorCode,
                                     "127.0.0.1:50051", server.call());
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QVERIFY(QApplication::focusWidget() != nullptr);
        QCOMPARE(QApplication::focusWidget()->objectName(), focused);
    }

    void wrongPasswordShowsTheServerTextAndTheWindowStays() {
        FakeServer server;
        desktop::SignOnWindow window(desktop::SignOnWindow::Purpose::SignOn, "OPER01",
                                     "127.0.0.1:50051", server.call());
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClicks(&window.passwordField(), "errada");
        QTest::keyClick(&window.passwordField(), Qt::Key_Return);
        QVERIFY(window.isVisible());
        QCOMPARE(window.result(), int(QDialog::Rejected));
        QVERIFY(!window.messageLabel().isHidden());
        QCOMPARE(window.messageLabel().text(), QString::fromUtf8(kRefusal));
        QCOMPARE(window.passwordField().text(), QString());
        QCOMPARE(QApplication::focusWidget(), &window.passwordField());

        QTest::keyClicks(&window.passwordField(), "certa-123");
        QTest::keyClick(&window.passwordField(), Qt::Key_Return);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), int(QDialog::Accepted));
        const std::vector<std::pair<std::string, std::string>> expected = {{"OPER01", "errada"},
                                                                           {"OPER01", "certa-123"}};
        QCOMPARE(server.attempts, expected);
        QCOMPARE(window.answer().token, std::string("token-1"));
    }

    void emptyFieldsAskWithoutCallingTheServer_data() {
        QTest::addColumn<QString>("operatorCode");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("focused");
        QTest::newRow("no operator") << ""
                                     << "x"
                                     << "Informe o operador."
                                     << "edtOperador";
        QTest::newRow("blank operator") << "   "
                                        << "x"
                                        << "Informe o operador."
                                        << "edtOperador";
        QTest::newRow("no password") << "OPER01"
                                     << ""
                                     << "Informe a senha."
                                     << "edtSenha";
    }

    void emptyFieldsAskWithoutCallingTheServer() {
        QFETCH(QString, operatorCode);
        QFETCH(QString, password);
        QFETCH(QString, text);
        QFETCH(QString, focused);
        FakeServer server;
        desktop::SignOnWindow window(desktop::SignOnWindow::Purpose::SignOn, operatorCode,
                                     "127.0.0.1:50051", server.call());
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.passwordField().setText(password);
        window.signOnButton().click();
        QVERIFY(window.isVisible());
        QCOMPARE(window.messageLabel().text(), text);
        QCOMPARE(QApplication::focusWidget()->objectName(), focused);
        QVERIFY(server.attempts.empty());
    }

    void escapeCancelsWithoutCallingTheServer() {
        FakeServer server;
        desktop::SignOnWindow window(desktop::SignOnWindow::Purpose::SignOn, "OPER01",
                                     "127.0.0.1:50051", server.call());
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClicks(&window.passwordField(), "certa-123");
        QTest::keyClick(&window.passwordField(), Qt::Key_Escape);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), int(QDialog::Rejected));
        QVERIFY(server.attempts.empty());
    }

    void signOnAtStartBuildsTheSessionFromTheAnswer() {
        FakeServer server;
        host::CurrentSession().operatorCode = "OPER01";
        host::CurrentSession().branchCode = "0001";
        host::CurrentSession().branchName = "MATRIZ";
        QTimer::singleShot(0, [] {
            desktop::SignOnWindow* window = activeSignOnWindow();
            QVERIFY(window != nullptr);
            QTest::keyClicks(&window->passwordField(), "certa-123");
            QTest::keyClick(&window->passwordField(), Qt::Key_Return);
        });
        const desktop::HostOptions options;
        QCOMPARE(desktop::signOnAtStart(options, server.call()), desktop::SignOnOutcome::SignedOn);
        QCOMPARE(host::Morvane::Operador(), std::string("OPER01"));
        QCOMPARE(host::CurrentSession().operatorName, std::string("OPERADOR UM"));
        QCOMPARE(host::Morvane::FiliProc(), std::string("0002"));
        QCOMPARE(host::Morvane::NomeFiliProc(), std::string("FILIAL CENTRO"));
        QVERIFY(host::Morvane::ModuFili());
        QCOMPARE(host::CurrentSession().sessionToken, std::string("token-1"));
    }

    void cancelledSignOnLeavesTheSessionAlone() {
        FakeServer server;
        host::CurrentSession().operatorCode = "OPER01";
        host::CurrentSession().branchCode = "0001";
        QTimer::singleShot(0, [] {
            desktop::SignOnWindow* window = activeSignOnWindow();
            QVERIFY(window != nullptr);
            window->cancelButton().click();
        });
        const desktop::HostOptions options;
        QCOMPARE(desktop::signOnAtStart(options, server.call()), desktop::SignOnOutcome::Cancelled);
        QCOMPARE(host::CurrentSession().sessionToken, std::string());
        QCOMPARE(host::CurrentSession().branchCode, std::string("0001"));
        QVERIFY(server.attempts.empty());
    }

    void passwordFileSignsOnWithoutTheWindow() {
        QTemporaryDir folder;
        const QString file = folder.filePath("senha");
        writeFile(file, "certa-123\nsecond line ignored\n", QFile::ReadOwner | QFile::WriteOwner);
        FakeServer server;
        host::CurrentSession().operatorCode = "OPER01";
        desktop::HostOptions options;
        options.passwordFile = file;
        QCOMPARE(desktop::signOnAtStart(options, server.call()), desktop::SignOnOutcome::SignedOn);
        const std::vector<std::pair<std::string, std::string>> expected = {{"OPER01", "certa-123"}};
        QCOMPARE(server.attempts, expected);
        QCOMPARE(host::CurrentSession().branchCode, std::string("0002"));

        writeFile(file, "errada\n", QFile::ReadOwner | QFile::WriteOwner);
        host::CurrentSession() = host::Session();
        host::CurrentSession().operatorCode = "OPER01";
        QCOMPARE(desktop::signOnAtStart(options, server.call()), desktop::SignOnOutcome::Failed);
        QCOMPARE(host::CurrentSession().sessionToken, std::string());
    }

    void passwordFile_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("permissions");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("error");
        const int owner = int(QFile::ReadOwner | QFile::WriteOwner);
        QTest::newRow("first line") << QByteArray("s3nha\nmore\n") << owner << "s3nha"
                                    << "";
        QTest::newRow("no line end") << QByteArray("s3nha") << owner << "s3nha"
                                     << "";
        QTest::newRow("windows line end") << QByteArray("s3nha\r\n") << owner << "s3nha"
                                          << "";
        QTest::newRow("spaces kept") << QByteArray(" a b \n") << owner << " a b "
                                     << "";
        QTest::newRow("empty") << QByteArray("") << owner << ""
                               << "the password file FILE holds no password";
        QTest::newRow("empty first line") << QByteArray("\nx\n") << owner << ""
                                          << "the password file FILE holds no password";
        QTest::newRow("others may read")
            << QByteArray("s3nha\n") << int(owner | QFile::ReadOther) << ""
            << "the password file FILE must belong to you and be readable only by you "
               "(chmod 600)";
        QTest::newRow("group may read")
            << QByteArray("s3nha\n") << int(owner | QFile::ReadGroup) << ""
            << "the password file FILE must belong to you and be readable only by you "
               "(chmod 600)";
        QTest::newRow("too long") << QByteArray(2000, 'x') << owner << ""
                                  << "the password file FILE is too long";
    }

    void passwordFile() {
        QFETCH(QByteArray, content);
        QFETCH(int, permissions);
        QFETCH(QString, password);
        QFETCH(QString, error);
        QTemporaryDir folder;
        const QString file = folder.filePath("senha");
        writeFile(file, content, QFile::Permissions(permissions));
        std::string read;
        QString failure;
        const bool ok = desktop::readPasswordFile(file, read, failure);
        QCOMPARE(failure, QString(error).replace("FILE", file));
        QCOMPARE(ok, error.isEmpty());
        QCOMPARE(QString::fromStdString(read), password);
    }

    void missingPasswordFileIsRefused() {
        std::string read;
        QString failure;
        QVERIFY(!desktop::readPasswordFile("/nonexistent/senha", read, failure));
        QCOMPARE(failure, QStringLiteral("cannot read the password file /nonexistent/senha"));
    }

    void passwordFileOption() {
        QString failure;
        auto options = desktop::parseHostOptions(
            {"ore-host", "--operator", "OPER01", "--password-file", "/tmp/senha"}, failure);
        QVERIFY2(options.has_value(), qPrintable(failure));
        QCOMPARE(options->passwordFile, QStringLiteral("/tmp/senha"));
        options = desktop::parseHostOptions(
            {"ore-host", "--script", "demo.scn", "--password-file", "/tmp/senha"}, failure);
        QVERIFY(!options.has_value());
        QCOMPARE(failure,
                 QStringLiteral("--password-file is not for --script: the scenario signs on"));
    }

    void renewalAsksThePasswordOfTheSameOperator() {
        FakeServer server;
        server.signOns = 1;
        QWidget main;
        main.show();
        host::CurrentSession().operatorCode = "OPER01";
        host::CurrentSession().branchCode = "0001";
        host::CurrentSession().sessionToken = "token-1";
        desktop::installSessionRenewer(main, server.call());
        QString title;
        bool operatorFixed = false;
        QString refusal;
        QTimer::singleShot(0, [&] {
            desktop::SignOnWindow* window = activeSignOnWindow();
            QVERIFY(window != nullptr);
            title = window->windowTitle();
            operatorFixed = window->operatorField().isReadOnly() &&
                            window->operatorField().text() == QStringLiteral("OPER01");
            QTest::keyClicks(&window->passwordField(), "errada");
            QTest::keyClick(&window->passwordField(), Qt::Key_Return);
            refusal = window->messageLabel().text();
            QTest::keyClicks(&window->passwordField(), "certa-123");
            QTest::keyClick(&window->passwordField(), Qt::Key_Return);
        });
        QVERIFY(host::RenewSession());
        QCOMPARE(title, QStringLiteral("Sessão Expirada"));
        QVERIFY(operatorFixed);
        QCOMPARE(refusal, QString::fromUtf8(kRefusal));
        QCOMPARE(host::CurrentSession().sessionToken, std::string("token-2"));
        QCOMPARE(host::CurrentSession().branchCode, std::string("0001"));
        QCOMPARE(server.attempts.size(), std::size_t(2));
        QCOMPARE(server.attempts.back().first, std::string("OPER01"));
    }

    void cancelledRenewalKeepsTheOldToken() {
        FakeServer server;
        QWidget main;
        main.show();
        host::CurrentSession().operatorCode = "OPER01";
        host::CurrentSession().sessionToken = "token-1";
        desktop::installSessionRenewer(main, server.call());
        QTimer::singleShot(0, [] {
            desktop::SignOnWindow* window = activeSignOnWindow();
            QVERIFY(window != nullptr);
            QTest::keyClick(&window->passwordField(), Qt::Key_Escape);
        });
        QVERIFY(!host::RenewSession());
        QCOMPARE(host::CurrentSession().sessionToken, std::string("token-1"));
        QVERIFY(server.attempts.empty());
    }

    void renewalGivesTheHourglassBack() {
        FakeServer server;
        QWidget main;
        main.show();
        host::CurrentSession().operatorCode = "OPER01";
        desktop::installSessionRenewer(main, server.call());
        QApplication::setOverrideCursor(Qt::WaitCursor);
        bool pointerFree = false;
        QTimer::singleShot(0, [&] {
            pointerFree = QApplication::overrideCursor() == nullptr;
            desktop::SignOnWindow* window = activeSignOnWindow();
            QVERIFY(window != nullptr);
            window->cancelButton().click();
        });
        QVERIFY(!host::RenewSession());
        QVERIFY(pointerFree);
        QVERIFY(QApplication::overrideCursor() != nullptr);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QApplication::restoreOverrideCursor();
    }

    void traceNeverHoldsThePassword() {
        QTemporaryDir folder;
        const QString file = folder.filePath("trace.log");
        QVERIFY(desktop::Trace::open(file));
        desktop::Trace::followFocus();
        FakeServer server;
        server.password = "Segredo-98";
        desktop::SignOnWindow window(desktop::SignOnWindow::Purpose::SignOn, "OPER01",
                                     "127.0.0.1:50051", server.call());
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClicks(&window.passwordField(), "Segredo-97");
        QTest::keyClick(&window.passwordField(), Qt::Key_Return);
        QTest::keyClicks(&window.passwordField(), "Segredo-98");
        QTest::keyClick(&window.passwordField(), Qt::Key_Return);
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QFile trace(file);
        QVERIFY(trace.open(QIODevice::ReadOnly));
        const QByteArray written = trace.readAll();
        QVERIFY2(written.contains("signon refused Operador ou senha inv"), written.constData());
        QVERIFY2(written.contains("signon accepted OPER01"), written.constData());
        QVERIFY(!written.contains("Segredo"));
        QVERIFY(!written.contains("token-1"));
    }
};

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    SignOnTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "sign_on_test.moc"
