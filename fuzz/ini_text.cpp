// Untrusted input: a settings or setup file. The input is the file's text;
// its first bytes also choose names for a few reads and edits.
#include "app/IniText.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string section = text.substr(0, size % 7);
    const std::string key = text.substr(size % 7, size % 5);
    tarnvik::IniText ini(text);
    ini.GetString(section, key, "Default");
    ini.GetInt(section, key, 7);
    ini.GetString("Main", "index", "");
    ini.WriteString(section, key, "value");
    ini.WriteString("Main", "count", "\"3\"");
    ini.WriteString(section, key, std::nullopt);
    ini.WriteString("INDEX_0", std::nullopt, std::nullopt);
    ini.WriteInt("New", "k", -5);
    return 0;
}
