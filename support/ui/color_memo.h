#pragma once

#include "support/color_scanner.h"

#include <QCursor>
#include <QPlainTextEdit>
#include <QString>
#include <QTextBlock>
#include <functional>
#include <vector>

namespace tarn {

// A plain-text editor that colours its text by an ordered list of colouring rules: a script
// view or script editor whose command words show in colour.
//
//     TColorMemo *Script = new TColorMemo(parent);
//     Script->SetColorRules(ScriptColorRules(ScriptKeywords));
//     Script->setPlainText(text);          // keywords turn blue before the next paint
//
// Only the lines on screen are coloured, from KeyMaxHeight - 1 lines above the first visible one
// (KeyMaxHeight of the first rule) down to the last line that shows, and the editor colours them
// again after every change of the text, the selection, scrolling or its size, before the next
// paint. Only lines whose colours changed are touched, so opening or typing in a long script
// costs no more than its visible part. The colours are the editor's own character formats
// (QTextLayout additional formats): a foreground colour, a background for hot-spot markers,
// underlining for hot-spot text. Selected characters and tabs keep the editor's own look.
//
// Setting ColorRules or HotSpot copies the given object. The text lives in the editor's own
// document; replacing the document with setDocument is not supported.
class TColorMemo : public QPlainTextEdit
{
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TColorMemo *Sender)>;
    using THotSpotClickEvent = std::function<void(TColorMemo *Sender, const QString &SRC)>;
    using TDrawEvent = TColorScanner::TDrawEvent;

    explicit TColorMemo(QWidget *Parent = nullptr);

    const TDrawRules &ColorRules() const { return FColorRules; }
    void SetColorRules(const TDrawRules &Rules);
    const THotSpot &HotSpot() const { return FHotSpot; }
    void SetHotSpot(const THotSpot &HotSpot);
    int ColorLimMax() const { return FScanner.ColorLimMax(); }
    void SetColorLimMax(int Count);

    // Called after the text scrolled, before it is coloured again.
    TNotifyEvent OnVScroll;
    TNotifyEvent OnHScroll;
    // Called with the text of a hot spot when the left button is released on it.
    THotSpotClickEvent OnHotSpotClick;
    // Supplies the ranges of dtEventDraw rules (see TColorScanner::TDrawEvent); set ColorLimMax
    // to the number of descriptors it may fill.
    TDrawEvent OnDraw;

protected:
    void paintEvent(QPaintEvent *Event) override;
    void resizeEvent(QResizeEvent *Event) override;
    void showEvent(QShowEvent *Event) override;
    void changeEvent(QEvent *Event) override;
    void scrollContentsBy(int Dx, int Dy) override;
    void mouseMoveEvent(QMouseEvent *Event) override;
    void mouseReleaseEvent(QMouseEvent *Event) override;

private:
    void ScheduleRecolor();
    void Recolor();
    qsizetype TextIndex(int Position) const;
    QTextCharFormat RunFormat(const TKeyDescr &Run) const;
    QColor ToQColor(TColor Color) const;
    bool HotSpotAt(const QPoint &Position, QTextBlock &Block, int &Column) const;

    // One line of the text being coloured: its block, and where and how long its text is in
    // FText.
    struct TLine
    {
        QTextBlock Block;
        qsizetype Start;
        qsizetype Length;
    };

    TDrawRules FColorRules;
    THotSpot FHotSpot;
    TColorScanner FScanner;
    QString FText;
    std::vector<TLine> FLines;
    // The first visible line and the viewport height when the lines were last coloured.
    int FColoredTop = -1;
    int FColoredHeight = -1;
    bool FRecolorPending = false;
    bool FHandShown = false;
    QCursor FCursorBeforeHand;
};

} // namespace tarn
