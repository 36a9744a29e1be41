// CSettingDlg driven by keyboard and mouse over a real profile file: what
// the fields show, what OK and Delete write, and the messages the user sees.
#include "app/dialogs/SettingDialog.h"

#include "DialogTestSupport.h"
#include "support/RecordingNotifier.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace tarnvik {
namespace {

using test::Child;
using test::Click;
using test::Entries;
using test::ReadFile;
using test::RecordingNotifier;
using test::TempDir;
using test::ThreeProfiles;
using test::TypeInto;
using test::WriteFile;
using Texts = std::vector<std::string>;

class SettingDialog : public ::testing::Test {
protected:
    void Open(const std::string& file, bool sessionRunning = false)
    {
        WriteFile(path, file);
        app = LoadStartupSettings(ini);
        dlg = std::make_unique<CSettingDlg>(ini, app, notifier, sessionRunning);
        dlg->show();
        ip = Child<QComboBox>(*dlg, "ip");
        port = Child<QSpinBox>(*dlg, "port");
        speed = Child<QComboBox>(*dlg, "speed");
        maxCh = Child<QComboBox>(*dlg, "maxCh");
        codec = Child<QComboBox>(*dlg, "codec");
        recPath = Child<QLineEdit>(*dlg, "recPath");
    }

    void Ok() { Click(Child<QPushButton>(*dlg, "ok")); }

    // As many profiles as the list holds, "10.0.0.<n>".
    static std::string FullList()
    {
        std::string file = "[Main]\nindex=0\ncount=25\n";
        for (int i = 0; i < kMaxProfiles; ++i)
            file += "[INDEX_" + std::to_string(i) + "]\nip=10.0.0." + std::to_string(i) + "\n";
        return file;
    }

    TempDir dir;
    std::filesystem::path path = dir / "TarnvikPlayer.ini";
    IniFile ini{path};
    AppSettings app;
    RecordingNotifier notifier;
    std::unique_ptr<CSettingDlg> dlg;
    QComboBox* ip = nullptr;
    QSpinBox* port = nullptr;
    QComboBox* speed = nullptr;
    QComboBox* maxCh = nullptr;
    QComboBox* codec = nullptr;
    QLineEdit* recPath = nullptr;
};

TEST_F(SettingDialog, OpensOnTheCurrentProfile)
{
    Open(ThreeProfiles(1));
    EXPECT_EQ(dlg->windowTitle(), "Network Viewer Setting...");
    EXPECT_EQ(Entries(ip), QStringList({"10.0.0.1", "cam.example", "10.0.0.3"}));
    EXPECT_EQ(ip->currentIndex(), 1);
    EXPECT_EQ(ip->currentText(), "cam.example");
    EXPECT_EQ(port->value(), 8000);
    EXPECT_EQ(recPath->text(), "/rec/b/");
    EXPECT_EQ(speed->currentText(), "High speed");
    EXPECT_EQ(Entries(maxCh), QStringList({"4-CH", "8-CH", "16-CH"}));
    EXPECT_TRUE(maxCh->isEnabled());
    // The stored codec is JPEG, but the list always shows H.264.
    EXPECT_EQ(Entries(codec), QStringList({"JPEG", "H.264", "H.264(second)"}));
    EXPECT_EQ(codec->currentText(), "H.264");
    EXPECT_FALSE(codec->isEnabled());
    EXPECT_EQ(Entries(Child<QComboBox>(*dlg, "aviCodec")), QStringList({"Motion JPEG (MJPG)"}));
    EXPECT_EQ(Child<QSpinBox>(*dlg, "aviFrame")->value(), 25);
    EXPECT_TRUE(Child<QRadioButton>(*dlg, "fullsize")->isChecked());
    EXPECT_FALSE(Child<QRadioButton>(*dlg, "halfsize")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>(*dlg, "pal")->isChecked());
    EXPECT_FALSE(Child<QRadioButton>(*dlg, "ntsc")->isChecked());
    EXPECT_EQ(Child<QSpinBox>(*dlg, "adjustX")->value(), 1280);
    EXPECT_EQ(Child<QSpinBox>(*dlg, "adjustY")->value(), 720);
    EXPECT_TRUE(Child<QCheckBox>(*dlg, "hideCaption")->isChecked());
    EXPECT_EQ(Child<QPushButton>(*dlg, "delete")->toolTip(), "Remove this session information");
}

TEST_F(SettingDialog, ChoosingAnAddressShowsItsProfile)
{
    Open(ThreeProfiles(1));
    const std::string before = ReadFile(path);
    const AppSettings appBefore = app;

    auto* hideCaption = Child<QCheckBox>(*dlg, "hideCaption");
    Click(hideCaption);
    QTest::keyClick(ip, Qt::Key_Down);
    EXPECT_EQ(ip->currentText(), "10.0.0.3");
    EXPECT_EQ(port->value(), 9000);
    EXPECT_EQ(recPath->text(), "/rec/c/");
    // Speed 7 and MaxCh 4 are beyond their lists: no entry is shown.
    EXPECT_EQ(speed->currentIndex(), -1);
    EXPECT_EQ(maxCh->currentIndex(), -1);
    EXPECT_EQ(codec->currentText(), "H.264");
    EXPECT_FALSE(codec->isEnabled());

    QTest::keyClick(ip, Qt::Key_Up);
    QTest::keyClick(ip, Qt::Key_Up);
    EXPECT_EQ(ip->currentText(), "10.0.0.1");
    EXPECT_EQ(port->value(), 2200);
    EXPECT_EQ(speed->currentText(), "Low speed");
    EXPECT_EQ(maxCh->currentText(), "4-CH");
    EXPECT_TRUE(Child<QRadioButton>(*dlg, "halfsize")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>(*dlg, "ntsc")->isChecked());
    EXPECT_EQ(Child<QSpinBox>(*dlg, "aviFrame")->value(), 10);
    // HideCaption belongs to Main, not to a profile.
    EXPECT_FALSE(hideCaption->isChecked());

    // Looking at profiles and cancelling leaves the settings in use alone.
    Click(Child<QPushButton>(*dlg, "cancel"));
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(app.profile, appBefore.profile);
    EXPECT_EQ(app.main, appBefore.main);
    EXPECT_TRUE(notifier.Texts().empty());
}

TEST_F(SettingDialog, OkUpdatesTheProfileOfATypedAddress)
{
    Open(ThreeProfiles(1));
    // Edited first, then the address of profile 0 typed and Enter pressed:
    // the edits are saved, not replaced by profile 0's stored values.
    port->setValue(4321);
    speed->setCurrentIndex(0);
    Click(Child<QRadioButton>(*dlg, "halfsize"));
    Click(Child<QRadioButton>(*dlg, "ntsc"));
    Click(Child<QCheckBox>(*dlg, "hideCaption"));
    TypeInto(ip, "10.0.0.1");
    QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(ip, &focusOut);
    EXPECT_EQ(port->value(), 4321);
    QTest::keyClick(ip, Qt::Key_Return);

    ASSERT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_TRUE(notifier.Texts().empty());
    EXPECT_TRUE(dlg->ChannelLayoutReset());
    IniText text = ini.Read();
    EXPECT_EQ(LoadMainSection(text), (MainSection{0, 3, 0}));
    ConnectionProfile saved = LoadProfile(text, "INDEX_0");
    EXPECT_EQ(saved.ip, "10.0.0.1");
    EXPECT_EQ(saved.port, 4321);
    EXPECT_EQ(saved.speed, 0);
    EXPECT_EQ(saved.aviFullsize, 0);
    EXPECT_EQ(saved.aviFormat, 0);
    // The rest is what the fields showed: profile 1's values.
    EXPECT_EQ(saved.recPath, "/rec/b/");
    EXPECT_EQ(saved.adjustX, 1280);
    EXPECT_EQ(saved.codec, 0);
    EXPECT_EQ(app.main.index, 0);
    EXPECT_EQ(app.profile, saved);
    EXPECT_EQ(LoadProfile(text, "INDEX_1").port, 8000);
}

TEST_F(SettingDialog, ListWithoutEntryKeepsItsValue)
{
    // Opened on the values in use: Speed 7 and MaxCh 4 stay as they are.
    Open(ThreeProfiles(2));
    ASSERT_EQ(speed->currentIndex(), -1);
    Ok();
    ASSERT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(ini.GetInt("INDEX_2", "Speed", -1), 7);
    EXPECT_EQ(ini.GetInt("INDEX_2", "MaxCh", -1), 4);

    // Chosen in the list: the values were lowered to the list size.
    Open(ThreeProfiles(1), true);
    EXPECT_FALSE(maxCh->isEnabled()); // the count applies at the next login
    QTest::keyClick(ip, Qt::Key_Down);
    ASSERT_EQ(speed->currentIndex(), -1);
    Ok();
    ASSERT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_FALSE(dlg->ChannelLayoutReset());
    EXPECT_EQ(ini.GetInt("INDEX_2", "Speed", -1), 3);
    EXPECT_EQ(ini.GetInt("INDEX_2", "MaxCh", -1), 3);
}

TEST_F(SettingDialog, AddressesTheListRefuses)
{
    Open(FullList());
    std::string before = ReadFile(path);
    TypeInto(ip, "10.9.9.9");
    Ok();
    EXPECT_EQ(notifier.Texts(), Texts({"Session List is full!"}));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_NE(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(ini.GetInt("Main", "count", 0), 25);

    Open(ThreeProfiles(1));
    before = ReadFile(path);
    const AppSettings appBefore = app;
    TypeInto(ip, "   ");
    Ok();
    EXPECT_EQ(notifier.Texts(), Texts({"Session List is full!", "IP Address is empty!"}));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(ReadFile(path), before);
    Click(Child<QPushButton>(*dlg, "cancel"));
    EXPECT_EQ(app.main, appBefore.main);
}

TEST_F(SettingDialog, DeleteAsksFirst)
{
    Open(ThreeProfiles(1));
    const std::string before = ReadFile(path);
    notifier.AnswerWith(MessageAnswer::No);
    Click(Child<QPushButton>(*dlg, "delete"));
    EXPECT_EQ(notifier.Texts(), Texts({"Are you delete this information, Really ?"}));
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(ip->count(), 3);
    EXPECT_EQ(port->value(), 8000);
}

TEST_F(SettingDialog, DeleteMovesLaterProfilesDown)
{
    Open(ThreeProfiles(2));
    QTest::keyClick(ip, Qt::Key_Up); // profile 1 chosen in the list
    notifier.AnswerWith(MessageAnswer::Yes);
    Click(Child<QPushButton>(*dlg, "delete"));
    EXPECT_EQ(notifier.Texts(), Texts({"Are you delete this information, Really ?"}));

    IniText text = ini.Read();
    EXPECT_EQ(LoadMainSection(text), (MainSection{0, 2, 1}));
    EXPECT_EQ(text.GetString("INDEX_1", "ip", ""), "10.0.0.3");
    EXPECT_EQ(text.GetInt("INDEX_1", "Port", 0), 9000);
    EXPECT_EQ(Entries(ip), QStringList({"10.0.0.1", "10.0.0.3"}));
    EXPECT_EQ(ip->currentText(), "10.0.0.1");
    EXPECT_EQ(speed->currentText(), "Low speed");
    EXPECT_EQ(port->value(), 2200);

    // The file changed, so the settings in use follow even on Cancel.
    Click(Child<QPushButton>(*dlg, "cancel"));
    EXPECT_EQ(app.main, (MainSection{0, 2, 1}));
    EXPECT_EQ(app.profile.ip, "10.0.0.1");
}

TEST_F(SettingDialog, BrowseFillsThePath)
{
    Open(ThreeProfiles(1));
    QString folder = "/media/video";
    int asked = 0;
    dlg->SetDirectoryChooser([&] {
        ++asked;
        return folder;
    });
    auto* browse = Child<QAbstractButton>(*dlg, "browse");
    Click(browse);
    EXPECT_EQ(recPath->text(), "/media/video/");
    folder = "/srv/";
    Click(browse);
    EXPECT_EQ(recPath->text(), "/srv/");
    folder.clear(); // the user cancelled the chooser
    Click(browse);
    EXPECT_EQ(recPath->text(), "/srv/");
    EXPECT_EQ(asked, 3);

    Ok();
    EXPECT_EQ(ini.GetString("INDEX_1", "RecPath", ""), "/srv/");
}

TEST_F(SettingDialog, UnwritableFileStillAppliesTheValues)
{
    WriteFile(dir / "file", "");
    IniFile blocked(dir / "file" / "x.ini");
    app = AppSettings{};
    CSettingDlg dlg(blocked, app, notifier, false);
    dlg.show();
    TypeInto(Child<QComboBox>(dlg, "ip"), "10.0.0.5");
    Click(Child<QPushButton>(dlg, "ok"));
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(notifier.Texts(), Texts({"The settings could not be written to " + blocked.Path().string() + "."}));
    EXPECT_EQ(app.profile.ip, "10.0.0.5");
    EXPECT_EQ(app.main.count, 1);
}

} // namespace
} // namespace tarnvik
