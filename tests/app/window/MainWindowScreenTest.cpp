// The main window on screens of several sizes: resizing, maximising and the
// smallest size keep every control on the screen and usable, full screen
// never cuts a pane, and tooltips show over a window that is not active.
// The SmallScreen tests run on a 1280 x 720 screen, once at scale 1 and once
// at QT_SCALE_FACTOR=2 (see CMakeLists.txt); the others on a large screen.
#include "WindowTestSupport.h"

#include "app/controls/HoverButton.h"
#include "app/window/OneCamera.h"
#include "app/window/WindowLayout.h"
#include "video/Divisions.h"
#include "video/ViewerCore.h"

#include <QApplication>
#include <QScreen>
#include <QTabWidget>
#include <QToolTip>

#include <gtest/gtest.h>

using namespace tarnvik;
using namespace tarnvik::test;

namespace {

// Every visible widget of the window lies inside its parent, the skinned
// buttons keep three quarters of their design size at least, and no pane
// reaches into the control panel or the bar.
void ExpectEverythingInside(CMainDlg& w, const char* when)
{
    SCOPED_TRACE(when);
    for (QWidget* child : w.findChildren<QWidget*>()) {
        if (!child->isVisible() || child->isWindow())
            continue;
        const QRect inParent(QPoint(0, 0), child->parentWidget()->size());
        EXPECT_TRUE(inParent.contains(child->geometry()))
            << child->objectName().toStdString() << " " << child->metaObject()->className();
    }
    const WindowLayout layout = LayOutMainWindow(w.size(), w.IsFullScreen());
    for (int id : {ctl::Connect, ctl::Div1, ctl::Div16, ctl::FullScreen, ctl::FocusFar}) {
        const CHoverButton* b = w.Button(id);
        EXPECT_GE(b->width(), b->FaceWidth() * 3 / 4) << id;
        EXPECT_GE(b->height(), b->FaceHeight() * 3 / 4) << id;
        EXPECT_TRUE(layout.panel.contains(b->geometry())) << id;
    }
    for (int pane = 0; pane < 16; ++pane) {
        if (!w.Pane(pane)->isVisible())
            continue;
        EXPECT_FALSE(w.Pane(pane)->geometry().intersects(layout.panel)) << pane;
        EXPECT_FALSE(w.Pane(pane)->geometry().intersects(layout.bar)) << pane;
    }
}

} // namespace

TEST(SmallScreen, EveryControlStaysOnTheScreenAndUsable)
{
    WindowFixture f;
    CMainDlg& w = *f.window;
    const QRect available = w.screen()->availableGeometry();
    ASSERT_EQ(available.size(), QSize(1280, 720)) << "the screen the test asks for";
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_TRUE(available.contains(w.frameGeometry())) << "at start";
    EXPECT_LT(w.height(), 755);
    ExpectEverythingInside(w, "at start");

    w.showMaximized();
    ASSERT_TRUE(WaitFor([&] { return w.isMaximized() && w.width() > 1017; }));
    EXPECT_TRUE(available.contains(w.frameGeometry())) << "maximised";
    ExpectEverythingInside(w, "maximised");

    w.showNormal();
    w.resize(100, 100);
    EXPECT_EQ(w.size(), QSize(kMinimumClientWidth, kMinimumClientHeight));
    ExpectEverythingInside(w, "smallest");
    // Still usable at the smallest size: the buttons act and the sheet's
    // pages can be chosen.
    w.Core().State().channelCount = 16;
    w.ApplyChannelCount(16);
    QTest::mouseClick(w.Button(ctl::Div9), Qt::LeftButton);
    EXPECT_EQ(w.Divisions().Division(), 9);
    ExpectEverythingInside(w, "smallest, nine panes");
    w.Sheet()->setCurrentIndex(2);
    ExpectEverythingInside(w, "smallest, local page");
    w.Sheet()->setCurrentWidget(w.UpgradeTab());
    ExpectEverythingInside(w, "smallest, upgrade page");
}

TEST(MainWindow, ResizedMaximisedAndOnTheWholeMonitor)
{
    WindowFixture f;
    CMainDlg& w = *f.window;
    ASSERT_EQ(w.size(), QSize(1017, 755)) << "the design size where the screen has room";
    const QPoint connectAtDesign = w.Button(ctl::Connect)->pos();
    const int paneAtDesign = w.Pane(0)->width();
    // Larger: the panel keeps its size at the right edge, the panes grow.
    w.resize(1500, 1000);
    EXPECT_EQ(w.Button(ctl::Connect)->geometry(), QRect(connectAtDesign + QPoint(1500 - 1017, 0), QSize(44, 40)));
    EXPECT_GT(w.Pane(0)->width(), paneAtDesign + 200);
    ExpectEverythingInside(w, "1500 x 1000");
    const QRect before = w.geometry();

    // F11: the panes fill the monitor, none cut; Escape gives the window back.
    QTest::keyClick(&w, Qt::Key_F11);
    ASSERT_TRUE(WaitFor([&] { return w.IsFullScreen() && w.geometry() == w.screen()->geometry(); }));
    EXPECT_FALSE(w.Button(ctl::Connect)->isVisible());
    const QRect last = w.Pane(3)->geometry();
    EXPECT_EQ(w.Pane(0)->geometry().topLeft(), QPoint(0, 0));
    EXPECT_TRUE(w.rect().contains(last));
    EXPECT_GE(last.right(), w.width() - 2);
    EXPECT_GE(last.bottom(), w.height() - 2);
    QTest::keyClick(&w, Qt::Key_Escape);
    ASSERT_TRUE(WaitFor([&] { return !w.IsFullScreen() && w.geometry() == before; }));
    EXPECT_TRUE(w.Button(ctl::Connect)->isVisible());

    // A double click with Ctrl does the same (and opens no single view);
    // F11 also returns, here to the maximised window.
    w.showMaximized();
    ASSERT_TRUE(WaitFor([&] { return w.isMaximized() && w.width() > 1500; }));
    ExpectEverythingInside(w, "maximised");
    QTest::mouseDClick(w.Pane(1), Qt::LeftButton, Qt::ControlModifier, QPoint(20, 30));
    EXPECT_TRUE(w.IsFullScreen());
    EXPECT_EQ(w.Divisions().Division(), 4);
    QTest::keyClick(&w, Qt::Key_F11);
    EXPECT_TRUE(WaitFor([&] { return !w.IsFullScreen() && w.isMaximized(); }));
}

TEST(MainWindow, TooltipShowsOverAWindowThatIsNotActive)
{
    WindowFixture f;
    CMainDlg& w = *f.window;
    // Another window holds the focus, as a terminal that started the
    // program may, and was clicked last (which also ends any press that an
    // earlier test in this process left the pointer in).
    QWidget other;
    other.setGeometry(1300, 100, 200, 100);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    QTest::mouseClick(&other, Qt::LeftButton);
    ASSERT_FALSE(w.isActiveWindow());

    for (int id : {ctl::Div4, ctl::FullScreen}) {
        QToolTip::hideText();
        CHoverButton* button = w.Button(id);
        QTest::mouseMove(button, QPoint(5, 5));
        QTest::mouseMove(button, QPoint(8, 8));
        EXPECT_TRUE(WaitFor([&] { return QToolTip::isVisible() && QToolTip::text() == button->toolTip(); }, 5000))
            << id;
    }
}
