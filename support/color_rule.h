#pragma once

#include "support/color.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace tarn {

// The kinds of colouring rule, in their stored order: keywords, ranges supplied by the editor's
// OnDraw event, text between a begin and an end marker, text from a marker to the end of its line.
enum TKeyDrawingType { dtKeyShow, dtEventDraw, dtBeginEnd, dtBeginLineEnd };

// One colouring rule of a script editor. The rule's kind picks which of its three line lists it
// uses; each list is read into a prepared form as soon as it, KeyCase or DefKeyColor is set, so
// the prepared forms always follow the current values.
//
// Keywords: one keyword per line, optionally followed by ";" and a colour (ParseColor; a blank
// colour means DefKeyColor), as in "SEND;RED". The word is trimmed; blank lines and blank words
// add nothing. Unless KeyCase, words are upper-cased and matched without regard to case. A
// keyword counts only where the characters before and after it are not letters, unless PartWord:
// letters are "A" to "Z", "a" to "z" and "@"; digits, "_" and all else separate words.
//
// KeyBegEndLst: "begin;end;colour" lines, markers of up to six characters, as in "/*;*/;GREEN".
// A line gives an entry when it has a begin marker before its first ";" and an end marker after
// it (without a second ";" the rest of the line is the end marker).
//
// KeyLineEndLst: "marker;colour" lines, the marker up to six characters and running to the end of
// its line, as in "//;GRAY". A line that starts with ";;" has the marker ";" (";;RED"); a line
// that starts with a single ";" or has none is a marker of its own, in DefKeyColor.
//
// Marker entries are tried in line order up to the first line that gives none (an empty line,
// say): lines after it are not used.
class TColorRule
{
public:
    struct TKeyword
    {
        QString Word; // as searched: upper-cased unless KeyCase
        TColor Color;
    };
    struct TMarker
    {
        QString Begin; // the begin marker, or the start marker of a line-end rule
        QString End;   // empty for a line-end rule
        TColor Color;
    };

    // Priority of this rule's ranges; where ranges overlap the higher wins, on equal priority
    // the later one (rules later in the list come later).
    std::uint8_t ZOrder = 0;
    // For the first rule of an editor: how many lines from the first visible one upwards the
    // editor reads when it colours (1: from the first visible line), so that a marker range that
    // begins above the visible text is still seen.
    int KeyMaxHeight = 1;
    TKeyDrawingType KeyDrawingType = dtBeginEnd;
    bool Enabled = true;
    bool PartWord = false;
    // Kept with the rule for whoever configures it; colouring does not use them.
    QString IntChar;
    TColor KeySelColor = ColorYellow;
    TColor KeyBrushColor = SystemWindowColor;

    const QStringList &Keywords() const { return FKeywords; }
    void SetKeywords(const QStringList &Lines);
    const QStringList &KeyBegEndLst() const { return FKeyBegEndLst; }
    void SetKeyBegEndLst(const QStringList &Lines);
    const QStringList &KeyLineEndLst() const { return FKeyLineEndLst; }
    void SetKeyLineEndLst(const QStringList &Lines);
    bool KeyCase() const { return FKeyCase; }
    void SetKeyCase(bool KeyCase);
    TColor DefKeyColor() const { return FDefKeyColor; }
    void SetDefKeyColor(TColor Color);

    // The prepared forms: the keywords in list order, and the usable marker entries of each list.
    const std::vector<TKeyword> &KeywordList() const { return FKeywordList; }
    const std::vector<TMarker> &BeginEndMarkers() const { return FBeginEndMarkers; }
    const std::vector<TMarker> &LineEndMarkers() const { return FLineEndMarkers; }

private:
    void PrepareKeywords();
    void PrepareBeginEnd();
    void PrepareLineEnd();

    QStringList FKeywords;
    QStringList FKeyBegEndLst;
    QStringList FKeyLineEndLst;
    bool FKeyCase = false;
    TColor FDefKeyColor = ColorRed;
    std::vector<TKeyword> FKeywordList;
    std::vector<TMarker> FBeginEndMarkers;
    std::vector<TMarker> FLineEndMarkers;
};

} // namespace tarn
