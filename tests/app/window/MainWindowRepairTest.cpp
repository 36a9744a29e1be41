// The live view repairing itself against the test DVR over loopback: panes
// marked when their pictures stop, a lost session restored with the view
// the user had (and a live recording going on), a paused view that keeps
// its session, and the single view staying in step with what the DVR is
// asked for.
#include "WindowTestSupport.h"

#include "app/controls/HoverButton.h"
#include "app/window/OneCamera.h"
#include "app/window/TabPages.h"
#include "video/Divisions.h"
#include "video/ViewerCore.h"

#include "support/InProcessDvr.h"

#include <QPushButton>

#include <filesystem>

#include <gtest/gtest.h>

using namespace tarnvik;
using namespace tarnvik::test;

namespace {

using Clock = std::chrono::steady_clock;

class WindowRepair : public ::testing::Test {
protected:
    void SetUp() override
    {
        options.channels = 16;
        options.password = "1234";
        StartDvr(0);
    }
    void TearDown() override
    {
        f.reset();
        dvr.reset();
    }

    void StartDvr(uint16_t port)
    {
        dvr = std::make_unique<InProcessDvr>(options, TARNVIK_TESTDVR_MEDIA, port);
        ASSERT_TRUE(dvr->Started()) << dvr->Error();
    }

    void LogIn() { ASSERT_TRUE(LogInTo(*f->window, dvr->Port())); }

    // Waits for a line of the DVR's log; the window's timers go on meanwhile.
    bool Logged(const std::string& text)
    {
        return WaitFor([&] { return dvr->LogCount(text) > 0; });
    }

    // Waits for a picture in `pane` newer than `since`.
    bool PictureAfter(int pane, Clock::time_point since)
    {
        return WaitFor([&] { return f->window->Core().Panes().Snapshot(pane).lastPicture > since; });
    }

    testdvr::Options options;
    std::unique_ptr<InProcessDvr> dvr;
    std::unique_ptr<WindowFixture> f = std::make_unique<WindowFixture>();
};

TEST_F(WindowRepair, KilledDvrMarksThePanesAndTheViewAndRecordingComeBackWithIt)
{
    TempDir recordings;
    AppSettings settings;
    settings.profile.recPath = (recordings / "rec").string() + "/";
    f.reset();
    f = std::make_unique<WindowFixture>(MainDlgOptions{}, settings);
    LogIn();
    CMainDlg& w = *f->window;
    QTest::mouseClick(w.Button(ctl::DvrRecordStart), Qt::LeftButton);
    ASSERT_TRUE(w.Core().Recorder().IsRecording(kModeLive));
    // The user pages the single view to the third channel.
    for (int press = 0; press < 3; ++press)
        QTest::mouseClick(w.Button(ctl::Div1), Qt::LeftButton);
    ASSERT_EQ(w.Divisions().Division(), kSingleViewDivision);
    ASSERT_EQ(w.Divisions().SelectedChannel(), 2);
    ASSERT_TRUE(Logged("channels=0x0004"));
    ASSERT_TRUE(PictureAfter(2, Clock::now()));
    EXPECT_EQ(w.Pane(2)->SignalText(), "");

    const uint16_t port = dvr->Port();
    dvr.reset();
    ASSERT_TRUE(WaitFor([&] { return w.Pane(2)->SignalText().startsWith("RECONNECTING IN "); }))
        << w.Pane(2)->SignalText().toStdString();
    EXPECT_TRUE(w.Reconnecting());
    EXPECT_FALSE(w.Core().Recorder().IsRecording(kModeLive)) << "the file is closed while nothing can arrive";
    EXPECT_EQ(w.Button(ctl::Connect)->toolTip(), "Disconnect to DVR");
    EXPECT_EQ(f->notifier.Texts(), std::vector<std::string>({"Connection closed."}));

    // The DVR comes back on its port: the session and the view return, and
    // the failed attempts in between told the user nothing more.
    StartDvr(port);
    ASSERT_TRUE(WaitFor([&] { return w.Core().State().loggedIn.load(); }, 60000));
    EXPECT_TRUE(WaitFor([&] { return !w.Reconnecting(); }));
    EXPECT_EQ(w.Divisions().Division(), kSingleViewDivision);
    EXPECT_EQ(w.Divisions().SelectedChannel(), 2);
    EXPECT_TRUE(Logged("channels=0x0004"));
    EXPECT_TRUE(WaitFor([&] { return w.Pane(2)->SignalText().isEmpty(); }));
    EXPECT_EQ(f->notifier.Texts().size(), 1u) << testing::PrintToString(f->notifier.Texts());
    // The recording goes on in a second file, with its REC mark.
    EXPECT_TRUE(w.Core().Recorder().IsRecording(kModeLive));
    EXPECT_FALSE(w.Pane(2)->RecordingText().isEmpty());
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(recordings / "rec"))
        files += entry.path().extension() == ".avs";
    EXPECT_EQ(files, 2);

    // Disconnect ends the repair for good.
    QTest::mouseClick(w.Button(ctl::Connect), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return w.windowTitle() == "Network Viewer"; }));
    QTest::qWait(1500);
    EXPECT_FALSE(w.Reconnecting());
    EXPECT_FALSE(w.Core().Recorder().IsRecording(kModeLive));
    EXPECT_EQ(dvr->LogCount("login accepted"), 1);
}

TEST_F(WindowRepair, PausedViewKeepsItsSessionAndASilentStreamIsRestored)
{
    MainDlgOptions shortWaits;
    shortWaits.timing.inactivityLimit = std::chrono::milliseconds(1000);
    f.reset(); // the program has one connection object at a time
    f = std::make_unique<WindowFixture>(shortWaits);
    LogIn();
    CMainDlg& w = *f->window;
    ASSERT_TRUE(PictureAfter(0, Clock::now()));

    // Paused far beyond the inactivity limit and the no-signal wait.
    QTest::mouseClick(w.LiveTab()->PauseButton(), Qt::LeftButton);
    QTest::qWait(4000);
    EXPECT_TRUE(w.Core().State().loggedIn.load());
    EXPECT_TRUE(f->notifier.Texts().empty()) << testing::PrintToString(f->notifier.Texts());
    EXPECT_EQ(w.Pane(0)->SignalText(), "") << "a paused view has no signal to lose";
    QTest::mouseClick(w.LiveTab()->PlayButton(), Qt::LeftButton);
    EXPECT_TRUE(PictureAfter(0, Clock::now()));

    // While pictures are requested, silence still ends the session, and the
    // session is then restored.
    ASSERT_TRUE(dvr->Control("stall"));
    ASSERT_TRUE(WaitFor([&] { return !f->notifier.Texts().empty(); }));
    EXPECT_EQ(f->notifier.Texts()[0], "Connection closed.");
    EXPECT_TRUE(WaitFor([&] { return dvr->LogCount("login accepted") == 2; }, 30000));
    EXPECT_TRUE(WaitFor([&] { return w.Core().State().loggedIn.load() && !w.Reconnecting(); }));
    EXPECT_TRUE(PictureAfter(0, Clock::now()));
}

TEST_F(WindowRepair, SingleViewStaysInStepWithWhatTheDvrSends)
{
    LogIn();
    CMainDlg& w = *f->window;
    ASSERT_TRUE(PictureAfter(0, Clock::now()));
    QTest::mouseClick(w.Pane(0), Qt::LeftButton, Qt::NoModifier, QPoint(10, 30));
    QTest::mouseDClick(w.Pane(0), Qt::LeftButton, Qt::NoModifier, QPoint(10, 30));
    ASSERT_TRUE(Logged("channels=0x0001"));

    // "DIV 1" pages the single view on: the DVR is asked for that channel.
    QTest::mouseClick(w.Button(ctl::Div1), Qt::LeftButton);
    EXPECT_EQ(w.Divisions().Division(), kSingleViewDivision);
    EXPECT_EQ(w.Divisions().SelectedChannel(), 1);
    EXPECT_TRUE(Logged("channels=0x0002"));
    EXPECT_TRUE(PictureAfter(1, Clock::now()));

    // Disconnected and connected again, the view is the one the DVR is
    // asked for.
    QTest::mouseClick(w.Button(ctl::Connect), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return w.windowTitle() == "Network Viewer"; }));
    const int asked = dvr->LogCount("channels=0x0002");
    LogIn();
    EXPECT_EQ(w.Divisions().Division(), kSingleViewDivision);
    EXPECT_EQ(w.Divisions().SelectedChannel(), 1);
    EXPECT_TRUE(w.Pane(1)->isVisible());
    EXPECT_FALSE(w.Pane(0)->isVisible());
    EXPECT_TRUE(WaitFor([&] { return dvr->LogCount("channels=0x0002") > asked; }));
    EXPECT_TRUE(PictureAfter(1, Clock::now()));

    // Leaving the single view returns to the grid it was entered from.
    const int grids = dvr->LogCount("panes=4");
    QTest::mouseDClick(w.Pane(1), Qt::LeftButton, Qt::NoModifier, QPoint(10, 30));
    EXPECT_EQ(w.Divisions().Division(), 4);
    EXPECT_TRUE(WaitFor([&] { return dvr->LogCount("panes=4") > grids; }));
    for (int pane = 0; pane < 4; ++pane)
        EXPECT_TRUE(PictureAfter(pane, Clock::now())) << pane;
}

} // namespace
