#include "app/IniText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace tarnvik;

namespace {

std::string Crlf(const std::string& lf)
{
    std::string out;
    for (char c : lf) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// A hand-edited file: a comment before the first section, odd case and
// spacing, quoted values, an unknown section with a key of the same name as
// a profile key, blank separator lines, and no line ending at the very end.
const std::string kSample =
    "; viewer settings, edited by hand\n"
    "[Main]\n"
    "index=0\n"
    "count = 2\n"
    "\n"
    "[inDEX_0]\n"
    "  ip = \"192.168.1.10\"  \n"
    "PORT=2300\n"
    "RecPath='/home/u/DVR/'\n"
    "Custom=keep me\n"
    "; old port: 2100\n"
    "\n"
    "\n"
    "[ Unknown ]\n"
    "foo=bar\n"
    "port=9999\n"
    "\n"
    "[INDEX_1]\n"
    "ip=cam.example";

class IniTextSample : public ::testing::TestWithParam<LineEnding> {
protected:
    std::string Styled(const std::string& lf) const { return GetParam() == LineEnding::CrLf ? Crlf(lf) : lf; }
};

TEST_P(IniTextSample, ReadsWithPrivateProfileRules)
{
    IniText ini(Styled(kSample));
    EXPECT_EQ(ini.GetString("INDEX_0", "ip", "-"), "192.168.1.10");
    EXPECT_EQ(ini.GetString("index_0", "recpath", "-"), "/home/u/DVR/");
    EXPECT_EQ(ini.GetString("Index_0", "custom", "-"), "keep me");
    EXPECT_EQ(ini.GetInt("index_0", "Port", 2200), 2300);
    EXPECT_EQ(ini.GetInt("unknown", "PORT", 0), 9999);
    EXPECT_EQ(ini.GetInt("MAIN", "Count", 0), 2);
    EXPECT_EQ(ini.GetString("INDEX_1", "ip", "-"), "cam.example");
    EXPECT_EQ(ini.GetInt("INDEX_1", "Port", 2200), 2200);
    EXPECT_EQ(ini.GetString("INDEX_7", "ip", "none"), "none");
    EXPECT_EQ(ini.GetString("INDEX_0", "; old port: 2100", "comment"), "comment");
}

TEST_P(IniTextSample, EditsChangeOnlyTheirLines)
{
    struct Row {
        const char* name;
        const char* section;
        std::optional<std::string_view> key;
        std::optional<std::string_view> value;
        std::string expected;
    };
    auto replaced = [](const std::string& from, const std::string& to) {
        std::string s = kSample;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    const std::vector<Row> rows = {
        {"existing key in place", "index_0", "port", "2400", replaced("PORT=2300\n", "PORT=2400\n")},
        {"spacing kept", "MAIN", "Count", "3", replaced("count = 2\n", "count = 3\n")},
        {"quoted value replaced whole", "INDEX_0", "IP", "10.1.1.1",
         replaced("  ip = \"192.168.1.10\"  \n", "  ip = 10.1.1.1  \n")},
        {"new key after last non-blank line", "INDEX_0", "Speed", "1",
         replaced("; old port: 2100\n", "; old port: 2100\nSpeed=1\n")},
        {"new key in unterminated last line", "index_1", "Port", "2201", kSample + "\nPort=2201"},
        {"new section at end", "INDEX_2", "ip", "10.0.0.9", kSample + "\n[INDEX_2]\nip=10.0.0.9\n"},
        {"delete key", "INDEX_0", "custom", std::nullopt, replaced("Custom=keep me\n", "")},
        {"delete absent key", "INDEX_0", "Codec", std::nullopt, kSample},
        {"delete section", "unknown", std::nullopt, std::nullopt,
         replaced("[ Unknown ]\nfoo=bar\nport=9999\n\n", "")},
        {"delete last section", "INDEX_1", std::nullopt, std::nullopt, replaced("[INDEX_1]\nip=cam.example", "")},
        {"delete absent section", "INDEX_9", std::nullopt, std::nullopt, kSample},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        IniText ini(Styled(kSample));
        EXPECT_TRUE(ini.WriteString(row.section, row.key, row.value));
        EXPECT_EQ(ini.Text(), Styled(row.expected));
    }
}

INSTANTIATE_TEST_SUITE_P(LineEndings, IniTextSample, ::testing::Values(LineEnding::Lf, LineEnding::CrLf),
                         [](const auto& info) { return info.param == LineEnding::CrLf ? "CrLf" : "Lf"; });

TEST(IniText, DuplicateSectionsAndKeys)
{
    IniText ini("[A]\nk=1\nk=9\n[B]\nk=2\n[a]\nk=3\nj=4\n");
    EXPECT_EQ(ini.GetString("A", "k", "-"), "1");
    // Only the first section of a name is searched.
    EXPECT_EQ(ini.GetString("A", "j", "-"), "-");
    ASSERT_TRUE(ini.WriteString("A", "j", "5"));
    EXPECT_EQ(ini.Text(), "[A]\nk=1\nk=9\nj=5\n[B]\nk=2\n[a]\nk=3\nj=4\n");
    // A deleted key must not reappear from a second copy.
    ASSERT_TRUE(ini.WriteString("A", "k", std::nullopt));
    EXPECT_EQ(ini.GetString("A", "k", "-"), "-");
    ASSERT_TRUE(ini.WriteString("a", std::nullopt, std::nullopt));
    EXPECT_EQ(ini.Text(), "[B]\nk=2\n");
}

TEST(IniText, LinesThatAreNotKeys)
{
    IniText ini("k=0\n[A]\n;k=3\n k \n[b\n=5\n");
    // Before the first header, comments, lines without '=' and a broken
    // header line are never keys of [A].
    EXPECT_EQ(ini.GetString("A", "k", "-"), "-");
    EXPECT_EQ(ini.GetString("A", ";k", "-"), "-");
    EXPECT_EQ(ini.GetString("A", "[b", "-"), "-");
    ASSERT_TRUE(ini.WriteString("A", "k", "1"));
    EXPECT_EQ(ini.Text(), "k=0\n[A]\n;k=3\n k \n[b\n=5\nk=1\n");
}

TEST(IniText, AddingToSparseTexts)
{
    struct Row {
        std::string before;
        LineEnding newText;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"", LineEnding::Lf, "[S]\nk=v\n"},
        {"", LineEnding::CrLf, "[S]\r\nk=v\r\n"},
        {"[S]", LineEnding::CrLf, "[S]\r\nk=v"},
        {"[S]\n\n\n[T]\n", LineEnding::Lf, "[S]\nk=v\n\n\n[T]\n"},
        {"[T]\nx=1", LineEnding::Lf, "[T]\nx=1\n[S]\nk=v\n"},
        // The text's own line ending wins over the one asked for new texts.
        {"[T]\r\nx=1\r\n", LineEnding::Lf, "[T]\r\nx=1\r\n[S]\r\nk=v\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.before);
        IniText ini(row.before, row.newText);
        ASSERT_TRUE(ini.WriteString("S", "k", "v"));
        EXPECT_EQ(ini.Text(), row.expected);
    }
}

TEST(IniText, RefusesWhatCannotBeOneLine)
{
    const std::string text = "[S]\nk=v\n";
    IniText ini(text);
    EXPECT_FALSE(ini.WriteString("S", "k", "two\nlines"));
    EXPECT_FALSE(ini.WriteString("S", "k", "cr\r"));
    EXPECT_FALSE(ini.WriteString("S", "a=b", "v"));
    EXPECT_FALSE(ini.WriteString("S", "  ", "v"));
    EXPECT_FALSE(ini.WriteString("S", ";k", "v"));
    EXPECT_FALSE(ini.WriteString("S\nT", "k", "v"));
    EXPECT_EQ(ini.Text(), text);
}

TEST(IniText, StringsStopAt279Bytes)
{
    auto read = [](const std::string& stored) { return IniText("[S]\nk=" + stored + "\n").GetString("S", "k", ""); };
    EXPECT_EQ(read(std::string(279, 'a')), std::string(279, 'a'));
    EXPECT_EQ(read(std::string(400, 'a')), std::string(279, 'a'));
    // Quotes are removed before the cut, so 279 quoted bytes fit.
    EXPECT_EQ(read("\"" + std::string(279, 'b') + "\""), std::string(279, 'b'));
    // A two-byte character straddling the limit is left out, not split.
    EXPECT_EQ(read(std::string(278, 'c') + "\xC3\xA9zz"), std::string(278, 'c'));
    EXPECT_EQ(IniText().GetString("S", "k", std::string(300, 'd')), std::string(279, 'd'));
}

TEST(IniText, QuotesRemovedOnlyInPairs)
{
    auto read = [](const std::string& stored) { return IniText("[S]\nk=" + stored + "\n").GetString("S", "k", "-"); };
    EXPECT_EQ(read("\"a b\""), "a b");
    EXPECT_EQ(read("'a'"), "a");
    EXPECT_EQ(read("\"\""), "");
    EXPECT_EQ(read("\"a'"), "\"a'");
    EXPECT_EQ(read("\"a"), "\"a");
    EXPECT_EQ(read("\""), "\"");
    EXPECT_EQ(read("a \"b\""), "a \"b\"");
}

TEST(IniText, IntegersAsGetPrivateProfileInt)
{
    struct Row {
        const char* stored;
        int expected;
    };
    const Row rows[] = {
        {"42", 42}, {"-7", -7}, {"+5", 5}, {"12abc", 12}, {"abc", 0}, {"0x10", 0}, {"\"15\"", 15},
        {"  8  ", 8}, {"4294967295", -1}, {"4294967296", 0}, {"-", 0}, {"", 77}, {"\"\"", 77},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored);
        EXPECT_EQ(IniText(std::string("[S]\nk=") + row.stored + "\n").GetInt("S", "k", 77), row.expected);
    }
    EXPECT_EQ(IniText("[S]\n").GetInt("S", "k", -3), -3);
    IniText ini;
    ASSERT_TRUE(ini.WriteInt("S", "k", -2147483647 - 1));
    EXPECT_EQ(ini.Text(), "[S]\nk=-2147483648\n");
}

// Random texts built from troublesome fragments: whatever the text, a value
// written is the value read, a removed key or section is gone, and another
// section is untouched.
TEST(IniText, RandomTextsKeepEditsConsistent)
{
    const std::vector<std::string> fragments = {
        "[A]", "[ a ]", "[B]", "[b", "k=1", " K = 2 ", "z=keep", ";k=3", "", "   ", "\r", "k", "=v",
        "x=\"q\"", std::string("\0k=4", 4), "[B]]", "\xff\xfe", "[]", "z=other",
    };
    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; ++round) {
        std::string nl = rng() % 2 ? "\r\n" : "\n";
        std::string text;
        int lines = int(rng() % 12);
        for (int i = 0; i < lines; ++i) {
            text += fragments[rng() % fragments.size()];
            if (i + 1 < lines || rng() % 2)
                text += nl;
        }
        SCOPED_TRACE(::testing::PrintToString(text));
        IniText ini(text);
        const std::string otherBefore = ini.GetString("B", "z", "none");
        const std::string value = std::to_string(round) + "v";
        switch (rng() % 3) {
        case 0:
            ASSERT_TRUE(ini.WriteString("A", "k", value));
            EXPECT_EQ(ini.GetString("a", "K", "-"), value);
            break;
        case 1:
            ASSERT_TRUE(ini.WriteString("A", "k", std::nullopt));
            EXPECT_FALSE(ini.Find("A", "k"));
            break;
        default:
            ASSERT_TRUE(ini.WriteString("A", std::nullopt, std::nullopt));
            EXPECT_FALSE(ini.HasSection("A"));
            break;
        }
        EXPECT_EQ(ini.GetString("B", "z", "none"), otherBefore);
    }
}

TEST(IniText, LongAndBinaryTexts)
{
    std::string binary;
    std::mt19937 rng(7);
    for (int i = 0; i < 200000; ++i)
        binary += char(rng());
    const std::string longLine(3 << 20, 'x');
    for (const std::string& text : {binary, longLine, longLine + "=" + longLine}) {
        IniText ini(text);
        EXPECT_EQ(ini.GetString("S", "k", "-"), "-");
        ASSERT_TRUE(ini.WriteString("S", "k", "v"));
        EXPECT_EQ(ini.GetString("S", "k", "-"), "v");
        EXPECT_EQ(ini.Text().compare(0, text.size(), text), 0);
    }
}

} // namespace
