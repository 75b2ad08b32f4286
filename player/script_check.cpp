#include "player/script_check.h"

#include "player/script_language.h"
#include "support/text.h"

#include <algorithm>
#include <array>

namespace tarn {

namespace {

const std::array<std::string_view, 6> PairKeywords = {"SEND",      "RECEIVE",   "RENAME",
                                                      "LOCALCOPY", "LOCALMOVE", "LOCALREN"};

bool IsBlank(char C)
{
    return C == ' ' || C == '\t';
}

// The first word of a line after any leading blanks and tabs, and whether a tab ends it.
struct TFirstWord
{
    std::string Word;
    bool Indented = false;
    bool TabAfter = false;
};

TFirstWord FirstWord(const std::string &Line)
{
    TFirstWord first;
    std::size_t start = 0;
    while (start < Line.size() && IsBlank(Line[start]))
        ++start;
    first.Indented = start > 0;
    std::size_t end = start;
    while (end < Line.size() && !IsBlank(Line[end]))
        ++end;
    first.Word = UpperCaseAscii(std::string_view(Line).substr(start, end - start));
    first.TabAfter = end < Line.size() && Line[end] == '\t';
    return first;
}

// The keyword `Word` is probably a typo of (the nearest one), or nothing.
std::string_view NearKeyword(const std::string &Word)
{
    std::size_t best = Word.size() <= 4 ? 1 : 2;
    std::string_view nearest;
    for (std::string_view keyword : ScriptKeywords) {
        // The distance is at least the difference in length: a long word (a whole line of
        // text) is no typo of a keyword, and is not compared letter by letter.
        const std::size_t gap = Word.size() > keyword.size() ? Word.size() - keyword.size()
                                                             : keyword.size() - Word.size();
        if (gap > best)
            continue;
        const std::size_t distance = EditDistance(Word, std::string(keyword));
        if (distance > 0 && (distance < best || (distance == best && nearest.empty()))) {
            best = distance;
            nearest = keyword;
        }
    }
    return nearest;
}

} // namespace

std::size_t EditDistance(const std::string &A, const std::string &B)
{
    // Optimal string alignment: Levenshtein plus the swap of two neighbouring letters.
    const std::size_t rows = A.size() + 1, columns = B.size() + 1;
    std::vector<std::size_t> d(rows * columns);
    const auto at = [&](std::size_t i, std::size_t j) -> std::size_t & {
        return d[i * columns + j];
    };
    for (std::size_t i = 0; i < rows; ++i)
        at(i, 0) = i;
    for (std::size_t j = 0; j < columns; ++j)
        at(0, j) = j;
    for (std::size_t i = 1; i < rows; ++i) {
        for (std::size_t j = 1; j < columns; ++j) {
            const std::size_t cost = A[i - 1] == B[j - 1] ? 0 : 1;
            at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + cost});
            if (i > 1 && j > 1 && A[i - 1] == B[j - 2] && A[i - 2] == B[j - 1])
                at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
        }
    }
    return at(rows - 1, columns - 1);
}

std::vector<TScriptWarning> CheckScript(const std::vector<std::string> &Lines)
{
    std::vector<TScriptWarning> warnings;
    for (std::size_t index = 0; index < Lines.size(); ++index) {
        const std::string &line = Lines[index];
        const auto warn = [&](const std::string &Text) { warnings.push_back({index + 1, Text}); };
        const TFirstWord first = FirstWord(line);
        if (first.Word.empty())
            continue;
        const TScriptCommand command = SplitScriptLine(line);
        if (!IsScriptKeyword(command.Keyword)) {
            // The line is skipped as a comment when it runs: say so when it looks meant.
            if (!IsScriptKeyword(first.Word)) {
                if (const std::string_view keyword = NearKeyword(first.Word); !keyword.empty())
                    warn(first.Word + " is not a keyword; did you mean " + std::string(keyword) +
                         "? The line is skipped.");
            } else if (first.Indented) {
                warn("the line starts with a blank, so " + first.Word +
                     " is not taken as a keyword and the line is skipped.");
            } else if (first.TabAfter) {
                warn("a tab follows " + first.Word +
                     "; only a blank separates a keyword from its argument, so the line is "
                     "skipped.");
            }
            continue;
        }
        if (command.Keyword == "ONERROR") {
            const std::string action = UpperCaseAscii(command.Argument);
            if (!action.empty() && action != "STOP" && action != "CONTINUE")
                warn("ONERROR " + command.Argument +
                     " is taken as CONTINUE; write ONERROR STOP or ONERROR CONTINUE.");
        } else if (std::find(PairKeywords.begin(), PairKeywords.end(), command.Keyword) !=
                   PairKeywords.end()) {
            const std::optional<TNamePair> names = SplitNamePair(command.Argument);
            if (!names || names->First.empty() || names->Second.empty())
                warn(command.Keyword +
                     " needs two names, each in double quotes: \"first\" \"second\". This line "
                     "is a syntax error and stops the run.");
        }
    }
    return warnings;
}

} // namespace tarn
