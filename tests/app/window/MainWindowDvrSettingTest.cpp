// The "&DVR Setup" button: the setup file editor opens on the user's own
// dvr.ini when the program's folder cannot be written.
#include "WindowTestSupport.h"

#include "app/controls/HoverButton.h"
#include "app/dialogs/DvrSettingDialog.h"

#include <QComboBox>

#include <gtest/gtest.h>

using namespace tarnvik;
using namespace tarnvik::test;

namespace {

TEST(WindowDvrSetting, ButtonOpensTheEditorOnTheUsersFileWhenTheProgramFolderIsReadOnly)
{
    TempDir files;
    const auto config = files / "config";
    std::filesystem::create_directories(config);
    WriteFile(config / "dvr.ini", "[System]\r\nStartDisplay=CH2\r\n");

    int opened = 0;
    MainDlgOptions options;
    // No one can create a file in /proc.
    options.dvrIni = LocateDvrIni("/proc", config);
    options.askDvrSetting = [&](CDvrSettingDlg& dialog) {
        ++opened;
        EXPECT_EQ(dialog.windowTitle(), "DVR Setting");
        EXPECT_EQ(dialog.findChild<QComboBox*>("videoUp")->currentText(), "CH2");
        auto* apply = dialog.findChild<CHoverButton*>("apply");
        EXPECT_EQ(apply->FaceWidth(), 90); // the window's skins
        dialog.show();
        QTest::mouseClick(apply, Qt::LeftButton);
        return dialog.result();
    };
    WindowFixture fixture(std::move(options));
    CHoverButton* button = fixture.window->Button(ctl::DvrSetting);
    ASSERT_TRUE(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(opened, 1);
    const std::string text = ReadFile(config / "dvr.ini");
    EXPECT_EQ(text.rfind("[System]\r\nStartDisplay=\"CH2\"\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("[Pipmode]\r\nPipChanBig=\"CH01\""), std::string::npos);
    EXPECT_TRUE(fixture.notifier.Texts().empty());
}

} // namespace
