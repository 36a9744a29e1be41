#include "app/ConnectionProfile.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

using namespace tarnvik;
using tarnvik::test::ReadFile;
using tarnvik::test::TempDir;
using tarnvik::test::WriteFile;
namespace fs = std::filesystem;

namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(ConnectionProfile, MissingKeysReadAsDefaults)
{
    ScopedEnv home("HOME", "/home/tester");
    TempDir dir;
    const fs::path path = dir / "p.ini";
    // No "Port" and no "Codec": the login must use 2200 and codec 1.
    WriteFile(path, "[INDEX_0]\nIP=10.1.2.3\nspeed=2\n");
    ConnectionProfile p = LoadProfile(IniFile(path), "index_0");
    EXPECT_EQ(p.ip, "10.1.2.3");
    EXPECT_EQ(p.port, 2200);
    EXPECT_EQ(p.codec, 1);
    EXPECT_EQ(p.speed, 2);
    EXPECT_EQ(p.recPath, "/home/tester/DVR/");
    EXPECT_EQ(p.adjustX, 720);
    EXPECT_EQ(p.adjustY, 480);
    EXPECT_EQ(p.aviFrame, 15);

    ConnectionProfile none = LoadProfile(IniFile(dir / "absent.ini"), "INDEX_3");
    EXPECT_EQ(none.ip, "");
    EXPECT_EQ(none.port, 2200);
    EXPECT_EQ(none.codec, 1);
}

TEST(ConnectionProfile, SaveWritesEveryKeyInOrder)
{
    TempDir dir;
    const fs::path path = dir / "p.ini";
    ConnectionProfile p;
    p.ip = "dvr.example";
    p.index = 9; // replaced by the number given
    p.port = 65535;
    p.recPath = "/data/rec/";
    p.maxCh = 0;
    p.speed = 1;
    p.codec = 2;
    p.adjustX = 320;
    p.adjustY = 240;
    p.aviFormat = 1;
    p.aviFrame = 30;
    p.aviFullsize = 1;
    p.aviFccsel = 3;
    ASSERT_TRUE(SaveProfile(IniFile(path), p, "INDEX_4", 4));
    EXPECT_EQ(ReadFile(path),
              "[INDEX_4]\nip=dvr.example\nindex=4\nPort=65535\nRecPath=/data/rec/\nMaxCh=0\nSpeed=1\n"
              "Codec=2\nAdjust_X=320\nAdjust_Y=240\nAVI_format=1\nAVI_frame=30\nAVI_fullsize=1\n"
              "AVI_fccsel=3\n");
    ConnectionProfile back = LoadProfile(IniFile(path), ProfileSection(4));
    p.index = 4;
    EXPECT_EQ(back, p);

    // A value that cannot be stored leaves the whole section as it was.
    const std::string before = ReadFile(path);
    ConnectionProfile bad = p;
    bad.recPath = "a\nb";
    EXPECT_FALSE(SaveProfile(IniFile(path), bad, "INDEX_4", 4));
    EXPECT_EQ(ReadFile(path), before);
}

TEST(ConnectionProfile, NumbersBeyondTheirRangeAreTamed)
{
    IniText ini("[INDEX_0]\nPort=70000\nAdjust_X=-5\nAdjust_Y=2147483647\n[INDEX_1]\nPort=-1\n");
    EXPECT_EQ(LoadProfile(ini, "INDEX_0").port, 70000 - 65536);
    EXPECT_EQ(LoadProfile(ini, "INDEX_1").port, 65535);
    // The window computes with the sizes (full screen adds 14 to Adjust_Y).
    EXPECT_EQ(LoadProfile(ini, "INDEX_0").adjustX, 0);
    EXPECT_EQ(LoadProfile(ini, "INDEX_0").adjustY, 16384);
}

TEST(ConnectionProfile, MainSectionAndStartup)
{
    TempDir dir;
    const fs::path path = dir / "p.ini";
    IniFile ini(path);
    EXPECT_EQ(LoadMainSection(ini), (MainSection{0, 0, 0}));
    ASSERT_TRUE(SaveMainSection(ini, MainSection{1, 2, 1}));
    EXPECT_EQ(ReadFile(path), "[Main]\nindex=1\ncount=2\nHideCaption=1\n");
    EXPECT_EQ(LoadMainSection(ini), (MainSection{1, 2, 1}));

    WriteFile(path,
              "[Main]\nindex=1\ncount=2\nHideCaption=-4\n"
              "[INDEX_0]\nip=first\n"
              "[INDEX_1]\nip=second\nPort=-5\nSpeed=-1\nAdjust_X=-720\nCodec=0\n");
    AppSettings s = LoadStartupSettings(ini);
    EXPECT_EQ(s.main, (MainSection{1, 2, 0}));
    EXPECT_EQ(s.profile.ip, "second");
    EXPECT_EQ(s.profile.port, 0);
    EXPECT_EQ(s.profile.speed, 0);
    EXPECT_EQ(s.profile.adjustX, 0);
    EXPECT_EQ(s.profile.codec, 0);
    // Only start-up lifts negative numbers; the plain load keeps them.
    EXPECT_EQ(LoadProfile(ini, "INDEX_1").speed, -1);

    WriteFile(path, "[Main]\nindex=-3\n[INDEX_0]\nip=zero\n");
    EXPECT_EQ(LoadStartupSettings(ini).profile.ip, "zero");
}

TEST(ConnectionProfile, FileLocations)
{
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(PrivateProfilePath(), fs::path("/cfg/TarnvikPlayer/TarnvikPlayer.ini"));
    }
    ScopedEnv home("HOME", "/home/u/");
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(PrivateProfilePath(), fs::path("/home/u/.config/TarnvikPlayer/TarnvikPlayer.ini"));
    }
    {
        // A relative value is to be ignored.
        ScopedEnv xdg("XDG_CONFIG_HOME", "relative/cfg");
        EXPECT_EQ(PrivateProfilePath(), fs::path("/home/u/.config/TarnvikPlayer/TarnvikPlayer.ini"));
    }
    EXPECT_EQ(DefaultRecPath(), "/home/u/DVR/");
    ScopedEnv root("HOME", "/");
    EXPECT_EQ(DefaultRecPath(), "/DVR/");
}

} // namespace
