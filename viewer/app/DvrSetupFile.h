// The in-car DVR's setup file, dvr.ini: every value the "DVR Setting"
// dialog edits, read with the file's defaults and written back in the order
// the recorder expects, through the INI engine (IniText / IniFile), so keys
// the editor does not know stay as they were.
//
// Values read from the file are made sane on the way in: a number outside
// its range takes the key's default (a camera value is clamped to 0..255),
// a list text that names no entry takes the default entry, and the two
// free texts lose what could break the file. Write then never has to guess.
#pragma once

#include "app/IniText.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarnvik {

// The lists, index 0 first; a list value is an index into its list.
constexpr std::array<std::string_view, 2> kSetupOffOn = {"OFF", "ON"};
constexpr std::array<std::string_view, 3> kSetupWireEntries = {"POPOUT", "BEEP", "OUT"};
constexpr std::array<std::string_view, 4> kSetupQualityEntries = {"HIGH", "SUPER", "NORMAL", "LOW"};
constexpr std::array<std::string_view, 8> kSetupStartDisplayEntries = {"QUAD", "DWELL", "AUTO", "PIP",
                                                                       "CH1",  "CH2",   "CH3",  "CH4"};
constexpr std::array<std::string_view, 7> kSetupParkTimeEntries = {"60S", "50S", "40S", "30S", "20S", "10S", ""};

constexpr int kSetupCameraDefault = 100;
constexpr int kSetupAllChannels = 0x0F;

// The date of TimeFormat; the recorder takes the date only.
struct SetupDate {
    int year = 0, month = 0, day = 0;
    bool operator==(const SetupDate&) const = default;
};

// One camera channel's picture settings.
struct SetupCamera {
    uint8_t bright = kSetupCameraDefault;
    uint8_t hue = kSetupCameraDefault;
    uint8_t saturation = kSetupCameraDefault;
    uint8_t contrast = kSetupCameraDefault;
    bool operator==(const SetupCamera&) const = default;
};

struct DvrSetup {
    // [Time] TimeFormat: none when absent or unreadable (the editor shows
    // today). The time of day is read for the time picker but never written.
    std::optional<SetupDate> date;
    int hour = 0, minute = 0, second = 0;

    // [Status], each an index of kSetupOffOn.
    int showCameraName = 0, showTime = 0, showRecordStatus = 0, showVideoLoss = 0, buzzerSet = 0;

    // [Camera], channels 1..4.
    std::array<SetupCamera, 4> cameras{};

    // [Sensor] RedWire, GreenWire, BlueWire, OrangeWire: indexes of kSetupWireEntries.
    std::array<int, 4> wires{1, 1, 1, 1};

    // [Record]
    int recordQuality = 0;                   // kSetupQualityEntries
    int recordAudio = 1;                     // kSetupOffOn
    int recordChannels = kSetupAllChannels;  // bit 0 = CH1 .. bit 3 = CH4
    int recordParkTime = 0;                  // kSetupParkTimeEntries; always written as "60S"

    // [System]
    int startDisplay = 0; // kSetupStartDisplayEntries
    int startAudio = 0;   // kSetupOffOn
    std::string password; // without quotes or control characters (SetupText)
    bool chinese = false;
    std::string carId;    // as password
    int format = 0;       // read, never written
    int loadDefault = 1;  // read, never written

    bool operator==(const DvrSetup&) const = default;

    // The file's values; a missing or unreadable file gives the defaults.
    static DvrSetup Read(const IniText& ini);
    static DvrSetup Read(const std::filesystem::path& path);

    // Every key the editor writes, in the recorder's order, into `ini`.
    void WriteTo(IniText& ini) const;
    // The same, saved to `path` in one replacement of the file. When `path`
    // does not exist yet, `seed` (if it exists) gives the text to start
    // from, so the keys of a file read elsewhere are carried over. False
    // when the file could not be written.
    bool Write(const std::filesystem::path& path, const std::filesystem::path& seed = {}) const;
};

// Password and CarID are written inside double quotes on one line: double
// quotes and control characters (line breaks included) are removed, and the
// text is cut to what the file's readers take (kIniStringMax bytes).
std::string SetupText(std::string_view typed);

// A camera field's text as a number: leading blanks and a sign allowed,
// digits up to the first other character, no digits giving 0; clamped to
// 0..255 rather than wrapped.
uint8_t SetupCameraValue(std::string_view text);

// "Y/M/D", optionally followed by a time "H:M" or "H:M:S". Also '-' and
// '.' between the date's parts. Nothing when it is no valid date.
struct SetupDateTime {
    SetupDate date;
    int hour = 0, minute = 0, second = 0;
};
std::optional<SetupDateTime> ParseSetupTime(std::string_view text);

// Where dvr.ini is read from and written to.
struct DvrIniLocation {
    std::filesystem::path read;
    std::filesystem::path write;
};

// The program's folder when it is writable: dvr.ini there. Otherwise the
// file in `configFolder` is written, and read when it exists; until then a
// dvr.ini that came with the program is read (and seeds the first write).
DvrIniLocation ChooseDvrIni(const std::filesystem::path& programFolder, bool programFolderWritable,
                            const std::filesystem::path& configFolder);
// As above, probing the program folder by creating (and removing) a file in it.
DvrIniLocation LocateDvrIni(const std::filesystem::path& programFolder, const std::filesystem::path& configFolder);
// The running program's folder, and $XDG_CONFIG_HOME/TarnvikPlayer.
std::filesystem::path ProgramFolder();
std::filesystem::path UserConfigFolder();
bool FolderWritable(const std::filesystem::path& folder);

} // namespace tarnvik
