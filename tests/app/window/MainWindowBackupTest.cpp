// Backup through the main window: the "&Backup" button with a backup open
// in local playback, the "Backup" dialog's range and folder, the copy behind
// its progress dialog with the Backup light, the success message and the
// folder shown; a range that is refused and a folder that cannot be written.
#include "WindowTestSupport.h"

#include "DvrWriter.h"
#include "app/controls/LedButton.h"
#include "app/dialogs/AviSaveDialog.h"
#include "app/dialogs/BackupDialog.h"
#include "storage/LocalPlayer.h"
#include "storage/TimeIndex.h"

#include <QRadioButton>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace tarnvik;
using namespace tarnvik::test;

namespace {

TEST(WindowBackup, BackupButtonCopiesTheRangeChosenAndShowsTheFolder)
{
    TempDir files;
    mkdvr::MkdvrOptions recording;
    recording.mediaDir = TARNVIK_TESTDVR_MEDIA;
    recording.seconds = 12;
    recording.entrySeconds = 4;
    mkdvr::MkdvrSummary summary;
    std::string error;
    ASSERT_TRUE(mkdvr::WriteBackup(recording, (files / "rec.DVR").string(), error, &summary)) << error;

    // What the "Backup" dialog is given and answers.
    uint32_t shownStart = 0, shownEnd = 0, start = 0, end = 0;
    QString folder;
    int progressRuns = 0, lightWhileCopying = -1, aviDialogs = 0;
    bool aviData = false;
    std::vector<std::string> shownFolders;
    MainDlgOptions options;
    options.playbackPacing = false;
    options.askBackup = [&](CBackupDlg& dialog) {
        shownStart = dialog.StartTime();
        shownEnd = dialog.EndTime();
        EXPECT_TRUE(dialog.RawData());
        if (aviData)
            dialog.findChildren<QRadioButton*>().at(1)->click();
        dialog.SetRange(start, end);
        dialog.SetFolder(folder);
        return int(QDialog::Accepted);
    };
    WindowFixture* fixture = nullptr;
    options.runBackup = [&](CBackupProgressDlg& progress) {
        ++progressRuns;
        lightWhileCopying = fixture->window->Light(ctl::BackupLight)->State();
        return progress.exec();
    };
    options.askAviSave = [&](CAviSaveDlg&) {
        ++aviDialogs;
        return int(QDialog::Rejected);
    };
    options.openFolder = [&](const std::string& shown) { shownFolders.push_back(shown); };
    WindowFixture f(std::move(options));
    fixture = &f;
    CMainDlg& w = *f.window;

    EXPECT_FALSE(w.BackupButton()->isEnabled()) << "nothing open to back up";
    ASSERT_TRUE(w.OpenPlayback((files / "rec.DVR").string()));
    ASSERT_TRUE(w.BackupButton()->isEnabled());

    // The first two entries into a new folder, while the player plays on.
    w.Player()->PlayPause();
    start = summary.entries[0].time;
    end = summary.entries[1].time + 3;
    folder = QString::fromStdString((files / "out").string());
    w.BackupButton()->click();
    EXPECT_EQ(shownStart, summary.entries.front().time);
    EXPECT_EQ(shownEnd, summary.entries.back().time);
    EXPECT_EQ(lightWhileCopying, 1);
    EXPECT_EQ(w.Light(ctl::BackupLight)->State(), 0);
    ASSERT_EQ(f.notifier.Texts().size(), 1u);
    const std::string text = f.notifier.Texts()[0];
    const std::string suffix = "\nBackup successful!";
    ASSERT_GT(text.size(), suffix.size());
    ASSERT_EQ(text.substr(text.size() - suffix.size()), suffix) << text;
    const std::string dvr = text.substr(0, text.size() - suffix.size());
    EXPECT_EQ(std::filesystem::path(dvr).parent_path(), files / "out");
    const std::string source = ReadFile(files / "rec.DVR");
    EXPECT_EQ(ReadFile(dvr), source.substr(0, summary.entries[2].position));
    EXPECT_TRUE(std::filesystem::exists(IndexPathFor(dvr)));
    EXPECT_EQ(f.app.profile.recPath, (files / "out").string() + "/");
    EXPECT_EQ(shownFolders, std::vector<std::string>({folder.toStdString() + "/"}));

    // A start at the end: refused before any copy.
    start = end = summary.entries[1].time;
    w.BackupButton()->click();
    EXPECT_EQ(f.notifier.Texts().back(), "Not found video data!");
    EXPECT_EQ(progressRuns, 1);

    // A folder that cannot be written (root is refused in sysfs only): the
    // reason, and no success.
    const std::filesystem::path readOnly = files / "ro";
    std::filesystem::create_directories(readOnly);
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    folder = ::geteuid() == 0 ? QStringLiteral("/sys") : QString::fromStdString(readOnly.string());
    start = summary.entries[0].time;
    end = summary.entries[2].time;
    w.BackupButton()->click();
    EXPECT_EQ(progressRuns, 2);
    EXPECT_EQ(f.notifier.Texts().size(), 3u);
    EXPECT_EQ(f.notifier.Texts().back().rfind("Can't create " + folder.toStdString() + "/", 0), 0u)
        << f.notifier.Texts().back();
    EXPECT_EQ(shownFolders.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(readOnly));

    // AVI data goes on to the AVI export's own dialog.
    aviData = true;
    w.BackupButton()->click();
    EXPECT_EQ(aviDialogs, 1);
    EXPECT_EQ(progressRuns, 2);

    w.StopPlayback();
    EXPECT_FALSE(w.BackupButton()->isEnabled());
}

} // namespace
