// Number parsing of server replies, profiles and scripts. Checks:
// - ParseWholeNumber takes exactly an optional sign and digits that fit in 32 bits, and gives
//   back what it took;
// - ParseInteger stops right after the digits, saturates instead of overflowing, and reads
//   what a plain decimal reading reads for numbers that fit;
// - ReplyCode is 0 or the line's first three digits; AnnouncedLength is -1 or a length the
//   line spells out;
// - TransferStatsText is well defined (UBSan) for every pair of 64-bit values and starts with
//   the count.
#include "ftp/ftp_parse.h"
#include "fuzz/fuzz_check.h"
#include "support/text.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <limits>
#include <string>

namespace tarn {
namespace {

bool IsDigit(char C)
{
    return C >= '0' && C <= '9';
}

void CheckWholeNumber(const std::string &Text)
{
    const std::optional<int> value = ParseWholeNumber(Text);
    std::size_t digits = !Text.empty() && (Text[0] == '+' || Text[0] == '-') ? 1 : 0;
    const bool shape =
        digits < Text.size() && std::all_of(Text.begin() + long(digits), Text.end(), IsDigit);
    if (!shape) {
        FUZZ_CHECK(!value);
        return;
    }
    errno = 0;
    const long long wide = std::strtoll(Text.c_str(), nullptr, 10);
    const bool fits = errno == 0 && wide >= std::numeric_limits<int>::min() &&
                      wide <= std::numeric_limits<int>::max();
    FUZZ_CHECK(value.has_value() == fits);
    if (value)
        FUZZ_CHECK(*value == wide);
}

void CheckInteger(const std::string &Text, std::size_t Start)
{
    const TParsedInteger parsed = ParseInteger(Text, Start);
    FUZZ_CHECK(parsed.Next <= Text.size() || (Start > Text.size() && parsed.Next == Start));
    if (parsed.Next < Text.size())
        FUZZ_CHECK(!IsDigit(Text[parsed.Next]));
    if (Start >= Text.size())
        return;
    std::size_t i = Start;
    while (i < Text.size() && std::string_view("\t\n\r ").find(Text[i]) != std::string::npos)
        ++i;
    const bool negative = i < Text.size() && Text[i] == '-';
    FUZZ_CHECK(negative ? parsed.Value <= 0 : parsed.Value >= 0);
    const std::string number = Text.substr(i, parsed.Next - i);
    errno = 0;
    const long long plain = std::strtoll(number.c_str(), nullptr, 10);
    if (errno == 0 && plain != std::numeric_limits<long long>::min())
        FUZZ_CHECK(parsed.Value == plain);
    else
        FUZZ_CHECK(parsed.Value == (negative ? -std::numeric_limits<int64_t>::max()
                                             : std::numeric_limits<int64_t>::max()));
}

void CheckReplyLine(const std::string &Line)
{
    const int code = ReplyCode(Line);
    FUZZ_CHECK(code >= 0 && code <= 999);
    if (code != 0)
        FUZZ_CHECK(std::to_string(code + 1000).substr(1) == Line.substr(0, 3));
    const int64_t length = AnnouncedLength(Line);
    FUZZ_CHECK(length >= -1);
    if (length >= 0)
        FUZZ_CHECK(Line.find(std::to_string(length) + " bytes)") != std::string::npos);
}

} // namespace
} // namespace tarn

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    using namespace tarn;
    FuzzedDataProvider provider(Data, Size);
    const int64_t count = provider.ConsumeIntegral<int64_t>();
    const int64_t elapsed = provider.ConsumeIntegral<int64_t>();
    const std::size_t start = provider.ConsumeIntegralInRange<std::size_t>(0, 64);
    const std::string text = provider.ConsumeRemainingBytesAsString();

    const std::string stats = TransferStatsText(count, elapsed);
    FUZZ_CHECK(stats.starts_with(std::to_string(count) + " bytes received/sent in "));
    FUZZ_CHECK((stats.find("Bytes/sec") != std::string::npos) == (elapsed > 0));

    CheckWholeNumber(text);
    CheckInteger(text, start);
    CheckReplyLine(text);
    return 0;
}
