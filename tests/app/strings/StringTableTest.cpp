#include "app/strings/StringTable.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvik {
namespace {

struct QuotedString {
    int id;
    const char* english;
};

// Ids and English texts as the program's documentation quotes them, copied by hand.
const std::vector<QuotedString> kQuoted = {
    {3000, "DIV 1"},
    {3001, "DIV 4"},
    {3002, "DIV 6"},
    {3003, "DIV 8"},
    {3004, "DIV 9"},
    {3005, "DIV 10"},
    {3006, "DIV 13"},
    {3007, "DIV 16"},
    {3008, "Record to AVI File"},
    {3009, "Connect to DVR"},
    {3015, "Disconnect to DVR"},
    {3016, "Dalvorin setting"},
    {3017, "Start record in the DVR"},
    {3018, "Stop record in the DVR"},
    {3019, "Audio Mute off"},
    {3020, "Audio Mute on"},
    {3021, "Enter file mode"},
    {3022, "Search by Time"},
    {3023, "Full HDD Playback"},
    {3024, "Left"},
    {3025, "Right"},
    {3026, "Down"},
    {3027, "Up"},
    {3028, "Left"},
    {3029, "Right"},
    {3030, "Focus near"},
    {3031, "Focus far"},
    {3033, "Open File"},
    {3034, "Remote Play"},
    {3035, "Remote Stop"},
    {3038, "Remote Step FF"},
    {3039, "Remote Step RW"},
    {3040, "Play"},
    {3041, "Stop"},
    {3042, "FF"},
    {3043, "RW"},
    {3044, "Step FF"},
    {3045, "Step RW"},
    {3046, "Time reset"},
    {3064, "REC"},
    {3065, "DVR Setting"},
    {3068, "Open File Error!"},
    {3069, "Start REC. Time :"},
    {3070, "End REC. Time :"},
    {3073, "HDD play"},
    {3074, "Cancel"},
    {3075, "Search"},
    {3076, "Search Time"},
    {3077, "HDD Play"},
    {3078, "      Not found!      "},
    {3079, "Backup"},
    {3080, "Backup Start Time:"},
    {3081, "Backup End Time:"},
    {3082, "Raw Data"},
    {3083, "Avi Data"},
    {3086, "Backup Raw Data..."},
    {3087, "Backup Video to AVI..."},
    {3088, "Stop AVI Rec"},
    {3089, "AVI Recording..."},
    {3092, "Save Path:"},
    {3094, "Not found video data!"},
    {3095, "Backup successful!"},
    {36000, "Please connect DVR first via network for playing DVR."},
    {101, "About Kestrova..."},
};

bool ContainsNonAscii(std::string_view s) {
    for (unsigned char c : s) {
        if (c >= 0x80) return true;
    }
    return false;
}

TEST(LanguageRule, ConnectTooltipUnderSimplifiedChineseSystemUsesChineseId) {
    // Control 1002 (Connect) takes its tooltip from English string 3009.
    const int id = GetLanguageStringId(3009, 2052);
    EXPECT_EQ(id, 4009);
    EXPECT_EQ(LoadString(id), "連線至 DVR");
    EXPECT_EQ(LoadLocalizedString(3009, 2052), "連線至 DVR");
    EXPECT_NE(LoadString(id), LoadString(3009));
}

TEST(LanguageRule, ChineseLanguageIdsAddOneThousand) {
    for (int lang : {1028, 2052, 3076, 4100, 5124}) {
        EXPECT_TRUE(IsChineseLanguageId(lang)) << lang;
        EXPECT_EQ(GetLanguageStringId(3064, lang), 4064) << lang;
        EXPECT_EQ(GetLanguageStringId(36000, lang), 37000) << lang;
    }
}

TEST(LanguageRule, OtherLanguageIdsKeepEnglishId) {
    for (int lang : {0, 1033, 1031, 1041, 2057, 1027, 1029, 2051, 2053, 3075, 6148, -1}) {
        EXPECT_FALSE(IsChineseLanguageId(lang)) << lang;
        EXPECT_EQ(GetLanguageStringId(3089, lang), 3089) << lang;
    }
    EXPECT_EQ(LoadLocalizedString(3089, 1033), "AVI Recording...");
    EXPECT_EQ(LoadLocalizedString(3089, 1028), "AVI 錄影中...");
}

TEST(StringTable, EveryQuotedIdHasItsEnglishTextAndAChineseText) {
    for (const auto& q : kQuoted) {
        SCOPED_TRACE(q.id);
        EXPECT_EQ(LoadString(q.id), std::string_view(q.english));
        const std::string_view zh = LoadString(q.id + 1000);
        EXPECT_FALSE(zh.empty());
        EXPECT_NE(zh, std::string_view(q.english));
    }
}

TEST(StringTable, ChineseTextsContainChineseAndEnglishTextsDoNot) {
    // Texts that keep a product name or acronym (Dalvorin, DVR, AVI) still need some
    // Chinese, so a forgotten translation shows up as plain ASCII.
    for (const auto& q : kQuoted) {
        SCOPED_TRACE(q.id);
        EXPECT_TRUE(ContainsNonAscii(LoadString(q.id + 1000)));
        EXPECT_FALSE(ContainsNonAscii(LoadString(q.id)));
    }
}

TEST(StringTable, NotFoundKeepsItsPaddingInBothLanguages) {
    const std::string_view zh = LoadString(4078);
    ASSERT_GE(zh.size(), 12u);
    EXPECT_EQ(zh.substr(0, 6), "      ");
    EXPECT_EQ(zh.substr(zh.size() - 6), "      ");
}

TEST(StringTable, TableHoldsExactlyTheQuotedIds) {
    std::set<int> expected;
    for (const auto& q : kQuoted) {
        expected.insert(q.id);
        expected.insert(q.id + 1000);
    }
    std::set<int> actual;
    for (const auto& e : AllStrings()) {
        EXPECT_TRUE(actual.insert(e.id).second) << "duplicate " << e.id;
    }
    EXPECT_EQ(actual, expected);
}

TEST(StringTable, UnknownIdsAreEmpty) {
    // 103 has no text by design; the others are gaps in the ranges or outside them.
    for (int id : {0, -1, 103, 1000, 2999, 3010, 3014, 3032, 3036, 3037, 3047, 3063, 3066,
                   3067, 3071, 3072, 3084, 3085, 3090, 3091, 3093, 3096, 4010, 4096, 36001,
                   37001, 99999}) {
        EXPECT_TRUE(LoadString(id).empty()) << id;
    }
}

struct LocaleRow {
    const char* language;
    const char* country;
    int expected;
};

TEST(LanguageIdForLocale, MapsLocalesPerDesign) {
    const LocaleRow rows[] = {
        {"zh", "TW", 1028}, {"zh", "HK", 1028}, {"zh", "MO", 1028}, {"ZH", "tw", 1028},
        {"zh", "CN", 2052}, {"zh", "SG", 2052}, {"zh", "", 2052},   {"en", "US", 1033},
        {"en", "TW", 1033}, {"de", "DE", 1033}, {"ja", "JP", 1033}, {"", "", 1033},
        {"zho", "TW", 1033},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(LanguageIdForLocale(r.language, r.country), r.expected)
            << r.language << "_" << r.country;
    }
}

TEST(LanguageIdForLocale, EveryChineseLocaleSelectsTheChineseTable) {
    for (const char* country : {"TW", "HK", "MO", "CN", "SG"}) {
        const int lang = LanguageIdForLocale("zh", country);
        EXPECT_EQ(LoadLocalizedString(3009, lang), LoadString(4009)) << country;
    }
    EXPECT_EQ(LoadLocalizedString(3009, LanguageIdForLocale("en", "GB")), "Connect to DVR");
}

} // namespace
} // namespace tarnvik
