#include "support/ascii_text.h"

namespace tarn {

QString UpperAscii(QStringView Text)
{
    QString result(Text.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(result.data());
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const char16_t c = Text[i].unicode();
        out[i] = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
    }
    return result;
}

QStringView TrimControls(QStringView Text)
{
    qsizetype begin = 0;
    qsizetype end = Text.size();
    while (begin < end && Text[begin].unicode() <= 32)
        ++begin;
    while (end > begin && Text[end - 1].unicode() <= 32)
        --end;
    return Text.sliced(begin, end - begin);
}

} // namespace tarn
