// Untrusted input: a settings or setup file (the viewer's private profile
// file with its connection profiles, or the in-car DVR setup file).
//
// The input is the file's text. It is edited in memory (IniText), its first
// bytes choosing names for a few reads and edits; its profiles are loaded
// and saved again, which must give back the same numbers; then it is
// written to a file that the program's own file layer reads and edits as
// start-up, the logon dialog, the settings dialog and the option store do.
#include "ScratchFolder.h"
#include "app/ConnectionProfile.h"
#include "app/IniFile.h"
#include "app/IniText.h"
#include "app/ProfileEditing.h"
#include "app/SettingsStore.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace tarnvik;

namespace {

void EditInMemory(const std::string& text, size_t size)
{
    const std::string section = text.substr(0, size % 7);
    const std::string key = text.substr(size % 7, size % 5);
    IniText ini(text);
    ini.GetString(section, key, "Default");
    ini.GetInt(section, key, 7);
    ini.GetString("Main", "index", "");
    ini.WriteString(section, key, "value");
    ini.WriteString("Main", "count", "\"3\"");
    ini.WriteString(section, key, std::nullopt);
    ini.WriteString("INDEX_0", std::nullopt, std::nullopt);
    ini.WriteInt("New", "k", -5);
}

// A profile read and saved reads back with the same numbers (texts may lose
// quotes or spaces on the way, as in any private profile file).
void RoundTrip(const std::string& text)
{
    const IniText original(text);
    const MainSection main = LoadMainSection(original);
    for (const int number : {0, main.index, main.count > 0 ? main.count - 1 : 0}) {
        const std::string section = ProfileSection(number);
        ConnectionProfile profile = LoadProfile(original, section);
        IniText copy = original;
        if (!SaveProfile(copy, profile, section, number))
            continue;
        profile.index = number;
        const ConnectionProfile again = LoadProfile(copy, section);
        if (again.port != profile.port || again.maxCh != profile.maxCh || again.speed != profile.speed ||
            again.codec != profile.codec || again.adjustX != profile.adjustX || again.adjustY != profile.adjustY ||
            again.aviFormat != profile.aviFormat || again.aviFrame != profile.aviFrame ||
            again.aviFullsize != profile.aviFullsize || again.aviFccsel != profile.aviFccsel ||
            again.index != profile.index) {
            std::fprintf(stderr, "profile %d reads back different numbers after a save\n", number);
            std::abort();
        }
    }
}

void UseFile(const std::string& text)
{
    static const fuzz::ScratchFolder settings("ini_text");
    static const std::filesystem::path path = settings.folder / "TarnvikPlayer.ini";
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(text.data(), std::streamsize(text.size()));
    const IniFile ini(path);

    AppSettings app = LoadStartupSettings(ini);
    LogonEntries(ini, app.main.count);
    FindProfileByIp(ini, app.main.count, app.profile.ip);
    ChooseProfileInDialog(ini, app, app.main.index);

    SettingsStore::GetInt("SYSTEM", "CHANNEL", 4, path);
    SettingsStore::GetText("SYSTEM", "NAME", std::nullopt, path);
    SettingsStore::PutText("SYSTEM", "NAME", "Car 7", path);

    ProfileDialogFields fields;
    fields.ip = app.profile.ip;
    fields.port = app.profile.port;
    fields.recPath = app.profile.recPath;
    fields.maxCh = app.profile.maxCh;
    fields.adjustX = app.profile.adjustX;
    fields.adjustY = app.profile.adjustY;
    SaveFromDialog(ini, app, fields, false);
    ApplyLogon(ini, app, 0, " dvr.example:2201 ");
    DeleteProfile(ini, app, kNoProfileChosen);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    EditInMemory(text, size);
    RoundTrip(text);
    UseFile(text);
    return 0;
}
