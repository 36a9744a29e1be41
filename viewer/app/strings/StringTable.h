// Program string tables (English and Traditional Chinese) and the language rule.
// Plain standard C++: the caller asks QLocale for the system locale and passes the tags in.
#pragma once

#include <span>
#include <string_view>

namespace tarnvik {

// Language ids in the numeric LCID scheme (1033 English (US), 1028 Chinese (Taiwan), 2052
// Chinese (PRC)); the rule and the string ids are kept in that numbering so ids quoted by
// the rest of the program stay valid.
inline constexpr int kLanguageEnglishUS = 1033;
inline constexpr int kLanguageChineseTaiwan = 1028;
inline constexpr int kLanguageChineseSimplified = 2052;

// Chinese text of English string N lives at N + kChineseStringOffset.
inline constexpr int kChineseStringOffset = 1000;

struct StringEntry {
    int id;
    std::string_view text;
};

// True for the five Chinese language ids (1028, 2052, 3076, 4100, 5124).
bool IsChineseLanguageId(int systemLanguageId);

// The language rule: englishId + 1000 for a Chinese system language, else englishId.
int GetLanguageStringId(int englishId, int systemLanguageId);

// Maps a locale to the language id the rule expects. languageTag is an ISO 639 code
// ("zh"), countryTag an ISO 3166 code ("TW"); case is ignored. Taiwan, Hong Kong and
// Macau give 1028 (so they read the Traditional Chinese table), other Chinese 2052,
// everything else 1033.
int LanguageIdForLocale(std::string_view languageTag, std::string_view countryTag);

// Text of a string id (English or Chinese id), empty for ids the table does not hold.
// The view points into static storage, UTF-8.
std::string_view LoadString(int id);

// LoadString(GetLanguageStringId(englishId, systemLanguageId)).
std::string_view LoadLocalizedString(int englishId, int systemLanguageId);

// Every entry of both tables, sorted by id (English ids first, then Chinese ones).
std::span<const StringEntry> AllStrings();

} // namespace tarnvik
