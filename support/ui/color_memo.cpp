#include "support/ui/color_memo.h"

#include <QAbstractTextDocumentLayout>
#include <QMouseEvent>
#include <QPalette>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>

namespace tarn {

TColorMemo::TColorMemo(QWidget *Parent) : QPlainTextEdit(Parent)
{
    connect(document(), &QTextDocument::contentsChange, this, [this] { ScheduleRecolor(); });
    connect(this, &QPlainTextEdit::selectionChanged, this, [this] { ScheduleRecolor(); });
}

void TColorMemo::SetColorRules(const TDrawRules &Rules)
{
    FColorRules = Rules;
    ScheduleRecolor();
}

void TColorMemo::SetHotSpot(const THotSpot &HotSpot)
{
    FHotSpot = HotSpot;
    viewport()->setMouseTracking(FHotSpot.Active);
    if (FHandShown && !FHotSpot.Active) {
        viewport()->setCursor(FCursorBeforeHand);
        FHandShown = false;
    }
    ScheduleRecolor();
}

void TColorMemo::SetColorLimMax(int Count)
{
    FScanner.SetColorLimMax(Count);
    ScheduleRecolor();
}

void TColorMemo::ScheduleRecolor()
{
    if (FRecolorPending)
        return;
    FRecolorPending = true;
    // Queued so that a burst of changes is coloured once, after the editor has laid out the new
    // text, and before the paint that the change has asked for.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (FRecolorPending)
                Recolor();
        },
        Qt::QueuedConnection);
}

void TColorMemo::Recolor()
{
    FRecolorPending = false;
    FLines.clear();
    FText.clear();
    const QTextBlock first = firstVisibleBlock();
    FColoredTop = first.blockNumber();
    FColoredHeight = viewport()->height();
    if (!first.isValid())
        return;

    // The lines read: KeyMaxHeight - 1 lines above the first visible one, so that a range
    // beginning there is seen, down to the last line that shows.
    const int above = FColorRules.Count() > 0 ? std::max(FColorRules[0].KeyMaxHeight, 1) - 1 : 0;
    QTextBlock block = first;
    size_t linesAbove = 0;
    for (; linesAbove < size_t(above) && block.previous().isValid(); ++linesAbove)
        block = block.previous();
    const QPointF offset = contentOffset();
    for (; block.isValid(); block = block.next()) {
        if (FLines.size() > linesAbove &&
            blockBoundingGeometry(block).translated(offset).top() >= FColoredHeight)
            break;
        if (!FLines.empty())
            FText += u"\r\n";
        const QString text = block.text();
        FLines.push_back({block, FText.size(), text.size()});
        FText += text;
    }

    TColorScanner::TEditorState editor;
    editor.WantTabs = !tabChangesFocus();
    const QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        editor.SelStart = TextIndex(cursor.selectionStart());
        editor.SelEnd = TextIndex(cursor.selectionEnd());
    }
    const std::vector<TKeyDescr> &runs =
        FScanner.Scan(FText, FColorRules, FHotSpot, editor, OnDraw);

    // Runs are in text order and do not overlap; one may span several lines.
    size_t next = 0;
    for (size_t i = linesAbove; i < FLines.size(); ++i) {
        const TLine &line = FLines[i];
        const qsizetype lineEnd = line.Start + line.Length;
        while (next < runs.size() && runs[next].End < line.Start)
            ++next;
        QList<QTextLayout::FormatRange> formats;
        for (size_t r = next; r < runs.size() && runs[r].Start < lineEnd; ++r) {
            if (runs[r].Priority >= SelectionPriority)
                continue;
            const qsizetype from = std::max<qsizetype>(runs[r].Start, line.Start);
            const qsizetype to = std::min<qsizetype>(runs[r].End + 1, lineEnd);
            if (to > from)
                formats.append({int(from - line.Start), int(to - from), RunFormat(runs[r])});
        }
        QTextLayout *layout = line.Block.layout();
        if (layout->formats() == formats)
            continue;
        layout->setFormats(formats);
        // New formats drop the line's layout, so the document lays the line out again. It
        // would then repaint the whole view; colours leave every size as it was, so its signals
        // are held back and only this line is repainted.
        {
            const QSignalBlocker quiet(document()->documentLayout());
            document()->markContentsDirty(line.Block.position(), line.Block.length());
        }
        viewport()->update(blockBoundingGeometry(line.Block).translated(offset).toAlignedRect());
    }
}

qsizetype TColorMemo::TextIndex(int Position) const
{
    const TLine &firstLine = FLines.front();
    const TLine &lastLine = FLines.back();
    if (Position < firstLine.Block.position())
        return 0;
    if (Position > lastLine.Block.position() + lastLine.Length)
        return FText.size();
    const QTextBlock block = document()->findBlock(Position);
    const TLine &line = FLines[size_t(block.blockNumber() - firstLine.Block.blockNumber())];
    return line.Start + (Position - block.position());
}

QTextCharFormat TColorMemo::RunFormat(const TKeyDescr &Run) const
{
    QTextCharFormat format;
    if (Run.Priority == HotSpotMarkerPriority) {
        format.setBackground(ToQColor(Run.Color));
        return format;
    }
    format.setForeground(ToQColor(Run.Color));
    if (Run.Priority == HotSpotTextPriority && FHotSpot.Underlined)
        format.setFontUnderline(true);
    return format;
}

QColor TColorMemo::ToQColor(TColor Color) const
{
    if (IsSystemColor(Color))
        return palette().color(Color == SystemWindowColor ? QPalette::Base : QPalette::Text);
    return QColor(int(Color & 0xFF), int((Color >> 8) & 0xFF), int((Color >> 16) & 0xFF));
}

void TColorMemo::paintEvent(QPaintEvent *Event)
{
    // Scrolling that did not pass scrollContentsBy, or a paint that came before the queued
    // colouring, still shows coloured lines.
    if (FRecolorPending || firstVisibleBlock().blockNumber() != FColoredTop ||
        viewport()->height() != FColoredHeight)
        Recolor();
    QPlainTextEdit::paintEvent(Event);
}

void TColorMemo::resizeEvent(QResizeEvent *Event)
{
    QPlainTextEdit::resizeEvent(Event);
    ScheduleRecolor();
}

void TColorMemo::showEvent(QShowEvent *Event)
{
    QPlainTextEdit::showEvent(Event);
    ScheduleRecolor();
}

void TColorMemo::changeEvent(QEvent *Event)
{
    QPlainTextEdit::changeEvent(Event);
    if (Event->type() == QEvent::FontChange || Event->type() == QEvent::PaletteChange)
        ScheduleRecolor();
}

void TColorMemo::scrollContentsBy(int Dx, int Dy)
{
    QPlainTextEdit::scrollContentsBy(Dx, Dy);
    if (Dy != 0 && OnVScroll)
        OnVScroll(this);
    if (Dx != 0 && OnHScroll)
        OnHScroll(this);
    ScheduleRecolor();
}

bool TColorMemo::HotSpotAt(const QPoint &Position, QTextBlock &Block, int &Column) const
{
    if (!FHotSpot.Active)
        return false;
    Block = cursorForPosition(Position).block();
    const QPointF inBlock =
        QPointF(Position) - blockBoundingGeometry(Block).translated(contentOffset()).topLeft();
    const QTextLayout *layout = Block.layout();
    for (int i = 0; i < layout->lineCount(); ++i) {
        const QTextLine line = layout->lineAt(i);
        if (inBlock.y() >= line.y() && inBlock.y() < line.y() + line.height()) {
            Column = line.xToCursor(inBlock.x(), QTextLine::CursorOnCharacter);
            return OverHotSpot(FHotSpot, Block.text(), Column);
        }
    }
    return false;
}

void TColorMemo::mouseMoveEvent(QMouseEvent *Event)
{
    QPlainTextEdit::mouseMoveEvent(Event);
    QTextBlock block;
    int column = 0;
    const bool over = HotSpotAt(Event->position().toPoint(), block, column);
    if (over == FHandShown)
        return;
    if (over) {
        FCursorBeforeHand = viewport()->cursor();
        viewport()->setCursor(Qt::PointingHandCursor);
    } else {
        viewport()->setCursor(FCursorBeforeHand);
    }
    FHandShown = over;
}

void TColorMemo::mouseReleaseEvent(QMouseEvent *Event)
{
    QPlainTextEdit::mouseReleaseEvent(Event);
    QTextBlock block;
    int column = 0;
    if (Event->button() == Qt::LeftButton && OnHotSpotClick &&
        HotSpotAt(Event->position().toPoint(), block, column))
        OnHotSpotClick(this, HotSpotText(FHotSpot, block.text(), column));
}

} // namespace tarn
