#pragma once

#include <QString>
#include <string>

namespace tarn {

// The conversions at the edge between Tarn's byte strings (local 8-bit encoding) and Qt's
// widgets.
inline QString FromLocal(const std::string &text)
{
    return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
}

inline std::string ToLocal(const QString &text)
{
    return text.toLocal8Bit().toStdString();
}

} // namespace tarn
