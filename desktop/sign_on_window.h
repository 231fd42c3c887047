#pragma once

#include <QDialog>
#include <QString>

#include "desktop/sign_on.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace desktop {

// The operator's sign-on: operator code and password, sent to the server by
// the given call. A refusal shows the server's text and the window stays for
// another try; Esc or "Cancelar" rejects. For a renewal the operator is fixed
// and only the password is asked.
class SignOnWindow : public QDialog {
public:
    enum class Purpose { SignOn, Renewal };

    SignOnWindow(Purpose purpose, const QString& operatorCode, const QString& serverAddress,
                 SignOnCall call, QWidget* parent = nullptr);

    // The server's answer, once the window was accepted.
    const SignOnAnswer& answer() const { return m_answer; }

    QLineEdit& operatorField() const { return *m_operator; }
    QLineEdit& passwordField() const { return *m_password; }
    QLabel& messageLabel() const { return *m_message; }
    QPushButton& signOnButton() const { return *m_signOn; }
    QPushButton& cancelButton() const { return *m_cancel; }

    static QString signOnTitle();
    static QString renewalTitle();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void trySignOn();
    void showRefusal(const QString& text, QLineEdit& retryIn);

    Purpose m_purpose;
    SignOnCall m_call;
    SignOnAnswer m_answer;
    QLineEdit* m_operator;
    QLineEdit* m_password;
    QLabel* m_message;
    QPushButton* m_signOn;
    QPushButton* m_cancel;
};

}  // namespace desktop
