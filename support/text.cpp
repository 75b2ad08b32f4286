#include "support/text.h"

#include <QString>
#include <QStringView>
#include <algorithm>
#include <charconv>
#include <system_error>
#include <type_traits>

namespace tarn {

namespace {

// The single-byte and the editor text versions share these, on bytes or on UTF-16 units.
template <typename TChar>
std::basic_string_view<TChar> TrimView(std::basic_string_view<TChar> Text, TTrimSet Set)
{
    const auto trimmed = [Set](TChar C) {
        const auto code = static_cast<std::make_unsigned_t<TChar>>(C);
        return Set == tsBlanks ? code == ' ' || code == '\t' : code <= 32;
    };
    std::size_t first = 0;
    std::size_t last = Text.size();
    while (first < last && trimmed(Text[first]))
        ++first;
    while (last > first && trimmed(Text[last - 1]))
        --last;
    return Text.substr(first, last - first);
}

template <typename TChar> void UpperCaseInPlace(TChar *Text, std::size_t Length)
{
    for (std::size_t i = 0; i < Length; ++i) {
        if (Text[i] >= 'a' && Text[i] <= 'z')
            Text[i] = static_cast<TChar>(Text[i] - 'a' + 'A');
    }
}

} // namespace

std::string Trim(std::string_view Text, TTrimSet Set)
{
    return std::string(TrimView(Text, Set));
}

QStringView Trim(QStringView Text, TTrimSet Set)
{
    const std::u16string_view trimmed =
        TrimView(std::u16string_view(Text.utf16(), std::size_t(Text.size())), Set);
    return QStringView(trimmed.data(), qsizetype(trimmed.size()));
}

std::string PrintableText(std::string_view Text)
{
    const auto control = [](char c) {
        const auto code = static_cast<unsigned char>(c);
        return (code < 32 && c != '\t') || code == 127;
    };
    // Most text holds no control character: runs between them are copied whole.
    std::string result;
    result.reserve(Text.size());
    auto at = Text.begin();
    for (auto found = std::find_if(at, Text.end(), control); found != Text.end();
         found = std::find_if(at, Text.end(), control)) {
        result.append(at, found);
        result += '^';
        result += static_cast<char>(static_cast<unsigned char>(*found) ^ 64);
        at = found + 1;
    }
    result.append(at, Text.end());
    return result;
}

std::string UpperCaseAscii(std::string_view Text)
{
    std::string result(Text);
    UpperCaseInPlace(result.data(), result.size());
    return result;
}

QString UpperCaseAscii(QStringView Text)
{
    QString result = Text.toString();
    UpperCaseInPlace(reinterpret_cast<char16_t *>(result.data()), std::size_t(result.size()));
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

std::string SystemErrorText(int Code)
{
    return std::generic_category().message(Code);
}

} // namespace tarn
