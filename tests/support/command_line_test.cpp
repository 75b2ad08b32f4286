#include "support/command_line.h"

#include <gtest/gtest.h>

namespace tarn {

namespace {

using TWords = std::vector<std::string>;

TEST(SplitCommandLine, SplitsLikeAShell)
{
    struct TCase
    {
        const char *Line;
        TWords Words;
    } cases[] = {
        {"", {}},
        {"  \t ", {}},
        {"tarnsp  /tmp/~TG1.TMP  /R  /X  /D", {"tarnsp", "/tmp/~TG1.TMP", "/R", "/X", "/D"}},
        {"prog \"two words\" x", {"prog", "two words", "x"}},
        {"prog a\"b c\"d", {"prog", "ab cd"}},
        {"prog '\"quoted\" $HOME'", {"prog", "\"quoted\" $HOME"}},
        {"prog \"say \\\"hi\\\" \\n\"", {"prog", "say \"hi\" \\n"}},
        {"prog a\\ b", {"prog", "a b"}},
        {"prog \"\"", {"prog", ""}},
        // A quote left open runs to the end of the line.
        {"prog \"open quote", {"prog", "open quote"}},
        {"prog 'open", {"prog", "open"}},
        {"prog trailing\\", {"prog", "trailing\\"}},
    };
    for (const TCase &c : cases)
        EXPECT_EQ(SplitCommandLine(c.Line), c.Words) << c.Line;
}

TEST(QuoteCommandWord, EveryWordComesBackWhole)
{
    const TWords words = {"/tmp/my scripts/~TG1.TMP", "it's",      "'", "",
                          "a\\b \"c\" $HOME `x`",     "tab\there", "/R"};
    std::string line = "prog";
    for (const std::string &word : words)
        line += " " + QuoteCommandWord(word);
    TWords expected = {"prog"};
    expected.insert(expected.end(), words.begin(), words.end());
    EXPECT_EQ(SplitCommandLine(line), expected) << line;
}

} // namespace

} // namespace tarn
