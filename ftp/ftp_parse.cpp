#include "ftp/ftp_parse.h"

#include <algorithm>
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

namespace {

bool IsDigit(char C)
{
    return C >= '0' && C <= '9';
}

} // namespace

int ReplyCode(const std::string &Line)
{
    if (Line.size() < 3 || !IsDigit(Line[0]) || !IsDigit(Line[1]) || !IsDigit(Line[2]) ||
        (Line.size() > 3 && IsDigit(Line[3])))
        return 0;
    return (Line[0] - '0') * 100 + (Line[1] - '0') * 10 + (Line[2] - '0');
}

int64_t AnnouncedLength(const std::string &Line)
{
    const std::size_t bytes = Line.rfind(" bytes)");
    if (bytes == std::string::npos)
        return -1;
    const std::size_t open = Line.rfind('(', bytes);
    if (open == std::string::npos || bytes - open < 2 || bytes - open > 19)
        return -1;
    int64_t value = 0;
    for (std::size_t i = open + 1; i < bytes; ++i) {
        if (!IsDigit(Line[i]))
            return -1;
        value = value * 10 + (Line[i] - '0');
    }
    return value;
}

std::string TransferStatsText(int64_t ByteCount, int64_t ElapsedMs)
{
    std::string text = std::to_string(ByteCount) + " bytes received/sent in " +
                       std::to_string(ElapsedMs / 1000) + " seconds";
    if (ElapsedMs > 0) {
        // In 128 bits neither order of operations can overflow; a rate past the 64-bit range
        // (a huge count over a millisecond) is shown as the nearest 64-bit value.
        const __int128 count = ByteCount;
        const __int128 rate = count <= 32767 ? count * 1000 / ElapsedMs : count / ElapsedMs * 1000;
        const __int128 shown = std::clamp<__int128>(rate, std::numeric_limits<int64_t>::min(),
                                                    std::numeric_limits<int64_t>::max());
        text += " (" + std::to_string(int64_t(shown)) + " Bytes/sec)";
    }
    return text;
}

TPassiveTarget PassiveTarget(const std::string &Line)
{
    // The six numbers are the first run of digits and commas after the code.
    std::size_t at = Line.find_first_of("0123456789", std::min<std::size_t>(Line.size(), 4));
    int numbers[6];
    for (int i = 0; i < 6; ++i) {
        if (at >= Line.size() || Line[at] < '0' || Line[at] > '9')
            return {};
        int value = 0;
        while (at < Line.size() && Line[at] >= '0' && Line[at] <= '9' && value <= 255)
            value = value * 10 + (Line[at++] - '0');
        if (value > 255)
            return {};
        numbers[i] = value;
        if (i < 5) {
            if (at >= Line.size() || Line[at] != ',')
                return {};
            ++at;
        }
    }
    TPassiveTarget target;
    target.Address = std::to_string(numbers[0]) + '.' + std::to_string(numbers[1]) + '.' +
                     std::to_string(numbers[2]) + '.' + std::to_string(numbers[3]);
    target.Port = numbers[4] * 256 + numbers[5];
    return target;
}

int ExtendedPassivePort(const std::string &Line)
{
    const std::size_t open = Line.find('(', std::min<std::size_t>(Line.size(), 4));
    if (open == std::string::npos || open + 4 >= Line.size())
        return 0;
    const char delimiter = Line[open + 1];
    if (Line[open + 2] != delimiter || Line[open + 3] != delimiter)
        return 0;
    long port = 0;
    std::size_t at = open + 4;
    while (at < Line.size() && Line[at] >= '0' && Line[at] <= '9' && port <= 65535)
        port = port * 10 + (Line[at++] - '0');
    if (at == open + 4 || at >= Line.size() || Line[at] != delimiter || port > 65535)
        return 0;
    return int(port);
}

} // namespace tarn
