#include "ConnectionProfile.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace tarnvik {

namespace {

constexpr std::string_view kMain = "Main";
constexpr std::string_view kMainIndex = "index";
constexpr std::string_view kMainCount = "count";
constexpr std::string_view kMainHideCaption = "HideCaption";

constexpr std::string_view kIp = "ip";
constexpr std::string_view kIndex = "index";
constexpr std::string_view kPort = "Port";
constexpr std::string_view kRecPath = "RecPath";
constexpr std::string_view kMaxCh = "MaxCh";
constexpr std::string_view kSpeed = "Speed";
constexpr std::string_view kCodec = "Codec";
constexpr std::string_view kAdjustX = "Adjust_X";
constexpr std::string_view kAdjustY = "Adjust_Y";
constexpr std::string_view kAviFormat = "AVI_format";
constexpr std::string_view kAviFrame = "AVI_frame";
constexpr std::string_view kAviFullsize = "AVI_fullsize";
constexpr std::string_view kAviFccsel = "AVI_fccsel";

class IntReader {
public:
    IntReader(const IniText& ini, std::string_view section, bool negativeAsZero)
        : ini_(ini), section_(section), negativeAsZero_(negativeAsZero)
    {
    }
    int operator()(std::string_view key, int defaultValue) const
    {
        int v = ini_.GetInt(section_, key, defaultValue);
        return negativeAsZero_ && v < 0 ? 0 : v;
    }

private:
    const IniText& ini_;
    std::string_view section_;
    bool negativeAsZero_;
};

// Sizes the window computes with: beyond any screen, and far from where
// adding a frame or a caption could overflow.
constexpr int kMaxAdjust = 16384;

ConnectionProfile ReadProfile(const IniText& ini, std::string_view section, bool negativeAsZero)
{
    const ConnectionProfile defaults;
    IntReader get(ini, section, negativeAsZero);
    ConnectionProfile p;
    p.ip = ini.GetString(section, kIp, defaults.ip);
    p.index = get(kIndex, defaults.index);
    p.port = uint16_t(get(kPort, defaults.port));
    p.recPath = ini.GetString(section, kRecPath, defaults.recPath);
    p.maxCh = get(kMaxCh, defaults.maxCh);
    p.speed = get(kSpeed, defaults.speed);
    p.codec = get(kCodec, defaults.codec);
    p.adjustX = std::clamp(get(kAdjustX, defaults.adjustX), 0, kMaxAdjust);
    p.adjustY = std::clamp(get(kAdjustY, defaults.adjustY), 0, kMaxAdjust);
    p.aviFormat = get(kAviFormat, defaults.aviFormat);
    p.aviFrame = get(kAviFrame, defaults.aviFrame);
    p.aviFullsize = get(kAviFullsize, defaults.aviFullsize);
    p.aviFccsel = get(kAviFccsel, defaults.aviFccsel);
    return p;
}

MainSection ReadMain(const IniText& ini, bool negativeAsZero)
{
    IntReader get(ini, kMain, negativeAsZero);
    MainSection m;
    m.index = get(kMainIndex, 0);
    m.count = get(kMainCount, 0);
    m.hideCaption = get(kMainHideCaption, 0);
    return m;
}

} // namespace

std::string HomeDirectory()
{
    std::string home;
    if (const char* env = std::getenv("HOME"); env && *env) {
        home = env;
    } else {
        std::vector<char> buffer(16384);
        passwd pw {};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir
            && *found->pw_dir)
            home = found->pw_dir;
        else
            home = ".";
    }
    // "/home/u/" and "/" must not give doubled separators when names are appended.
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    if (home == "/")
        home.clear();
    return home;
}

std::string DefaultRecPath()
{
    return HomeDirectory() + "/DVR/";
}

std::filesystem::path PrivateProfilePath()
{
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        base = xdg;
    else
        base = std::filesystem::path(HomeDirectory()) / ".config";
    return base / "TarnvikPlayer" / "TarnvikPlayer.ini";
}

std::string ProfileSection(int number)
{
    return "INDEX_" + std::to_string(number);
}

ConnectionProfile LoadProfile(const IniText& ini, std::string_view section)
{
    return ReadProfile(ini, section, false);
}

ConnectionProfile LoadProfile(const IniFile& ini, std::string_view section)
{
    return ReadProfile(ini.Read(), section, false);
}

bool SaveProfile(IniText& ini, const ConnectionProfile& profile, std::string_view section, int number)
{
    // Edits a copy so that a refused value leaves the text as it was.
    IniText t = ini;
    bool ok = t.WriteString(section, kIp, profile.ip)
        && t.WriteInt(section, kIndex, number)
        && t.WriteInt(section, kPort, profile.port)
        && t.WriteString(section, kRecPath, profile.recPath)
        && t.WriteInt(section, kMaxCh, profile.maxCh)
        && t.WriteInt(section, kSpeed, profile.speed)
        && t.WriteInt(section, kCodec, profile.codec)
        && t.WriteInt(section, kAdjustX, profile.adjustX)
        && t.WriteInt(section, kAdjustY, profile.adjustY)
        && t.WriteInt(section, kAviFormat, profile.aviFormat)
        && t.WriteInt(section, kAviFrame, profile.aviFrame)
        && t.WriteInt(section, kAviFullsize, profile.aviFullsize)
        && t.WriteInt(section, kAviFccsel, profile.aviFccsel);
    if (ok)
        ini = std::move(t);
    return ok;
}

bool SaveProfile(const IniFile& ini, const ConnectionProfile& profile, std::string_view section, int number)
{
    return ini.Update([&](IniText& t) { return SaveProfile(t, profile, section, number); });
}

MainSection LoadMainSection(const IniText& ini)
{
    return ReadMain(ini, false);
}

MainSection LoadMainSection(const IniFile& ini)
{
    return ReadMain(ini.Read(), false);
}

bool SaveMainSection(IniText& ini, const MainSection& main)
{
    return ini.WriteInt(kMain, kMainIndex, main.index) && ini.WriteInt(kMain, kMainCount, main.count)
        && ini.WriteInt(kMain, kMainHideCaption, main.hideCaption);
}

bool SaveMainSection(const IniFile& ini, const MainSection& main)
{
    return ini.Update([&](IniText& t) { return SaveMainSection(t, main); });
}

AppSettings LoadStartupSettings(const IniFile& ini)
{
    IniText text = ini.Read();
    AppSettings s;
    s.main = ReadMain(text, true);
    s.profile = ReadProfile(text, ProfileSection(s.main.index), true);
    return s;
}

} // namespace tarnvik
