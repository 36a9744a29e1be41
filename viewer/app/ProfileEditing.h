// The profile rules of the settings dialog ("Network Viewer Setting...") and
// the profile list of the logon dialog, as plain functions over the private
// profile file and the program's AppSettings. The dialogs only show fields
// and messages; everything they decide is here.
#pragma once

#include "app/ConnectionProfile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvik {

constexpr std::string_view kSessionListFullText = "Session List is full!";
constexpr std::string_view kIpAddressEmptyText = "IP Address is empty!";
constexpr std::string_view kDeleteProfileQuestion = "Are you delete this information, Really ?";

// Entries of the dialog's lists, in order; a stored value is an entry number.
constexpr std::array<std::string_view, 3> kMaxChannelEntries = {"4-CH", "8-CH", "16-CH"};

// The channel count a login uses for a profile's Max Channel choice; a value
// beyond the list keeps the first entry's 4, which stored profiles hold.
int ChannelCountOfMaxCh(int maxCh);
constexpr std::array<std::string_view, 3> kSpeedEntries = {"Don't care", "Low speed", "High speed"};
constexpr std::array<std::string_view, 3> kCodecEntries = {"JPEG", "H.264", "H.264(second)"};

// The "ip" of profiles 0 .. count-1, in order (at most kMaxProfiles of them,
// whatever a damaged "count" says).
std::vector<std::string> ProfileAddresses(const IniFile& ini, int count);

// The entries of the logon dialog's list for profiles 0 .. count-1: each
// profile's "ip", followed by ":PORT" when its port is not 2200.
std::vector<std::string> LogonEntries(const IniFile& ini, int count);

// The first of profiles 0 .. count-1 whose "ip" equals `ip` exactly
// (case and spaces included).
std::optional<int> FindProfileByIp(const IniFile& ini, int count, std::string_view ip);

// A stored list choice beyond the end of its list is lowered to the number
// of entries, which selects no entry.
int ClampListSelection(int stored, size_t entries);

// Loads profile `number` into `app.profile` for the dialog's fields, with
// MaxCh and Speed lowered as ClampListSelection says. The Codec list is not
// affected: it stays on "H.264" and cannot be changed.
void ChooseProfileInDialog(const IniFile& ini, AppSettings& app, int number);

// The dialog's fields when OK is pressed.
struct ProfileDialogFields {
    std::string ip; // as typed
    uint16_t port = 0;
    std::string recPath;
    int maxCh = 0;
    int speed = 0;
    int adjustX = 0;
    int adjustY = 0;
    int aviFormat = 0;
    int aviFrame = 0;
    int aviFullsize = 0;
    int aviFccsel = -1; // chosen compressor, -1 when none is chosen
    int hideCaption = 0;
};

enum class ProfileSaveResult {
    Saved,
    SessionListFull, // show kSessionListFullText, keep the dialog open
    IpAddressEmpty,  // show kIpAddressEmptyText, keep the dialog open
    WriteFailed,     // settings applied for this run, but the file was not written
};

// OK of the settings dialog, step by step:
//  1. a profile whose "ip" equals the typed address exactly is updated;
//  2. otherwise the profile number is app.main.count: at kMaxProfiles or
//     more, SessionListFull with nothing changed;
//  3. the address is trimmed; when empty, IpAddressEmpty with nothing
//     changed; a new profile's number is now counted (app.main.count grows).
//  4. host, port, recording path, AVI settings, hide-caption, window size and
//     speed go into `app`; MaxCh only when no session runs (the caller then
//     sets 4 channels and rebuilds the layout); the codec keeps its value;
//  5. no chosen compressor means the first (0);
//  6. "Main" gets index, count and HideCaption, the profile its section, in
//     one write; the current profile becomes this one.
// `number` receives the profile's number when it is Saved or WriteFailed.
ProfileSaveResult SaveFromDialog(const IniFile& ini, AppSettings& app, const ProfileDialogFields& fields,
                                 bool sessionRunning, int* number = nullptr);

// What a list reports when no entry is chosen.
constexpr int kNoProfileChosen = -1;

enum class ProfileDeleteResult { Deleted, NotDeleted, WriteFailed };

// The delete button after the user has answered Yes to kDeleteProfileQuestion.
// `chosen` is the profile chosen in the list, or kNoProfileChosen for the
// current one.
// Nothing happens with fewer than 2 profiles or a number out of range.
// Otherwise each later profile moves down one section ("index" rewritten),
// "Main" gets the lowered count, index 0 and HideCaption, and profile 0 is
// loaded into `app`. The former last section stays in the file, unused.
ProfileDeleteResult DeleteProfile(const IniFile& ini, AppSettings& app, int chosen);

// OK of the logon dialog. When `chosen` is one of profiles 0 .. count-1, that
// profile is loaded into `app.profile` and becomes the current one
// (app.main.index, and "index" of "Main" in the file; the other keys of
// "Main" stay). Then the host to connect to becomes `typedHost` with spaces
// trimmed at both ends, with or without a chosen profile; it is not saved in
// the profile's "ip", which keeps naming the profile. A typed "HOST:PORT"
// or "[IPv6]:PORT" (ParseHostPort) gives the host, and its port replaces
// the profile's for this connection.
// False only when "index" could not be written; `app` is updated anyway.
bool ApplyLogon(const IniFile& ini, AppSettings& app, int chosen, std::string_view typedHost);

} // namespace tarnvik
