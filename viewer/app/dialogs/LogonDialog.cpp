#include "app/dialogs/LogonDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnvik {

CLogonDlg::CLogonDlg(const IniFile& ini, const AppSettings& app, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Logon..."));

    system_ = new QComboBox(this);
    system_->setObjectName(QStringLiteral("system"));
    system_->setEditable(true);
    // A typed host stays as typed: no entry is inserted on Enter, and no
    // completion can turn "10.0.0.1" into "10.0.0.15" behind the user's back.
    system_->setInsertPolicy(QComboBox::NoInsert);
    system_->setCompleter(nullptr);
    system_->setMinimumContentsLength(20);
    for (const std::string& entry : LogonEntries(ini, app.main.count))
        system_->addItem(QString::fromStdString(entry));
    const bool current = app.main.index >= 0 && app.main.index < system_->count();
    system_->setCurrentIndex(current ? app.main.index : -1);

    passwordLabel_ = new QLabel(tr("Password"), this);
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("password"));
    password_->setEchoMode(QLineEdit::Password);
    password_->setMaxLength(kLogonFieldMaxLength);
    passwordLabel_->setBuddy(password_);

    userId_ = new QLineEdit(QString::fromLatin1(kLogonUserId), this);
    userId_->setObjectName(QStringLiteral("userId"));
    userId_->setMaxLength(kLogonFieldMaxLength);
    userId_->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout;
    auto* systemLabel = new QLabel(tr("System"), this);
    systemLabel->setBuddy(system_);
    form->addRow(systemLabel, system_);
    form->addRow(passwordLabel_, password_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    // With a DVR already chosen the password is what is left to type.
    if (current)
        password_->setFocus();
    else
        system_->setFocus();
}

void CLogonDlg::SetPasswordEnabled(bool enabled)
{
    passwordLabel_->setEnabled(enabled);
    password_->setEnabled(enabled);
    if (!enabled)
        system_->setFocus();
}

int CLogonDlg::ChosenProfile() const
{
    const int index = system_->currentIndex();
    return index >= 0 ? index : kNoProfileChosen;
}

std::string CLogonDlg::Host() const
{
    return system_->currentText().toStdString();
}

std::string CLogonDlg::Password() const
{
    return password_->text().toStdString();
}

std::string CLogonDlg::UserId() const
{
    return userId_->text().toStdString();
}

} // namespace tarnvik
