#pragma once

#include "support/draw_rules.h"
#include "support/hot_spot.h"
#include "support/key_descr.h"

#include <QString>
#include <QStringView>
#include <functional>
#include <span>
#include <vector>

namespace tarn {

// The colouring of a script editor without the window: given a piece of text, the rules, the hot
// spot and the editor's selection, Scan yields the coloured runs of that text.
//
//     TColorScanner scanner;
//     const auto &runs = scanner.Scan(text, rules, hotSpot, {}, {});
//     for (const TKeyDescr &run : runs) ...   // Start..End in text, Color, Priority, Keyword
//
// The text is what the editor shows from the first line it reads to the last visible one,
// lines separated by CR LF. Ranges come from, in this order: hot spots, tabs (when the editor
// takes tabs), the enabled rules in list order, the selection. Each is laid over the characters
// it covers and wins where its priority is at least the one already there. The result is cut
// into runs of equal colour, priority and keyword flag, in text order; characters no range
// covers are in no run. Runs of SelectionPriority and TabPriority are meant to be left alone.
//
// The scanner keeps its buffers between calls (they only grow), so one scanner per editor.
class TColorScanner
{
public:
    // Supplies the ranges of a dtEventDraw rule. FromPos is the text being coloured; the handler
    // writes up to A.size() descriptors (Start and End counted in FromPos) and sets ItemsCount.
    // A descriptor with a Priority of 0 gets the rule's ZOrder. Counts beyond A.size(), free
    // descriptors and ranges outside the text are dropped.
    using TDrawEvent = std::function<void(const TColorRule *Sender, QStringView FromPos,
                                          std::span<TKeyDescr> A, int &ItemsCount)>;

    // What the editor adds to the rules: its selection (characters SelStart to SelEnd - 1 of the
    // text; empty when equal) and whether it takes tab characters as text.
    struct TEditorState
    {
        qsizetype SelStart = 0;
        qsizetype SelEnd = 0;
        bool WantTabs = false;
    };

    // The number of descriptors handed to OnDraw (0: dtEventDraw rules make nothing).
    int ColorLimMax() const { return int(FDrawArray.size()); }
    void SetColorLimMax(int Count);

    // The runs of Text; valid until the next Scan.
    const std::vector<TKeyDescr> &Scan(QStringView Text, const TDrawRules &Rules,
                                       const THotSpot &HotSpot, const TEditorState &Editor,
                                       const TDrawEvent &OnDraw);

private:
    void AddHotSpots(QStringView Text, const THotSpot &HotSpot);
    void AddTabs(QStringView Text);
    void AddKeywords(QStringView Text, const TColorRule &Rule);
    void AddMarkerRanges(QStringView Text, const TColorRule &Rule, bool ToLineEnd);
    void AddEventRanges(QStringView Text, const TColorRule &Rule, const TDrawEvent &OnDraw);
    void Add(qsizetype Start, qsizetype End, TColor Color, std::uint8_t Priority, bool Keyword);
    void Merge(qsizetype Length);

    // What the merge records for one character.
    struct TCell
    {
        TColor Color;
        std::uint8_t Priority;
        bool Keyword;
        bool Covered;
    };

    std::vector<TKeyDescr> FDescr;
    std::vector<TKeyDescr> FRuns;
    std::vector<TCell> FMap;
    std::vector<TKeyDescr> FDrawArray;
    std::vector<qsizetype> FNextMarker;
    QString FUpperText;
    bool FUpperValid = false;
};

} // namespace tarn
