// The main window's keyboard without a DVR: channels by number, paging,
// mute, quit, and Space never pressing the focused button. The keys that
// talk to the DVR are tested against the test DVR in MainWindowSessionTest.
#include "WindowTestSupport.h"

#include "app/controls/HoverButton.h"
#include "app/window/OneCamera.h"
#include "app/window/TabPages.h"
#include "video/Divisions.h"
#include "video/ViewerCore.h"

#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

using namespace tarnvik;
using namespace tarnvik::test;

TEST(MainWindowKeys, NumbersShowOneChannelAloneAndTabPages)
{
    WindowFixture f;
    CMainDlg& w = *f.window;
    DivisionState& d = w.Divisions();
    // Four channels: 5 and Alt+1 name channels the DVR does not have.
    QTest::keyClick(&w, Qt::Key_5);
    QTest::keyClick(&w, Qt::Key_1, Qt::AltModifier);
    EXPECT_EQ(d.Division(), 4);

    w.Core().State().channelCount = 16;
    w.ApplyChannelCount(16);
    QTest::mouseClick(w.Button(ctl::Div4), Qt::LeftButton);
    // 3: channel 3 alone and heard; 3 again: back to four panes.
    QTest::keyClick(&w, Qt::Key_3);
    EXPECT_EQ(d.Division(), kSingleViewDivision);
    EXPECT_EQ(d.SelectedChannel(), 2);
    EXPECT_TRUE(w.Pane(2)->isVisible());
    EXPECT_FALSE(w.Pane(0)->isVisible());
    EXPECT_FALSE(w.AudioMuted());
    QTest::keyClick(&w, Qt::Key_3);
    EXPECT_EQ(d.Division(), 4);
    EXPECT_TRUE(w.AudioMuted());

    // 0 is channel 10, Alt+6 channel 16; Tab alone steps to the next
    // channel, wrapping; Shift+Tab back.
    QTest::keyClick(&w, Qt::Key_0);
    EXPECT_EQ(d.SelectedChannel(), 9);
    QTest::keyClick(&w, Qt::Key_6, Qt::AltModifier);
    EXPECT_EQ(d.SelectedChannel(), 15);
    EXPECT_TRUE(w.Pane(15)->isVisible());
    QTest::keyClick(&w, Qt::Key_Tab);
    EXPECT_EQ(d.SelectedChannel(), 0);
    QTest::keyClick(&w, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(d.SelectedChannel(), 15);

    // In a grid, Tab and PageDown page forward, PageUp back.
    QTest::mouseClick(w.Button(ctl::Div9), Qt::LeftButton);
    ASSERT_EQ(d.PaneChannel(0), 0);
    QTest::keyClick(&w, Qt::Key_Tab);
    EXPECT_EQ(d.PaneChannel(0), 7);
    QTest::keyClick(&w, Qt::Key_PageUp);
    EXPECT_EQ(d.PaneChannel(0), 0);
    QTest::keyClick(&w, Qt::Key_PageDown);
    EXPECT_EQ(d.PaneChannel(8), 15);
}

TEST(MainWindowKeys, MuteQuitAndSpaceNeverPressTheFocusedButton)
{
    int opened = 0;
    MainDlgOptions options;
    options.askPath = [&](int) {
        ++opened;
        return std::string();
    };
    WindowFixture f(options);
    CMainDlg& w = *f.window;

    // M and the mute button switch the same state, face and tooltip.
    ASSERT_TRUE(w.AudioMuted());
    EXPECT_EQ(w.Button(ctl::Mute)->toolTip(), "Audio Mute off (M)");
    QTest::keyClick(&w, Qt::Key_M);
    EXPECT_FALSE(w.AudioMuted());
    EXPECT_EQ(w.Button(ctl::Mute)->toolTip(), "Audio Mute on (M)");
    QTest::mouseClick(w.Button(ctl::Mute), Qt::LeftButton);
    EXPECT_TRUE(w.AudioMuted());
    // The skinned buttons never take the focus, not even when clicked.
    EXPECT_FALSE(w.Button(ctl::Mute)->hasFocus());

    // A focused push button on the local page: Space and Enter reach the
    // window, not the button.
    w.Sheet()->setCurrentWidget(w.LocalTab());
    QPushButton* open = w.LocalTab()->OpenButton();
    ASSERT_TRUE(open->isEnabled());
    w.activateWindow();
    open->setFocus();
    ASSERT_TRUE(WaitFor([&] { return open->hasFocus(); }));
    QTest::keyClick(open, Qt::Key_Space);
    QTest::keyClick(open, Qt::Key_Return);
    EXPECT_EQ(opened, 0);
    QTest::mouseClick(open, Qt::LeftButton);
    EXPECT_EQ(opened, 1) << "the button itself still works";

    QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(w.isVisible());
}
