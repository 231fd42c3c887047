#include "desktop/script_platform.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <iostream>

#include "desktop/busy_indicator.h"
#include "desktop/form_windows.h"
#include "desktop/host_options.h"
#include "desktop/main_window.h"
#include "desktop/qt_platform.h"
#include "scenario/runner.h"

namespace desktop {

namespace {

constexpr int kTitleHeight = 24;

// A window's content under a title bar and inside a thin frame, as a desktop
// draws it (the off-screen surface draws no decorations).
QPixmap framed(const QPixmap& content, const QString& title) {
    const qreal ratio = content.devicePixelRatio();
    const QSize inner = content.size() / ratio;
    QPixmap result(inner.width() + 2, inner.height() + kTitleHeight + 1);
    result.fill(QColor(70, 70, 70));
    QPainter painter(&result);
    QLinearGradient gradient(0, 0, 0, kTitleHeight);
    gradient.setColorAt(0, QColor(58, 96, 150));
    gradient.setColorAt(1, QColor(38, 70, 120));
    painter.fillRect(QRect(1, 1, inner.width(), kTitleHeight - 1), gradient);
    QFont font = QApplication::font();
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(8, 1, inner.width() - 16, kTitleHeight - 1),
                     Qt::AlignVCenter | Qt::AlignLeft, title);
    painter.drawPixmap(QRect(QPoint(1, kTitleHeight), inner), content);
    return result;
}

void settle() {
    for (int i = 0; i < 3; ++i) {
        QApplication::sendPostedEvents();
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

}  // namespace

WindowScriptPlatform::WindowScriptPlatform(MainWindow& window) : m_window(window) {}

WindowScriptPlatform::~WindowScriptPlatform() = default;

int WindowScriptPlatform::MessageDialog(const std::string& text, host::TMsgDlgType type,
                                        host::TMsgDlgButtons buttons) {
    const int answer = ScriptedPlatform::MessageDialog(text, type, buttons);
    // A newer message means the older one has been answered.
    dismissMessages();
    auto box = std::make_unique<QMessageBox>(messageIcon(type), messageTitle(type),
                                             QString::fromStdString(text), QMessageBox::NoButton,
                                             &m_window);
    const struct {
        host::TMsgDlgButtons flag;
        const char* text;
        QMessageBox::ButtonRole role;
    } choices[] = {{host::mbYes, "Sim", QMessageBox::YesRole},
                   {host::mbNo, "Não", QMessageBox::NoRole},
                   {host::mbOK, "OK", QMessageBox::AcceptRole},
                   {host::mbCancel, "Cancelar", QMessageBox::RejectRole}};
    for (const auto& choice : choices) {
        if ((buttons & choice.flag) != 0) {
            box->addButton(QString::fromUtf8(choice.text), choice.role);
        }
    }
    box->setWindowModality(Qt::NonModal);
    box->show();
    m_messages.push_back(std::move(box));
    return answer;
}

void WindowScriptPlatform::dismissMessages() {
    for (auto& box : m_messages) {
        box->hide();
    }
    m_messages.clear();
}

void WindowScriptPlatform::RunModal(host::TForm& form) {
    dismissMessages();
    m_window.formWindows().openDialog(form);
    ScriptedPlatform::RunModal(form);
}

void WindowScriptPlatform::ShowForm(host::TForm& form) {
    dismissMessages();
    ScriptedPlatform::ShowForm(form);
    m_window.formWindows().show(form);
}

void WindowScriptPlatform::FormClosed(host::TForm& form) {
    ScriptedPlatform::FormClosed(form);
    m_window.formWindows().closed(form);
}

void WindowScriptPlatform::BusyOn(int kind) {
    ScriptedPlatform::BusyOn(kind);
    m_window.busyIndicator().start(kind);
}

void WindowScriptPlatform::BusyOff() {
    ScriptedPlatform::BusyOff();
    m_window.busyIndicator().stop();
}

QPixmap WindowScriptPlatform::picture() {
    m_window.showSession();
    settle();
    QPixmap base = m_window.grab();
    const QSize size = base.size() / base.devicePixelRatio();
    {
        QPainter painter(&base);
        int offset = 0;
        auto paintCentred = [&](QWidget& top) {
            top.adjustSize();
            const QPixmap window = framed(top.grab(), top.windowTitle());
            const QSize shown = window.size() / window.devicePixelRatio();
            const QPoint at((size.width() - shown.width()) / 2 + offset,
                            (size.height() - shown.height()) / 2 + offset);
            painter.drawPixmap(at, window);
            offset += 24;
        };
        for (QDialog* dialog : m_window.formWindows().openDialogs()) {
            paintCentred(*dialog);
        }
        for (const auto& box : m_messages) {
            paintCentred(*box);
        }
    }
    return framed(base, m_window.windowTitle());
}

bool WindowScriptPlatform::shot(const QString& file, QString& error) {
    const QPixmap image = picture();
    dismissMessages();
    if (!image.save(file, "PNG")) {
        error = QStringLiteral("cannot write %1").arg(file);
        return false;
    }
    return true;
}

int runScript(const HostOptions& options) {
    const QFileInfo script(options.scriptFile);
    if (!script.isFile() || !script.isReadable()) {
        std::cerr << "ore-host: cannot read the scenario " << options.scriptFile.toStdString()
                  << "\n";
        return 2;
    }
    const QString shots =
        options.shotsDirectory.isEmpty() ? QDir::currentPath() : options.shotsDirectory;
    if (!QDir().mkpath(shots)) {
        std::cerr << "ore-host: cannot create the shots folder " << shots.toStdString() << "\n";
        return 2;
    }

    scenario::LiveOptions live;
    live.programDirectory = options.moduleDirectory.toStdString();
    scenario::Totals totals;
    try {
        // The system outlives the window: the window's forms go first.
        scenario::LiveSystem system(live, std::cout);
        MainWindow window(options);
        window.show();
        settle();
        WindowScriptPlatform platform(window);
        const scenario::Executor::ExtraCommands extra =
            [&platform, &shots](const std::string& word, const std::vector<std::string>& args) {
                if (word != "shot") {
                    return false;
                }
                if (args.size() != 1 || args[0].empty() ||
                    args[0].find_first_of("/\\") != std::string::npos) {
                    throw scenario::Failure("shot takes one name without folders: shot NAME");
                }
                QString error;
                const QString file =
                    QDir(shots).filePath(QString::fromStdString(args[0]) + QStringLiteral(".png"));
                if (!platform.shot(file, error)) {
                    throw scenario::Failure(error.toStdString());
                }
                return true;
            };
        totals =
            scenario::playFile(system, platform, script.filePath().toStdString(), std::cout, extra);
        window.formWindows().closeAll();
    } catch (const std::exception& error) {
        std::cout << "ore-host: FAIL: " << error.what() << "\n";
        ++totals.failed;
    }
    std::cout << totals.passed << " passed, " << totals.failed << " failed\n";
    std::cout << "shots: " << QDir(shots).absolutePath().toStdString() << "\n";
    std::cout.flush();
    return totals.failed == 0 ? 0 : 1;
}

}  // namespace desktop
