#include "ftp/ftp_security.h"

#include <cctype>

namespace tarn {

std::optional<std::string> NormalizeTlsFingerprint(std::string_view Text)
{
    std::string digits;
    for (const char c : Text) {
        if (c == ':')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (digits.size() != 64)
        return std::nullopt;
    return digits;
}

std::string FormatTlsFingerprint(std::string_view Normalized)
{
    std::string text;
    for (std::size_t i = 0; i < Normalized.size(); i += 2) {
        if (i > 0)
            text += ':';
        text += Normalized.substr(i, 2);
    }
    return text;
}

} // namespace tarn
