#include "app/ProfileEditing.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

using namespace tarnvik;
using tarnvik::test::ReadFile;
using tarnvik::test::TempDir;
using tarnvik::test::WriteFile;
namespace fs = std::filesystem;

namespace {

class ProfileEditing : public ::testing::Test {
protected:
    ProfileDialogFields Fields(const std::string& ip, int speed = 0) const
    {
        ProfileDialogFields f;
        f.ip = ip;
        f.port = 2200;
        f.recPath = "/rec/";
        f.speed = speed;
        f.adjustX = 720;
        f.adjustY = 480;
        f.aviFrame = 15;
        return f;
    }

    // Saves addresses one after another through the dialog's OK.
    void AddProfiles(int n)
    {
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(SaveFromDialog(ini, app, Fields("10.0.0." + std::to_string(i), i % 3), false),
                      ProfileSaveResult::Saved);
    }

    TempDir dir;
    fs::path path = dir / "TarnvikPlayer.ini";
    IniFile ini{path};
    AppSettings app;
};

TEST_F(ProfileEditing, NewAddressBecomesProfileCount)
{
    AddProfiles(2);
    int number = -1;
    ProfileDialogFields f = Fields("  cam.example  ", 2);
    f.port = 8000;
    f.hideCaption = 1;
    f.aviFccsel = -1;
    ASSERT_EQ(SaveFromDialog(ini, app, f, false, &number), ProfileSaveResult::Saved);
    EXPECT_EQ(number, 2);
    EXPECT_EQ(app.main, (MainSection{2, 3, 1}));
    EXPECT_EQ(app.profile.ip, "cam.example");
    EXPECT_EQ(app.profile.aviFccsel, 0);

    IniText text = ini.Read();
    EXPECT_EQ(LoadMainSection(text), (MainSection{2, 3, 1}));
    ConnectionProfile saved = LoadProfile(text, "INDEX_2");
    EXPECT_EQ(saved, app.profile);
    EXPECT_EQ(saved.index, 2);
    EXPECT_EQ(saved.port, 8000);
    EXPECT_EQ(saved.speed, 2);
    EXPECT_EQ(ProfileAddresses(ini, 3), (std::vector<std::string>{"10.0.0.0", "10.0.0.1", "cam.example"}));
}

TEST_F(ProfileEditing, SameAddressUpdatesThatProfile)
{
    AddProfiles(3);
    ProfileDialogFields f = Fields("10.0.0.1");
    f.port = 9100;
    int number = -1;
    ASSERT_EQ(SaveFromDialog(ini, app, f, false, &number), ProfileSaveResult::Saved);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(app.main.count, 3);
    IniText text = ini.Read();
    EXPECT_EQ(LoadMainSection(text), (MainSection{1, 3, 0}));
    EXPECT_EQ(LoadProfile(text, "INDEX_1").port, 9100);
    EXPECT_FALSE(text.HasSection("INDEX_3"));

    // The match is exact: with a leading space the address is a new one,
    // stored trimmed.
    ASSERT_EQ(SaveFromDialog(ini, app, Fields(" 10.0.0.1"), false, &number), ProfileSaveResult::Saved);
    EXPECT_EQ(number, 3);
    EXPECT_EQ(ini.GetString("INDEX_3", "ip", "-"), "10.0.0.1");
}

TEST_F(ProfileEditing, TwentySixthAddressIsRefused)
{
    AddProfiles(kMaxProfiles);
    const std::string before = ReadFile(path);
    const AppSettings appBefore = app;
    ASSERT_EQ(SaveFromDialog(ini, app, Fields("10.9.9.9"), false), ProfileSaveResult::SessionListFull);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(app.main, appBefore.main);
    EXPECT_EQ(app.profile, appBefore.profile);
    EXPECT_EQ(ini.GetInt("Main", "count", 0), 25);
    EXPECT_EQ(kSessionListFullText, "Session List is full!");

    // A known address is still an update, not a new profile.
    ASSERT_EQ(SaveFromDialog(ini, app, Fields("10.0.0.24", 1), false), ProfileSaveResult::Saved);
    EXPECT_EQ(ini.GetInt("INDEX_24", "Speed", -1), 1);
}

TEST_F(ProfileEditing, EmptyAddressIsRefusedWithoutSkippingANumber)
{
    AddProfiles(2);
    const std::string before = ReadFile(path);
    for (const char* ip : {"", "   ", " \t "}) {
        SCOPED_TRACE(ip);
        ASSERT_EQ(SaveFromDialog(ini, app, Fields(ip), false), ProfileSaveResult::IpAddressEmpty);
        EXPECT_EQ(ReadFile(path), before);
        EXPECT_EQ(app.main.count, 2);
    }
    EXPECT_EQ(kIpAddressEmptyText, "IP Address is empty!");

    // The next good address gets the next number: no empty profile between.
    int number = -1;
    ASSERT_EQ(SaveFromDialog(ini, app, Fields("10.0.0.7"), false, &number), ProfileSaveResult::Saved);
    EXPECT_EQ(number, 2);
    EXPECT_EQ(LoadMainSection(ini), (MainSection{2, 3, 0}));
    EXPECT_EQ(ProfileAddresses(ini, 3), (std::vector<std::string>{"10.0.0.0", "10.0.0.1", "10.0.0.7"}));
}

TEST_F(ProfileEditing, WhatTheDialogTakes)
{
    AddProfiles(1);
    app.profile.codec = 0;
    app.profile.maxCh = 0;
    ProfileDialogFields f = Fields("10.0.0.0");
    f.maxCh = 1;
    ASSERT_EQ(SaveFromDialog(ini, app, f, true), ProfileSaveResult::Saved);
    // MaxCh is kept while a session runs; the fixed Codec list never changes
    // the codec.
    EXPECT_EQ(ini.GetInt("INDEX_0", "MaxCh", -1), 0);
    EXPECT_EQ(ini.GetInt("INDEX_0", "Codec", -1), 0);
    ASSERT_EQ(SaveFromDialog(ini, app, f, false), ProfileSaveResult::Saved);
    EXPECT_EQ(ini.GetInt("INDEX_0", "MaxCh", -1), 1);

    IniFile blocked(dir / "file" / "x.ini");
    WriteFile(dir / "file", "");
    AppSettings other;
    EXPECT_EQ(SaveFromDialog(blocked, other, Fields("a"), false), ProfileSaveResult::WriteFailed);
}

TEST_F(ProfileEditing, DeleteMovesLaterProfilesDown)
{
    AddProfiles(3); // speeds 0, 1, 2
    const std::string lastSection = "[INDEX_2]\nip=10.0.0.2\nindex=2\n";
    ASSERT_NE(ReadFile(path).find(lastSection), std::string::npos);
    app.main.hideCaption = 1;

    ASSERT_EQ(DeleteProfile(ini, app, 1), ProfileDeleteResult::Deleted);
    IniText text = ini.Read();
    EXPECT_EQ(LoadMainSection(text), (MainSection{0, 2, 1}));
    EXPECT_EQ(app.main, (MainSection{0, 2, 1}));
    ConnectionProfile moved = LoadProfile(text, "INDEX_1");
    EXPECT_EQ(moved.ip, "10.0.0.2");
    EXPECT_EQ(moved.index, 1);
    EXPECT_EQ(moved.speed, 2);
    EXPECT_NE(text.Text().find(lastSection), std::string::npos);
    // The fields show profile 0 afterwards, not the last one moved.
    EXPECT_EQ(app.profile.ip, "10.0.0.0");
    EXPECT_EQ(app.profile.speed, 0);
    EXPECT_EQ(ProfileAddresses(ini, app.main.count), (std::vector<std::string>{"10.0.0.0", "10.0.0.2"}));

    // Nothing chosen in the list: the current profile (now 0) goes.
    ASSERT_EQ(DeleteProfile(ini, app, kNoProfileChosen), ProfileDeleteResult::Deleted);
    EXPECT_EQ(ProfileAddresses(ini, app.main.count), (std::vector<std::string>{"10.0.0.2"}));
    EXPECT_EQ(app.profile.speed, 2);
}

TEST_F(ProfileEditing, DeleteThatDoesNothing)
{
    AddProfiles(1);
    std::string before = ReadFile(path);
    // The last profile cannot be deleted.
    EXPECT_EQ(DeleteProfile(ini, app, 0), ProfileDeleteResult::NotDeleted);
    EXPECT_EQ(ReadFile(path), before);
    ASSERT_EQ(SaveFromDialog(ini, app, Fields("second"), false), ProfileSaveResult::Saved);
    before = ReadFile(path);
    for (int chosen : {2, 7, -5}) {
        SCOPED_TRACE(chosen);
        EXPECT_EQ(DeleteProfile(ini, app, chosen), ProfileDeleteResult::NotDeleted);
        EXPECT_EQ(ReadFile(path), before);
        EXPECT_EQ(app.main.count, 2);
    }
    EXPECT_EQ(kDeleteProfileQuestion, "Are you delete this information, Really ?");
}

TEST_F(ProfileEditing, DamagedCountStaysBounded)
{
    WriteFile(path, "[Main]\ncount=2000000000\n[INDEX_0]\nip=a\n[INDEX_1]\nip=b\n");
    app.main = LoadMainSection(ini);
    EXPECT_EQ(ProfileAddresses(ini, app.main.count).size(), size_t(kMaxProfiles));
    EXPECT_EQ(FindProfileByIp(ini, app.main.count, "b"), 1);
    EXPECT_EQ(SaveFromDialog(ini, app, Fields("c"), false), ProfileSaveResult::SessionListFull);
    ASSERT_EQ(DeleteProfile(ini, app, 0), ProfileDeleteResult::Deleted);
    EXPECT_EQ(ini.GetString("INDEX_0", "ip", "-"), "b");
}

TEST_F(ProfileEditing, LogonTakesTheChosenProfileWithTheTypedHost)
{
    AddProfiles(3); // current: 2
    WriteFile(path, "; kept\n" + ReadFile(path));
    const std::string before = ReadFile(path);
    ASSERT_NE(before.find("index=2\ncount=3\nHideCaption=0\n"), std::string::npos);

    ASSERT_TRUE(ApplyLogon(ini, app, 1, " \t192.168.1.9  "));
    EXPECT_EQ(app.main, (MainSection{1, 3, 0}));
    EXPECT_EQ(app.profile.ip, "192.168.1.9");
    EXPECT_EQ(app.profile.speed, 1);
    EXPECT_EQ(app.profile.index, 1);
    // Only "index" of Main changes; the profile keeps its own address.
    std::string expected = before;
    expected.replace(expected.find("index=2\ncount"), 7, "index=1");
    EXPECT_EQ(ReadFile(path), expected);
    EXPECT_EQ(ini.GetString("INDEX_1", "ip", ""), "10.0.0.1");
}

TEST_F(ProfileEditing, LogonWithoutAProfileTakesOnlyTheHost)
{
    AddProfiles(2); // current: 1
    const std::string before = ReadFile(path);
    const ConnectionProfile current = app.profile;
    for (int chosen : {kNoProfileChosen, 2, 25, -7}) {
        SCOPED_TRACE(chosen);
        ASSERT_TRUE(ApplyLogon(ini, app, chosen, "dvr.local "));
        EXPECT_EQ(app.main.index, 1);
        EXPECT_EQ(app.profile.ip, "dvr.local");
        EXPECT_EQ(app.profile.speed, current.speed);
        EXPECT_EQ(ReadFile(path), before);
    }
    ASSERT_TRUE(ApplyLogon(ini, app, kNoProfileChosen, "   "));
    EXPECT_EQ(app.profile.ip, "");
}

TEST_F(ProfileEditing, LogonReportsAnUnwritableFile)
{
    WriteFile(dir / "file", "");
    IniFile blocked(dir / "file" / "x.ini");
    app.main.count = 1;
    app.profile.port = 1;
    EXPECT_FALSE(ApplyLogon(blocked, app, 0, "h"));
    // The choice still applies for this run.
    EXPECT_EQ(app.main.index, 0);
    EXPECT_EQ(app.profile.port, 2200);
    EXPECT_EQ(app.profile.ip, "h");
}

TEST(ProfileRules, ListSelectionsAndSpeedByte)
{
    TempDir dir;
    const fs::path path = dir / "p.ini";
    WriteFile(path, "[INDEX_0]\nMaxCh=5\nSpeed=7\nCodec=0\n[INDEX_1]\nMaxCh=1\nSpeed=2\n");
    IniFile ini(path);
    AppSettings app;
    ChooseProfileInDialog(ini, app, 0);
    EXPECT_EQ(app.profile.maxCh, 3);
    EXPECT_EQ(app.profile.speed, 3);
    EXPECT_EQ(app.profile.codec, 0);
    ChooseProfileInDialog(ini, app, 1);
    EXPECT_EQ(app.profile.maxCh, 1);
    EXPECT_EQ(app.profile.speed, 2);
    EXPECT_EQ(ClampListSelection(-1, kSpeedEntries.size()), -1);
    // A login's channel count; a choice beyond the list keeps the 4 channels
    // such a profile always had.
    EXPECT_EQ(ChannelCountOfMaxCh(app.profile.maxCh), 8);
    EXPECT_EQ(ChannelCountOfMaxCh(2), 16);
    EXPECT_EQ(ChannelCountOfMaxCh(3), 4);
}

} // namespace
