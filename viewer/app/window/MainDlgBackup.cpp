// Backup in the main window: a time range of the source that local
// playback has open, copied raw into RecPath behind a progress dialog.
#include "MainDlg.h"

#include "app/controls/LedButton.h"
#include "app/dialogs/BackupDialog.h"
#include "storage/RawBackup.h"
#include "video/ViewerCore.h"

#include <QDesktopServices>
#include <QUrl>

#include <ctime>

namespace tarnvik {

void CMainDlg::StartBackup()
{
    const PlayerSource* source = PlayingSource();
    if (!source)
        return;
    BackupTexts texts;
    texts.title = LoadText(3079);
    texts.startRec = LoadText(3069);
    texts.endRec = LoadText(3070);
    texts.backupStart = LoadText(3080);
    texts.backupEnd = LoadText(3081);
    texts.raw = LoadText(3082);
    texts.avi = LoadText(3083);
    texts.savePath = LoadText(3092);
    texts.ok = tr("OK");
    texts.cancel = LoadText(3074);
    CBackupDlg dialog(texts, source->firstTime, source->lastTime, QString::fromStdString(app_.profile.recPath),
                      this);
    const int answer = options_.askBackup ? options_.askBackup(dialog) : dialog.exec();
    if (answer != QDialog::Accepted)
        return;

    // The folder chosen becomes the recording folder, kept with the
    // trailing separator the recorder's names rely on.
    std::string folder = dialog.Folder().toStdString();
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    if (!folder.empty() && folder != app_.profile.recPath) {
        app_.profile.recPath = folder;
        core_->Recorder().SetFolder(folder);
        if (app_.main.count > 0)
            ini_.WriteString(ProfileSection(app_.main.index), "RecPath", folder);
    }

    // AVI data: the chosen channels are exported while playback plays on.
    if (!dialog.RawData()) {
        if (!core_->Export().Running())
            AskAviExport();
        return;
    }
    const std::optional<BackupPlan> plan = PlanBackup(*source, dialog.StartTime(), dialog.EndTime());
    if (!plan) {
        notifier_.ShowMessage(LoadText(3094).toStdString(), MessageIcon::Warning);
        return;
    }
    BackupRequest request;
    request.plan = *plan;
    request.folder = app_.profile.recPath;
    request.startedAt = std::time(nullptr);
    CBackupProgressDlg progress(LoadText(3086), std::move(request), this);
    CLedButton* light = Light(ctl::BackupLight);
    light->SetState(1);
    if (options_.runBackup)
        options_.runBackup(progress);
    else
        progress.exec();
    progress.Job().CancelAndWait(); // a dialog ended by other means stops its copy too
    light->SetState(0);

    const RawBackupJob& job = progress.Job();
    switch (job.Status()) {
    case BackupStatus::Succeeded:
        break;
    case BackupStatus::Failed: {
        const std::string message = job.Message();
        notifier_.ShowMessage(message == kNotFoundVideoData ? LoadText(3094).toStdString() : message,
                              MessageIcon::Warning);
        return;
    }
    default:
        return; // cancelled: the copy's files are gone
    }
    notifier_.ShowMessage(job.OutputPath() + "\n" + LoadText(3095).toStdString(), MessageIcon::Information);
    if (options_.openFolder)
        options_.openFolder(app_.profile.recPath);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(app_.profile.recPath)));
}

} // namespace tarnvik
