#include "support/color.h"

#include "support/text.h"

#include <QString>
#include <array>
#include <utility>

namespace tarn {

namespace {

constexpr std::array<std::pair<const char16_t *, TColor>, 16> ColorNames = {{
    {u"BLACK", 0x000000},
    {u"MAROON", 0x000080},
    {u"GREEN", 0x008000},
    {u"OLIVE", 0x008080},
    {u"NAVY", 0x800000},
    {u"PURPLE", 0x800080},
    {u"TEAL", 0x808000},
    {u"GRAY", 0x808080},
    {u"SILVER", 0xC0C0C0},
    {u"RED", 0x0000FF},
    {u"LIME", 0x00FF00},
    {u"YELLOW", 0x00FFFF},
    {u"BLUE", 0xFF0000},
    {u"FUCHSIA", 0xFF00FF},
    {u"AQUA", 0xFFFF00},
    {u"WHITE", 0xFFFFFF},
}};

bool IsHexDigit(QChar C)
{
    const char16_t u = C.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'F');
}

} // namespace

TColor ParseColor(QStringView Text)
{
    QString text = UpperCaseAscii(Trim(Text, tsControls)).left(10);
    for (const auto &[name, color] : ColorNames) {
        if (text == QStringView(name))
            return color;
    }

    const qsizetype hash = text.indexOf(u'#');
    if (hash >= 0)
        text.remove(hash, 1);
    QStringView digits = text;
    if (digits.startsWith(u'$'))
        digits = digits.sliced(1);
    // At most ten characters are left, so a value of up to eight digits fits 32 bits after
    // leading zeros; the number must be all hexadecimal digits (no sign, no second "$").
    bool ok = !digits.isEmpty();
    for (QChar c : digits)
        ok = ok && IsHexDigit(c);
    const qulonglong value = ok ? digits.toULongLong(&ok, 16) : 0;
    if (!ok || value > 0xFFFFFFFFull)
        return ColorWhite;
    const TColor red = TColor(value >> 16) & 0xFF;
    const TColor green = TColor(value >> 8) & 0xFF;
    const TColor blue = TColor(value) & 0xFF;
    return red | (green << 8) | (blue << 16);
}

} // namespace tarn
