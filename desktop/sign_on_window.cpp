#include "desktop/sign_on_window.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>
#include <utility>

#include "desktop/trace.h"
#include "desktop/window_focus.h"

namespace desktop {

namespace {

constexpr int kOperatorCodeLength = 12;

// Restores the pointer when the call is over, however it ends.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

QString SignOnWindow::signOnTitle() {
    return QStringLiteral("Identificação do Operador");
}

QString SignOnWindow::renewalTitle() {
    return QStringLiteral("Sessão Expirada");
}

SignOnWindow::SignOnWindow(Purpose purpose, const QString& operatorCode,
                           const QString& serverAddress, SignOnCall call, QWidget* parent)
    : QDialog(parent),
      m_purpose(purpose),
      m_call(std::move(call)),
      m_operator(new QLineEdit(this)),
      m_password(new QLineEdit(this)),
      m_message(new QLabel(this)),
      m_signOn(new QPushButton(QStringLiteral("Entrar"), this)),
      m_cancel(new QPushButton(QStringLiteral("Cancelar"), this)) {
    const bool renewal = purpose == Purpose::Renewal;
    setObjectName(renewal ? QStringLiteral("renewal") : QStringLiteral("signOn"));
    setWindowTitle(renewal ? renewalTitle() : signOnTitle());
    setModal(true);

    m_operator->setObjectName(QStringLiteral("edtOperador"));
    m_operator->setMaxLength(kOperatorCodeLength);
    m_operator->setText(operatorCode);
    m_operator->setReadOnly(renewal);
    m_password->setObjectName(QStringLiteral("edtSenha"));
    m_password->setEchoMode(QLineEdit::Password);
    // No input method may keep or suggest what is typed here.
    m_password->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData |
                                    Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    auto* server = new QLabel(serverAddress, this);
    server->setObjectName(QStringLiteral("lblServidor"));
    server->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->setObjectName(QStringLiteral("lblMensagem"));
    m_message->setWordWrap(true);
    m_message->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_message->hide();

    m_signOn->setObjectName(QStringLiteral("btnEntrar"));
    m_signOn->setDefault(true);
    m_cancel->setObjectName(QStringLiteral("btnCancelar"));
    m_cancel->setAutoDefault(false);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(m_signOn, QDialogButtonBox::AcceptRole);
    buttons->addButton(m_cancel, QDialogButtonBox::RejectRole);
    connect(m_signOn, &QPushButton::clicked, this, &SignOnWindow::trySignOn);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Servidor"), server);
    auto* operatorLabel = new QLabel(QStringLiteral("&Operador"), this);
    operatorLabel->setBuddy(m_operator);
    fields->addRow(operatorLabel, m_operator);
    auto* passwordLabel = new QLabel(QStringLiteral("&Senha"), this);
    passwordLabel->setBuddy(m_password);
    fields->addRow(passwordLabel, m_password);

    auto* layout = new QVBoxLayout(this);
    if (renewal) {
        auto* why = new QLabel(
            QStringLiteral("A sessão expirou. Informe a senha novamente para continuar."), this);
        why->setObjectName(QStringLiteral("lblMotivo"));
        why->setWordWrap(true);
        layout->addWidget(why);
    }
    layout->addLayout(fields);
    layout->addWidget(m_message);
    layout->addWidget(buttons);
    setMinimumWidth(340);
    setSizeGripEnabled(false);

    QWidget::setTabOrder(m_operator, m_password);
    QWidget::setTabOrder(m_password, m_signOn);
    QWidget::setTabOrder(m_signOn, m_cancel);
}

void SignOnWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The keyboard starts in the first field still to be filled.
    QLineEdit* first = !m_operator->isReadOnly() && m_operator->text().trimmed().isEmpty()
                           ? m_operator
                           : m_password;
    takeKeyboard(*this, first);
    Trace::write(m_purpose == Purpose::Renewal
                     ? QStringLiteral("renewal shown ") + m_operator->text()
                     : QStringLiteral("signon shown"));
}

void SignOnWindow::showRefusal(const QString& text, QLineEdit& retryIn) {
    m_message->setText(text);
    m_message->show();
    Trace::write(QStringLiteral("signon refused ") + text);
    retryIn.selectAll();
    retryIn.setFocus(Qt::OtherFocusReason);
}

void SignOnWindow::trySignOn() {
    const QString operatorCode = m_operator->text().trimmed();
    if (operatorCode.isEmpty()) {
        showRefusal(QStringLiteral("Informe o operador."), *m_operator);
        return;
    }
    if (m_password->text().isEmpty()) {
        showRefusal(QStringLiteral("Informe a senha."), *m_password);
        return;
    }
    std::string password = m_password->text().toStdString();
    m_password->clear();
    m_signOn->setEnabled(false);
    m_cancel->setEnabled(false);
    QString refusal;
    try {
        const WaitCursor waiting;
        m_answer = m_call(operatorCode.toStdString(), password);
    } catch (const std::exception& failure) {
        refusal = QString::fromUtf8(failure.what());
        if (refusal.isEmpty()) {
            refusal = QStringLiteral("Não foi possível entrar.");
        }
    }
    password.assign(password.size(), '\0');
    m_signOn->setEnabled(true);
    m_cancel->setEnabled(true);
    if (!refusal.isEmpty()) {
        showRefusal(refusal, *m_password);
        return;
    }
    Trace::write(QStringLiteral("signon accepted ") +
                 QString::fromStdString(m_answer.operatorCode));
    accept();
}

}  // namespace desktop
