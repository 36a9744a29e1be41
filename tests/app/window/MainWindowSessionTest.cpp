// The main window against the test DVR over loopback: connecting off the
// user-interface thread, logging in, video in the panes, pan/tilt/zoom from
// the live tab and the skinned buttons, and disconnecting.
#include "WindowTestSupport.h"

#include "app/controls/HoverButton.h"
#include "app/controls/LedButton.h"
#include "app/window/OneCamera.h"
#include "app/window/TabPages.h"
#include "video/Divisions.h"
#include "video/ViewerCore.h"

#include "support/InProcessDvr.h"
#include "support/SilentAddress.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tarnvik;
using namespace tarnvik::test;

namespace {

class WindowWithDvr : public ::testing::Test {
protected:
    void SetUp() override
    {
        testdvr::Options options;
        options.channels = 16;
        options.password = "1234";
        dvr = std::make_unique<InProcessDvr>(options, TARNVIK_TESTDVR_MEDIA);
        ASSERT_TRUE(dvr->Started()) << dvr->Error();
    }
    void TearDown() override
    {
        f.reset();
        dvr.reset();
    }

    ConnectSettings Settings() const { return TestDvrSettings(dvr->Port()); }
    void LogIn() { ASSERT_TRUE(LogInTo(*f->window, dvr->Port())); }

    std::unique_ptr<InProcessDvr> dvr;
    std::unique_ptr<WindowFixture> f = std::make_unique<WindowFixture>();
};

} // namespace

TEST_F(WindowWithDvr, LogsInAndShowsVideoInTheFourPanes)
{
    LogIn();
    CMainDlg& w = *f->window;
    EXPECT_EQ(w.Button(ctl::Connect)->toolTip(), "Disconnect to DVR");
    EXPECT_EQ(w.Sheet()->count(), 3) << "the local search page goes while a DVR is connected";
    EXPECT_TRUE(w.LiveTab()->PlayButton()->isEnabled());
    EXPECT_TRUE(dvr->WaitForLog("channels=0xffff op=17 panes=4"));

    for (int pane = 0; pane < 4; ++pane)
        EXPECT_TRUE(WaitFor([&] { return !w.Core().Panes().Snapshot(pane).noVideo; })) << "pane " << pane;
    // The rate display counts what was shown in the last second.
    ASSERT_TRUE(WaitFor([&] { return w.Label(ctl::FrameRate)->text() != "0 fps"; }, 4000));
    EXPECT_TRUE(w.Label(ctl::FrameRate)->text().endsWith(" fps"));
    // The test DVR reports that it records: the REC light is on.
    EXPECT_TRUE(WaitFor([&] { return w.Light(ctl::RecLight)->State() == 1; }));

    // A pane paints its caption and time above the picture.
    const PaneSnapshot shot = w.Core().Panes().Snapshot(1);
    EXPECT_FALSE(shot.timeText.empty());
    const PaneLine line = ComposePaneLine(1, w.Core().Panes().Snapshot(1).timeText, w.Divisions(), 4);
    EXPECT_EQ(line.text.rfind("Cam-02 ", 0), 0u) << line.text;

    // Disconnect from the button: captions back, pictures gone, title reset.
    QTest::mouseClick(w.Button(ctl::Connect), Qt::LeftButton);
    EXPECT_TRUE(w.Core().State().stopFlag.load());
    ASSERT_TRUE(WaitFor([&] { return w.windowTitle() == "Network Viewer"; }));
    EXPECT_EQ(w.Button(ctl::Connect)->toolTip(), "Connect to DVR");
    for (int pane = 0; pane < 16; ++pane) {
        const PaneSnapshot p = w.Core().Panes().Snapshot(pane);
        EXPECT_TRUE(p.noVideo) << pane;
        EXPECT_TRUE(p.timeText.empty()) << pane;
        EXPECT_EQ(p.caption, pane < 4 ? CaptionOfChannel(pane, 4) : "") << pane;
    }
    EXPECT_FALSE(w.LiveTab()->PlayButton()->isEnabled());
    EXPECT_EQ(w.Light(ctl::RecLight)->State(), 0);
    EXPECT_TRUE(dvr->WaitForLog("playback end op="));
}

// Acts on the modal dialog the next click opens, once its event loop runs.
template <typename F>
void OnNextDialog(F act)
{
    QTimer::singleShot(0, [act] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog)
            act(*dialog);
    });
}

TEST_F(WindowWithDvr, SettingsSaveA16ChannelDvrAndTheLogonDialogConnectsToIt)
{
    CMainDlg& w = *f->window;
    const uint16_t port = dvr->Port();
    bool settingsSeen = false;
    OnNextDialog([&](QWidget& dialog) {
        settingsSeen = dialog.windowTitle() == "Network Viewer Setting...";
        dialog.findChild<QComboBox*>("ip")->setEditText("127.0.0.1");
        dialog.findChild<QComboBox*>("maxCh")->setCurrentText("16-CH");
        dialog.findChild<QPushButton*>("ok")->click();
    });
    QTest::mouseClick(w.Button(ctl::Setting), Qt::LeftButton);
    ASSERT_TRUE(settingsSeen);
    EXPECT_EQ(f->ini.GetString("INDEX_0", "ip", ""), "127.0.0.1");
    EXPECT_EQ(f->ini.GetInt("INDEX_0", "Port", 0), 2200);
    EXPECT_EQ(f->ini.GetInt("INDEX_0", "MaxCh", -1), 2);
    // Without a session the grid follows the choice at once.
    EXPECT_EQ(w.Divisions().Division(), 16);
    EXPECT_EQ(f->app.main.count, 1);

    // The profile's port is the usual one; the DVR's is typed after the address.
    bool logonSeen = false;
    OnNextDialog([&](QWidget& dialog) {
        auto* system = dialog.findChild<QComboBox*>("system");
        logonSeen = dialog.windowTitle() == "Logon..." && system->count() == 1 && system->currentText() == "127.0.0.1";
        system->setEditText(QStringLiteral("127.0.0.1:%1").arg(port));
        dialog.findChild<QLineEdit*>("password")->setText("1234");
        dialog.findChild<QPushButton*>("ok")->click();
    });
    QTest::mouseClick(w.Button(ctl::Connect), Qt::LeftButton);
    ASSERT_TRUE(logonSeen);
    ASSERT_TRUE(WaitFor([&] { return w.Core().State().loggedIn.load(); })) << testing::PrintToString(f->notifier.Texts());
    EXPECT_TRUE(dvr->WaitForLog("login accepted admin=1"));
    EXPECT_TRUE(WaitFor([&] { return w.windowTitle() == "Network Viewer - 127.0.0.1"; }));
    // The profile's 16 channels: all of them requested and shown.
    EXPECT_TRUE(dvr->WaitForLog("channels=0xffff op=17 panes=16"));
    EXPECT_EQ(w.Divisions().Division(), 16);
    EXPECT_TRUE(w.Button(ctl::Div16)->isEnabled());
    for (int pane = 0; pane < 16; ++pane)
        EXPECT_TRUE(WaitFor([&] { return !w.Core().Panes().Snapshot(pane).noVideo; })) << "pane " << pane;
    // While a DVR is connected the settings stay closed.
    QTest::qWait(1100);
    EXPECT_FALSE(w.Button(ctl::Setting)->isEnabled());
}

TEST_F(WindowWithDvr, SingleViewTakesTheLiveTabsArrowsAndAudioSwitch)
{
    LogIn();
    CMainDlg& w = *f->window;
    // In the grid the switch asks nothing: the grid's stream has no sound.
    QCheckBox* audio = w.LiveTab()->AudioSwitch();
    ASSERT_TRUE(audio->isEnabled());
    audio->setChecked(true);
    audio->setChecked(false);
    // A channel opens alone once it has video.
    ASSERT_TRUE(WaitFor([&] { return !w.Core().Panes().Snapshot(1).noVideo; }));
    // Pan/tilt/zoom acts on the channel of the single view, opened as a
    // user does: a click selects the channel, a double click opens it.
    QTest::mouseClick(w.Pane(1), Qt::LeftButton, Qt::NoModifier, QPoint(10, 30));
    QTest::mouseDClick(w.Pane(1), Qt::LeftButton, Qt::NoModifier, QPoint(10, 30));
    ASSERT_EQ(w.Divisions().Division(), kSingleViewDivision);
    const QPoint box(6, audio->height() / 2);
    // The request follows the view a moment later, from the event loop.
    EXPECT_TRUE(WaitFor([&] { return dvr->LogCount("channels=0x0002 op=16 panes=1") == 1; }));
    EXPECT_EQ(dvr->LogCount("op=17 panes=1"), 0);
    QTest::mouseClick(audio, Qt::LeftButton, Qt::NoModifier, box);
    EXPECT_TRUE(WaitFor([&] { return dvr->LogCount("channels=0x0002 op=17 panes=1") == 1; }))
        << "the channel with its sound";
    QTest::mouseClick(audio, Qt::LeftButton, Qt::NoModifier, box);
    EXPECT_TRUE(WaitFor([&] { return dvr->LogCount("channels=0x0002 op=16 panes=1") == 2; }));

    QPushButton* left = w.LiveTab()->PtzButton(0);
    ASSERT_EQ(left->text(), "<");
    QTest::mousePress(left, Qt::LeftButton);
    EXPECT_TRUE(dvr->WaitForLog("ptz ch=2 op=1"));
    EXPECT_EQ(dvr->LogCount(" stop"), 0);
    QTest::mouseRelease(left, Qt::LeftButton);
    EXPECT_TRUE(dvr->WaitForLog("ptz ch=2 op=9 stop"));
    EXPECT_EQ(dvr->LogCount("ptz ch=2 op=1"), 1) << "the live tab sends the move once";

    QTest::mouseClick(w.LiveTab()->PtzButton(4), Qt::LeftButton); // zoom in
    EXPECT_TRUE(dvr->WaitForLog("ptz ch=2 op=5"));
}

TEST_F(WindowWithDvr, HeldSkinnedArrowRepeatsAndSendsNoStop)
{
    LogIn();
    CMainDlg& w = *f->window;
    QTest::mouseClick(w.Pane(0), Qt::LeftButton, Qt::NoModifier, QPoint(10, 30));
    QTest::mouseDClick(w.Pane(0), Qt::LeftButton, Qt::NoModifier, QPoint(10, 30));
    ASSERT_EQ(w.Divisions().Division(), kSingleViewDivision);

    CHoverButton* up = w.Button(ctl::PtzUp);
    ASSERT_TRUE(up->isEnabled());
    QTest::mousePress(up, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    // Held for about three repeat periods: the first send and the repeats.
    EXPECT_TRUE(WaitFor([&] { return dvr->LogCount("ptz ch=1 op=3") >= 3; }, 5000));
    QTest::mouseRelease(up, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    const int sent = dvr->LogCount("ptz ch=1 op=3");
    QTest::qWait(500);
    EXPECT_LE(dvr->LogCount("ptz ch=1 op=3"), sent + 1) << "the repeats stop after the release";
    EXPECT_EQ(dvr->LogCount(" stop"), 0) << "the skinned buttons send no stop";
}

TEST_F(WindowWithDvr, RefusedLoginLeavesTheWindowIdleAndIsNotRetried)
{
    CMainDlg& w = *f->window;
    ConnectSettings wrong = Settings();
    wrong.password = "nope";
    w.ConnectTo(wrong);
    ASSERT_TRUE(WaitFor([&] { return f->notifier.Texts().size() == 1; }));
    EXPECT_EQ(f->notifier.Texts()[0], "Login failed!");
    ASSERT_TRUE(WaitFor([&] { return w.windowTitle() == "Network Viewer"; }));
    EXPECT_EQ(w.Button(ctl::Connect)->toolTip(), "Connect to DVR");
    EXPECT_TRUE(w.Button(ctl::Connect)->isEnabled());
    EXPECT_FALSE(w.LiveTab()->PlayButton()->isEnabled());

    // A refused login is never retried.
    QTest::qWait(1500);
    EXPECT_FALSE(w.Reconnecting());
    EXPECT_EQ(dvr->LogCount("login refused"), 1);
}

TEST_F(WindowWithDvr, SilentAddressKeepsTheWindowResponsiveAndTheButtonCancels)
{
    SilentAddress silent;
    ASSERT_NE(silent.Port(), 0);
    MainDlgOptions options;
    options.timing.connectLimit = std::chrono::milliseconds(1500);
    f.reset(); // the program has one connection object at a time
    f = std::make_unique<WindowFixture>(options);
    CMainDlg& w = *f->window;

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    ConnectSettings s;
    s.host = "127.0.0.1";
    s.port = silent.Port();
    w.ConnectTo(s);
    EXPECT_TRUE(w.Connecting());
    // While the connect waits, the event loop goes on: timers fire and the
    // window repaints.
    QTest::qWait(600);
    EXPECT_GE(ticks, 5);
    EXPECT_TRUE(w.Connecting());
    w.repaint();

    ASSERT_TRUE(WaitFor([&] { return !w.Connecting(); }, 10000));
    EXPECT_EQ(f->notifier.Texts(), std::vector<std::string>({"Connection failed!"}));
    EXPECT_TRUE(w.Button(ctl::Connect)->isEnabled());
    EXPECT_TRUE(w.Core().State().stopFlag.load());
    EXPECT_FALSE(w.Reconnecting()) << "a connect that never logged in is not retried";

    // While connecting, the Connect button cancels: no failure to report.
    w.ConnectTo(s);
    ASSERT_TRUE(w.Connecting());
    EXPECT_TRUE(w.Button(ctl::Connect)->isEnabled());
    EXPECT_EQ(w.Button(ctl::Connect)->toolTip(), "Disconnect to DVR");
    QTest::mouseClick(w.Button(ctl::Connect), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !w.Connecting(); }, 10000));
    QTest::qWait(100);
    EXPECT_EQ(f->notifier.Texts().size(), 1u) << testing::PrintToString(f->notifier.Texts());
    EXPECT_EQ(w.Button(ctl::Connect)->toolTip(), "Connect to DVR");
    EXPECT_TRUE(w.Core().State().stopFlag.load());
    // The cancel does not stay behind for the next attempt.
    s.port = dvr->Port();
    s.password = "1234";
    w.ConnectTo(s);
    EXPECT_TRUE(WaitFor([&] { return w.Core().State().loggedIn.load(); }));
    QTest::mouseClick(w.Button(ctl::Connect), Qt::LeftButton);

    // Closing the window while a connect waits ends the wait at once.
    s.port = silent.Port();
    w.ConnectTo(s);
    EXPECT_TRUE(w.Connecting());
    f.reset();
}

TEST_F(WindowWithDvr, KeysAskTheDvrForAChannelSteerItsCameraAndPause)
{
    LogIn();
    CMainDlg& w = *f->window;
    // The window's timers run while the test waits for the DVR's log.
    const auto logged = [&](const char* text) { return WaitFor([&] { return dvr->LogCount(text) > 0; }); };
    ASSERT_TRUE(logged("channels=0xffff op=17 panes=4"));

    // 3: channel 3, which no pane shows, alone; asked of the DVR on its own.
    QTest::mouseClick(w.Button(ctl::Div1), Qt::LeftButton);
    QTest::keyClick(&w, Qt::Key_3);
    ASSERT_EQ(w.Divisions().SelectedChannel(), 2);
    EXPECT_TRUE(logged("channels=0x0004"));
    // 2: channel 2 alone.
    QTest::keyClick(&w, Qt::Key_2);
    ASSERT_EQ(w.Divisions().Division(), kSingleViewDivision);
    EXPECT_TRUE(logged("channels=0x0002"));

    // An arrow held down: one move, however long the key repeats; its
    // release the stop. + and - zoom the same way.
    QTest::keyPress(&w, Qt::Key_Left);
    EXPECT_TRUE(logged("ptz ch=2 op=1"));
    for (int i = 0; i < 3; ++i) {
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Left, Qt::NoModifier, QString(), true);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(&w, &release);
        QApplication::sendEvent(&w, &press);
    }
    QTest::keyRelease(&w, Qt::Key_Left);
    EXPECT_TRUE(logged("ptz ch=2 op=9 stop"));
    EXPECT_EQ(dvr->LogCount("ptz ch=2 op=1"), 1);
    EXPECT_EQ(dvr->LogCount(" stop"), 1);
    QTest::keyClick(&w, Qt::Key_Plus, Qt::ShiftModifier);
    EXPECT_TRUE(logged("ptz ch=2 op=5"));
    EXPECT_TRUE(WaitFor([&] { return dvr->LogCount(" stop") == 2; }));

    // Space pauses the live view and plays it again; the focused arrow of
    // the live tab is not pressed by it.
    QPushButton* right = w.LiveTab()->PtzButton(1);
    w.activateWindow();
    right->setFocus();
    ASSERT_TRUE(WaitFor([&] { return right->hasFocus(); }));
    QTest::keyClick(right, Qt::Key_Space);
    EXPECT_TRUE(logged("op=20"));
    const int requests = dvr->LogCount("channels=0x0002");
    QTest::keyClick(right, Qt::Key_Space);
    EXPECT_TRUE(WaitFor([&] { return dvr->LogCount("channels=0x0002") > requests; }));
    EXPECT_EQ(dvr->LogCount("op=2 "), 0) << "the focused button sent nothing";
}
