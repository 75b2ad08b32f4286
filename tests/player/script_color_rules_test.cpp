#include "player/script_color_rules.h"
#include "support/color_scanner.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

// Whether the first word of a script line comes out wholly blue and nothing else coloured.
bool KeywordShownBlue(const TDrawRules &rules, const QString &line)
{
    TColorScanner scanner;
    const std::vector<TKeyDescr> &runs = scanner.Scan(line, rules, {}, {}, {});
    const qsizetype blank = line.indexOf(u' ');
    return runs.size() == 1 && runs[0].Start == 0 && runs[0].End == blank - 1 &&
           runs[0].Color == ColorBlue && runs[0].Keyword;
}

TEST(ScriptColorRules, TheViewColoursEveryKeywordThePageAllButHangup)
{
    const TDrawRules view = ScriptColorRules(ScriptKeywords);
    const TDrawRules page = ScriptColorRules(ScriptPageKeywords);
    int pageWords = 0;
    for (std::string_view keyword : ScriptKeywords) {
        // Written in lower case, as a script may, with an argument that is no keyword.
        const QString line = QString::fromLatin1(keyword.data(), keyword.size()).toLower() +
                             " \"/home/user/data.txt\" \"DATA.FILE\"";
        EXPECT_TRUE(KeywordShownBlue(view, line)) << keyword;
        EXPECT_EQ(KeywordShownBlue(page, line), keyword != "HANGUP") << keyword;
        pageWords += KeywordShownBlue(page, line);
    }
    EXPECT_EQ(pageWords, 33);
    EXPECT_FALSE(KeywordShownBlue(view, "SENDER x"));
}

} // namespace
} // namespace tarn
