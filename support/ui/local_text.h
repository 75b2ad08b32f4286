#pragma once

#include <QString>
#include <string>

namespace tarn {

// The conversions at the edge between Tarn's byte strings (local 8-bit encoding) and Qt's
// widgets.
inline QString FromLocal(const std::string &Text)
{
    return QString::fromLocal8Bit(Text.data(), qsizetype(Text.size()));
}

inline std::string ToLocal(const QString &Text)
{
    return Text.toLocal8Bit().toStdString();
}

} // namespace tarn
