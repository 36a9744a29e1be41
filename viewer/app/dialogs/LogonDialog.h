// CLogonDlg: "Logon...", where the user picks the DVR to connect to and types
// the password. The dialog only shows and collects; after exec() returns
// Accepted the caller applies the choice with ApplyLogon (ProfileEditing.h)
// and logs in with Password() and UserId():
//
//     CLogonDlg dlg(ini, app, this);
//     if (dlg.exec() == QDialog::Accepted) {
//         ApplyLogon(ini, app, dlg.ChosenProfile(), dlg.Host());
//         ... connect to app.profile.ip with dlg.UserId(), dlg.Password()
//     }
#pragma once

#include "app/ProfileEditing.h"

#include <QDialog>

#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarnvik {

// The user id the DVRs know; the field holding it is never shown.
inline constexpr const char* kLogonUserId = "admin";
// The DVR accepts passwords and user ids of at most this many characters.
constexpr int kLogonFieldMaxLength = 8;

class CLogonDlg : public QDialog {
    Q_OBJECT
public:
    // Child widgets, by objectName: "system" (editable combo box listing
    // profiles 0 .. app.main.count-1 as LogonEntries says, on app.main.index
    // when that is one of them, else empty; "HOST:PORT" may be typed), "password", "userId" (hidden), "ok",
    // "cancel". Enter anywhere is OK. The file is only read, here.
    CLogonDlg(const IniFile& ini, const AppSettings& app, QWidget* parent = nullptr);

    // The firmware-upgrade page uses the dialog only to choose a DVR and
    // shows it with the password disabled.
    void SetPasswordEnabled(bool enabled);

    // The entry selected in the list, or kNoProfileChosen when none is.
    // The list keeps its selection while the user types over the text:
    // typing a new host keeps the profile selected before (its port and
    // other settings are used with the typed host).
    // Typing an address that is in the list, exactly, selects that entry
    // once Enter is pressed or the field is left.
    int ChosenProfile() const;
    // The text of the "system" field as typed (not trimmed).
    std::string Host() const;
    std::string Password() const;
    std::string UserId() const;

private:
    QComboBox* system_;
    QLabel* passwordLabel_;
    QLineEdit* password_;
    QLineEdit* userId_;
};

} // namespace tarnvik
