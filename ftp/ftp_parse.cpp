#include "ftp/ftp_parse.h"

#include <limits>

namespace tarn {

TParsedInteger ParseInteger(const std::string &Text, std::size_t Start)
{
    std::size_t i = Start;
    while (i < Text.size() &&
           (Text[i] == '\t' || Text[i] == '\n' || Text[i] == '\r' || Text[i] == ' '))
        ++i;
    bool negative = false;
    if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) {
        negative = Text[i] == '-';
        ++i;
    }
    constexpr int64_t Limit = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    while (i < Text.size() && Text[i] >= '0' && Text[i] <= '9') {
        const int digit = Text[i] - '0';
        value = value > (Limit - digit) / 10 ? Limit : value * 10 + digit;
        ++i;
    }
    return {negative ? -value : value, i};
}

std::string TransferStatsText(int64_t ByteCount, int64_t ElapsedMs)
{
    std::string text = std::to_string(ByteCount) + " bytes received/sent in " +
                       std::to_string(ElapsedMs / 1000) + " seconds";
    if (ElapsedMs != 0) {
        const int64_t rate =
            ByteCount <= 32767 ? ByteCount * 1000 / ElapsedMs : ByteCount / ElapsedMs * 1000;
        text += " (" + std::to_string(rate) + " Bytes/sec)";
    }
    return text;
}

} // namespace tarn
