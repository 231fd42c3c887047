#include "desktop/host_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <utility>

namespace desktop {

namespace {

bool readPort(const QString& text, int& port, QString& error) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > 65535) {
        error =
            QStringLiteral("invalid server port '%1': expected a number from 1 to 65535").arg(text);
        return false;
    }
    port = value;
    return true;
}

bool readFlag(const QString& text, bool& flag, QString& error) {
    const QString value = text.trimmed().toLower();
    if (value == "yes" || value == "true" || value == "1" || value == "sim") {
        flag = true;
        return true;
    }
    if (value == "no" || value == "false" || value == "0" || value == "nao" ||
        value == QStringLiteral("não")) {
        flag = false;
        return true;
    }
    error = QStringLiteral("invalid fixed-branch value '%1': expected yes or no").arg(text);
    return false;
}

}  // namespace

bool readSettings(const QString& file, HostOptions& options, QString& error) {
    const QFileInfo info(file);
    if (!info.exists() || !info.isReadable()) {
        error = QStringLiteral("cannot read the settings file %1").arg(file);
        return false;
    }
    QSettings settings(file, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        error = QStringLiteral("the settings file %1 is not a valid ini file").arg(file);
        return false;
    }
    host::Session& session = options.session;
    auto text = [&settings](const char* key, std::string& target) {
        if (settings.contains(QLatin1String(key))) {
            target = settings.value(QLatin1String(key)).toString().toStdString();
        }
    };
    text("server/host", session.serverHost);
    if (settings.contains("server/port") &&
        !readPort(settings.value("server/port").toString(), session.serverPort, error)) {
        return false;
    }
    // Certificate files named relative to the settings file's folder.
    auto path = [&settings, &info](const char* key, std::string& target) {
        if (settings.contains(QLatin1String(key))) {
            target = info.absoluteDir()
                         .absoluteFilePath(settings.value(QLatin1String(key)).toString())
                         .toStdString();
        }
    };
    path("server/ca", session.serverCaFile);
    path("server/clientCert", session.clientCertFile);
    path("server/clientKey", session.clientKeyFile);
    text("database/target", session.database);
    text("session/branch", session.branchCode);
    text("session/branchName", session.branchName);
    text("session/operator", session.operatorCode);
    if (settings.contains("session/fixedBranch") &&
        !readFlag(settings.value("session/fixedBranch").toString(), session.fixedBranch, error)) {
        return false;
    }
    if (settings.contains("modules/dir")) {
        options.moduleDirectory = settings.value("modules/dir").toString();
    }
    settings.beginGroup(QStringLiteral("pictures"));
    for (const QString& key : settings.childKeys()) {
        bool ok = false;
        const int type = key.toInt(&ok);
        if (!ok) {
            error = QStringLiteral("invalid picture type '%1' in %2").arg(key, file);
            return false;
        }
        session.pictures[type] = settings.value(key).toString().toStdString();
    }
    settings.endGroup();
    return true;
}

bool asksForHelpOnly(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == "-h" || argument == "--help" || argument == "-?" ||
            argument == "--help-all" || argument == "-v" || argument == "--version") {
            return true;
        }
    }
    return false;
}

std::optional<HostOptions> parseHostOptions(const QStringList& arguments, QString& error) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Desktop host of the order-approval cancellation screen (ORE06100)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption serverHost("server-host", "Order server address.", "HOST");
    const QCommandLineOption serverPort("server-port", "Order server port.", "PORT");
    const QCommandLineOption serverCa(
        "server-ca", "CA (PEM) of the order server's certificate: connect with TLS.", "FILE");
    const QCommandLineOption clientCert(
        "client-cert", "Certificate (PEM) to present to the order server.", "FILE");
    const QCommandLineOption clientKey("client-key", "Key (PEM) of --client-cert.", "FILE");
    const QCommandLineOption database(
        "database", "Shared database: SQLite file or PostgreSQL connection.", "TARGET");
    const QCommandLineOption branch("branch", "Default branch; the sign-on answer replaces it.",
                                    "CODE");
    const QCommandLineOption branchName(
        "branch-name", "Default branch name; the sign-on answer replaces it.", "NAME");
    const QCommandLineOption operatorCode("operator",
                                          "Operator code offered in the sign-on window.", "CODE");
    const QCommandLineOption fixedBranch(
        "fixed-branch", "Default fixed-branch flag (yes|no); the sign-on answer replaces it.",
        "yes|no");
    const QCommandLineOption passwordFile(
        "password-file",
        "Sign the --operator on without the sign-on window, with the password on the first "
        "line of FILE (readable only by you: chmod 600). For tests and demos; a password is "
        "never taken on the command line.",
        "FILE");
    const QCommandLineOption moduleDir("module-dir", "Folder of the screen modules.", "DIR");
    const QCommandLineOption settingsFile("settings", "Settings file (ini).", "FILE");
    const QCommandLineOption scriptFile("script", "Play a scenario in the window.", "FILE");
    const QCommandLineOption shotsDir("shots", "Folder for the scenario's screenshots.", "DIR");
    const QCommandLineOption traceFile(
        "trace", "Write focus moves, keys, windows and messages to FILE (for tests).", "FILE");
    parser.addOptions({serverHost, serverPort, database, branch, branchName, operatorCode,
                       fixedBranch, moduleDir, settingsFile, scriptFile, shotsDir, traceFile,
                       passwordFile, serverCa, clientCert, clientKey});
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return std::nullopt;
    }
    if (parser.isSet("help")) {
        parser.showHelp(0);
    }
    if (parser.isSet("version")) {
        parser.showVersion();
    }
    if (!parser.positionalArguments().isEmpty()) {
        error =
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
        return std::nullopt;
    }

    HostOptions options;
    options.session.branchCode = "0001";
    options.session.operatorCode = "ADMIN";
    if (parser.isSet(settingsFile)) {
        options.settingsFile = parser.value(settingsFile);
        if (!readSettings(options.settingsFile, options, error)) {
            return std::nullopt;
        }
    }
    host::Session& session = options.session;
    if (parser.isSet(serverHost)) {
        session.serverHost = parser.value(serverHost).toStdString();
    }
    if (parser.isSet(serverPort) &&
        !readPort(parser.value(serverPort), session.serverPort, error)) {
        return std::nullopt;
    }
    for (const auto& [option, target] : {std::pair{&serverCa, &session.serverCaFile},
                                         std::pair{&clientCert, &session.clientCertFile},
                                         std::pair{&clientKey, &session.clientKeyFile}}) {
        if (parser.isSet(*option)) {
            *target = parser.value(*option).toStdString();
        }
    }
    if (parser.isSet(database)) {
        session.database = parser.value(database).toStdString();
    }
    if (parser.isSet(branch)) {
        session.branchCode = parser.value(branch).toStdString();
    }
    if (parser.isSet(branchName)) {
        session.branchName = parser.value(branchName).toStdString();
    }
    if (parser.isSet(operatorCode)) {
        session.operatorCode = parser.value(operatorCode).toStdString();
    }
    if (parser.isSet(fixedBranch) &&
        !readFlag(parser.value(fixedBranch), session.fixedBranch, error)) {
        return std::nullopt;
    }
    if (parser.isSet(moduleDir)) {
        options.moduleDirectory = parser.value(moduleDir);
    }
    if (options.moduleDirectory.isEmpty()) {
        options.moduleDirectory = QCoreApplication::applicationDirPath();
    }
    if (parser.isSet(scriptFile)) {
        options.scriptFile = parser.value(scriptFile);
    }
    if (parser.isSet(shotsDir)) {
        options.shotsDirectory = parser.value(shotsDir);
    }
    if (parser.isSet(traceFile)) {
        options.traceFile = parser.value(traceFile);
    }
    if (parser.isSet(passwordFile)) {
        options.passwordFile = parser.value(passwordFile);
    }
    if (!options.passwordFile.isEmpty() && !options.scriptFile.isEmpty()) {
        error = QStringLiteral("--password-file is not for --script: the scenario signs on");
        return std::nullopt;
    }
    if (!options.shotsDirectory.isEmpty() && options.scriptFile.isEmpty()) {
        error = QStringLiteral("--shots needs --script");
        return std::nullopt;
    }
    if (session.branchCode.size() > 4) {
        error = QStringLiteral("invalid branch code '%1': at most 4 characters")
                    .arg(QString::fromStdString(session.branchCode));
        return std::nullopt;
    }
    return options;
}

}  // namespace desktop
