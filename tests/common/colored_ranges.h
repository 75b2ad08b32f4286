#pragma once

#include <QColor>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <utility>
#include <vector>

namespace tarn {

// The ranges of one line of an editor drawn in Colour by its highlighter, as (start, length):
// what a person sees coloured, read back from the layout the highlighter filled.
inline std::vector<std::pair<int, int>> ColoredRanges(const QPlainTextEdit &Editor, int Line,
                                                      const QColor &Colour)
{
    std::vector<std::pair<int, int>> ranges;
    const QTextBlock block = Editor.document()->findBlockByNumber(Line);
    for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
        if (range.format.foreground().color() == Colour)
            ranges.emplace_back(range.start, range.length);
    }
    return ranges;
}

} // namespace tarn
