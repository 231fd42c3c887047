#include "desktop/qt_platform.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include "desktop/busy_indicator.h"
#include "desktop/form_windows.h"
#include "desktop/help_window.h"
#include "desktop/pick_list_dialog.h"
#include "desktop/trace.h"
#include "desktop/window_focus.h"

namespace desktop {

QString messageTitle(host::TMsgDlgType type) {
    switch (type) {
        case host::TMsgDlgType::mtError:
            return QStringLiteral("Erro");
        case host::TMsgDlgType::mtWarning:
            return QStringLiteral("Atenção");
        case host::TMsgDlgType::mtConfirmation:
            return QStringLiteral("Confirmação");
        case host::TMsgDlgType::mtInformation:
            return QStringLiteral("Informação");
        case host::TMsgDlgType::mtCustom:
            break;
    }
    return QStringLiteral("Mensagem");
}

QMessageBox::Icon messageIcon(host::TMsgDlgType type) {
    switch (type) {
        case host::TMsgDlgType::mtError:
            return QMessageBox::Critical;
        case host::TMsgDlgType::mtWarning:
            return QMessageBox::Warning;
        case host::TMsgDlgType::mtConfirmation:
            return QMessageBox::Question;
        case host::TMsgDlgType::mtInformation:
            return QMessageBox::Information;
        case host::TMsgDlgType::mtCustom:
            break;
    }
    return QMessageBox::NoIcon;
}

namespace {

QString traceName(host::TMsgDlgType type) {
    switch (type) {
        case host::TMsgDlgType::mtError:
            return QStringLiteral("mtError");
        case host::TMsgDlgType::mtWarning:
            return QStringLiteral("mtWarning");
        case host::TMsgDlgType::mtConfirmation:
            return QStringLiteral("mtConfirmation");
        case host::TMsgDlgType::mtInformation:
            return QStringLiteral("mtInformation");
        case host::TMsgDlgType::mtCustom:
            break;
    }
    return QStringLiteral("mtCustom");
}

}  // namespace

QtPlatform::QtPlatform(FormWindows& windows, BusyIndicator& busy, QWidget& dialogParent)
    : m_windows(windows), m_busy(busy), m_dialogParent(dialogParent) {}

QtPlatform::~QtPlatform() {
    if (m_hourglass) {
        QApplication::restoreOverrideCursor();
    }
}

int QtPlatform::MessageDialog(const std::string& text, host::TMsgDlgType type,
                              host::TMsgDlgButtons buttons) {
    QMessageBox box(messageIcon(type), messageTitle(type), QString::fromStdString(text),
                    QMessageBox::NoButton, ownerForDialog(m_dialogParent));
    const KeyboardReturn keyboardBack;
    struct Choice {
        host::TMsgDlgButtons flag;
        const char* text;
        QMessageBox::ButtonRole role;
        int result;
    };
    static const Choice choices[] = {
        {host::mbYes, "Sim", QMessageBox::YesRole, host::mrYes},
        {host::mbNo, "Não", QMessageBox::NoRole, host::mrNo},
        {host::mbOK, "OK", QMessageBox::AcceptRole, host::mrOk},
        {host::mbCancel, "Cancelar", QMessageBox::RejectRole, host::mrCancel},
    };
    std::vector<std::pair<QAbstractButton*, int>> results;
    for (const Choice& choice : choices) {
        if ((buttons & choice.flag) != 0) {
            QPushButton* button = box.addButton(QString::fromUtf8(choice.text), choice.role);
            results.emplace_back(button, choice.result);
        }
    }
    if (results.empty()) {
        results.emplace_back(box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole),
                             host::mrOk);
    }
    box.setDefaultButton(static_cast<QPushButton*>(results.front().first));
    // Escape answers the harmless way: No, Cancel, or OK when it is alone.
    box.setEscapeButton(results.back().first);
    // The hourglass of a running command must not hide the pointer here.
    const bool hourglass = m_hourglass;
    if (hourglass) {
        QApplication::restoreOverrideCursor();
    }
    Trace::write(QStringLiteral("message %1 %2").arg(traceName(type), box.text()));
    box.exec();
    Trace::write(QStringLiteral("message closed"));
    if (hourglass) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    for (const auto& [button, result] : results) {
        if (box.clickedButton() == button) {
            return result;
        }
    }
    return results.back().second;
}

void QtPlatform::RunModal(host::TForm& form) {
    m_windows.runModal(form);
}

void QtPlatform::ShowForm(host::TForm& form) {
    m_windows.show(form);
}

void QtPlatform::FormClosed(host::TForm& form) {
    m_windows.closed(form);
}

void QtPlatform::BusyOn(int kind) {
    m_busy.start(kind);
}

void QtPlatform::BusyOff() {
    m_busy.stop();
}

std::optional<std::vector<int>> QtPlatform::PickList(const host::PickListRequest& request) {
    const KeyboardReturn keyboardBack;
    return PickListDialog::choose(request, ownerForDialog(m_dialogParent));
}

void QtPlatform::SetCursor(host::TCursor cursor) {
    const bool wanted = cursor == host::TCursor::crHourGlass;
    if (wanted == m_hourglass) {
        return;
    }
    m_hourglass = wanted;
    if (wanted) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

bool QtPlatform::InputText(const std::string& caption, const std::string& prompt,
                           std::string& value) {
    const KeyboardReturn keyboardBack;
    QInputDialog dialog(ownerForDialog(m_dialogParent));
    dialog.setWindowTitle(QString::fromStdString(caption));
    dialog.setLabelText(QString::fromStdString(prompt));
    dialog.setTextValue(QString::fromStdString(value));
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancelar"));
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    value = dialog.textValue().toStdString();
    return true;
}

}  // namespace desktop

namespace desktop {

bool QtPlatform::ShowHelp(const std::string& screenCode) {
    const QString code = QString::fromStdString(screenCode);
    const QString page = HelpWindow::pageFor(code);
    if (page.isEmpty()) {
        return false;
    }
    const KeyboardReturn keyboardBack;
    HelpWindow window(code, page, ownerForDialog(m_dialogParent));
    Trace::write(QStringLiteral("help shown ") + code);
    window.exec();
    Trace::write(QStringLiteral("help closed ") + code);
    return true;
}

std::optional<std::string> QtPlatform::SaveFileName(const host::SaveFileRequest& request) {
    const KeyboardReturn keyboardBack;
    QFileDialog dialog(ownerForDialog(m_dialogParent), QString::fromStdString(request.title));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Qt asks before a file is replaced.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!request.filter.empty()) {
        dialog.setNameFilter(QString::fromStdString(request.filter));
    }
    if (!request.defaultSuffix.empty()) {
        dialog.setDefaultSuffix(QString::fromStdString(request.defaultSuffix));
    }
    dialog.selectFile(QString::fromStdString(request.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QFile::encodeName(dialog.selectedFiles().front()).toStdString();
}

}  // namespace desktop
