// Connection profiles and the "Main" section of the viewer's private profile
// file. A profile is one saved DVR, in section "INDEX_<n>" (n = 0..24);
// "Main" says which profile is current and how many there are.
#pragma once

#include "app/IniFile.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tarnvik {

constexpr int kMaxProfiles = 25;

// The user's home folder: $HOME, else the password database, else ".".
std::string HomeDirectory();
// "~/DVR/" expanded, with the trailing separator that file names are appended to.
std::string DefaultRecPath();
// $XDG_CONFIG_HOME/TarnvikPlayer/TarnvikPlayer.ini, or ~/.config/... when
// $XDG_CONFIG_HOME is unset or not absolute.
std::filesystem::path PrivateProfilePath();

// One saved DVR. Keys in the file: "ip", "index", "Port", "RecPath", "MaxCh",
// "Speed", "Codec", "Adjust_X", "Adjust_Y", "AVI_format", "AVI_frame",
// "AVI_fullsize", "AVI_fccsel"; a missing key reads as the default here.
struct ConnectionProfile {
    std::string ip;          // host name or dotted address; the profile's identity
    int index = 0;           // the profile's own number
    uint16_t port = 2200;
    std::string recPath = DefaultRecPath(); // recordings, backups, AVI files
    int maxCh = 0;           // "4-CH", "8-CH", "16-CH": 0, 1, 2
    int speed = 0;           // 0 don't care, 1 low, 2 high
    int codec = 1;           // 0 JPEG, 1 H.264, 2 H.264 (second stream)
    int adjustX = 720;       // video area of the main window
    int adjustY = 480;
    int aviFormat = 0;       // 0 NTSC, 1 PAL
    int aviFrame = 15;       // AVI frames per second
    int aviFullsize = 0;     // 1 full size, 0 half size
    int aviFccsel = 0;       // index in the list of AVI compressors

    bool operator==(const ConnectionProfile&) const = default;
};

// Section "Main".
struct MainSection {
    int index = 0;       // current profile
    int count = 0;       // profiles "INDEX_0" .. "INDEX_<count-1>"
    int hideCaption = 0; // no title bar in full-screen mode

    bool operator==(const MainSection&) const = default;
};

// The values the rest of the program reads: the current profile and "Main".
struct AppSettings {
    MainSection main;
    ConnectionProfile profile;
};

// "INDEX_<number>".
std::string ProfileSection(int number);

// Every key of the section, with the defaults above for missing ones. The
// port keeps the low 16 bits of the stored number; Adjust_X and Adjust_Y
// are clamped to 0..16384 (the window adds frames and captions to them).
ConnectionProfile LoadProfile(const IniText& ini, std::string_view section);
ConnectionProfile LoadProfile(const IniFile& ini, std::string_view section);

// Writes every key in the order listed above; "index" gets `number`. False
// when a value cannot be stored (a line break in a text) or the file cannot
// be written; the file is then unchanged.
bool SaveProfile(IniText& ini, const ConnectionProfile& profile, std::string_view section, int number);
bool SaveProfile(const IniFile& ini, const ConnectionProfile& profile, std::string_view section, int number);

MainSection LoadMainSection(const IniText& ini);
MainSection LoadMainSection(const IniFile& ini);
// Writes "index", "count" and "HideCaption".
bool SaveMainSection(IniText& ini, const MainSection& main);
bool SaveMainSection(const IniFile& ini, const MainSection& main);

// What start-up reads: "Main", then the current profile; any negative number
// in either becomes 0 (checked before the port is narrowed to 16 bits).
AppSettings LoadStartupSettings(const IniFile& ini);

} // namespace tarnvik
