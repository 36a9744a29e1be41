// The option store: single values of any INI file, each call naming the file.
// The in-car DVR setup file editor reads and writes its file through it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarnvik {

class SettingsStore {
public:
    // The text used when the caller gives no default for a missing value.
    static constexpr std::string_view kMissingTextDefault = "Default";

    // The number at the start of the value; `defaultValue` when absent.
    static int GetInt(std::string_view section, std::string_view key, int defaultValue,
                      const std::filesystem::path& iniPath);

    // The value without enclosing quotes, at most 279 bytes (280-byte buffer);
    // when absent, `defaultValue`, or "Default" when none is given.
    static std::string GetText(std::string_view section, std::string_view key,
                               std::optional<std::string_view> defaultValue,
                               const std::filesystem::path& iniPath);

    // Writes the number as decimal text.
    static bool PutInt(std::string_view section, std::string_view key, int value,
                       const std::filesystem::path& iniPath);

    // Writes the text; without a value the key is removed, without a key the
    // whole section is removed. False when the file could not be written.
    static bool PutText(std::string_view section, std::optional<std::string_view> key,
                        std::optional<std::string_view> value, const std::filesystem::path& iniPath);
};

} // namespace tarnvik
