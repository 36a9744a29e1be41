// The main window and its message boxes under a Traditional Chinese locale,
// with the translations installed as the program installs them at start.
#include "WindowTestSupport.h"

#include "app/ProfileEditing.h"
#include "app/strings/StringTable.h"
#include "app/strings/Translation.h"
#include "app/window/QtNotifier.h"
#include "dvrformat/Messages.h"
#include "net/DvrSession.h"
#include "net/LiveReception.h"
#include "net/UpgradeTransfer.h"
#include "storage/PlaybackSources.h"
#include "storage/StreamRecorder.h"
#include "support/ShownTexts.h"
#include "video/AviExport.h"

#include <QMessageBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <set>

using namespace tarnvik;
using namespace tarnvik::test;

namespace {

const QLocale kTaiwan(QStringLiteral("zh_TW"));

TEST(ChineseWindow, ZhTwShowsNoEnglishAndEveryTextFitsItsControl)
{
    const ProgramTranslations translations(kTaiwan);
    MainDlgOptions options;
    options.languageId = LanguageIdForLocale("zh", "TW");
    WindowFixture f(options);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.window.get()));
    EXPECT_EQ(EnglishTexts(*f.window), std::vector<std::string>());
    EXPECT_EQ(f.window->Sheet()->tabText(0), "即時");

    if (!HaveChineseFont())
        GTEST_SKIP() << "no Chinese font: the sizes of Chinese texts mean nothing";
    std::vector<std::string> cut;
    for (const ShownText& shown : ShownTexts(*f.window)) {
        const auto* label = qobject_cast<const QLabel*>(shown.widget);
        const bool wraps = label && label->wordWrap();
        const bool drawn = label || qobject_cast<const QAbstractButton*>(shown.widget);
        if (drawn && !wraps && shown.widget->minimumSizeHint().width() > shown.widget->width())
            cut.push_back(Described(shown));
    }
    EXPECT_EQ(cut, std::vector<std::string>());
    EXPECT_LE(f.window->Sheet()->tabBar()->sizeHint().width(), f.window->Sheet()->width());
}

TEST(ChineseWindow, MessageBoxesShowChineseTextsAndButtons)
{
    const ProgramTranslations translations(kTaiwan);
    QtNotifier notifier;
    QStringList shown;
    // Reads the box the notifier opens and answers with its last button.
    auto answer = [&shown] {
        QTimer::singleShot(0, [&shown] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            shown << box->text();
            for (QAbstractButton* button : box->buttons())
                shown << button->text();
            box->buttons().constLast()->click();
        });
    };
    answer();
    notifier.ShowMessage(dvrformat::DescribeErrorCode(0x1022).message, MessageIcon::Warning);
    answer();
    notifier.ShowMessage(std::string(kDeleteProfileQuestion), MessageIcon::Question, MessageButtons::YesNo);
    ASSERT_EQ(shown.size(), 5);
    EXPECT_EQ(shown[0].toStdString(), "密碼不正確。");
    for (const QString& text : shown)
        EXPECT_FALSE(ReadsAsEnglish(text)) << text.toStdString();
}

TEST(ChineseWindow, MessagesOfThePartsBelowTheWindowAreTranslated)
{
    std::set<std::string> messages = {kConnectionClosed, kConnectionFailed, kConnectFailed,      kLoginFailed,
                                      kVersionMismatch,  kFinishMessage,    kPlaybackStopped,    kCantMakeDirectory,
                                      kCantOpenFile,     kCantWriteFile,    kOpenFileError,      kSignatureInvalid,
                                      std::string(kSessionListFullText),    std::string(kIpAddressEmptyText),
                                      std::string(kDeleteProfileQuestion),
                                      kNoFirmwareFile,   kCantConnectToServer, kUpgradeCompleteText,
                                      kUpgradeClosedEarly, kFirmwareEmpty,    kFirmwareTooLarge,
                                      UpgradeFailedText(0x03), ConnectRetryQuestion(111),
                                      UpgradeSocketErrorText(104),        kAviSaveFailed,
                                      "Can't read /tmp/a.ncf: " + std::string(kFirmwareShortened)};
    for (unsigned code = 0; code <= 0xFFFF; ++code)
        if (std::string text = dvrformat::DescribeErrorCode(uint16_t(code)).message; !text.empty())
            messages.insert(text);
    // With a variable part: a code, and a path with its reason.
    TempDir dir;
    PlayerSource source;
    std::string notAFile;
    ASSERT_EQ(OpenFileSource(dir.path().string(), source, notAFile), OpenResult::Failed);

    for (const std::string& text : messages)
        EXPECT_EQ(LocalizedMessage(text).toStdString(), text) << "untranslated without a translator";
    const ProgramTranslations translations(kTaiwan);
    for (const std::string& text : messages)
        EXPECT_FALSE(ReadsAsEnglish(LocalizedMessage(text))) << text;
    EXPECT_EQ(LocalizedMessage(ConnectionClosedWithCode(0x21)), "連線已關閉。(21)");
    EXPECT_EQ(LocalizedMessage(UpgradeFailedText(0x03)), "韌體升級失敗[03]。");
    EXPECT_EQ(LocalizedMessage(notAFile), QStringLiteral("無法開啟 %1：不是檔案或磁碟").arg(dir.path().c_str()));
    // A text from the string table, already Chinese, and an unknown one pass as they are.
    const std::string chinese(LoadLocalizedString(3078, kLanguageChineseTaiwan));
    EXPECT_EQ(LocalizedMessage(chinese).toStdString(), chinese);
    EXPECT_EQ(LocalizedMessage("Cam-01"), "Cam-01");
}

} // namespace
