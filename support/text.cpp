#include "support/text.h"

#include <charconv>

namespace tarn {

std::string Trim(std::string_view Text, TTrimSet Set)
{
    const auto trimmed = [Set](char C) {
        return Set == tsBlanks ? C == ' ' || C == '\t' : static_cast<unsigned char>(C) <= 32;
    };
    std::size_t first = 0;
    std::size_t last = Text.size();
    while (first < last && trimmed(Text[first]))
        ++first;
    while (last > first && trimmed(Text[last - 1]))
        --last;
    return std::string(Text.substr(first, last - first));
}

std::string UpperCaseAscii(std::string_view Text)
{
    std::string result(Text);
    for (char &c : result) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return result;
}

std::optional<int> ParseWholeNumber(const std::string &Text)
{
    const char *first = Text.data();
    const char *last = Text.data() + Text.size();
    // from_chars takes a minus sign but not a plus sign.
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-')
        ++first;
    int value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last)
        return std::nullopt;
    return value;
}

} // namespace tarn
