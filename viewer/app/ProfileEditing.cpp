#include "ProfileEditing.h"

#include "CommandLine.h"

#include <algorithm>
#include <iterator>

namespace tarnvik {

namespace {

// "count" comes from a file; more than kMaxProfiles sections never exist, and
// the bound keeps a damaged count from driving a long loop.
int BoundedCount(int count)
{
    return std::clamp(count, 0, kMaxProfiles);
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string TrimSpaces(std::string_view s)
{
    while (!s.empty() && IsSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back()))
        s.remove_suffix(1);
    return std::string(s);
}

} // namespace

std::vector<std::string> ProfileAddresses(const IniFile& ini, int count)
{
    IniText text = ini.Read();
    std::vector<std::string> addresses;
    for (int i = 0; i < BoundedCount(count); ++i)
        addresses.push_back(text.GetString(ProfileSection(i), "ip", ""));
    return addresses;
}

std::vector<std::string> LogonEntries(const IniFile& ini, int count)
{
    const IniText text = ini.Read();
    std::vector<std::string> entries;
    for (int i = 0; i < BoundedCount(count); ++i) {
        const ConnectionProfile profile = LoadProfile(text, ProfileSection(i));
        entries.push_back(FormatHostPort(profile.ip, profile.port));
    }
    return entries;
}

std::optional<int> FindProfileByIp(const IniFile& ini, int count, std::string_view ip)
{
    std::vector<std::string> addresses = ProfileAddresses(ini, count);
    auto it = std::find(addresses.begin(), addresses.end(), ip);
    if (it == addresses.end())
        return std::nullopt;
    return int(it - addresses.begin());
}

int ChannelCountOfMaxCh(int maxCh)
{
    static constexpr int kCounts[] = {4, 8, 16};
    static_assert(std::size(kCounts) == kMaxChannelEntries.size());
    return maxCh >= 0 && maxCh < int(std::size(kCounts)) ? kCounts[maxCh] : 4;
}

int ClampListSelection(int stored, size_t entries)
{
    return stored > int(entries) ? int(entries) : stored;
}

void ChooseProfileInDialog(const IniFile& ini, AppSettings& app, int number)
{
    app.profile = LoadProfile(ini, ProfileSection(number));
    app.profile.maxCh = ClampListSelection(app.profile.maxCh, kMaxChannelEntries.size());
    app.profile.speed = ClampListSelection(app.profile.speed, kSpeedEntries.size());
}

ProfileSaveResult SaveFromDialog(const IniFile& ini, AppSettings& app, const ProfileDialogFields& fields,
                                 bool sessionRunning, int* number)
{
    int profileNumber;
    if (std::optional<int> found = FindProfileByIp(ini, app.main.count, fields.ip)) {
        profileNumber = *found;
    } else {
        profileNumber = app.main.count;
        if (profileNumber >= kMaxProfiles)
            return ProfileSaveResult::SessionListFull;
    }

    // Checked before the count grows: a refused empty address must not
    // leave a numbered profile behind that was never written.
    std::string host = TrimSpaces(fields.ip);
    if (host.empty())
        return ProfileSaveResult::IpAddressEmpty;
    if (profileNumber == app.main.count)
        ++app.main.count;

    ConnectionProfile& p = app.profile;
    p.ip = host;
    p.port = fields.port;
    p.recPath = fields.recPath;
    p.aviFrame = fields.aviFrame;
    p.aviFullsize = fields.aviFullsize;
    p.aviFormat = fields.aviFormat;
    p.adjustX = fields.adjustX;
    p.adjustY = fields.adjustY;
    p.speed = fields.speed;
    if (!sessionRunning)
        p.maxCh = fields.maxCh;
    p.aviFccsel = fields.aviFccsel < 0 ? 0 : fields.aviFccsel;
    p.index = profileNumber;
    app.main.hideCaption = fields.hideCaption;
    app.main.index = profileNumber;
    if (number)
        *number = profileNumber;

    bool written = ini.Update([&](IniText& t) {
        return SaveMainSection(t, app.main) && SaveProfile(t, p, ProfileSection(profileNumber), profileNumber);
    });
    return written ? ProfileSaveResult::Saved : ProfileSaveResult::WriteFailed;
}

ProfileDeleteResult DeleteProfile(const IniFile& ini, AppSettings& app, int chosen)
{
    int number = chosen == kNoProfileChosen ? app.main.index : chosen;
    int count = app.main.count;
    if (count < 2 || number < 0 || number >= count)
        return ProfileDeleteResult::NotDeleted;

    // The whole shift is one write, so a crash cannot leave two copies of a
    // profile with the old count.
    bool written = ini.Update([&](IniText& t) {
        for (int i = number; i + 1 < BoundedCount(count); ++i) {
            ConnectionProfile moved = LoadProfile(t, ProfileSection(i + 1));
            if (!SaveProfile(t, moved, ProfileSection(i), i))
                return false;
        }
        return SaveMainSection(t, MainSection{0, count - 1, app.main.hideCaption});
    });
    if (!written)
        return ProfileDeleteResult::WriteFailed;
    app.main.count = count - 1;
    app.main.index = 0;
    app.profile = LoadProfile(ini, ProfileSection(0));
    return ProfileDeleteResult::Deleted;
}

bool ApplyLogon(const IniFile& ini, AppSettings& app, int chosen, std::string_view typedHost)
{
    bool written = true;
    if (chosen >= 0 && chosen < BoundedCount(app.main.count)) {
        app.profile = LoadProfile(ini, ProfileSection(chosen));
        app.main.index = chosen;
        written = ini.WriteInt("Main", "index", chosen);
    }
    const std::string typed = TrimSpaces(typedHost);
    if (const std::optional<HostPort> address = ParseHostPort(typed)) {
        app.profile.ip = address->host;
        if (address->port)
            app.profile.port = *address->port;
    } else {
        app.profile.ip = typed; // not an address; the connect will say so
    }
    return written;
}

} // namespace tarnvik
