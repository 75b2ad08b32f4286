#include "player/script_language.h"

#include "support/text.h"

#include <algorithm>

namespace tarn {

bool IsScriptKeyword(std::string_view word)
{
    return std::find(ScriptKeywords.begin(), ScriptKeywords.end(), word) != ScriptKeywords.end();
}

std::vector<std::string> SplitScriptText(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
}

ScriptCommand SplitScriptLine(std::string_view line)
{
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos)
        return {UpperCaseAscii(Trim(line, tsControls)), {}};
    return {UpperCaseAscii(line.substr(0, blank)), Trim(line.substr(blank + 1), tsControls)};
}

std::optional<NamePair> SplitNamePair(std::string_view argument)
{
    const std::size_t q1 = argument.find('"');
    if (q1 == std::string_view::npos)
        return std::nullopt;
    const std::size_t q2 = argument.find('"', q1 + 1);
    if (q2 == std::string_view::npos)
        return std::nullopt;
    const std::size_t q3 = argument.find('"', q2 + 1);
    if (q3 == std::string_view::npos)
        return std::nullopt;
    const std::size_t q4 = argument.find('"', q3 + 1);
    NamePair pair;
    pair.First = std::string(argument.substr(q1 + 1, q2 - q1 - 1));
    if (q4 != std::string_view::npos)
        pair.Second = std::string(argument.substr(q3 + 1, q4 - q3 - 1));
    return pair;
}

} // namespace tarn
