// The in-car DVR setup file: reading rules, the free texts and camera
// fields, and where the file lives. Writing is tested through the dialog
// (tests/app/dialogs) and the dvr_ini fuzz replay.
#include "app/DvrSetupFile.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

namespace tarnvik {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

DvrSetup ReadText(const std::string& text)
{
    return DvrSetup::Read(IniText(text));
}

TEST(DvrSetupRead, ListsMatchWithoutCaseAndNumbersOutOfRangeTakeSaneValues)
{
    const DvrSetup s = ReadText(
        "[status]\nbuzzerset=1\nShowTime=7\nShowVideoLoss=-1\n"
        "[Camera]\nCameraBright1=99999999999\nCameraHue1=-5\nCameraSaturation1=4294967396\n"
        "CameraContrast1=abc\nCameraBright2= 44 \n"
        "[Sensor]\nRedWire=\"popout\"\nGreenWire=HORN\nBlueWire=out\n"
        "[Record]\nRecordQuality=\"Low\"\nRecordAudio=-5\nRecordCH=5\nRecordParktime=30s\n"
        "[SYSTEM]\nStartDisplay=\"ch2\"\nStartAudio=1\nLanguage=\"Deutsch\"\nFormat=1\nLoadDefault=9\n");
    EXPECT_EQ(s.buzzerSet, 1);
    EXPECT_EQ(s.showTime, 0);
    EXPECT_EQ(s.showVideoLoss, 0);
    // Clamped, not wrapped (4294967396 would wrap to 100, 300 to 44).
    EXPECT_EQ(s.cameras[0], (SetupCamera{255, 0, 255, 100}));
    EXPECT_EQ(s.cameras[1].bright, 44);
    EXPECT_EQ(s.cameras[3], SetupCamera{});
    EXPECT_EQ(s.wires, (std::array<int, 4>{0, 1, 2, 1}));
    EXPECT_EQ(s.recordQuality, 3);
    EXPECT_EQ(s.recordAudio, 1);
    EXPECT_EQ(s.recordChannels, 5);
    EXPECT_EQ(s.recordParkTime, 3);
    EXPECT_EQ(s.startDisplay, 5);
    EXPECT_EQ(s.startAudio, 1);
    EXPECT_TRUE(s.chinese);
    EXPECT_EQ(s.format, 1);
    EXPECT_EQ(s.loadDefault, 1);

    const std::pair<const char*, bool> languages[] = {
        {"", false}, {"[System]\nLanguage=\"ENGLISH\"\n", false}, {"[System]\nLanguage=english\n", false},
        {"[System]\nLanguage=\"CHINESE\"\n", true}, {"[System]\nLanguage=\"x\"\n", true}};
    for (const auto& [text, chinese] : languages)
        EXPECT_EQ(ReadText(text).chinese, chinese) << text;
    EXPECT_EQ(ReadText("[Record]\nRecordCH=99999999999\n").recordChannels, kSetupAllChannels);
    EXPECT_EQ(ReadText("[Record]\nRecordCH=0\n").recordChannels, 0);
}

TEST(DvrSetupRead, TimeFormatIsADateWithAnOptionalTime)
{
    EXPECT_EQ(ReadText("[Time]\nTimeFormat=\"2009/1/15\"\n").date, (SetupDate{2009, 1, 15}));
    const std::optional<SetupDateTime> t = ParseSetupTime("2024-02-29 23:05:07");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->date, (SetupDate{2024, 2, 29}));
    EXPECT_EQ(std::tie(t->hour, t->minute, t->second), std::make_tuple(23, 5, 7));
    for (const char* bad : {"", "2009/2/29", "2009/13/1", "2009/1/15x", "2009/1/15 24:00", "12:30", "1/15",
                            "2009/1-15", "99999999/1/1"})
        EXPECT_FALSE(ParseSetupTime(bad)) << bad;
}

TEST(DvrSetupText, FreeTextsCannotBreakTheFile)
{
    EXPECT_EQ(SetupText("ab\"c\r\nd\te'f"), "abcde'f");
    const std::string longText(400, 'x');
    EXPECT_EQ(SetupText(longText).size(), kIniStringMax);
    // 2-byte characters: the cut never splits one.
    std::string wide;
    for (int i = 0; i < 200; ++i)
        wide += "\xC3\xA9";
    EXPECT_EQ(SetupText(wide).size(), kIniStringMax - 1);
    EXPECT_EQ(SetupCameraValue(" +300x"), 255);
    EXPECT_EQ(SetupCameraValue("-5"), 0);
    EXPECT_EQ(SetupCameraValue("044"), 44);
    EXPECT_EQ(SetupCameraValue(""), 0);

}

TEST(DvrIniLocation, TheProgramFolderWhenWritableElseTheUserConfigurationFolder)
{
    TempDir dir;
    const auto program = dir / "program";
    const auto config = dir / "config";
    std::filesystem::create_directories(program);
    EXPECT_TRUE(FolderWritable(program));
    EXPECT_FALSE(FolderWritable("/proc"));
    EXPECT_FALSE(FolderWritable(dir / "missing"));

    const DvrIniLocation writable = LocateDvrIni(program, config);
    EXPECT_EQ(writable.read, program / "dvr.ini");
    EXPECT_EQ(writable.write, program / "dvr.ini");
    // Nothing anywhere: read and write the user's file.
    EXPECT_EQ(ChooseDvrIni(program, false, config).read, config / "dvr.ini");

    // A file that came with the program is read until the user's own exists,
    // and its keys go along into the first write.
    WriteFile(program / "dvr.ini", "[System]\nStartDisplay=CH3\nFleet=North\n");
    const DvrIniLocation shipped = ChooseDvrIni(program, false, config);
    EXPECT_EQ(shipped.read, program / "dvr.ini");
    EXPECT_EQ(shipped.write, config / "dvr.ini");
    ASSERT_TRUE(DvrSetup::Read(shipped.read).Write(shipped.write, shipped.read));
    EXPECT_NE(ReadFile(config / "dvr.ini").find("Fleet=North"), std::string::npos);
    EXPECT_EQ(DvrSetup::Read(config / "dvr.ini").startDisplay, 6);
    EXPECT_EQ(ReadFile(program / "dvr.ini"), "[System]\nStartDisplay=CH3\nFleet=North\n");
    EXPECT_EQ(ChooseDvrIni(program, false, config).read, config / "dvr.ini");
}

} // namespace
} // namespace tarnvik
