#include "DvrSetupFile.h"

#include "app/ConnectionProfile.h"
#include "app/IniFile.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace tarnvik {

namespace {

constexpr const char* kCameraKeys[] = {"CameraBright", "CameraHue", "CameraSaturation", "CameraContrast"};
constexpr const char* kWireKeys[] = {"RedWire", "GreenWire", "BlueWire", "OrangeWire"};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// The leading decimal number of `text`, saturated far beyond any value the
// file holds so that a long run of digits cannot wrap into range.
std::optional<int64_t> LeadingNumber(std::string_view text)
{
    size_t at = 0;
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        negative = text[at++] == '-';
    if (at == text.size() || text[at] < '0' || text[at] > '9')
        return std::nullopt;
    constexpr int64_t kCap = int64_t(1) << 40;
    int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = std::min(kCap, value * 10 + (text[at] - '0'));
    return negative ? -value : value;
}

// A number that is no entry of a list of `count` entries takes the default.
int ReadIndex(const IniText& ini, std::string_view section, std::string_view key, int count, int defaultValue)
{
    const std::optional<int64_t> n = LeadingNumber(ini.GetString(section, key, ""));
    return n && *n >= 0 && *n < count ? int(*n) : defaultValue;
}

template <size_t N>
int ReadEntry(const IniText& ini, std::string_view section, std::string_view key,
              const std::array<std::string_view, N>& entries, int defaultValue)
{
    const std::string value = ini.GetString(section, key, entries[size_t(defaultValue)]);
    for (size_t i = 0; i < N; ++i)
        if (EqualNoCase(value, entries[i]))
            return int(i);
    return defaultValue;
}

std::string Quoted(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

bool DaysValid(int year, int month, int day)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// Reads up to `maxDigits` digits at `at`; -1 when there are none.
int Digits(std::string_view text, size_t& at, size_t maxDigits)
{
    int value = 0;
    size_t n = 0;
    for (; at < text.size() && n < maxDigits && text[at] >= '0' && text[at] <= '9'; ++at, ++n)
        value = value * 10 + (text[at] - '0');
    return n ? value : -1;
}

} // namespace

std::string SetupText(std::string_view typed)
{
    std::string text;
    for (char c : typed)
        if (c != '"' && uint8_t(c) >= 0x20 && c != 0x7F)
            text += c;
    return IniText("[a]\nk=" + Quoted(text)).GetString("a", "k", "");
}

uint8_t SetupCameraValue(std::string_view text)
{
    return uint8_t(std::clamp<int64_t>(LeadingNumber(text).value_or(0), 0, 255));
}

std::optional<SetupDateTime> ParseSetupTime(std::string_view text)
{
    SetupDateTime t;
    size_t at = 0;
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    t.date.year = Digits(text, at, 4);
    const char separator = at < text.size() ? text[at] : 0;
    if (separator != '/' && separator != '-' && separator != '.')
        return std::nullopt;
    ++at;
    t.date.month = Digits(text, at, 2);
    if (at == text.size() || text[at] != separator)
        return std::nullopt;
    ++at;
    t.date.day = Digits(text, at, 2);
    if (t.date.year < 1900 || !DaysValid(t.date.year, t.date.month, t.date.day))
        return std::nullopt;
    size_t blanks = 0;
    for (; at < text.size() && IsBlank(text[at]); ++at)
        ++blanks;
    if (at < text.size()) {
        if (!blanks)
            return std::nullopt;
        t.hour = Digits(text, at, 2);
        if (at == text.size() || text[at] != ':')
            return std::nullopt;
        ++at;
        t.minute = Digits(text, at, 2);
        if (at < text.size() && text[at] == ':') {
            ++at;
            t.second = Digits(text, at, 2);
        }
        while (at < text.size() && IsBlank(text[at]))
            ++at;
        if (at < text.size() || t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 ||
            t.second > 59)
            return std::nullopt;
    }
    return t;
}

DvrSetup DvrSetup::Read(const IniText& ini)
{
    DvrSetup s;
    if (const std::optional<SetupDateTime> t = ParseSetupTime(ini.GetString("Time", "TimeFormat", ""))) {
        s.date = t->date;
        s.hour = t->hour;
        s.minute = t->minute;
        s.second = t->second;
    }

    s.showCameraName = ReadIndex(ini, "Status", "ShowCameraName", 2, 0);
    s.showTime = ReadIndex(ini, "Status", "ShowTime", 2, 0);
    s.showRecordStatus = ReadIndex(ini, "Status", "ShowRecordStatus", 2, 0);
    s.showVideoLoss = ReadIndex(ini, "Status", "ShowVideoLoss", 2, 0);
    s.buzzerSet = ReadIndex(ini, "Status", "Buzzerset", 2, 0);

    for (size_t ch = 0; ch < s.cameras.size(); ++ch) {
        SetupCamera& camera = s.cameras[ch];
        uint8_t* values[] = {&camera.bright, &camera.hue, &camera.saturation, &camera.contrast};
        for (size_t k = 0; k < 4; ++k) {
            const std::string key = kCameraKeys[k] + std::to_string(ch + 1);
            const std::optional<int64_t> n = LeadingNumber(ini.GetString("Camera", key, ""));
            *values[k] = n ? uint8_t(std::clamp<int64_t>(*n, 0, 255)) : uint8_t(kSetupCameraDefault);
        }
    }

    for (size_t w = 0; w < s.wires.size(); ++w)
        s.wires[w] = ReadEntry(ini, "Sensor", kWireKeys[w], kSetupWireEntries, 1);
    s.recordQuality = ReadEntry(ini, "Record", "RecordQuality", kSetupQualityEntries, 0);
    s.recordAudio = ReadIndex(ini, "Record", "RecordAudio", 2, 1);
    s.recordChannels = ReadIndex(ini, "Record", "RecordCH", kSetupAllChannels + 1, kSetupAllChannels);
    s.recordParkTime = ReadEntry(ini, "Record", "RecordParktime", kSetupParkTimeEntries, 0);

    s.startDisplay = ReadEntry(ini, "System", "StartDisplay", kSetupStartDisplayEntries, 0);
    s.startAudio = ReadIndex(ini, "System", "StartAudio", 2, 0);
    s.password = SetupText(ini.GetString("System", "Password", ""));
    // An empty value is taken as unset, like a missing one.
    const std::string language = ini.GetString("System", "Language", "English");
    s.chinese = !language.empty() && !EqualNoCase(language, "english");
    s.carId = SetupText(ini.GetString("System", "CarID", ""));
    s.format = ReadIndex(ini, "System", "Format", 2, 0);
    s.loadDefault = ReadIndex(ini, "System", "LoadDefault", 2, 1);
    return s;
}

DvrSetup DvrSetup::Read(const std::filesystem::path& path)
{
    return Read(IniFile(path).Read());
}

void DvrSetup::WriteTo(IniText& ini) const
{
    auto text = [&ini](std::string_view section, std::string_view key, std::string_view value) {
        ini.WriteString(section, key, value);
    };
    auto number = [&ini](std::string_view section, std::string_view key, int value) {
        ini.WriteInt(section, key, value);
    };
    auto entry = [](const auto& entries, int index) { return Quoted(entries[size_t(index)]); };

    text("Ver", "Manifest", "\"thisisforthefile\"");
    text("Ver", "Version", "\"1.0.0\"");
    text("Time", "TimeFormat",
         date ? Quoted(std::to_string(date->year) + "/" + std::to_string(date->month) + "/" +
                       std::to_string(date->day))
              : Quoted(""));
    number("Status", "ShowAll", 1);
    number("Status", "ShowCameraName", showCameraName);
    number("Status", "ShowTime", showTime);
    number("Status", "ShowRecordStatus", showRecordStatus);
    number("Status", "ShowVideoLoss", showVideoLoss);
    number("Status", "BuzzerSet", buzzerSet);
    for (size_t ch = 0; ch < cameras.size(); ++ch) {
        const SetupCamera& c = cameras[ch];
        const int values[] = {c.bright, c.hue, c.saturation, c.contrast};
        for (size_t k = 0; k < 4; ++k)
            number("Camera", kCameraKeys[k] + std::to_string(ch + 1), values[k]);
    }
    for (size_t w = 0; w < wires.size(); ++w)
        text("Sensor", kWireKeys[w], entry(kSetupWireEntries, wires[w]));
    text("Record", "RecordQuality", entry(kSetupQualityEntries, recordQuality));
    number("Record", "RecordAudio", recordAudio);
    number("Record", "RecordCH", recordChannels & kSetupAllChannels);
    text("Record", "RecordParktime", "60S");
    text("System", "StartDisplay", entry(kSetupStartDisplayEntries, startDisplay));
    number("System", "StartAudio", startAudio);
    text("System", "Password", Quoted(SetupText(password)));
    text("System", "Language", chinese ? "\"CHINESE\"" : "\"ENGLISH\"");
    text("System", "CarID", Quoted(SetupText(carId)));
    text("Pipmode", "PipChanBig", "\"CH01\"");
    text("Pipmode", "PipChanSmall", "\"CH02\"");
}

bool DvrSetup::Write(const std::filesystem::path& path, const std::filesystem::path& seed) const
{
    std::error_code ec;
    const bool seeded = !seed.empty() && seed != path && !std::filesystem::exists(path, ec) &&
                        std::filesystem::is_regular_file(seed, ec);
    const IniText seedText = seeded ? IniFile(seed).Read() : IniText();
    // The recorder reads a Windows text file: a new file gets CR LF.
    return IniFile(path, LineEnding::CrLf).Update([&](IniText& ini) {
        if (seeded && ini.Text().empty())
            ini = seedText;
        WriteTo(ini);
        return true;
    });
}

DvrIniLocation ChooseDvrIni(const std::filesystem::path& programFolder, bool programFolderWritable,
                            const std::filesystem::path& configFolder)
{
    const std::filesystem::path shipped = programFolder / "dvr.ini";
    if (programFolderWritable)
        return {shipped, shipped};
    const std::filesystem::path own = configFolder / "dvr.ini";
    std::error_code ec;
    const bool useShipped = !std::filesystem::exists(own, ec) && std::filesystem::is_regular_file(shipped, ec);
    return {useShipped ? shipped : own, own};
}

DvrIniLocation LocateDvrIni(const std::filesystem::path& programFolder, const std::filesystem::path& configFolder)
{
    return ChooseDvrIni(programFolder, FolderWritable(programFolder), configFolder);
}

bool FolderWritable(const std::filesystem::path& folder)
{
    // access() would answer yes to root for a read-only folder; creating a
    // file is what the write will do.
    std::string probe = (folder / ".dvr.ini-XXXXXX").string();
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

std::filesystem::path ProgramFolder()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path(ec) : exe.parent_path();
}

std::filesystem::path UserConfigFolder()
{
    return PrivateProfilePath().parent_path();
}

} // namespace tarnvik
