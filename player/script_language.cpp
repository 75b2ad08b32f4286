#include "player/script_language.h"

#include "support/text.h"

#include <algorithm>

namespace tarn {

bool IsScriptKeyword(std::string_view Word)
{
    return std::find(ScriptKeywords.begin(), ScriptKeywords.end(), Word) != ScriptKeywords.end();
}

std::vector<std::string> SplitScriptText(std::string_view Text)
{
    Text = Text.substr(0, Text.find('\0'));
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < Text.size()) {
        const std::size_t end = Text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(Text.substr(start));
            break;
        }
        lines.emplace_back(Text.substr(start, end - start));
        start = end + 1;
        if (Text[end] == '\r' && start < Text.size() && Text[start] == '\n')
            ++start;
    }
    return lines;
}

TScriptCommand SplitScriptLine(std::string_view Line)
{
    const std::size_t blank = Line.find(' ');
    if (blank == std::string_view::npos)
        return {UpperCaseAscii(Trim(Line, tsControls)), {}};
    return {UpperCaseAscii(Line.substr(0, blank)), Trim(Line.substr(blank + 1), tsControls)};
}

std::optional<TNamePair> SplitNamePair(std::string_view Argument)
{
    const std::size_t q1 = Argument.find('"');
    if (q1 == std::string_view::npos)
        return std::nullopt;
    const std::size_t q2 = Argument.find('"', q1 + 1);
    if (q2 == std::string_view::npos)
        return std::nullopt;
    const std::size_t q3 = Argument.find('"', q2 + 1);
    if (q3 == std::string_view::npos)
        return std::nullopt;
    const std::size_t q4 = Argument.find('"', q3 + 1);
    TNamePair pair;
    pair.First = std::string(Argument.substr(q1 + 1, q2 - q1 - 1));
    if (q4 != std::string_view::npos)
        pair.Second = std::string(Argument.substr(q3 + 1, q4 - q3 - 1));
    return pair;
}

} // namespace tarn
