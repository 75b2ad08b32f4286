#include "support/color_rule.h"

#include "support/text.h"

namespace tarn {

namespace {

constexpr qsizetype MarkerLength = 6;

} // namespace

void TColorRule::SetKeywords(const QStringList &Lines)
{
    FKeywords = Lines;
    PrepareKeywords();
}

void TColorRule::SetKeyBegEndLst(const QStringList &Lines)
{
    FKeyBegEndLst = Lines;
    PrepareBeginEnd();
}

void TColorRule::SetKeyLineEndLst(const QStringList &Lines)
{
    FKeyLineEndLst = Lines;
    PrepareLineEnd();
}

void TColorRule::SetKeyCase(bool KeyCase)
{
    FKeyCase = KeyCase;
    PrepareKeywords();
}

void TColorRule::SetDefKeyColor(TColor Color)
{
    FDefKeyColor = Color;
    PrepareKeywords();
    PrepareBeginEnd();
    PrepareLineEnd();
}

void TColorRule::PrepareKeywords()
{
    FKeywordList.clear();
    for (const QString &line : FKeywords) {
        const qsizetype semicolon = line.indexOf(u';');
        const QStringView word = Trim(QStringView(line).left(semicolon), tsControls);
        if (word.isEmpty())
            continue;
        const QStringView colorText =
            semicolon < 0 ? QStringView() : QStringView(line).sliced(semicolon + 1);
        const TColor color =
            Trim(colorText, tsControls).isEmpty() ? FDefKeyColor : ParseColor(colorText);
        FKeywordList.push_back({FKeyCase ? word.toString() : UpperCaseAscii(word), color});
    }
}

void TColorRule::PrepareBeginEnd()
{
    FBeginEndMarkers.clear();
    for (const QString &line : FKeyBegEndLst) {
        const QStringView text = line;
        const qsizetype first = text.indexOf(u';');
        const qsizetype second = first < 0 ? -1 : text.indexOf(u';', first + 1);
        const QStringView end =
            second < 0 ? text.sliced(first + 1) : text.sliced(first + 1, second - first - 1);
        // A missing begin or end marker makes an empty entry, which ends the table.
        if (first < 1 || end.isEmpty())
            break;
        const QStringView colorText = second < 0 ? QStringView() : text.sliced(second + 1);
        const TColor color =
            Trim(colorText, tsControls).isEmpty() ? FDefKeyColor : ParseColor(colorText);
        FBeginEndMarkers.push_back({text.left(first).left(MarkerLength).toString(),
                                    end.left(MarkerLength).toString(), color});
    }
}

void TColorRule::PrepareLineEnd()
{
    FLineEndMarkers.clear();
    for (const QString &line : FKeyLineEndLst) {
        if (line.isEmpty())
            break;
        const QStringView text = line;
        QStringView marker = text;
        QStringView colorText;
        if (text.startsWith(u";;")) {
            marker = text.first(1);
            colorText = text.sliced(2);
        } else if (const qsizetype first = text.indexOf(u';'); first > 0) {
            marker = text.first(first);
            colorText = text.sliced(first + 1);
        }
        const TColor color =
            Trim(colorText, tsControls).isEmpty() ? FDefKeyColor : ParseColor(colorText);
        FLineEndMarkers.push_back({marker.left(MarkerLength).toString(), QString(), color});
    }
}

} // namespace tarn
