// Snapshots and printing through the main window: the pane's context menu
// in both languages, live pictures of the test DVR saved at their sizes,
// Save All taking each channel's own picture, a file that cannot be
// written, the resets, and a page printed to PDF read back with poppler.
#include "WindowTestSupport.h"

#include "app/dialogs/PrintDialog.h"
#include "app/window/OneCamera.h"
#include "support/AviProbe.h"
#include "support/InProcessDvr.h"
#include "video/Divisions.h"
#include "video/PaneStore.h"
#include "video/Snapshot.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPrinter>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

using namespace tarnvik;
using namespace tarnvik::test;

namespace {

const std::vector<std::string> kEnglishMenu = {"Save \"Cam_03\" Image...", "", "Save Image &All...", "",
                                               "Print \"Cam_03\" Image...", "", "Reset \"Cam_03\" Channel"};
const std::vector<std::string> kChineseMenu = {"儲存 \"Cam_03\" 影像...", "", "儲存分割影像", "",
                                               "列印 \"Cam_03\" 影像...", "", "重設 \"Cam_03\" 攝影機"};
enum MenuItem { kSave = 0, kSaveAll = 2, kPrint = 4, kReset = 6 };

QImage Filled(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_BGR888);
    image.fill(colour);
    return image;
}

// Mean difference per byte of two pictures of one size, from row `firstRow`
// down (below the overlay text).
double Difference(const QImage& a, const QImage& b, int firstRow = 60)
{
    if (a.size() != b.size())
        return 255;
    const QImage x = a.convertToFormat(QImage::Format_BGR888);
    const QImage y = b.convertToFormat(QImage::Format_BGR888);
    double sum = 0;
    long n = 0;
    for (int row = firstRow; row < x.height(); ++row)
        for (int i = 0; i < x.width() * 3; ++i, ++n)
            sum += std::abs(int(x.constScanLine(row)[i]) - int(y.constScanLine(row)[i]));
    return n ? sum / double(n) : 255;
}

// Opens `target`'s context menu as a right click does, records its items
// (separators as empty texts) and chooses item `choose` (-1: none).
std::vector<std::string> UseMenu(QWidget* target, int choose, QPoint at = QPoint(20, 30))
{
    std::vector<std::string> items;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* action : menu->actions())
            items.push_back(action->isSeparator() ? std::string() : action->text().toStdString());
        if (choose >= 0 && choose < menu->actions().size()) {
            menu->setActiveAction(menu->actions()[choose]);
            QTest::keyClick(menu, Qt::Key_Return);
        } else {
            menu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
    QApplication::sendEvent(target, &event);
    return items;
}

class WindowSnapshot : public ::testing::Test {
protected:
    void Make(MainDlgOptions options = {})
    {
        options.askPath = [this](int command) {
            asked.push_back(command);
            return nextPath;
        };
        f = std::make_unique<WindowFixture>(std::move(options));
    }
    PaneStore& Panes() { return f->window->Core().Panes(); }
    // Pane `pane` shows `channel`'s picture as the decode path leaves it.
    void Show(int pane, int channel, const QImage& picture, const std::string& timeText = "2009/05/01 12:34:56")
    {
        Panes().SetPane(pane, channel, true, CaptionOfChannel(channel, 4));
        Panes().RecordMapping(pane, channel);
        Panes().HandOver(pane, QImage(picture), CaptionOfChannel(channel, kChannelCount), timeText, 1);
    }
    // The files "<stem>_NN_<time>.jpg" in the folder, by channel number.
    std::map<int, std::string> SavedAll(const std::string& stem, std::set<std::string>& times)
    {
        std::map<int, std::string> files;
        const std::regex name(stem + "_([0-9]{2})_([0-9]{8}_[0-9]{6})\\.jpg");
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            std::smatch m;
            const std::string file = entry.path().filename().string();
            if (std::regex_match(file, m, name)) {
                files[std::stoi(m[1]) - 1] = entry.path().string();
                times.insert(m[2]);
            }
        }
        return files;
    }

    TempDir dir;
    std::unique_ptr<WindowFixture> f;
    std::string nextPath;
    std::vector<int> asked;
};

TEST_F(WindowSnapshot, LivePicturesAreSavedAtTheirSizesAndSaveAllWritesEveryChannel)
{
    Make();
    testdvr::Options options;
    options.channels = 4;
    InProcessDvr dvr(options, TARNVIK_TESTDVR_MEDIA);
    ASSERT_TRUE(dvr.Started()) << dvr.Error();
    ASSERT_TRUE(LogInTo(*f->window, dvr.Port()));
    for (int pane = 0; pane < 4; ++pane)
        ASSERT_TRUE(WaitFor([&] { return !Panes().Snapshot(pane).noVideo; })) << pane;
    // The DVR stops sending, so that the files can be held against the panes.
    ASSERT_TRUE(dvr.Control("stall"));
    std::array<std::chrono::steady_clock::time_point, 4> last{};
    ASSERT_TRUE(WaitFor([&] {
        QTest::qWait(300);
        bool still = true;
        for (int pane = 0; pane < 4; ++pane)
            still = std::exchange(last[size_t(pane)], Panes().Snapshot(pane).lastPicture) == last[size_t(pane)] && still;
        return still;
    }));
    // Each channel's picture at the size it is saved at: 352 x 288 for
    // the CIF clips, 720 x 576 for the D1 clip of channel 2 (625 lines).
    ASSERT_TRUE(f->window->Core().State().pal.load());
    std::vector<QImage> shown;
    for (int channel = 0; channel < 4; ++channel) {
        Image resized;
        const Image pane(Panes().Snapshot(Panes().PaneOfChannel(channel)).image);
        ASSERT_TRUE(pane.Resample(channel == 1 ? 720 : 352, channel == 1 ? 576 : 288, resized));
        EXPECT_EQ(SnapshotSize(pane.Width(), true), resized.Picture().size()) << channel;
        shown.push_back(resized.Picture());
    }

    nextPath = dir / "one.jpg";
    UseMenu(f->window->Pane(1), kSave);
    EXPECT_EQ(asked, std::vector<int>{cmd::SaveImage});
    const QImage one(QString::fromStdString(nextPath));
    EXPECT_EQ(one.size(), QSize(720, 576));
    EXPECT_LT(Difference(one, shown[1]), 6.0);

    const std::string before = SnapshotTime(std::time(nullptr));
    nextPath = dir / "x";
    UseMenu(f->window->Pane(3), kSaveAll);
    const std::string after = SnapshotTime(std::time(nullptr));
    EXPECT_EQ(asked.back(), cmd::SaveImageAll);
    std::set<std::string> times;
    const std::map<int, std::string> files = SavedAll("x", times);
    ASSERT_EQ(files.size(), 4u);
    ASSERT_EQ(times.size(), 1u) << "one time for all";
    EXPECT_TRUE(*times.begin() >= before && *times.begin() <= after) << *times.begin();
    for (const auto& [channel, file] : files) {
        const QImage saved(QString::fromStdString(file));
        EXPECT_EQ(saved.size(), shown[size_t(channel)].size()) << file;
        EXPECT_LT(Difference(saved, shown[size_t(channel)]), 6.0) << file;
    }
    EXPECT_GT(Difference(QImage(QString::fromStdString(files.at(2))), shown[0]), 20.0) << "the clips differ";
    EXPECT_TRUE(f->notifier.Texts().empty());
}

// Channels shown in other panes than their own: each file holds its
// channel's picture; a channel shown nowhere gets the no-video picture.
// Then the pane menu's reset in both languages.
TEST_F(WindowSnapshot, SaveAllFollowsTheChannelsReportsAMissingFolderAndResets)
{
    Make();
    CMainDlg& w = *f->window;
    w.Core().State().pal = false;
    Show(0, 2, Filled(352, 240, Qt::red));
    Show(1, 0, Filled(352, 240, Qt::green));
    Show(2, 1, Filled(352, 240, Qt::blue));
    Show(3, 1, Filled(352, 240, Qt::yellow)); // channel 2 drawn here last

    nextPath.clear(); // Cancel
    w.SaveAllSnapshots();
    EXPECT_EQ(asked, std::vector<int>{cmd::SaveImageAll});
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    nextPath = dir / "x";
    w.SaveAllSnapshots();
    std::set<std::string> times;
    const std::map<int, std::string> files = SavedAll("x", times);
    ASSERT_EQ(files.size(), 4u);
    const QColor expected[] = {Qt::green, Qt::yellow, Qt::red};
    for (int channel = 0; channel < 3; ++channel) {
        const QImage saved(QString::fromStdString(files.at(channel)));
        EXPECT_EQ(saved.size(), QSize(352, 240));
        EXPECT_LT(Difference(saved, Filled(352, 240, expected[channel])), 4.0) << channel;
    }
    const QImage noVideo = w.NoVideoPicture().scaled(SnapshotSize(w.NoVideoPicture().width(), false));
    EXPECT_LT(Difference(QImage(QString::fromStdString(files.at(3))), noVideo), 12.0);
    EXPECT_TRUE(f->notifier.Texts().empty());

    nextPath = dir / "missing/x";
    w.SaveAllSnapshots();
    ASSERT_EQ(f->notifier.Texts().size(), 1u) << "reported once";
    const std::string message = f->notifier.Texts()[0];
    EXPECT_NE(message.find(nextPath + "_01_"), std::string::npos) << message;
    EXPECT_NE(message.find("No such file or directory"), std::string::npos) << message;

    // Reset: the pane's picture and time text go; the window's menu resets all.
    EXPECT_EQ(UseMenu(w.Pane(2), kReset), kEnglishMenu);
    EXPECT_TRUE(Panes().Snapshot(2).noVideo);
    EXPECT_EQ(Panes().Snapshot(2).timeText, "");
    EXPECT_EQ(Panes().Snapshot(2).image, w.NoVideoPicture());
    EXPECT_FALSE(Panes().Snapshot(1).noVideo);
    EXPECT_EQ(UseMenu(&w, 2, QPoint(900, 600)).back(), "Reset All Channels");
    for (int pane = 0; pane < 16; ++pane)
        EXPECT_TRUE(Panes().Snapshot(pane).noVideo && Panes().Snapshot(pane).timeText.empty()) << pane;

    // Every Chinese language id reads the Chinese menu.
    for (int languageId : {1028, 2052}) {
        MainDlgOptions options;
        options.languageId = languageId;
        WindowFixture chinese(options);
        EXPECT_EQ(UseMenu(chinese.window->Pane(2), -1), kChineseMenu) << languageId;
    }
}

// The page: title, rule line, the picture in (2, 5) .. (15, 14) units of a
// page area of 17 x 26 units inside half an inch of margin, information.
TEST_F(WindowSnapshot, PrintedPageHasThePictureInItsPlace)
{
    const std::string pdf = dir / "page.pdf";
    bool printerChosen = false;
    bool existedAfterCancel = true;
    int previewGreen = 0;
    MainDlgOptions options;
    options.askPrinter = [&](QPrinter& printer) {
        if (!printerChosen)
            return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        return true;
    };
    options.askPrint = [&](CPrintDlg& dialog) {
        const QImage preview = dialog.findChild<QWidget*>("preview")->grab().toImage();
        for (int y = 0; y < preview.height(); ++y)
            for (int x = 0; x < preview.width(); ++x)
                previewGreen += preview.pixelColor(x, y) == QColor(Qt::green);
        dialog.findChild<QPushButton*>("print")->click(); // the system dialog cancelled
        existedAfterCancel = std::filesystem::exists(pdf);
        printerChosen = true;
        dialog.findChild<QPushButton*>("print")->click();
        return dialog.result();
    };
    Make(options);
    Show(1, 1, Filled(352, 240, Qt::green), "2009/05/01 12:34:56");
    UseMenu(f->window->Pane(1), kPrint);
    EXPECT_FALSE(existedAfterCancel);
    EXPECT_GT(previewGreen, 1000) << "the preview shows the picture";
    ASSERT_TRUE(std::filesystem::exists(pdf));

    const std::string text = RunAndRead("pdftotext -layout '" + pdf + "' - 2>/dev/null");
    for (const char* wanted : {"Digital Video Record", "( Information )", "Camera", " : Cam 02", "Date&Time",
                               " : 2009/05/01 12:34:56"})
        EXPECT_NE(text.find(wanted), std::string::npos) << wanted << " in\n" << text;

    constexpr double kDpi = 60;
    ASSERT_EQ(std::system(("pdftoppm -r 60 -png '" + pdf + "' '" + (dir / "page").string() + "'").c_str()), 0);
    std::vector<std::string> pages;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().extension() == ".png")
            pages.push_back(entry.path().string());
    ASSERT_EQ(pages.size(), 1u) << "one page";
    const QImage page(QString::fromStdString(pages[0]));
    ASSERT_FALSE(page.isNull());
    QRect green;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            if (c.green() > 150 && c.red() < 100 && c.blue() < 100)
                green |= QRect(x, y, 1, 1);
        }
    // A4 in millimetres: 12.7 mm margin, units of (210 - 25.4) / 17 and (297 - 25.4) / 26.
    const double ux = (210 - 25.4) / 17, uy = (297 - 25.4) / 26;
    const auto px = [&](double mm) { return mm * kDpi / 25.4; };
    EXPECT_NEAR(green.left(), px(12.7 + 2 * ux), 2.0);
    EXPECT_NEAR(green.right() + 1, px(12.7 + 15 * ux), 2.0);
    EXPECT_NEAR(green.top(), px(12.7 + 5 * uy), 2.0);
    EXPECT_NEAR(green.bottom() + 1, px(12.7 + 14 * uy), 2.0);
    // The rule line: dark across the page at 3 units, from 1 to 16.
    const int ruleY = int(std::lround(px(12.7 + 3 * uy)));
    int dark = 0;
    for (int x = int(px(12.7 + ux)) + 2; x < int(px(12.7 + 16 * ux)) - 2; ++x)
        dark += page.pixelColor(x, ruleY).value() < 100;
    EXPECT_GT(dark, int(px(14 * ux)));
}

} // namespace
