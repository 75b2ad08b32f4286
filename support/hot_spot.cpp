#include "support/hot_spot.h"

namespace tarn {

bool OverHotSpot(const THotSpot &HotSpot, QStringView Line, qsizetype Column)
{
    if (!HotSpot.Active || HotSpot.BeginChar.isNull() || Column < 0)
        return false;
    for (qsizetype i = Column; i < Line.size(); ++i) {
        if (Line[i] == HotSpot.EndChar)
            return true;
        if (Line[i] == HotSpot.BeginChar)
            return false;
    }
    return false;
}

QString HotSpotText(const THotSpot &HotSpot, QStringView Line, qsizetype Column)
{
    const qsizetype end = Line.indexOf(HotSpot.EndChar, Column);
    if (end < 0)
        return {};
    const qsizetype begin = Column > 0 ? Line.lastIndexOf(HotSpot.BeginChar, Column - 1) : -1;
    return Line.sliced(begin + 1, end - begin - 1).toString();
}

} // namespace tarn
