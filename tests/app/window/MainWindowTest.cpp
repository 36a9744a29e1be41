// The main window without a DVR: its controls at start, the language rule,
// divisions through the buttons and the wheel, pane painting, full screen
// and the Enter and Escape keys.
#include "WindowTestSupport.h"

#include "app/controls/HoverButton.h"
#include "app/strings/StringTable.h"
#include "app/window/OneCamera.h"
#include "app/window/TabPages.h"
#include "app/window/WindowLayout.h"
#include "video/Divisions.h"
#include "video/ViewerCore.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace tarnvik;
using namespace tarnvik::test;

namespace {

QString Text(int id)
{
    const std::string_view s = LoadString(id);
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// The rectangles the panes take in the window's grid area now.
PaneRects Expected(CMainDlg& w)
{
    const QRect grid = LayOutMainWindow(w.size(), w.IsFullScreen()).grid;
    return PlacePanesInGrid(grid.x(), grid.y(), grid.width(), grid.height(), w.Divisions());
}

void ExpectPanesPlaced(CMainDlg& w)
{
    const PaneRects rects = Expected(w);
    for (int pane = 0; pane < 16; ++pane) {
        COneCamera* camera = w.Pane(pane);
        if (rects[size_t(pane)]) {
            const PaneRect& r = *rects[size_t(pane)];
            EXPECT_TRUE(camera->isVisible()) << "pane " << pane;
            EXPECT_EQ(camera->geometry(), QRect(r.x, r.y, r.w, r.h)) << "pane " << pane;
        } else {
            EXPECT_FALSE(camera->isVisible()) << "pane " << pane;
        }
    }
}

void SendWheel(QWidget* target, int deltaY)
{
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, deltaY), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &wheel);
}

} // namespace

TEST(MainWindow, TooltipsFollowTheLanguageRule)
{
    struct Row {
        int languageId;
        int connectTooltip;
        int div9Tooltip;
    };
    for (const Row& row : {Row{2052, 4009, 4004}, Row{1028, 4009, 4004}, Row{1033, 3009, 3004}}) {
        MainDlgOptions options;
        options.languageId = row.languageId;
        WindowFixture f(options);
        EXPECT_EQ(f.window->Button(ctl::Connect)->toolTip(), Text(row.connectTooltip)) << row.languageId;
        EXPECT_EQ(f.window->Button(ctl::Div9)->toolTip(), Text(row.div9Tooltip)) << row.languageId;
        EXPECT_FALSE(f.window->Button(ctl::Connect)->toolTip().isEmpty());
    }
    // The zoom buttons say what they do, and the buttons with a key name it.
    WindowFixture f;
    const std::pair<int, QString> named[] = {
        {ctl::ZoomIn, "Zoom in (+)"},   {ctl::ZoomOut, "Zoom out (-)"},     {ctl::FullScreen, "Full Screen (F11)"},
        {ctl::PtzLeft, "Left (\u2190)"}, {ctl::Div1, "DIV 1 (1 \u2026 9, 0)"}, {ctl::Div4, "DIV 4"}};
    for (const auto& [id, tooltip] : named)
        EXPECT_EQ(f.window->Button(id)->toolTip(), tooltip) << id;
}

TEST(MainWindow, StartsIdleInTheFourPaneDivision)
{
    WindowFixture f;
    CMainDlg& w = *f.window;
    EXPECT_EQ(w.windowTitle(), "Kestrova");
    EXPECT_EQ(w.size(), QSize(1017, 755));
    EXPECT_EQ(w.Divisions().Division(), 4);
    ExpectPanesPlaced(w);
    for (int pane = 0; pane < 4; ++pane)
        EXPECT_TRUE(w.Pane(pane)->isVisible());

    // Four channels: only "DIV 1" and "DIV 4" are usable.
    for (int id : {ctl::Div1, ctl::Div4})
        EXPECT_TRUE(w.Button(id)->isEnabled()) << id;
    for (int id : {ctl::Div6, ctl::Div8, ctl::Div9, ctl::Div10, ctl::Div13, ctl::Div16})
        EXPECT_FALSE(w.Button(id)->isEnabled()) << id;
    // Nothing that needs a DVR can be pressed yet.
    EXPECT_FALSE(w.LiveTab()->PlayButton()->isEnabled());
    EXPECT_FALSE(w.Button(ctl::PtzLeft)->isEnabled());
    EXPECT_TRUE(w.Button(ctl::Connect)->isEnabled());
    EXPECT_EQ(w.Label(ctl::FrameRate)->text(), "0 fps");
    EXPECT_EQ(w.Sheet()->count(), 4);
    // Every pane starts with the no-video picture.
    EXPECT_TRUE(w.Core().Panes().Snapshot(0).noVideo);
    EXPECT_EQ(w.Core().Panes().Snapshot(0).image, w.NoVideoPicture());
    EXPECT_FALSE(w.NoVideoPicture().isNull());
}

TEST(MainWindow, DivisionButtonsAndTheWheelPageThroughSixteenChannels)
{
    WindowFixture f;
    CMainDlg& w = *f.window;
    w.Core().State().channelCount = 16;
    w.ApplyChannelCount(16);
    EXPECT_EQ(w.Divisions().Division(), 16);
    for (int id : {ctl::Div1, ctl::Div4, ctl::Div6, ctl::Div8, ctl::Div9, ctl::Div10, ctl::Div13, ctl::Div16})
        EXPECT_TRUE(w.Button(id)->isEnabled()) << id;
    ExpectPanesPlaced(w);

    QTest::mouseClick(w.Button(ctl::Div9), Qt::LeftButton);
    EXPECT_EQ(w.Divisions().Division(), 9);
    EXPECT_EQ(w.Divisions().PaneChannel(0), 0);
    EXPECT_EQ(w.Divisions().PaneChannel(8), 8);
    ExpectPanesPlaced(w);
    QTest::mouseClick(w.Button(ctl::Div9), Qt::LeftButton);
    EXPECT_EQ(w.Divisions().PaneChannel(0), 7);
    EXPECT_EQ(w.Divisions().PaneChannel(8), 15);

    // Away from the user: one page back; towards the user: the next page.
    SendWheel(&w, 120);
    EXPECT_EQ(w.Divisions().PaneChannel(0), 0);
    SendWheel(&w, -120);
    EXPECT_EQ(w.Divisions().PaneChannel(0), 7);

    QTest::mouseClick(w.Button(ctl::Div13), Qt::LeftButton);
    EXPECT_EQ(w.Divisions().PaneChannel(5), 0);
    ExpectPanesPlaced(w);
    EXPECT_GT(w.Pane(5)->width(), w.Pane(0)->width()) << "the centre pane covers four cells";
}

TEST(MainWindow, DoubleClickOpensOneChannelAndPaintsItsCaption)
{
    WindowFixture f;
    CMainDlg& w = *f.window;
    QTest::mouseClick(w.Pane(2), Qt::LeftButton, Qt::NoModifier, QPoint(20, 30));
    EXPECT_EQ(w.Divisions().SelectedChannel(), 2);

    // The selected pane paints its caption line royal blue, the others grey.
    const QImage selected = w.Pane(2)->grab().toImage();
    const QImage other = w.Pane(1)->grab().toImage();
    EXPECT_EQ(selected.pixelColor(selected.width() - 3, 2), QColor(65, 105, 225));
    EXPECT_EQ(other.pixelColor(other.width() - 3, 2), QColor(127, 127, 127));
    const PaneLine line = ComposePaneLine(1, w.Core().Panes().Snapshot(1).timeText, w.Divisions(), 4);
    EXPECT_EQ(line.text, "Cam-02 ");

    QTest::mouseDClick(w.Pane(2), Qt::LeftButton, Qt::NoModifier, QPoint(20, 30));
    EXPECT_EQ(w.Divisions().Division(), kSingleViewDivision);
    ExpectPanesPlaced(w);
    EXPECT_TRUE(w.Pane(2)->isVisible());
    EXPECT_FALSE(w.AudioMuted()) << "the single view unmutes";
    EXPECT_EQ(ComposePaneLine(2, w.Core().Panes().Snapshot(2).timeText, w.Divisions(), 4).textColour, QColor(255, 255, 25));

    QTest::mouseDClick(w.Pane(2), Qt::LeftButton, Qt::NoModifier, QPoint(20, 30));
    EXPECT_EQ(w.Divisions().Division(), 4);
    EXPECT_TRUE(w.AudioMuted());
    ExpectPanesPlaced(w);
}

TEST(MainWindow, FullScreenShowsOnlyVideoAndEnterOrEscapeLeavesIt)
{
    AppSettings settings;
    settings.profile.adjustX = 640;
    settings.profile.adjustY = 480;
    WindowFixture f({}, settings);
    CMainDlg& w = *f.window;

    // Outside full screen Enter and Escape do nothing; the window stays.
    QTest::keyClick(&w, Qt::Key_Escape);
    QTest::keyClick(w.Button(ctl::Connect), Qt::Key_Return);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.IsFullScreen());

    QTest::mouseClick(w.Button(ctl::FullScreen), Qt::LeftButton);
    ASSERT_TRUE(w.IsFullScreen());
    EXPECT_EQ(w.size(), QSize(640, 494));
    EXPECT_FALSE(w.Button(ctl::Connect)->isVisible());
    EXPECT_FALSE(w.Sheet()->isVisible());
    // The four panes share the whole window; none is cut by its edge.
    ExpectPanesPlaced(w);
    for (int pane = 0; pane < 4; ++pane)
        EXPECT_TRUE(w.rect().contains(w.Pane(pane)->geometry())) << pane;
    EXPECT_EQ(w.Pane(3)->geometry().bottomRight(), QPoint(639, 493));

    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.IsFullScreen());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.size(), QSize(1017, 755));
    EXPECT_TRUE(w.Button(ctl::Connect)->isVisible());
    EXPECT_FALSE(w.Button(ctl::LocalPlay)->isVisible()) << "other modes' buttons stay hidden";
    ExpectPanesPlaced(w);

    QTest::mouseClick(w.Button(ctl::FullScreen), Qt::LeftButton);
    QTest::keyClick(w.Pane(0), Qt::Key_Enter);
    EXPECT_FALSE(w.IsFullScreen());
}

TEST(MainWindow, CancelledLogonSendsNothing)
{
    int asked = 0;
    MainDlgOptions options;
    options.askLogon = [&]() -> std::optional<LogonAnswer> {
        ++asked;
        return std::nullopt;
    };
    WindowFixture f(options);
    QTest::mouseClick(f.window->Button(ctl::Connect), Qt::LeftButton);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(f.window->Connecting());
    EXPECT_TRUE(f.window->Core().State().stopFlag.load());
    EXPECT_TRUE(f.notifier.Texts().empty());
}

TEST(MainWindow, WindowMenuOffersAboutInTheWindowsLanguage)
{
    MainDlgOptions options;
    options.languageId = 1028;
    WindowFixture f(options);
    QString offered;
    QTimer::singleShot(0, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            offered = menu->actions().value(0)->text();
            menu->setActiveAction(menu->actions().value(0));
            QTest::keyClick(menu, Qt::Key_Return);
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(900, 600), f.window->mapToGlobal(QPoint(900, 600)));
    QApplication::sendEvent(f.window.get(), &event);
    EXPECT_EQ(offered, Text(1101));
    ASSERT_EQ(f.notifier.Texts().size(), 1u);
    EXPECT_NE(f.notifier.Texts()[0].find("TarnvikPlayer"), std::string::npos);
}
