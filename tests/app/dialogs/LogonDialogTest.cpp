// CLogonDlg driven by keyboard and mouse, followed by what the main window
// does after OK (ApplyLogon), checked in the file and in AppSettings.
#include "app/dialogs/LogonDialog.h"

#include "DialogTestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <tuple>

namespace tarnvik {
namespace {

using test::Child;
using test::Click;
using test::Entries;
using test::ReadFile;
using test::TempDir;
using test::ThreeProfiles;
using test::TypeInto;
using test::WriteFile;

class LogonDialog : public ::testing::Test {
protected:
    void Open(const std::string& file)
    {
        WriteFile(path, file);
        app = LoadStartupSettings(ini);
        dlg = std::make_unique<CLogonDlg>(ini, app);
        dlg->show();
        system = Child<QComboBox>(*dlg, "system");
        password = Child<QLineEdit>(*dlg, "password");
    }

    TempDir dir;
    std::filesystem::path path = dir / "TarnvikPlayer.ini";
    IniFile ini{path};
    AppSettings app;
    std::unique_ptr<CLogonDlg> dlg;
    QComboBox* system = nullptr;
    QLineEdit* password = nullptr;
};

TEST_F(LogonDialog, ListsTheProfilesAndStartsOnTheCurrentOne)
{
    Open(ThreeProfiles(1));
    EXPECT_EQ(dlg->windowTitle(), "Logon...");
    // A port other than 2200 is shown with its address.
    EXPECT_EQ(Entries(system), QStringList({"10.0.0.1", "cam.example:8000", "10.0.0.3:9000"}));
    EXPECT_TRUE(system->isEditable());
    EXPECT_EQ(system->currentText(), "cam.example:8000");
    EXPECT_EQ(dlg->ChosenProfile(), 1);
    EXPECT_EQ(dlg->Host(), "cam.example:8000");

    auto* userId = Child<QLineEdit>(*dlg, "userId");
    EXPECT_FALSE(userId->isVisible());
    EXPECT_EQ(userId->maxLength(), 8);
    EXPECT_EQ(dlg->UserId(), "admin");

    // A current profile that is not in the list selects nothing.
    std::string file = ThreeProfiles(1);
    file.replace(file.find("index=1"), 7, "index=5");
    Open(file);
    EXPECT_EQ(system->count(), 3);
    EXPECT_EQ(dlg->ChosenProfile(), kNoProfileChosen);
    EXPECT_EQ(dlg->Host(), "");
}

TEST_F(LogonDialog, TypedHostConnectsWithTheChosenProfile)
{
    Open(ThreeProfiles(1));
    const std::string before = ReadFile(path);
    QTest::keyClick(system, Qt::Key_Down); // entry 2 chosen in the list
    TypeInto(system, "  192.168.7.7 ");
    QTest::keyClicks(password, "pw");
    Click(Child<QPushButton>(*dlg, "ok"));
    ASSERT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->ChosenProfile(), 2);
    EXPECT_EQ(dlg->Host(), "  192.168.7.7 ");
    EXPECT_EQ(dlg->Password(), "pw");

    ASSERT_TRUE(ApplyLogon(ini, app, dlg->ChosenProfile(), dlg->Host()));
    EXPECT_EQ(app.profile.port, 9000);
    EXPECT_EQ(app.profile.recPath, "/rec/c/");
    EXPECT_EQ(app.profile.ip, "192.168.7.7");
    EXPECT_EQ(app.main.index, 2);
    // Only Main/index changed; the profile still names its own address.
    std::string expected = before;
    expected.replace(expected.find("index=1"), 7, "index=2");
    EXPECT_EQ(ReadFile(path), expected);
    EXPECT_EQ(ini.GetString("INDEX_2", "ip", ""), "10.0.0.3");

    // HOST:PORT and [IPv6]:PORT as on the command line: the typed port wins
    // over the profile's, for this connection only.
    for (const auto& [typed, host, port] : {std::tuple{"dvr.lan:2301", "dvr.lan", 2301},
                                            std::tuple{" [fe80::1]:2302", "fe80::1", 2302},
                                            std::tuple{"fe80::2", "fe80::2", 9000},
                                            std::tuple{"10.0.0.3:9000", "10.0.0.3", 9000}}) {
        SCOPED_TRACE(typed);
        ASSERT_TRUE(ApplyLogon(ini, app, 2, typed));
        EXPECT_EQ(app.profile.ip, host);
        EXPECT_EQ(app.profile.port, port);
        EXPECT_EQ(app.profile.recPath, "/rec/c/");
    }
    EXPECT_EQ(ini.GetInt("INDEX_2", "Port", 0), 9000);
}

TEST_F(LogonDialog, EnterIsOkAndAnExactAddressSelectsItsEntry)
{
    Open(ThreeProfiles(0));
    TypeInto(system, "10.0.0.3:9000");
    QTest::keyClick(system, Qt::Key_Return);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->ChosenProfile(), 2);

    // Enter in the password field is OK too; the list keeps its entry.
    Open(ThreeProfiles(0));
    TypeInto(system, "10.0.0.33");
    QTest::keyClicks(password, "x");
    QTest::keyClick(password, Qt::Key_Enter);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->ChosenProfile(), 0);
    EXPECT_EQ(dlg->Host(), "10.0.0.33");
}

TEST_F(LogonDialog, PasswordIsMaskedAndShort)
{
    Open(ThreeProfiles(0));
    QTest::keyClicks(password, "secret123456");
    EXPECT_EQ(dlg->Password(), "secret12");
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(password->displayText().contains("secret"));

    dlg->SetPasswordEnabled(false);
    EXPECT_FALSE(password->isEnabled());
    EXPECT_TRUE(system->isEnabled());
    dlg->SetPasswordEnabled(true);
    EXPECT_TRUE(password->isEnabled());
}

TEST_F(LogonDialog, CancelChangesNothing)
{
    Open(ThreeProfiles(1));
    const std::string before = ReadFile(path);
    QTest::keyClick(system, Qt::Key_Up);
    TypeInto(system, "other.host");
    Click(Child<QPushButton>(*dlg, "cancel"));
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(ReadFile(path), before);
}

} // namespace
} // namespace tarnvik
