// An INI file on disk, read and written with the rules of IniText. Nothing
// is cached: every read sees the file as it is now, and every write reaches
// the disk before it returns. A write replaces the file through a temporary
// file and a rename, so a crash leaves either the old file or the new one,
// never a mixture.
//
// A missing file reads as empty. A file that cannot be read (no permission,
// not a regular file, larger than kIniMaxFileSize) also reads as empty, and
// writes to it fail rather than replace what could not be read.
// Writes are not coordinated between processes; the last one wins.
#pragma once

#include "app/IniText.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

namespace tarnvik {

// Settings files are a few kilobytes; the cap keeps a wrong path (a video
// file, a device) from being loaded whole.
constexpr size_t kIniMaxFileSize = 16u << 20;

class IniFile {
public:
    // `newFileLineEnding` is used only when the file is empty or new;
    // otherwise added lines copy the file's own line ending.
    explicit IniFile(std::filesystem::path path, LineEnding newFileLineEnding = LineEnding::Lf);

    const std::filesystem::path& Path() const { return path_; }

    IniText Read() const;

    std::string GetString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;

    // As IniText::WriteString, then saved. False when the edit is refused or
    // the file cannot be read or written; the file is then unchanged.
    bool WriteString(std::string_view section, std::optional<std::string_view> key,
                     std::optional<std::string_view> value) const;
    bool WriteInt(std::string_view section, std::string_view key, int value) const;

    // Several edits saved at once: reads the file, lets `edit` change the
    // text, and saves it when `edit` returns true and the text changed.
    // A missing parent folder is created. The file keeps its permissions
    // (a new file gets 0666 less the umask); a symbolic link is followed and
    // its target replaced.
    bool Update(const std::function<bool(IniText&)>& edit) const;

private:
    std::filesystem::path path_;
    LineEnding newFileLineEnding_;
};

} // namespace tarnvik
