#include "player/script_check.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

TEST(ScriptCheck, NamesTheLinesThatWouldBeSkippedOrFailAndNothingElse)
{
    const struct
    {
        const char *Line;
        const char *Warning; // a part of the warning's text, or nothing for a clean line
    } cases[] = {
        // Misspelt keywords: the line would be a comment.
        {"RECIEVE \"a\" \"b\"", "did you mean RECEIVE"},
        {"recieve \"a\" \"b\"", "RECIEVE is not a keyword; did you mean RECEIVE"},
        {"CONECT", "did you mean CONNECT"},
        {"LOCALCPY \"a\" \"b\"", "did you mean LOCALCOPY"},
        {"SNED \"a\" \"b\"", "did you mean SEND"},
        {"CDUPP", "did you mean CDUP"},
        // Comments stay comments: words far from every keyword, and short words two edits off.
        {"# Send the report", nullptr},
        {"Fetch the files of the day", nullptr},
        {"PUT a.txt", nullptr},
        {"", nullptr},
        {"   ", nullptr},
        // A blank before a keyword, or a tab after one, hides it.
        {" CONNECT", "starts with a blank"},
        {"SEND\t\"a\" \"b\"", "a tab follows SEND"},
        {"CDUP\tnow", "a tab follows CDUP"},
        // ... unless the line has no blank at all: then it is trimmed and runs.
        {"\tCDUP", nullptr},
        {"CDUP\t", nullptr},
        // ONERROR takes STOP or CONTINUE; nothing at all is CONTINUE as well.
        {"ONERROR STOP", nullptr},
        {"onerror continue", nullptr},
        {"ONERROR", nullptr},
        {"ONERROR STPO", "taken as CONTINUE"},
        {"ONERROR EXIT", "taken as CONTINUE"},
        // Two names in quotes, neither of them empty.
        {"RECEIVE \"a.csv\" \"b.csv\"", nullptr},
        {"RECEIVE \"a.csv \"b.csv\"", "needs two names"},
        {"LOCALREN \"a\" b", "needs two names"},
        {"RENAME old new", "needs two names"},
        {"SEND \"a\" \"\"", "needs two names"},
        {"LOCALCOPY \"a\" \"b", "needs two names"},
    };
    for (const auto &c : cases) {
        const std::vector<TScriptWarning> warnings = CheckScript({"ONERROR STOP", c.Line});
        if (!c.Warning) {
            EXPECT_TRUE(warnings.empty()) << c.Line << ": " << warnings.front().Text;
            continue;
        }
        ASSERT_EQ(warnings.size(), 1u) << c.Line;
        EXPECT_EQ(warnings[0].LineNumber, 2u);
        EXPECT_NE(warnings[0].Text.find(c.Warning), std::string::npos)
            << c.Line << ": " << warnings[0].Text;
    }
}

} // namespace
} // namespace tarn
