#pragma once

#include <QStringView>
#include <cstdint>

namespace tarn {

// A colour as rules store it: 0x00BBGGRR (red in the low byte), or, with the high bit set, a
// system colour that the editor takes from its palette when it colours: SystemWindowColor is
// the background of its text, any other the colour of its text.
using TColor = std::uint32_t;

constexpr TColor ColorRed = 0x0000FF;
constexpr TColor ColorLime = 0x00FF00;
constexpr TColor ColorBlue = 0xFF0000;
constexpr TColor ColorYellow = 0x00FFFF;
constexpr TColor ColorWhite = 0xFFFFFF;
constexpr TColor SystemColorFlag = 0x80000000;
constexpr TColor SystemWindowColor = SystemColorFlag | 5;
constexpr TColor SystemWindowTextColor = SystemColorFlag | 8;

constexpr bool IsSystemColor(TColor Color)
{
    return (Color & SystemColorFlag) != 0;
}

// Reads the colour text of a rule line. The text is trimmed, upper-cased and cut to its first
// ten characters; then it is one of the sixteen names BLACK, MAROON, GREEN, OLIVE, NAVY,
// PURPLE, TEAL, GRAY, SILVER, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA and WHITE, or a hexadecimal
// number in red-green-blue order ("00FF00", "#00FF00", "$00FF00"; one "#" is dropped, a "$" may
// only lead). Anything else is white, 0xFFFFFF.
TColor ParseColor(QStringView Text);

} // namespace tarn
