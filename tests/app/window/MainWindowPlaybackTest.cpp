// Local playback through the main window: a generated backup opened as the
// file dialog would, the playback bar and page, the speed field, the time
// search dialog, the DVR disk through a fake mount table, a volume without
// a signature; and the stream recorder's buttons with the REC mark.
#include "WindowTestSupport.h"

#include "DvrWriter.h"
#include "app/controls/BitmapSlider.h"
#include "app/controls/HoverButton.h"
#include "app/dialogs/HddPlayDialog.h"
#include "app/window/OneCamera.h"
#include "app/window/TabPages.h"
#include "storage/LocalPlayer.h"
#include "support/InProcessDvr.h"
#include "video/ViewerCore.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <filesystem>

using namespace tarnvik;
using namespace tarnvik::test;

namespace {

mkdvr::MkdvrOptions Recording(int seconds)
{
    mkdvr::MkdvrOptions options;
    options.mediaDir = TARNVIK_TESTDVR_MEDIA;
    options.channels = 4;
    options.seconds = seconds;
    return options;
}

class WindowPlayback : public ::testing::Test {
protected:
    void Make(MainDlgOptions options = {})
    {
        options.playbackPacing = false;
        options.askPath = [this](int) { return nextPath; };
        options.askTime = [this](CHddPlayDlg& dialog) {
            dialog.SetChosenTime(chosenTime);
            return choice;
        };
        f = std::make_unique<WindowFixture>(std::move(options));
    }
    bool PanesHavePictures(int count = 4)
    {
        for (int pane = 0; pane < count; ++pane)
            if (f->window->Core().Panes().Snapshot(pane).noVideo)
                return false;
        return true;
    }
    void Click(int id) { f->window->Button(id)->click(); }
    bool Idle() { return f->window->Player()->WaitIdle(std::chrono::milliseconds(10000)); }

    TempDir files;
    std::unique_ptr<WindowFixture> f;
    std::string nextPath;
    uint32_t chosenTime = 0;
    int choice = CHddPlayDlg::Cancelled;
};

TEST_F(WindowPlayback, BackupPlaysInTheFourPanesWithTheBar)
{
    Make();
    std::string error;
    mkdvr::MkdvrSummary summary;
    ASSERT_TRUE(mkdvr::WriteBackup(Recording(12), files / "rec.DVR", error, &summary)) << error;
    CMainDlg& w = *f->window;
    EXPECT_FALSE(w.Button(ctl::LocalFf)->isVisible());

    nextPath = files / "rec.DVR";
    Click(ctl::FileMode);
    ASSERT_TRUE(w.Player()->Running());
    ASSERT_TRUE(Idle());
    ASSERT_TRUE(WaitFor([&] { return PanesHavePictures(); }));
    EXPECT_EQ(w.Core().State().mode.load(), int(kModeLocalPlayback));
    EXPECT_EQ(w.Sheet()->currentWidget(), w.LocalTab());
    EXPECT_TRUE(w.Button(ctl::LocalFf)->isVisible());
    EXPECT_TRUE(w.PositionSlider()->isVisible());
    EXPECT_EQ(w.PositionSlider()->Maximum(), int64_t(summary.videoBytes / 512));
    EXPECT_FALSE(w.AudioMuted());

    // FF from a pause: " >>2  " in the page's speed field, then the pause
    // at the end.
    Click(ctl::LocalFf);
    EXPECT_EQ(w.Player()->Speed(), 2);
    EXPECT_TRUE(WaitFor([&] { return w.LocalTab()->SpeedLabel()->text() == " >>2  " || w.Player()->AtEnd(); }));
    ASSERT_TRUE(WaitFor([&] { return w.Player()->AtEnd(); }));
    EXPECT_TRUE(WaitFor([&] { return w.LocalTab()->SpeedLabel()->text() == " ||  "; }));
    EXPECT_TRUE(WaitFor([&] { return w.LocalTab()->PlayButton()->text() == "Play"; }));

    // Play from the end starts again and the page's button reads Pause meanwhile.
    w.LocalTab()->PlayButton()->click();
    EXPECT_EQ(w.Player()->State(), kStatePlaying);
    ASSERT_TRUE(WaitFor([&] { return w.Player()->AtEnd(); }));
    // The slider followed the player to the last block.
    EXPECT_TRUE(WaitFor([&] { return w.PositionSlider()->Position() > w.PositionSlider()->Maximum() / 2; }));

    // Leaving the page closes the source and the bar.
    w.Sheet()->setCurrentWidget(w.LiveTab());
    EXPECT_FALSE(w.Player()->Running());
    EXPECT_FALSE(w.Button(ctl::LocalFf)->isVisible());
    EXPECT_EQ(w.Core().State().mode.load(), int(kModeLive));
}

TEST_F(WindowPlayback, TimeSearchSeeksOrSaysNotFound)
{
    Make();
    mkdvr::MkdvrOptions options = Recording(12);
    options.entrySeconds = 100;
    options.gaps = {{4, 100}};
    std::string error;
    mkdvr::MkdvrSummary summary;
    ASSERT_TRUE(mkdvr::WriteBackup(options, files / "gap.DVR", error, &summary)) << error;
    ASSERT_TRUE(f->window->OpenPlayback(files / "gap.DVR"));
    ASSERT_TRUE(Idle());

    choice = CHddPlayDlg::Search;
    chosenTime = summary.entries[0].time - 120;
    Click(ctl::TimeSearch);
    ASSERT_EQ(f->notifier.Texts().size(), 1u);
    EXPECT_EQ(f->notifier.Texts().back(), "      Not found!      ");
    EXPECT_NE(f->window->Player()->State(), kStatePlaying);

    // 30 s before the second entry: playing starts there, the slider with it.
    chosenTime = summary.entries[1].time - 30;
    Click(ctl::TimeSearch);
    EXPECT_EQ(f->notifier.Texts().size(), 1u);
    EXPECT_TRUE(WaitFor([&] {
        return f->window->PositionSlider()->Position() >= int64_t(summary.entries[1].position / 512);
    }));
}

TEST_F(WindowPlayback, DvrDiskAndVolumes)
{
    MainDlgOptions options;
    const std::string disk = files / "disk";
    options.diskPaths = {disk + "/mounts", disk + "/dev", disk + "/sys"};
    Make(options);
    Click(ctl::HddPlayback);
    ASSERT_EQ(f->notifier.Texts().size(), 1u);
    EXPECT_EQ(f->notifier.Texts().back(), "Open File Error!");

    std::string error;
    ASSERT_TRUE(mkdvr::WriteDiskImage(Recording(4), mkdvr::DiskLayout{}, disk, error)) << error;
    Click(ctl::HddPlayback);
    ASSERT_TRUE(f->window->Player()->Running());
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(WaitFor([&] { return PanesHavePictures(); }));

    // A volume whose first bytes hold no signature: the user is asked.
    ASSERT_TRUE(mkdvr::WriteBackup(Recording(3), files / "raw.DVR", error)) << error;
    nextPath = files / "raw.DVR";
    f->notifier.AnswerWith(MessageAnswer::No);
    Click(ctl::OpenFile);
    EXPECT_EQ(f->notifier.Texts().back(), "The signature of backup data is invalid. Are you continue ?");
    EXPECT_FALSE(f->window->Player()->Running());
    f->notifier.AnswerWith(MessageAnswer::Yes);
    Click(ctl::OpenFile);
    EXPECT_TRUE(f->window->Player()->Running());
}

TEST(WindowRecording, RecordButtonsRecordLiveVideoWithTheRecMark)
{
    testdvr::Options dvrOptions;
    dvrOptions.channels = 4;
    InProcessDvr dvr(dvrOptions, TARNVIK_TESTDVR_MEDIA);
    ASSERT_TRUE(dvr.Started()) << dvr.Error();
    TempDir folder;
    AppSettings settings;
    settings.profile.recPath = (folder / "rec").string() + "/";
    WindowFixture f({}, settings);
    ConnectSettings connect;
    connect.host = "127.0.0.1";
    connect.port = dvr.Port();
    connect.password = "1234";
    f.window->ConnectTo(connect);
    ASSERT_TRUE(WaitFor([&] { return f.window->Button(ctl::DvrRecordStart)->isEnabled(); }));

    f.window->Button(ctl::DvrRecordStart)->click();
    EXPECT_EQ(f.window->Pane(0)->RecordingText(), "REC");
    ASSERT_TRUE(WaitFor([&] { return f.window->Core().Recorder().Written() > 100000; }));
    f.window->Button(ctl::DvrRecordStop)->click();
    EXPECT_TRUE(WaitFor([&] { return f.window->Pane(0)->RecordingText().isEmpty(); }));
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "rec"))
        files += entry.path().extension() == ".avs";
    EXPECT_EQ(files, 1);
    EXPECT_TRUE(f.notifier.Texts().empty());
}

} // namespace
