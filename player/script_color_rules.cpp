#include "player/script_color_rules.h"

#include <QStringList>

namespace tarn {

TDrawRules ScriptColorRules(std::span<const std::string_view> Keywords)
{
    QStringList lines;
    for (std::string_view word : Keywords)
        lines.append(QString::fromLatin1(word.data(), qsizetype(word.size())));
    TDrawRules rules;
    TColorRule &rule = rules.Add();
    rule.KeyDrawingType = dtKeyShow;
    rule.SetDefKeyColor(ColorBlue);
    rule.SetKeywords(lines);
    return rules;
}

} // namespace tarn
