#pragma once

#include "support/color.h"

#include <QChar>
#include <QString>
#include <QStringView>

namespace tarn {

// Clickable marked text: when Active, every BeginChar ... EndChar pair in the text is shown
// with both marker characters on a MarkerColor background and the text between them in Color,
// underlined when Underlined; clicking that text hands it to the editor's OnHotSpotClick.
struct THotSpot
{
    QChar BeginChar = QChar(30);
    QChar EndChar = QChar(31);
    TColor Color = ColorBlue;
    TColor MarkerColor = SystemWindowColor;
    bool Active = false;
    bool Underlined = true;
};

// Whether the character at Column of a line lies on a hot spot: true when, from that character
// to the end of the line, an EndChar comes before any BeginChar (with the same character for
// both, when one comes at all). Always false for an inactive hot spot or a BeginChar of 0.
bool OverHotSpot(const THotSpot &HotSpot, QStringView Line, qsizetype Column);

// The text of the hot spot at Column (which OverHotSpot accepts): from after the last BeginChar
// before Column (or the start of the line) to before the first EndChar from Column on.
QString HotSpotText(const THotSpot &HotSpot, QStringView Line, qsizetype Column);

} // namespace tarn
