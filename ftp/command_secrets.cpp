#include "ftp/command_secrets.h"

#include "support/text.h"

namespace tarn {

namespace {

constexpr std::string_view Mask = "********";

// A character of a CL name: letters, digits and the special characters $ # @ _.
bool IsNameChar(char C)
{
    return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '$' ||
           C == '#' || C == '@' || C == '_';
}

bool StartsWord(std::string_view Line, std::size_t At)
{
    if (At == 0)
        return true;
    const char before = Line[At - 1];
    return before == ' ' || before == '\t' || before == '(' || before == '\'' || before == '"' ||
           before == ',';
}

bool IsSecretKeyword(std::string_view Name)
{
    const std::string upper = UpperCaseAscii(Name);
    return upper.ends_with("PWD") || upper.ends_with("PASSWORD");
}

// Where the value that opens at Open ("(") closes: the matching ")", not counting those in
// quoted strings; npos when the line ends first.
std::size_t ValueEnd(std::string_view Line, std::size_t Open)
{
    int depth = 0;
    bool quoted = false;
    for (std::size_t i = Open; i < Line.size(); ++i) {
        const char c = Line[i];
        if (c == '\'')
            quoted = !quoted; // a doubled quote inside a string toggles twice
        else if (quoted)
            continue;
        else if (c == '(')
            ++depth;
        else if (c == ')' && --depth == 0)
            return i;
    }
    return std::string_view::npos;
}

} // namespace

std::string MaskCommandSecrets(std::string_view Line)
{
    std::string masked;
    std::size_t copied = 0; // Line[0, copied) is in `masked`
    std::size_t i = 0;
    while (i < Line.size()) {
        if (!IsNameChar(Line[i]) || !StartsWord(Line, i)) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < Line.size() && IsNameChar(Line[end]))
            ++end;
        if (end >= Line.size() || Line[end] != '(' || !IsSecretKeyword(Line.substr(i, end - i))) {
            i = end;
            continue;
        }
        const std::size_t close = ValueEnd(Line, end);
        masked.append(Line.substr(copied, end + 1 - copied));
        masked.append(Mask);
        if (close == std::string_view::npos)
            return masked;
        copied = close;
        i = close + 1;
    }
    masked.append(Line.substr(copied));
    return masked;
}

} // namespace tarn
