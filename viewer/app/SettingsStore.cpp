#include "SettingsStore.h"

#include "IniFile.h"

namespace tarnvik {

int SettingsStore::GetInt(std::string_view section, std::string_view key, int defaultValue,
                          const std::filesystem::path& iniPath)
{
    return IniFile(iniPath).GetInt(section, key, defaultValue);
}

std::string SettingsStore::GetText(std::string_view section, std::string_view key,
                                   std::optional<std::string_view> defaultValue,
                                   const std::filesystem::path& iniPath)
{
    return IniFile(iniPath).GetString(section, key, defaultValue.value_or(kMissingTextDefault));
}

bool SettingsStore::PutInt(std::string_view section, std::string_view key, int value,
                           const std::filesystem::path& iniPath)
{
    return IniFile(iniPath).WriteInt(section, key, value);
}

bool SettingsStore::PutText(std::string_view section, std::optional<std::string_view> key,
                            std::optional<std::string_view> value, const std::filesystem::path& iniPath)
{
    return IniFile(iniPath).WriteString(section, key, value);
}

} // namespace tarnvik
