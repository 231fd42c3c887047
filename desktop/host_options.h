#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "host/services/session.h"

namespace desktop {

// How ore-host was started: the session and where things are. Command-line
// options override the settings file, which overrides the defaults. The
// session's operator and branch are only what the sign-on window offers: the
// server's answer makes the session.
struct HostOptions {
    host::Session session;
    QString moduleDirectory;  // where libPKG_ORE06100.so is; default: next to ore-host
    QString settingsFile;
    QString scriptFile;      // play this scenario instead of waiting for the operator
    QString shotsDirectory;  // where `shot NAME` writes NAME.png
    QString traceFile;       // where the host writes what it does, for outside tests
    QString passwordFile;    // sign on from this file instead of the window
};

// Reads the arguments (argv[0] first). Fills `error` with a readable text and
// returns nothing for bad input; --help and --version print and exit.
std::optional<HostOptions> parseHostOptions(const QStringList& arguments, QString& error);

// Applies a settings file (ini: [server] host, port, ca, clientCert,
// clientKey (files relative to the settings file); [database] target;
// [session] branch, branchName, operator, fixedBranch; [modules] dir;
// [pictures] 0="mask" ..., quoted since ";" starts a comment) over the options.
// True when the arguments only ask for --help or --version: those need no
// display, so they are answered before the window system is reached.
bool asksForHelpOnly(int argc, char* argv[]);

bool readSettings(const QString& file, HostOptions& options, QString& error);

}  // namespace desktop
