#include "support/command_line.h"

#include <gtest/gtest.h>

namespace tarn {

namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandLine, SplitsLikeAShell)
{
    struct Case
    {
        const char *line;
        Words words;
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
    for (const Case &c : cases)
        EXPECT_EQ(SplitCommandLine(c.line), c.words) << c.line;
}

} // namespace

} // namespace tarn
