// The text of an INI file held in memory, read and edited with the rules
// that the viewer's settings file and the in-car DVR's setup file follow:
//  - section and key names match regardless of case (ASCII), after trimming;
//  - whitespace around keys and values is ignored; a value enclosed in a
//    pair of double or single quotes is read without them;
//  - lines starting with ';' are comments; lines before the first section
//    header belong to no section;
//  - when a section or key occurs twice, the first one counts.
// Edits touch only the lines they concern: every other byte of the text
// (comments, blank lines, spacing, unknown sections and keys, line endings)
// stays as it was. IniText does no file input or output; IniFile does.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarnvik {

// A string value comes back cut to at most 279 bytes, the longest these
// files' values may be (a 280-byte field with its terminator). A cut never
// splits a UTF-8 sequence, so slightly fewer bytes may come back.
constexpr size_t kIniStringBufferSize = 280;
constexpr size_t kIniStringMax = kIniStringBufferSize - 1;

enum class LineEnding { Lf, CrLf };

class IniText {
public:
    IniText() = default;
    // `newTextLineEnding` ends the lines added to a text that has no line
    // ending yet; otherwise added lines copy the text's first line ending.
    explicit IniText(std::string text, LineEnding newTextLineEnding = LineEnding::Lf);

    const std::string& Text() const { return text_; }

    // The stored value, trimmed, quotes kept and not shortened; nothing when
    // the section or key is absent (a line without '=' is no key).
    std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;
    bool HasSection(std::string_view section) const;

    // The value without its enclosing quotes, or `defaultValue` when the key is
    // absent; either is cut to kIniStringMax bytes.
    std::string GetString(std::string_view section, std::string_view key, std::string_view defaultValue) const;

    // The leading decimal number of the value, optional sign included, taken
    // modulo 2^32 as a 32-bit integer ("4294967295" reads as -1); 0 when the
    // value does not start with a digit; `defaultValue` when the key is
    // absent or its value is empty.
    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;

    // With key and value: replaces the value in place when the key exists,
    // else adds "key=value" after the last non-blank line of the section, else
    // adds the section with the key at the end of the text.
    // Without value: removes the key's line(s) from the section.
    // Without key: removes the whole section (every section of that name).
    // Refuses (false, nothing changed) names or values that cannot be stored
    // on one line: a line break anywhere, '=' in a key, a key that is empty or
    // would read as a comment or a section header.
    bool WriteString(std::string_view section, std::optional<std::string_view> key,
                     std::optional<std::string_view> value);
    bool WriteInt(std::string_view section, std::string_view key, int value);

private:
    std::string NewLine() const;

    std::string text_;
    LineEnding newTextLineEnding_ = LineEnding::Lf;
};

// Parses the way GetPrivateProfileInt does (see IniText::GetInt).
int ParseProfileInt(std::string_view value, int defaultValue);

} // namespace tarnvik
