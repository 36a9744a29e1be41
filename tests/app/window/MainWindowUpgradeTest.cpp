// The upgrade page of the main window against the test DVR's upgrade
// receiver over loopback: the messages the DVR received, its answers and
// faulty answers, the progress, a large file while the window goes on
// running, and the file and connect failures.
#include "WindowTestSupport.h"

#include "app/controls/HoverButton.h"
#include "app/window/TabPages.h"
#include "app/window/TabUpgrade.h"
#include "dvrformat/Messages.h"

#include "support/InProcessDvr.h"
#include "support/SilentAddress.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <random>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tarnvik;
using namespace tarnvik::test;

namespace {

std::string RandomBytes(size_t size)
{
    std::mt19937 generator{unsigned(size)};
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = char(generator());
    return bytes;
}

class WindowUpgrade : public ::testing::Test {
protected:
    // Starts the test DVR answering as `options` says, and the window with
    // the upgrade page shown; the file dialog chooses `file`.
    void Start(testdvr::UpgradeOptions options = {})
    {
        options.saveFile = (dir / "received.ncf").string();
        testdvr::Options dvrOptions;
        dvrOptions.upgrade = options;
        dvr = std::make_unique<InProcessDvr>(dvrOptions, TARNVIK_TESTDVR_MEDIA);
        ASSERT_TRUE(dvr->Started()) << dvr->Error();
        ASSERT_NE(dvr->UpgradePort(), 0);
        qputenv("TARNVIK_UPGRADE_PORT", QByteArray::number(dvr->UpgradePort()));

        MainDlgOptions window;
        window.askLogon = [this]() -> std::optional<LogonAnswer> {
            ++logons;
            if (!chooseDvr)
                return std::nullopt;
            LogonAnswer answer;
            answer.host = "127.0.0.1";
            return answer;
        };
        window.upgrade.askFile = [this](const std::string&) -> std::optional<std::string> {
            ++fileDialogs;
            return file;
        };
        window.upgrade.connectWait = std::chrono::milliseconds(connectWait);
        window.upgrade.silenceLimit = std::chrono::milliseconds(silenceLimit);
        f = std::make_unique<WindowFixture>(window);
        f->window->Sheet()->setCurrentWidget(Tab());
        QObject::connect(Tab(), &CTabUpgrade::ProgressShown, Tab(),
                         [this](int, const QString& text) { progress.push_back(text.toStdString()); });
        QObject::connect(Tab(), &CTabUpgrade::StatusShown, Tab(),
                         [this](const QString& text) { statuses.push_back(text.toStdString()); });
    }
    void TearDown() override
    {
        f.reset();
        dvr.reset();
        qunsetenv("TARNVIK_UPGRADE_PORT");
    }

    CTabUpgrade* Tab() const { return f->window->UpgradeTab(); }
    void WriteFirmware(const std::string& bytes)
    {
        file = (dir / "firmware.ncf").string();
        WriteFile(*file, bytes);
    }
    // Presses Load and waits until the page is idle again with a message.
    std::string Upgrade()
    {
        const size_t before = f->notifier.Texts().size();
        QTest::mouseClick(Tab()->LoadButton(), Qt::LeftButton);
        const bool ended = WaitFor([&] { return f->notifier.Texts().size() > before; }, 30000);
        EXPECT_TRUE(ended) << "no outcome";
        EXPECT_EQ(Tab()->CurrentPhase(), CTabUpgrade::Phase::Idle);
        ExpectIdleControls();
        return ended ? f->notifier.Texts().back() : std::string();
    }
    void ExpectIdleControls() const
    {
        EXPECT_TRUE(Tab()->LoadButton()->isEnabled());
        EXPECT_FALSE(Tab()->ProgressBar()->isVisibleTo(Tab()));
        EXPECT_FALSE(Tab()->ProgressText()->isVisibleTo(Tab()));
    }
    std::string Received() const { return ReadFile(dir / "received.ncf"); }

    TempDir dir;
    std::unique_ptr<InProcessDvr> dvr;
    std::unique_ptr<WindowFixture> f;
    std::optional<std::string> file;
    bool chooseDvr = true;
    int connectWait = 55000;
    int silenceLimit = 300000;
    int logons = 0, fileDialogs = 0;
    std::vector<std::string> progress, statuses;
};

} // namespace

TEST_F(WindowUpgrade, FourthPageDisablesConnectAndTheTabsFit)
{
    Start();
    CMainDlg& w = *f->window;
    QTabWidget& sheet = *w.Sheet();
    ASSERT_EQ(sheet.count(), 4);
    EXPECT_EQ(sheet.tabText(3), "Upgrade");
    EXPECT_EQ(sheet.widget(3), static_cast<QWidget*>(Tab()));
    EXPECT_LE(sheet.tabBar()->sizeHint().width(), sheet.width()) << "no tab hidden behind scroll arrows";
    EXPECT_FALSE(w.Button(ctl::Connect)->isEnabled());
    ExpectIdleControls();
    sheet.setCurrentWidget(w.LiveTab());
    EXPECT_TRUE(w.Button(ctl::Connect)->isEnabled());

    // A session keeps the upgrade page last: the local page goes and
    // comes back before it.
    ConnectSettings settings;
    settings.host = "127.0.0.1";
    settings.port = dvr->Port();
    settings.password = "1234";
    w.ConnectTo(settings);
    ASSERT_TRUE(WaitFor([&] { return sheet.count() == 3; }));
    sheet.setCurrentWidget(Tab());
    EXPECT_FALSE(w.Button(ctl::Connect)->isEnabled()) << "not even to disconnect";
    sheet.setCurrentWidget(w.LiveTab());
    w.OnConnectButton();
    ASSERT_TRUE(WaitFor([&] { return sheet.count() == 4; }));
    EXPECT_EQ(sheet.widget(2), static_cast<QWidget*>(w.LocalTab()));
    EXPECT_EQ(sheet.widget(3), static_cast<QWidget*>(Tab()));
}

// Each answer of the DVR, for a file of 100 bytes: the DVR gets the size
// message and pieces of 40, 40 and 20 bytes whatever it answers; one that
// never answers is given up after the silence limit.
TEST_F(WindowUpgrade, EveryAnswerOfTheDvrEndsInAMessageAndIdle)
{
    struct Case {
        const char* reply;
        uint8_t result;
        std::string message;
    };
    const Case cases[] = {
        {"ok", 0x91, "Complete Firmware upgrade."},
        {"ok", 0x03, "Firmware upgrade failed[03]."},
        {"short", 0x91, "The DVR closed the connection before confirming the upgrade."},
        {"garbage", 0x91, "The DVR closed the connection before confirming the upgrade."},
        {"none", 0x91, "The DVR closed the connection before confirming the upgrade."},
        {"silent", 0x91, "The DVR did not respond for 0.5 s; the upgrade was given up."},
    };
    silenceLimit = 500;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.reply) + " " + std::to_string(c.result));
        TearDown();
        Start({c.result, c.reply, {}});
        const std::string firmware = RandomBytes(100);
        WriteFirmware(firmware);
        EXPECT_EQ(Upgrade(), c.message);
        EXPECT_EQ(f->notifier.Texts().size(), 1u);
        EXPECT_TRUE(dvr->WaitForLog("upgrade S"));
        EXPECT_EQ(dvr->LogCount("upgrade R 64 00 00 00 (size 100)"), 1);
        EXPECT_EQ(dvr->LogCount("upgrade S 40 x 2, 20 x 1"), 1);
        EXPECT_EQ(Received(), firmware);
        EXPECT_EQ(statuses.back(), "Sent, waiting for the DVR…");
        EXPECT_EQ(progress.back(), "0/0KB(100%)");
        if (c.reply == std::string("silent")) {
            EXPECT_TRUE(dvr->WaitForLog("upgrade connection closed")) << "the viewer lets go of a silent DVR";
        }
    }
}

TEST_F(WindowUpgrade, AnIgnoredMessageKeepsTheViewerWaitingForTheAnswer)
{
    Start({0x91, "wrong-code-first", {}});
    WriteFirmware(RandomBytes(1048576));
    EXPECT_EQ(Upgrade(), "Complete Firmware upgrade.");
    // The message with the other code came first, and was no answer.
    const std::vector<std::string> log = dvr->Log();
    const auto wrong =
        std::find(log.begin(), log.end(), "upgrade reply 54 71 ee 6e 00 00 00 00 (not the upgrade code)");
    const auto reply = std::find(log.begin(), log.end(), "upgrade reply 54 71 51 91 00 00 00 00");
    EXPECT_LT(wrong, reply);
    ASSERT_NE(reply, log.end());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), "0/1,024KB(0%)");
    EXPECT_EQ(progress.back(), "1,024/1,024KB(100%)");
    EXPECT_EQ(statuses.back(), "Sent, waiting for the DVR…");
}

TEST_F(WindowUpgrade, FiveMegabytesArriveWholeWhileTheWindowGoesOn)
{
    Start();
    const std::string firmware = RandomBytes(5 * 1024 * 1024 + 7);
    WriteFirmware(firmware);
    // A timer of the window's thread ticks while the file goes out, and a
    // second press of Load meanwhile starts nothing.
    int ticksWhileSending = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (Tab()->CurrentPhase() != CTabUpgrade::Phase::Sending)
            return;
        ++ticksWhileSending;
        EXPECT_FALSE(Tab()->LoadButton()->isEnabled());
        Tab()->OnLoadFirmware();
    });
    ticker.start(1);
    EXPECT_EQ(Upgrade(), "Complete Firmware upgrade.");
    EXPECT_GT(ticksWhileSending, 0);
    EXPECT_EQ(fileDialogs, 1);
    EXPECT_GT(progress.size(), 10u) << "the progress moves in steps";
    EXPECT_EQ(progress.back(), "5,120/5,120KB(100%)");
    EXPECT_EQ(dvr->LogCount("upgrade S 40 x 131072, 7 x 1"), 1);
    EXPECT_TRUE(Received() == firmware) << Received().size() << " bytes received";
}

// Nothing is sent when no file or no DVR is chosen, or the file is unfit.
TEST_F(WindowUpgrade, FileAndChoiceProblemsSendNothing)
{
    Start();
    struct Case {
        std::optional<std::string> file;
        bool chooseDvr;
        std::string message; // empty: none
    };
    WriteFile(dir / "empty.ncf", "");
    WriteFile(dir / "fine.ncf", "firmware");
    const std::string missing = (dir / "missing.ncf").string();
    const Case cases[] = {
        {std::nullopt, true, ""},
        {std::string(), true, "Not loaded firmware file"},
        {(dir / "fine.ncf").string(), false, ""},
        {missing, true, "Can't open " + missing + ": No such file or directory"},
        {(dir / "empty.ncf").string(), true, "The firmware file is empty."},
        {dir.path().string(), true, "Can't open " + dir.path().string() + ": Is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.value_or("(cancel)") + (c.chooseDvr ? "" : ", no DVR"));
        const size_t before = f->notifier.Texts().size();
        file = c.file;
        chooseDvr = c.chooseDvr;
        QTest::mouseClick(Tab()->LoadButton(), Qt::LeftButton);
        std::vector<std::string> expected;
        if (!c.message.empty()) {
            expected.push_back(c.message);
            EXPECT_TRUE(WaitFor([&] { return f->notifier.Texts().size() > before; }));
        }
        QTest::qWait(20); // anything queued comes out
        const std::vector<std::string> texts = f->notifier.Texts();
        EXPECT_EQ(std::vector<std::string>(texts.begin() + std::ptrdiff_t(before), texts.end()), expected);
        EXPECT_EQ(Tab()->CurrentPhase(), CTabUpgrade::Phase::Idle);
        ExpectIdleControls();
    }
    EXPECT_EQ(logons, 4) << "the DVR is asked for once a file is chosen";
    EXPECT_EQ(dvr->LogCount("upgrade connection"), 0);
}

TEST_F(WindowUpgrade, ARefusedConnectAsksToRetryAndAnUnansweredOneGivesUp)
{
    // A port bound but not listening refuses every connect: Yes tries
    // again, No gives up.
    Start();
    WriteFirmware("firmware");
    const int refuser = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(refuser, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::getsockname(refuser, reinterpret_cast<sockaddr*>(&address), &length);
    qputenv("TARNVIK_UPGRADE_PORT", QByteArray::number(ntohs(address.sin_port)));
    f->notifier.AnswerWith(MessageAnswer::Yes);
    QTest::mouseClick(Tab()->LoadButton(), Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return f->notifier.Texts().size() >= 3; }));
    EXPECT_FALSE(Tab()->LoadButton()->isEnabled());
    f->notifier.AnswerWith(MessageAnswer::No);
    EXPECT_TRUE(WaitFor([&] { return Tab()->CurrentPhase() == CTabUpgrade::Phase::Idle; }));
    QTest::qWait(20);
    ::close(refuser);
    for (const std::string& text : f->notifier.Texts())
        EXPECT_EQ(text, "Socket error 111 : Would you retry ?");
    ExpectIdleControls();

    // A DVR that never answers the connect.
    TearDown();
    connectWait = 200;
    Start();
    WriteFirmware("firmware");
    SilentAddress silent;
    ASSERT_NE(silent.Port(), 0);
    qputenv("TARNVIK_UPGRADE_PORT", QByteArray::number(silent.Port()));
    EXPECT_EQ(Upgrade(), "Can't connect to server");
    EXPECT_EQ(f->notifier.Texts().size(), 1u);
}
