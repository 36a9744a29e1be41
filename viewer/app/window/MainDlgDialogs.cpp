// The main window's dialogs: logon before connecting, the settings, and
// the in-car DVR's setup file.
#include "MainDlg.h"

#include "app/ProfileEditing.h"
#include "app/dialogs/DvrSettingDialog.h"
#include "app/dialogs/LogonDialog.h"
#include "app/dialogs/SettingDialog.h"
#include "video/ViewerCore.h"

namespace tarnvik {

QPixmap LoadSkin(int resourceId); // MainDlgPanel.cpp

void CMainDlg::OnConnectButton()
{
    if (connecting_) {
        // While an attempt waits for an answer the button cancels it, and
        // with it the restoring of a lost session.
        cancelRequested_ = true;
        core_->Session().CancelOpen();
        if (Reconnecting())
            DisconnectFromButton();
        return;
    }
    if (Reconnecting() || !core_->State().stopFlag.load() || core_->Session().IsConnected()) {
        DisconnectFromButton();
        return;
    }
    const std::optional<LogonAnswer> answer = options_.askLogon ? options_.askLogon() : RunLogonDialog();
    if (!answer)
        return;
    // The chosen profile becomes the current one; the typed text is the host.
    // A failed write of the profile file does not stop the connection.
    ApplyLogon(ini_, app_, answer->chosenProfile, answer->host);
    ConnectSettings settings;
    settings.host = app_.profile.ip;
    settings.port = app_.profile.port;
    settings.userId = answer->userId;
    settings.password = answer->password;
    settings.speedSetting = app_.profile.speed;
    settings.codecSetting = app_.profile.codec;
    settings.channelCount = ChannelCountOfMaxCh(app_.profile.maxCh);
    ConnectTo(settings);
}

std::optional<LogonAnswer> CMainDlg::RunLogonDialog()
{
    CLogonDlg dialog(ini_, app_, this);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    LogonAnswer answer;
    answer.chosenProfile = dialog.ChosenProfile();
    answer.host = dialog.Host();
    answer.password = dialog.Password();
    answer.userId = dialog.UserId();
    return answer;
}

void CMainDlg::OnSettingButton()
{
    // Settings change only while no stream is requested.
    if (core_->State().streamState.load() != kStreamIdle || connecting_)
        return;
    const bool sessionRunning = !core_->State().stopFlag.load();
    CSettingDlg dialog(ini_, app_, notifier_, sessionRunning, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (dialog.ChannelLayoutReset()) {
        const int channelCount = ChannelCountOfMaxCh(app_.profile.maxCh);
        core_->State().channelCount = channelCount;
        ApplyChannelCount(channelCount);
    }
}

void CMainDlg::OnDvrSettingButton()
{
    // The editor only edits a file; it never talks to a DVR, so it opens in
    // any state of the window.
    DvrIniLocation location = options_.dvrIni;
    if (location.write.empty())
        location = LocateDvrIni(ProgramFolder(), UserConfigFolder());
    CDvrSettingDlg dialog(std::move(location), notifier_, LoadSkin, this);
    if (options_.askDvrSetting)
        options_.askDvrSetting(dialog);
    else
        dialog.exec();
}

} // namespace tarnvik
