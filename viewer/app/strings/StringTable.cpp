#include "app/strings/StringTable.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace tarnvik {
namespace {

struct StringPair {
    int englishId;
    std::string_view english;
    std::string_view chinese; // stored at englishId + kChineseStringOffset
};

// English texts are the program's own wording, kept literally (odd spelling and padding
// included) because users and scripts see them. Ids not listed here have no text.
constexpr StringPair kPairs[] = {
    {101, "About Kestrova...", "關於 Kestrova..."},

    // Division buttons.
    {3000, "DIV 1", "1 畫面"},
    {3001, "DIV 4", "4 畫面"},
    {3002, "DIV 6", "6 畫面"},
    {3003, "DIV 8", "8 畫面"},
    {3004, "DIV 9", "9 畫面"},
    {3005, "DIV 10", "10 畫面"},
    {3006, "DIV 13", "13 畫面"},
    {3007, "DIV 16", "16 畫面"},

    // Control-panel tooltips.
    {3008, "Record to AVI File", "錄製成 AVI 檔案"},
    {3009, "Connect to DVR", "連線至 DVR"},
    {3015, "Disconnect to DVR", "中斷 DVR 連線"},
    {3016, "Dalvorin setting", "Dalvorin 設定"},
    {3017, "Start record in the DVR", "開始 DVR 錄影"},
    {3018, "Stop record in the DVR", "停止 DVR 錄影"},
    {3019, "Audio Mute off", "關閉靜音"},
    {3020, "Audio Mute on", "開啟靜音"},
    {3021, "Enter file mode", "進入檔案模式"},
    {3022, "Search by Time", "依時間搜尋"},
    {3023, "Full HDD Playback", "完整硬碟播放"},
    {3024, "Left", "向左"},
    {3025, "Right", "向右"},
    {3026, "Down", "向下"},
    {3027, "Up", "向上"},
    {3028, "Left", "向左"},
    {3029, "Right", "向右"},
    {3030, "Focus near", "近焦"},
    {3031, "Focus far", "遠焦"},
    {3033, "Open File", "開啟檔案"},
    {3034, "Remote Play", "遠端播放"},
    {3035, "Remote Stop", "遠端停止"},
    {3038, "Remote Step FF", "遠端單格快轉"},
    {3039, "Remote Step RW", "遠端單格倒轉"},
    {3040, "Play", "播放"},
    {3041, "Stop", "停止"},
    {3042, "FF", "快轉"},
    {3043, "RW", "倒轉"},
    {3044, "Step FF", "單格快轉"},
    {3045, "Step RW", "單格倒轉"},
    {3046, "Time reset", "時間重設"},

    // Pane overlay and setting button.
    {3064, "REC", "錄影"},
    {3065, "DVR Setting", "DVR 設定"},

    // Local playback, time search and backup dialogs.
    {3068, "Open File Error!", "開啟檔案錯誤！"},
    {3069, "Start REC. Time :", "錄影開始時間："},
    {3070, "End REC. Time :", "錄影結束時間："},
    {3073, "HDD play", "硬碟播放"},
    {3074, "Cancel", "取消"},
    {3075, "Search", "搜尋"},
    {3076, "Search Time", "搜尋時間"},
    {3077, "HDD Play", "硬碟播放"},
    // The blanks centre the text in its message box; keep them in both languages.
    {3078, "      Not found!      ", "      找不到！      "},
    {3079, "Backup", "備份"},
    {3080, "Backup Start Time:", "備份開始時間："},
    {3081, "Backup End Time:", "備份結束時間："},
    {3082, "Raw Data", "原始資料"},
    {3083, "Avi Data", "AVI 資料"},
    {3086, "Backup Raw Data...", "備份原始資料..."},
    {3087, "Backup Video to AVI...", "備份影像為 AVI..."},
    {3088, "Stop AVI Rec", "停止 AVI 錄影"},
    {3089, "AVI Recording...", "AVI 錄影中..."},
    {3092, "Save Path:", "儲存路徑："},
    {3094, "Not found video data!", "找不到影像資料！"},
    {3095, "Backup successful!", "備份成功！"},

    {36000, "Please connect DVR first via network for playing DVR.",
     "請先透過網路連線至 DVR，才能播放 DVR 影像。"},
};

constexpr std::size_t kPairCount = std::size(kPairs);

// One table keyed by id, sorted at compile time so lookups are a binary search.
constexpr auto kTable = [] {
    std::array<StringEntry, 2 * kPairCount> table{};
    for (std::size_t i = 0; i < kPairCount; ++i) {
        table[2 * i] = {kPairs[i].englishId, kPairs[i].english};
        table[2 * i + 1] = {kPairs[i].englishId + kChineseStringOffset, kPairs[i].chinese};
    }
    std::sort(table.begin(), table.end(),
              [](const StringEntry& a, const StringEntry& b) { return a.id < b.id; });
    return table;
}();

// A duplicate id would make one text unreachable.
constexpr bool IdsUnique() {
    for (std::size_t i = 1; i < kTable.size(); ++i) {
        if (kTable[i - 1].id == kTable[i].id) return false;
    }
    return true;
}
static_assert(IdsUnique(), "string ids must be unique across both languages");

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

} // namespace

bool IsChineseLanguageId(int systemLanguageId) {
    switch (systemLanguageId) {
    case 1028: // Taiwan
    case 2052: // PRC
    case 3076: // Hong Kong
    case 4100: // Singapore
    case 5124: // Macau
        return true;
    default:
        return false;
    }
}

int GetLanguageStringId(int englishId, int systemLanguageId) {
    return IsChineseLanguageId(systemLanguageId) ? englishId + kChineseStringOffset : englishId;
}

int LanguageIdForLocale(std::string_view languageTag, std::string_view countryTag) {
    if (!EqualsIgnoreCase(languageTag, "zh")) return kLanguageEnglishUS;
    if (EqualsIgnoreCase(countryTag, "TW") || EqualsIgnoreCase(countryTag, "HK") ||
        EqualsIgnoreCase(countryTag, "MO"))
        return kLanguageChineseTaiwan;
    return kLanguageChineseSimplified;
}

std::string_view LoadString(int id) {
    auto it = std::lower_bound(kTable.begin(), kTable.end(), id,
                               [](const StringEntry& e, int key) { return e.id < key; });
    if (it == kTable.end() || it->id != id) return {};
    return it->text;
}

std::string_view LoadLocalizedString(int englishId, int systemLanguageId) {
    return LoadString(GetLanguageStringId(englishId, systemLanguageId));
}

std::span<const StringEntry> AllStrings() {
    return kTable;
}

} // namespace tarnvik
