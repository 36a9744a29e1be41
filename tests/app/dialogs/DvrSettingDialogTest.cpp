// "DVR Setting" on a dvr.ini in a temporary folder, driven through its
// skinned buttons and fields as a user would.
#include "app/dialogs/DvrSettingDialog.h"

#include "app/controls/HoverButton.h"
#include "app/strings/Translation.h"

#include "DialogTestSupport.h"
#include "support/RecordingNotifier.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>

#include <gtest/gtest.h>

#include <deque>

namespace tarnvik {
namespace {

using test::Child;
using test::Click;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

QPixmap Skin(int id)
{
    return QPixmap(QStringLiteral(":/skins/%1.jpg").arg(id));
}

class DvrSettingDialog : public ::testing::Test {
protected:
    // Opens the dialog on dvr.ini holding `text` (none when null).
    CDvrSettingDlg& Open(const std::optional<std::string>& text = std::nullopt)
    {
        if (text)
            WriteFile(path, *text);
        dialog = std::make_unique<CDvrSettingDlg>(DvrIniLocation{path, path}, notifier, Skin, nullptr,
                                                  [this] { return answers.empty() ? QString() : Next(); });
        dialog->show();
        return *dialog;
    }
    QString Next()
    {
        const QString next = answers.front();
        answers.pop_front();
        return next;
    }
    template <typename T>
    T* Get(const char* name)
    {
        return Child<T>(*dialog, name);
    }
    void Page(int n) { Click(Get<CHoverButton>(("page" + std::to_string(n)).c_str())); }
    // Apply, then the file's text.
    std::string Apply()
    {
        Click(Get<CHoverButton>("apply"));
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        return ReadFile(path);
    }

    TempDir dir;
    std::filesystem::path path = dir / "dvr.ini";
    test::RecordingNotifier notifier;
    std::deque<QString> answers; // what the save dialog answers, in turn
    std::unique_ptr<CDvrSettingDlg> dialog;
};

TEST_F(DvrSettingDialog, WithoutAFileApplyWritesEveryKeyInOrderWithTheDefaults)
{
    Open();
    EXPECT_EQ(Get<QDateEdit>("date")->date(), QDate::currentDate());
    Get<QDateEdit>("date")->setDate(QDate(2009, 1, 15));
    EXPECT_EQ(Apply(), "[Ver]\r\nManifest=\"thisisforthefile\"\r\nVersion=\"1.0.0\"\r\n"
                       "[Time]\r\nTimeFormat=\"2009/1/15\"\r\n"
                       "[Status]\r\nShowAll=1\r\nShowCameraName=0\r\nShowTime=0\r\nShowRecordStatus=0\r\n"
                       "ShowVideoLoss=0\r\nBuzzerSet=0\r\n"
                       "[Camera]\r\nCameraBright1=100\r\nCameraHue1=100\r\nCameraSaturation1=100\r\n"
                       "CameraContrast1=100\r\nCameraBright2=100\r\nCameraHue2=100\r\nCameraSaturation2=100\r\n"
                       "CameraContrast2=100\r\nCameraBright3=100\r\nCameraHue3=100\r\nCameraSaturation3=100\r\n"
                       "CameraContrast3=100\r\nCameraBright4=100\r\nCameraHue4=100\r\nCameraSaturation4=100\r\n"
                       "CameraContrast4=100\r\n"
                       "[Sensor]\r\nRedWire=\"BEEP\"\r\nGreenWire=\"BEEP\"\r\nBlueWire=\"BEEP\"\r\nOrangeWire=\"BEEP\"\r\n"
                       "[Record]\r\nRecordQuality=\"HIGH\"\r\nRecordAudio=1\r\nRecordCH=15\r\nRecordParktime=60S\r\n"
                       "[System]\r\nStartDisplay=\"QUAD\"\r\nStartAudio=0\r\nPassword=\"\"\r\nLanguage=\"ENGLISH\"\r\n"
                       "CarID=\"\"\r\n"
                       "[Pipmode]\r\nPipChanBig=\"CH01\"\r\nPipChanSmall=\"CH02\"\r\n");
    EXPECT_TRUE(notifier.Texts().empty());
}

TEST_F(DvrSettingDialog, PageButtonsShowTheirControlsAndTitle)
{
    Open();
    EXPECT_EQ(Get<QLabel>("title")->text(), "PLAY(No setting)");
    // Each button draws the first face of its own skin image.
    const std::pair<const char*, int> skins[] = {{"page1", 300}, {"page2", 301}, {"page3", 302}, {"page4", 303},
                                                 {"page5", 304}, {"page6", 306}, {"page7", 307}, {"page8", 305},
                                                 {"apply", 309}, {"cancel", 310}, {"saveAs", 311}};
    for (const auto& [name, id] : skins) {
        auto* button = Get<CHoverButton>(name);
        const QImage face = Skin(id).copy(0, 0, button->width(), button->height()).toImage();
        EXPECT_EQ(button->grab().toImage().convertToFormat(face.format()), face) << name;
    }
    const char* titles[] = {"PLAY(No setting)", "TIME", "DISPLAY", "CAMERA", "SENSOR", "RECORDING", "STARTUP",
                            "SETTING"};
    // One control of each page; page 1 has none.
    const char* controls[] = {nullptr, "time", "buzzer", "bright", "orangeWire", "ch4", "audioUp", "password"};
    for (int page = 8; page >= 1; --page) {
        SCOPED_TRACE(page);
        auto* button = Get<CHoverButton>(("page" + std::to_string(page)).c_str());
        EXPECT_EQ(button->geometry(), QRect(19, 45 + 50 * (page - 1), 90, 50));
        Click(button);
        EXPECT_EQ(Get<QLabel>("title")->text(), titles[page - 1]);
        for (int other = 1; other < 8; ++other)
            EXPECT_EQ(Get<QWidget>(controls[other])->isVisible(), other == page - 1) << controls[other];
        for (const char* hidden : {"format", "loadDefault", "parkTime", "operateInDvr"})
            EXPECT_FALSE(Get<QWidget>(hidden)->isVisible()) << hidden;
    }
    EXPECT_EQ(Get<QLineEdit>("password")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Get<CHoverButton>("apply")->geometry(), QRect(561, 485, 90, 40));
    Click(Get<CHoverButton>("cancel"));
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(DvrSettingDialog, OpensOnTheFileAndWritesTheChoicesBack)
{
    Open("; by hand\r\n[System]\r\nStartDisplay=\"CH2\"\r\nLanguage=\"Deutsch\"\r\nFormat=1\r\nCustom = mine\r\n"
         "[Record]\r\nRecordCH=5\r\n[Camera]\r\nCameraBright3=7\r\n[Time]\r\nTimeFormat=\"2020/2/29 13:14:15\"\r\n");
    auto* videoUp = Get<QComboBox>("videoUp");
    EXPECT_EQ(videoUp->currentText(), "CH2");
    EXPECT_EQ(Get<QComboBox>("language")->currentIndex(), 1);
    EXPECT_EQ(Get<QDateEdit>("date")->date(), QDate(2020, 2, 29));
    EXPECT_EQ(Get<QTimeEdit>("time")->time(), QTime(13, 14, 15));
    const bool checked[] = {true, false, true, false};
    for (int ch = 0; ch < 4; ++ch)
        EXPECT_EQ(Get<QCheckBox>(("ch" + std::to_string(ch + 1)).c_str())->isChecked(), checked[ch]) << ch;

    // Channel 3's brightness survives a visit to channel 1; 300 cannot be typed.
    Page(4);
    auto* channel = Get<QComboBox>("channel");
    auto* bright = Get<QLineEdit>("bright");
    EXPECT_EQ(bright->text(), "100");
    channel->setCurrentIndex(2);
    EXPECT_EQ(bright->text(), "7");
    bright->clear();
    QTest::keyClicks(bright, "77");
    channel->setCurrentIndex(0);
    EXPECT_EQ(bright->text(), "100");
    channel->setCurrentIndex(2);
    EXPECT_EQ(bright->text(), "77");
    channel->setCurrentIndex(1);
    bright->clear();
    QTest::keyClicks(bright, "300");
    EXPECT_EQ(bright->text(), "30");
    Get<QLineEdit>("hue")->setText("300"); // not typed: stored clamped
    Page(2);
    Page(4); // shows channel 1 again
    EXPECT_EQ(channel->currentIndex(), 0);

    videoUp->setCurrentIndex(3);
    Get<QCheckBox>("ch2")->setChecked(true);
    Get<QLineEdit>("password")->setText("se\"cret\nx");
    const std::string text = Apply();
    // Unknown keys and lines stay as they were; known keys change in place.
    EXPECT_EQ(text.rfind("; by hand\r\n[System]\r\nStartDisplay=\"PIP\"\r\nLanguage=\"CHINESE\"\r\nFormat=1\r\n"
                         "Custom = mine\r\nStartAudio=0\r\nPassword=\"secretx\"\r\nCarID=\"\"\r\n[Record]\r\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("RecordCH=7\r\n"), std::string::npos);
    EXPECT_NE(text.find("TimeFormat=\"2020/2/29\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("CameraBright2=30\r\nCameraHue2=255\r\n"), std::string::npos);
    EXPECT_NE(text.find("CameraBright3=77\r\n"), std::string::npos);
    EXPECT_EQ(text.find("LoadDefault"), std::string::npos);

    Open();
    EXPECT_EQ(Get<QComboBox>("videoUp")->currentText(), "PIP");
}

TEST_F(DvrSettingDialog, DamagedFilesOpenWithSaneValues)
{
    std::string garbage(4096, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = char(i * 131 % 251);
    const std::string cases[] = {
        garbage,
        "[Camera]\r\nCameraBright1=" + std::string(10 << 20, '9') + "\r\n",
        "[Camera]\r\nCameraBright1=99999999999\r\nCameraHue1=-5\r\n[Status]\r\nShowTime=-5\r\n[Record]\r\n"
        "RecordAudio=99999999999\r\n[System]\r\nStartAudio=2\r\n"};
    for (const std::string& text : cases) {
        Open(text);
        Page(4);
        EXPECT_EQ(Get<QLineEdit>("bright")->text(), text == garbage ? "100" : "255");
        EXPECT_EQ(Get<QComboBox>("clock")->currentIndex(), 0);
        EXPECT_EQ(Get<QComboBox>("audio")->currentIndex(), 1);
        EXPECT_EQ(Get<QComboBox>("audioUp")->currentIndex(), 0);
        const std::string saved = Apply();
        EXPECT_NE(saved.find("RecordAudio=1"), std::string::npos);
        EXPECT_EQ(saved.find("=-"), std::string::npos);
    }
    EXPECT_TRUE(notifier.Texts().empty());
}

TEST_F(DvrSettingDialog, SaveAsWritesThenCopiesAskingBeforeReplacing)
{
    Open("[System]\r\nStartDisplay=CH4\r\n");
    const auto copy = dir / "CarDVR.ini";
    answers = {QString::fromStdString((dir / "CarDVR").string())};
    Click(Get<CHoverButton>("saveAs"));
    EXPECT_EQ(ReadFile(copy), ReadFile(path));
    EXPECT_NE(ReadFile(copy).find("StartDisplay=\"CH4\""), std::string::npos);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(notifier.Texts().empty());

    // No: the save dialog comes back, and its Cancel leaves the file alone.
    WriteFile(copy, "older");
    answers = {QString::fromStdString(copy.string())};
    notifier.AnswerWith(MessageAnswer::No);
    Click(Get<CHoverButton>("saveAs"));
    EXPECT_EQ(ReadFile(copy), "older");
    const QString question = QString::fromStdString(copy.string()) + " already exists.\nDo you want to replace it?";
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>{question.toStdString()});
    notifier.AnswerWith(MessageAnswer::Yes);
    answers = {QString::fromStdString(copy.string())};
    Click(Get<CHoverButton>("saveAs"));
    EXPECT_EQ(ReadFile(copy), ReadFile(path));

    // A copy or a write that fails says so; a failed Apply keeps the dialog open.
    answers = {QString::fromStdString((dir / "no" / "such" / "x.ini").string())};
    Click(Get<CHoverButton>("saveAs"));
    EXPECT_EQ(notifier.Texts().back(), "The DVR settings could not be copied to " + (dir / "no/such/x.ini").string() + ".");
    WriteFile(dir / "file", "");
    dialog = std::make_unique<CDvrSettingDlg>(DvrIniLocation{path, dir / "file" / "dvr.ini"}, notifier, Skin);
    dialog->show();
    Click(Get<CHoverButton>("apply"));
    EXPECT_EQ(notifier.Texts().back(), "The DVR settings could not be saved to " + (dir / "file/dvr.ini").string() + ".");
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(DvrSettingDialog, ChineseLabelsAroundTheRecordersOwnWords)
{
    const ProgramTranslations translations{QLocale(QStringLiteral("zh_TW"))};
    Open();
    EXPECT_EQ(dialog->windowTitle(), "DVR 設定");
    Page(2);
    EXPECT_EQ(Get<QLabel>("title")->text(), "時間");
    // The lists hold what the file and the recorder's screen say.
    EXPECT_EQ(test::Entries(Get<QComboBox>("language")), (QStringList{"ENGLISH", "中文"}));
    EXPECT_EQ(Get<QComboBox>("quality")->itemText(2), "NORMAL");
    Get<QComboBox>("language")->setCurrentIndex(1);
    EXPECT_NE(Apply().find("Language=\"CHINESE\""), std::string::npos);
}

} // namespace
} // namespace tarnvik
