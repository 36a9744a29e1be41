// AVI export from the main window: "Save to AVI File...", the button that
// starts and stops the export, the AVI light and the panes' mark.
#include "MainDlg.h"

#include "app/controls/HoverButton.h"
#include "app/controls/LedButton.h"
#include "app/dialogs/AviSaveDialog.h"
#include "app/window/OneCamera.h"
#include "storage/LocalPlayer.h"
#include "video/ViewerCore.h"

#include <QDesktopServices>
#include <QPointer>
#include <QUrl>

#include <ctime>

namespace tarnvik {

void CMainDlg::OnAviButton()
{
    if (core_->Export().Running()) {
        StopAviExport();
        return;
    }
    // A source open for local playback is saved by time range, raw or as AVI.
    if (PlayingSource()) {
        StartBackup();
        return;
    }
    AskAviExport();
}

void CMainDlg::AskAviExport()
{
    std::string shown = aviPath_.empty() ? app_.profile.recPath : aviPath_;
    if (shown.empty())
        shown = DefaultRecPath();
    CAviSaveDlg dialog(QString::fromStdString(shown), core_->State().channelCount.load(), this);
    const int result = options_.askAviSave ? options_.askAviSave(dialog) : dialog.exec();
    if (result != QDialog::Accepted || dialog.ChannelMask() == 0)
        return;
    aviPath_ = dialog.Path().toStdString();
    StartAviExport(dialog.ChannelMask(), aviPath_);
}

bool CMainDlg::StartAviExport(int mask, const std::string& path)
{
    AviExport& avi = core_->Export();
    // Nothing chosen: the recording folder, or its default when that is unset too.
    std::string chosen = path.empty() ? app_.profile.recPath : path;
    if (chosen.empty())
        chosen = DefaultRecPath();
    AviExportSettings settings = AviTargetOfPath(chosen);
    settings.fullSize = app_.profile.aviFullsize != 0;
    settings.continuationBytes = options_.aviContinuationBytes;
    // A channel whose export fails ends by itself; the window follows. Set
    // once, before any decoding thread can call it.
    if (!avi.onChannelEnded) {
        QPointer<CMainDlg> window(this);
        avi.onChannelEnded = [window] {
            QMetaObject::invokeMethod(
                window, [window] {
                    if (window)
                        window->ShowAviState();
                },
                Qt::QueuedConnection);
        };
    }
    const bool started = avi.Start(mask, settings, std::time(nullptr));
    ShowAviState();
    return started;
}

void CMainDlg::StopAviExport(bool openFolder)
{
    AviExport& avi = core_->Export();
    if (!avi.Running())
        return;
    avi.Stop();
    ShowAviState();
    if (!openFolder)
        return;
    bool wrote = false;
    for (int channel = 0; channel < 16; ++channel)
        wrote = wrote || !avi.Files(channel).empty();
    if (!wrote)
        return;
    if (options_.openFolder)
        options_.openFolder(avi.Folder());
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(avi.Folder())));
}

void CMainDlg::ShowAviState()
{
    AviExport& avi = core_->Export();
    // Every channel's export failed: the export is over.
    if (avi.Running() && core_->State().exportedChannelMask.load() == 0)
        avi.Stop();
    const bool running = avi.Running();
    if (CHoverButton* button = Button(ctl::RecordAvi)) {
        button->SetTooltip(LoadText(running ? 3088 : 3008));
        button->update();
    }
    if (CLedButton* light = Light(ctl::AviLight))
        light->SetState(running ? 1 : 0);
    const QString mark = LoadText(3089);
    for (COneCamera* pane : panes_) {
        if (pane) {
            pane->SetAviText(mark);
            pane->update();
        }
    }
}

} // namespace tarnvik
