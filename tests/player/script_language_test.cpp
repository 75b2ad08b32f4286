#include "player/script_language.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

using TLines = std::vector<std::string>;

TEST(ScriptLanguage, TextSplitsAtEveryKindOfLineEndAndStopsAtNul)
{
    struct TCase
    {
        std::string Text;
        TLines Expected;
    };
    const TCase cases[] = {
        {"", {}},
        {"A", {"A"}},
        {"A\r\nB\r\n", {"A", "B"}},
        {"A\nB\rC\r\nD", {"A", "B", "C", "D"}},
        {"A\r\n\r\nB", {"A", "", "B"}},
        {"\r\n", {""}},
        {"A\n\r B", {"A", "", " B"}},
        {"\r\r", {"", ""}},
        {std::string("A\r\nB\0C\r\nD", 9), {"A", "B"}},
        {std::string("\0A", 2), {}},
        {"\xff\xfe\x01 x\n\x80", {"\xff\xfe\x01 x", "\x80"}},
    };
    for (const TCase &c : cases)
        EXPECT_EQ(SplitScriptText(c.Text), c.Expected) << "text: " << c.Text;
}

TEST(ScriptLanguage, LongLineStaysOneCommand)
{
    const std::string line = "LOCALDEL " + std::string(1 << 20, 'x');
    const TLines lines = SplitScriptText(line + "\r\nEXIT");
    ASSERT_EQ(lines.size(), 2u);
    const TScriptCommand command = SplitScriptLine(lines[0]);
    EXPECT_EQ(command.Keyword, "LOCALDEL");
    EXPECT_EQ(command.Argument.size(), std::size_t(1) << 20);
}

TEST(ScriptLanguage, LineSplitsAtFirstBlankOnly)
{
    struct TCase
    {
        std::string Line, Keyword, Argument;
    };
    const TCase cases[] = {
        {"send \"a.txt\" \"b.txt\"", "SEND", "\"a.txt\" \"b.txt\""},
        {"SEND \"a.txt\" \"b.txt\"", "SEND", "\"a.txt\" \"b.txt\""},
        {"CDUP     ", "CDUP", ""},
        {"CDUP now", "CDUP", "now"},
        {"CHDIR /home/my dir   ", "CHDIR", "/home/my dir"},
        {"CHDIR\t/home", "CHDIR\t/HOME", ""},  // a tab is not a separator
        {"CHDIR\t /home", "CHDIR\t", "/home"}, // keyword ends at the blank, untrimmed
        {" CDUP", "", "CDUP"},                 // a leading blank empties the keyword
        {"\tCDUP", "CDUP", ""},                // whole line trimmed when there is no blank
        {"  ", "", ""},
        {"\t\t", "", ""},
        {"", "", ""},
        {"COMMAND  \x01SITE NAMEFMT 1\x7f\t ", "COMMAND", "SITE NAMEFMT 1\x7f"},
        {"LocalCd \xe9t\xe9", "LOCALCD", "\xe9t\xe9"},
        {"\xe9xit", "\xe9XIT", ""}, // only a to z change case
        {"profile p.tnc", "PROFILE", "p.tnc"},
        {"ONERROR\x0b", "ONERROR", ""},
    };
    for (const TCase &c : cases) {
        const TScriptCommand command = SplitScriptLine(c.Line);
        EXPECT_EQ(command.Keyword, c.Keyword) << "line: " << c.Line;
        EXPECT_EQ(command.Argument, c.Argument) << "line: " << c.Line;
    }
}

TEST(ScriptLanguage, NamePairNeedsThreeQuotes)
{
    struct TCase
    {
        std::string Argument;
        bool Valid;
        std::string First, Second;
    };
    const TCase cases[] = {
        {"", false, "", ""},
        {"a b", false, "", ""},
        {"\"a\"", false, "", ""},
        {"\"a", false, "", ""},
        {"\"a\" b", false, "", ""},
        {"\"a\" \"b", true, "a", ""},
        {"\"a\" \"\"", true, "a", ""},
        {"\"a\" \"b\"", true, "a", "b"},
        {"x \"old\" y \"new\" z", true, "old", "new"},
        {"\"a\"\"b\"\"c\"", true, "a", "b"},
        {"\"\" \"\"", true, "", ""},
        {"\"my file.txt\" \"/x/your file.txt\"", true, "my file.txt", "/x/your file.txt"},
        {"\"\"\"\"\"", true, "", ""},
    };
    for (const TCase &c : cases) {
        const std::optional<TNamePair> pair = SplitNamePair(c.Argument);
        ASSERT_EQ(pair.has_value(), c.Valid) << "argument: " << c.Argument;
        if (pair) {
            EXPECT_EQ(pair->First, c.First) << "argument: " << c.Argument;
            EXPECT_EQ(pair->Second, c.Second) << "argument: " << c.Argument;
        }
    }
}

TEST(ScriptLanguage, KeywordTableHoldsTheThirtyFourKeywords)
{
    for (const char *keyword : {"PROFILE", "HANGUP", "LOCALREN", "CLEARLOG", "EXIT", "ONERROR"})
        EXPECT_TRUE(IsScriptKeyword(keyword)) << keyword;
    for (const char *word : {"exit", "REM", "LOCALCOPY ", "", "GET", "PUT"})
        EXPECT_FALSE(IsScriptKeyword(word)) << word;
    std::vector<std::string_view> sorted(ScriptKeywords.begin(), ScriptKeywords.end());
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

} // namespace
} // namespace tarn
