#include "IniText.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace tarnvik {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s)
{
    size_t b = 0;
    size_t e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

bool HasLineBreak(std::string_view s)
{
    return s.find_first_of("\r\n") != std::string_view::npos;
}

enum class LineKind { Blank, Comment, Header, Entry, Other };

// One line of the text; offsets are absolute so that edits can splice.
struct Line {
    size_t begin = 0;
    size_t next = 0;      // first byte of the following line
    bool hasEnd = false;  // ends with '\n'
    LineKind kind = LineKind::Blank;
    std::string_view name; // section name of a header, key of an entry
    size_t valueBegin = 0; // entry value, trimmed
    size_t valueEnd = 0;
};

class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}

    bool Next(Line& line)
    {
        if (pos_ >= text_.size())
            return false;
        line = Line{};
        line.begin = pos_;
        size_t nl = text_.find('\n', pos_);
        size_t contentEnd = nl == std::string_view::npos ? text_.size() : nl;
        line.hasEnd = nl != std::string_view::npos;
        line.next = line.hasEnd ? nl + 1 : text_.size();
        pos_ = line.next;
        Classify(line, contentEnd);
        return true;
    }

private:
    void Classify(Line& line, size_t contentEnd)
    {
        std::string_view content = text_.substr(line.begin, contentEnd - line.begin);
        std::string_view trimmed = Trim(content);
        if (trimmed.empty())
            return;
        size_t lead = size_t(trimmed.data() - text_.data());
        if (trimmed.front() == ';') {
            line.kind = LineKind::Comment;
            return;
        }
        if (trimmed.front() == '[') {
            size_t close = trimmed.rfind(']');
            if (close != std::string_view::npos && close > 0) {
                line.kind = LineKind::Header;
                line.name = Trim(trimmed.substr(1, close - 1));
                return;
            }
        }
        size_t eq = trimmed.find('=');
        if (eq == std::string_view::npos) {
            line.kind = LineKind::Other;
            return;
        }
        line.kind = LineKind::Entry;
        line.name = Trim(trimmed.substr(0, eq));
        size_t v = eq + 1;
        while (v < trimmed.size() && IsBlank(trimmed[v]))
            ++v;
        line.valueBegin = lead + v;
        line.valueEnd = lead + trimmed.size();
    }

    std::string_view text_;
    size_t pos_ = 0;
};

struct Span {
    size_t begin = 0;
    size_t end = 0;
};

// What an edit needs to know about one section and one key, in one pass.
struct Location {
    bool sectionFound = false;
    size_t insertAt = 0;             // after the first section's last non-blank line
    bool insertAfterUnended = false; // that line is the text's last and has no '\n'
    std::vector<Span> sections;      // every section of the name, header to next header
    std::vector<Span> keyLines;      // the key's lines in the first section
    Span firstValue;
};

Location Locate(std::string_view text, std::string_view section, std::string_view key)
{
    Location loc;
    LineReader reader(text);
    Line line;
    bool inSection = false; // inside any section of the name
    bool inFirst = false;   // inside the first one
    while (reader.Next(line)) {
        if (line.kind == LineKind::Header) {
            if (inSection)
                loc.sections.back().end = line.begin;
            inFirst = false;
            inSection = EqualNoCase(line.name, section);
            if (inSection) {
                loc.sections.push_back({line.begin, text.size()});
                if (!loc.sectionFound) {
                    loc.sectionFound = true;
                    inFirst = true;
                    loc.insertAt = line.next;
                    loc.insertAfterUnended = !line.hasEnd;
                }
            }
            continue;
        }
        if (!inFirst)
            continue;
        if (line.kind != LineKind::Blank) {
            loc.insertAt = line.next;
            loc.insertAfterUnended = !line.hasEnd;
        }
        if (line.kind == LineKind::Entry && !key.empty() && EqualNoCase(line.name, key)) {
            if (loc.keyLines.empty())
                loc.firstValue = {line.valueBegin, line.valueEnd};
            loc.keyLines.push_back({line.begin, line.next});
        }
    }
    return loc;
}

std::string_view StripQuotes(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

std::string CutToBuffer(std::string_view v)
{
    if (v.size() <= kIniStringMax)
        return std::string(v);
    size_t cut = kIniStringMax;
    // Back off over at most three UTF-8 continuation bytes so a character is
    // never split; other bytes are cut where they fall.
    for (int i = 0; i < 3 && cut > 0 && (uint8_t(v[cut]) & 0xC0) == 0x80; ++i)
        --cut;
    if ((uint8_t(v[cut]) & 0xC0) == 0x80)
        cut = kIniStringMax;
    return std::string(v.substr(0, cut));
}

void EraseSpans(std::string& text, const std::vector<Span>& spans)
{
    for (size_t i = spans.size(); i-- > 0;)
        text.erase(spans[i].begin, spans[i].end - spans[i].begin);
}

} // namespace

IniText::IniText(std::string text, LineEnding newTextLineEnding)
    : text_(std::move(text)), newTextLineEnding_(newTextLineEnding)
{
}

std::string IniText::NewLine() const
{
    size_t nl = text_.find('\n');
    if (nl == std::string::npos)
        return newTextLineEnding_ == LineEnding::CrLf ? "\r\n" : "\n";
    return (nl > 0 && text_[nl - 1] == '\r') ? "\r\n" : "\n";
}

std::optional<std::string_view> IniText::Find(std::string_view section, std::string_view key) const
{
    std::string_view wantedKey = Trim(key);
    if (wantedKey.empty())
        return std::nullopt;
    Location loc = Locate(text_, Trim(section), wantedKey);
    if (loc.keyLines.empty())
        return std::nullopt;
    return std::string_view(text_).substr(loc.firstValue.begin, loc.firstValue.end - loc.firstValue.begin);
}

bool IniText::HasSection(std::string_view section) const
{
    return Locate(text_, Trim(section), {}).sectionFound;
}

std::string IniText::GetString(std::string_view section, std::string_view key, std::string_view defaultValue) const
{
    std::optional<std::string_view> value = Find(section, key);
    return CutToBuffer(value ? StripQuotes(*value) : defaultValue);
}

int IniText::GetInt(std::string_view section, std::string_view key, int defaultValue) const
{
    std::optional<std::string_view> value = Find(section, key);
    if (!value)
        return defaultValue;
    return ParseProfileInt(StripQuotes(*value), defaultValue);
}

bool IniText::WriteString(std::string_view section, std::optional<std::string_view> key,
                          std::optional<std::string_view> value)
{
    std::string_view name = Trim(section);
    if (HasLineBreak(name))
        return false;
    if (!key) {
        EraseSpans(text_, Locate(text_, name, {}).sections);
        return true;
    }
    std::string_view keyName = Trim(*key);
    if (keyName.empty() || HasLineBreak(keyName) || keyName.find('=') != std::string_view::npos
        || keyName.front() == ';' || keyName.front() == '[')
        return false;
    if (value && HasLineBreak(*value))
        return false;

    Location loc = Locate(text_, name, keyName);
    if (!value) {
        EraseSpans(text_, loc.keyLines);
        return true;
    }
    if (!loc.keyLines.empty()) {
        text_.replace(loc.firstValue.begin, loc.firstValue.end - loc.firstValue.begin, *value);
        return true;
    }
    std::string nl = NewLine();
    std::string entry = std::string(keyName) + "=" + std::string(*value);
    if (loc.sectionFound) {
        if (loc.insertAfterUnended)
            text_.insert(loc.insertAt, nl + entry);
        else
            text_.insert(loc.insertAt, entry + nl);
        return true;
    }
    if (!text_.empty() && text_.back() != '\n')
        text_ += nl;
    text_ += "[" + std::string(name) + "]" + nl + entry + nl;
    return true;
}

bool IniText::WriteInt(std::string_view section, std::string_view key, int value)
{
    return WriteString(section, key, std::to_string(value));
}

int ParseProfileInt(std::string_view value, int defaultValue)
{
    value = Trim(value);
    if (value.empty())
        return defaultValue;
    size_t i = 0;
    bool negative = false;
    if (value[0] == '+' || value[0] == '-') {
        negative = value[0] == '-';
        ++i;
    }
    // Unsigned arithmetic: a number beyond 32 bits wraps modulo 2^32 instead
    // of overflowing.
    uint32_t n = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
        n = n * 10u + uint32_t(value[i] - '0');
    return int(negative ? 0u - n : n);
}

} // namespace tarnvik
