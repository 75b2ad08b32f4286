#include "support/text.h"

#include <QString>
#include <QStringView>
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
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

namespace {

constexpr auto IsControl = [](char c) {
    const auto code = static_cast<unsigned char>(c);
    return (code < 32 && c != '\t') || code == 127;
};

// The offset of the first 16-byte block that holds a control character (or the start of the
// incomplete last block). Log lines, listings above all, rarely hold a control character, and
// a 100,000-line listing would otherwise be tested byte by byte: a block is tested at once
// with the compiler's vector types (a few SIMD instructions where the processor has them).
std::size_t FirstBlockWithControl(std::string_view Text)
{
    using TBlock = unsigned char __attribute__((vector_size(16)));
    std::size_t at = 0;
    for (; at + sizeof(TBlock) <= Text.size(); at += sizeof(TBlock)) {
        TBlock bytes;
        std::memcpy(&bytes, Text.data() + at, sizeof bytes);
        const auto control = ((bytes < 32) & (bytes != '\t')) | (bytes == 127);
        uint64_t halves[2];
        std::memcpy(halves, &control, sizeof halves);
        if ((halves[0] | halves[1]) != 0)
            break;
    }
    return at;
}

} // namespace

std::string PrintableText(std::string_view Text)
{
    std::string result;
    PrintableTextInto(Text, result);
    return result;
}

void PrintableTextInto(std::string_view Text, std::string &Out)
{
    // Most text holds no control character: runs between them are copied whole.
    Out.clear();
    Out.reserve(Text.size());
    auto at = Text.begin();
    const auto from = Text.begin() + std::ptrdiff_t(FirstBlockWithControl(Text));
    for (auto found = std::find_if(from, Text.end(), IsControl); found != Text.end();
         found = std::find_if(at, Text.end(), IsControl)) {
        Out.append(at, found);
        Out += '^';
        Out += static_cast<char>(static_cast<unsigned char>(*found) ^ 64);
        at = found + 1;
    }
    Out.append(at, Text.end());
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
