// Remote playback by time through the main window, against the test DVR
// playing back a generated `.DVR` backup: the Remote page, the "DVR
// Playback" dialog, the remote buttons and the pickers the steps read; the
// times the DVR receives under two time zones, and what the panes show.
#include "WindowTestSupport.h"

#include "DvrWriter.h"
#include "app/controls/HoverButton.h"
#include "app/dialogs/DvrPlaybackDialog.h"
#include "app/window/TabPages.h"
#include "storage/StreamRecorder.h"
#include "video/ViewerCore.h"

#include "support/InProcessDvr.h"

#include <QDateEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimeEdit>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ctime>

using namespace tarnvik;
using namespace tarnvik::test;

namespace {

const QDate kDay(2009, 3, 1); // the backup starts at 12:00:00 that day

// The zone the test runs in, restored at its end.
class TimeZone {
public:
    explicit TimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        Set(zone);
    }
    ~TimeZone() { old_.empty() ? (::unsetenv("TZ"), ::tzset()) : Set(old_.c_str()); }
    static void Set(const char* zone)
    {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }

private:
    std::string old_;
};

class WindowRemote : public ::testing::Test {
protected:
    void SetUp() override
    {
        mkdvr::MkdvrOptions recording;
        recording.mediaDir = TARNVIK_TESTDVR_MEDIA;
        recording.channels = 4;
        recording.seconds = 8;
        recording.startTime = 1235908800; // 2009-03-01 12:00:00
        const std::string backup = (dir / "remote.DVR").string();
        std::string error;
        ASSERT_TRUE(mkdvr::WriteBackup(recording, backup, error)) << error;
        testdvr::Options options;
        options.channels = 4;
        options.playbackFile = backup;
        dvr = std::make_unique<InProcessDvr>(options, TARNVIK_TESTDVR_MEDIA);
        ASSERT_TRUE(dvr->Started()) << dvr->Error();

        MainDlgOptions windowOptions;
        windowOptions.askPlayTime = [this](CDvrPlaybackDlg& dialog) {
            dialog.SetChosen(chosen);
            return int(accept ? QDialog::Accepted : QDialog::Rejected);
        };
        f = std::make_unique<WindowFixture>(std::move(windowOptions));
    }
    void TearDown() override
    {
        f.reset();
        dvr.reset();
    }

    void LogIn() { ASSERT_TRUE(LogInTo(*f->window, dvr->Port())); }
    std::string PaneTime(int pane) { return f->window->Core().Panes().Snapshot(pane).timeText; }
    // Every one of the four panes shows a picture of exactly `text`.
    bool PanesAt(const std::string& text)
    {
        for (int pane = 0; pane < 4; ++pane)
            if (PaneTime(pane) != text)
                return false;
        return true;
    }
    void Click(int id) { f->window->Button(id)->click(); }

    TempDir dir;
    QDateTime chosen;
    bool accept = true;
    std::unique_ptr<InProcessDvr> dvr;
    std::unique_ptr<WindowFixture> f;
};

} // namespace

TEST_F(WindowRemote, PlaysFromTheChosenTimePausesAndStepsBothWays)
{
    LogIn();
    // The login's own live request goes out from the network thread; the
    // page is changed only after it, so that it cannot overtake the stop.
    ASSERT_TRUE(dvr->WaitForLog("live request sub=1 channels=0xffff op=17"));
    CMainDlg& w = *f->window;
    EXPECT_FALSE(w.Button(ctl::RemotePlay)->isVisible());
    w.Sheet()->setCurrentWidget(w.NetTab());
    for (int id : {ctl::RemotePlay, ctl::RemoteStop, ctl::RemoteStepFf, ctl::RemoteStepRw})
        EXPECT_TRUE(w.Button(id)->isVisible()) << id;
    EXPECT_TRUE(w.DatePicker()->isVisible());
    EXPECT_TRUE(dvr->WaitForLog("live request sub=20")) << "the live stream stops with its page";
    EXPECT_TRUE(w.NetTab()->TimeResetButton()->isEnabled());

    // The local time chosen goes to the DVR as its own wall-clock time,
    // whatever this computer's zone.
    {
        TimeZone zone("America/New_York");
        chosen = QDateTime(kDay, QTime(12, 0, 2));
        Click(ctl::RemotePlay);
    }
    EXPECT_TRUE(dvr->WaitForLog("code=0x06 sub=2 op=3 time=1235908802 channels=0xffff panes=4 mode=2"));
    EXPECT_TRUE(dvr->WaitForLog("code=0x11 sub=2 op=17"));
    EXPECT_EQ(w.DatePicker()->date(), kDay) << "the steps start where Play did";
    EXPECT_EQ(w.TimePicker()->time(), QTime(12, 0, 2));
    // Pictures from the chosen time on, in every pane.
    ASSERT_TRUE(WaitFor([&] {
        for (int pane = 0; pane < 4; ++pane)
            if (PaneTime(pane) < "2009-03-01 12:00:02.400")
                return false;
        return true;
    })) << PaneTime(0);
    EXPECT_FALSE(w.NetTab()->TimeResetButton()->isEnabled()) << "not while a stream runs";

    // The recorder keeps what is played back, in a stream file of its own.
    f->app.profile.recPath = (dir / "rec").string();
    std::filesystem::create_directories(dir / "rec");
    Click(ctl::DvrRecordStart);
    ASSERT_TRUE(w.Core().Recorder().IsRecording(kModeRemotePlayback));
    QTest::qWait(300);
    Click(ctl::DvrRecordStop);
    EXPECT_FALSE(w.Core().Recorder().IsRecording(kModeRemotePlayback));
    std::uintmax_t recorded = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "rec"))
        recorded += entry.file_size();
    EXPECT_GT(recorded, 10000u);

    // Stop: the pictures stay as they were.
    Click(ctl::RemoteStop);
    ASSERT_TRUE(dvr->WaitForLog("playback end op=4"));
    QTest::qWait(200);
    const std::string paused = PaneTime(0);
    QTest::qWait(300);
    EXPECT_EQ(PaneTime(0), paused);
    EXPECT_GE(paused, std::string("2009-03-01 12:00:02.000"));

    // Steps read the pickers: one picture at a time, forward and back.
    {
        TimeZone zone("Asia/Taipei");
        w.TimePicker()->setTime(QTime(12, 0, 5));
        Click(ctl::RemoteStepFf);
    }
    EXPECT_TRUE(dvr->WaitForLog("code=0x11 sub=2 op=18 time=1235908805"));
    ASSERT_TRUE(WaitFor([&] { return PanesAt("2009-03-01 12:00:05.000"); })) << PaneTime(0);
    Click(ctl::RemoteStepFf);
    ASSERT_TRUE(WaitFor([&] { return PanesAt("2009-03-01 12:00:05.040"); })) << PaneTime(0);
    w.NetTab()->StepPrevButton()->click();
    ASSERT_TRUE(WaitFor([&] { return PanesAt("2009-03-01 12:00:05.000"); })) << PaneTime(0);
    Click(ctl::RemoteStepRw);
    ASSERT_TRUE(WaitFor([&] { return PanesAt("2009-03-01 12:00:04.960"); })) << PaneTime(0);

    // Leaving the page ends the DVR's playback session; its pictures go.
    const int ends = dvr->LogCount("playback end op=4");
    w.Sheet()->setCurrentWidget(w.LiveTab());
    EXPECT_TRUE(WaitFor([&] { return dvr->LogCount("playback end op=4") == ends + 1; }));
    EXPECT_FALSE(w.Button(ctl::RemotePlay)->isVisible());
    EXPECT_TRUE(f->notifier.Texts().empty());
}

TEST_F(WindowRemote, PlayWithoutADvrAsksForOneAndCancelChangesNothing)
{
    CMainDlg& w = *f->window;
    w.Sheet()->setCurrentWidget(w.NetTab());
    EXPECT_FALSE(w.NetTab()->TimeResetButton()->isEnabled());
    chosen = QDateTime(kDay, QTime(12, 0, 0));
    accept = false;
    Click(ctl::RemotePlay);
    EXPECT_TRUE(f->notifier.Texts().empty()) << "Cancel plays nothing";
    accept = true;
    // The page's Play before any time was chosen opens the dialog too.
    w.NetTab()->PlayButton()->click();
    EXPECT_EQ(f->notifier.Texts(),
              std::vector<std::string>({"Please connect DVR first via network for playing DVR."}));
    Click(ctl::RemoteStepFf); // steps do nothing without a DVR
    EXPECT_EQ(f->notifier.Texts().size(), 1u);
}
