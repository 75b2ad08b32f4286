#include "support/color_scanner.h"

#include "support/text.h"

#include <algorithm>

namespace tarn {

namespace {

constexpr qsizetype NotFound = -1;
constexpr qsizetype NotSearched = -2;

bool IsLineBreak(QChar C)
{
    return C == u'\r' || C == u'\n';
}

// Keywords count between characters that are not letters. Letters are codes 64 to 90 ("@" and
// "A" to "Z") and 97 to 122 ("a" to "z"): digits, "_" and everything else separate words.
bool IsWordLetter(QChar C)
{
    const char16_t u = C.unicode();
    return (u >= 64 && u <= 90) || (u >= 97 && u <= 122);
}

} // namespace

void TColorScanner::SetColorLimMax(int Count)
{
    FDrawArray.assign(size_t(std::max(Count, 0)), TKeyDescr{});
}

const std::vector<TKeyDescr> &TColorScanner::Scan(QStringView Text, const TDrawRules &Rules,
                                                  const THotSpot &HotSpot,
                                                  const TEditorState &Editor,
                                                  const TDrawEvent &OnDraw)
{
    FDescr.clear();
    FUpperValid = false;
    if (HotSpot.Active && !HotSpot.BeginChar.isNull())
        AddHotSpots(Text, HotSpot);
    if (Editor.WantTabs)
        AddTabs(Text);
    for (const TColorRule &rule : Rules) {
        if (!rule.Enabled)
            continue;
        switch (rule.KeyDrawingType) {
        case dtKeyShow:
            AddKeywords(Text, rule);
            break;
        case dtEventDraw:
            AddEventRanges(Text, rule, OnDraw);
            break;
        case dtBeginEnd:
            AddMarkerRanges(Text, rule, false);
            break;
        case dtBeginLineEnd:
            AddMarkerRanges(Text, rule, true);
            break;
        }
    }
    if (Editor.SelEnd > Editor.SelStart)
        Add(Editor.SelStart, Editor.SelEnd - 1, SystemWindowTextColor, SelectionPriority, false);
    Merge(Text.size());
    return FRuns;
}

void TColorScanner::Add(qsizetype Start, qsizetype End, TColor Color, std::uint8_t Priority,
                        bool Keyword)
{
    FDescr.push_back({std::int32_t(Start), std::int32_t(End), Color, Priority, Keyword});
}

void TColorScanner::AddHotSpots(QStringView Text, const THotSpot &HotSpot)
{
    qsizetype from = 0;
    for (;;) {
        const qsizetype begin = Text.indexOf(HotSpot.BeginChar, from);
        if (begin < 0)
            return;
        const qsizetype end = Text.indexOf(HotSpot.EndChar, begin + 1);
        if (end < 0)
            return;
        Add(begin, begin, HotSpot.MarkerColor, HotSpotMarkerPriority, false);
        if (end > begin + 1)
            Add(begin + 1, end - 1, HotSpot.Color, HotSpotTextPriority, false);
        Add(end, end, HotSpot.MarkerColor, HotSpotMarkerPriority, false);
        from = end + 1;
    }
}

void TColorScanner::AddTabs(QStringView Text)
{
    for (qsizetype at = Text.indexOf(u'\t'); at >= 0; at = Text.indexOf(u'\t', at + 1))
        Add(at, at, SystemWindowColor, TabPriority, false);
}

void TColorScanner::AddKeywords(QStringView Text, const TColorRule &Rule)
{
    QStringView searched = Text;
    if (!Rule.KeyCase()) {
        // One upper-cased copy serves every case-insensitive rule of this scan.
        if (!FUpperValid) {
            FUpperText = UpperCaseAscii(Text);
            FUpperValid = true;
        }
        searched = FUpperText;
    }
    const auto letterAt = [&](qsizetype At) {
        return At >= 0 && At < searched.size() && IsWordLetter(searched[At]);
    };
    for (const TColorRule::TKeyword &keyword : Rule.KeywordList()) {
        const qsizetype length = keyword.Word.size();
        // Occurrences do not overlap: the search goes on after each one, counted or not.
        for (qsizetype at = searched.indexOf(keyword.Word); at >= 0;
             at = searched.indexOf(keyword.Word, at + length)) {
            if (Rule.PartWord || (!letterAt(at - 1) && !letterAt(at + length)))
                Add(at, at + length - 1, keyword.Color, Rule.ZOrder, true);
        }
    }
}

void TColorScanner::AddMarkerRanges(QStringView Text, const TColorRule &Rule, bool ToLineEnd)
{
    const std::vector<TColorRule::TMarker> &markers =
        ToLineEnd ? Rule.LineEndMarkers() : Rule.BeginEndMarkers();
    if (markers.empty())
        return;
    // The next occurrence of each begin marker, searched again only once the scan passes it.
    FNextMarker.assign(markers.size(), NotSearched);
    qsizetype from = 0;
    while (from < Text.size()) {
        qsizetype begin = NotFound;
        size_t entry = 0;
        for (size_t i = 0; i < markers.size(); ++i) {
            qsizetype &next = FNextMarker[i];
            if (next == NotFound)
                continue;
            if (next < from)
                next = Text.indexOf(markers[i].Begin, from);
            // On a tie the earlier entry keeps the place.
            if (next >= 0 && (begin < 0 || next < begin)) {
                begin = next;
                entry = i;
            }
        }
        if (begin < 0)
            return;
        const TColorRule::TMarker &marker = markers[entry];
        if (ToLineEnd) {
            qsizetype end = begin + marker.Begin.size();
            while (end < Text.size() && !IsLineBreak(Text[end]))
                ++end;
            Add(begin, end - 1, marker.Color, Rule.ZOrder, false);
            from = end;
        } else {
            const qsizetype end = Text.indexOf(marker.End, begin + marker.Begin.size());
            // A begin marker without its end marker ends the rule.
            if (end < 0)
                return;
            Add(begin, end + marker.End.size() - 1, marker.Color, Rule.ZOrder, false);
            from = end + 1;
        }
    }
}

void TColorScanner::AddEventRanges(QStringView Text, const TColorRule &Rule,
                                   const TDrawEvent &OnDraw)
{
    if (!OnDraw || FDrawArray.empty())
        return;
    std::fill(FDrawArray.begin(), FDrawArray.end(), TKeyDescr{});
    int count = 0;
    OnDraw(&Rule, Text, std::span<TKeyDescr>(FDrawArray), count);
    count = std::clamp(count, 0, int(FDrawArray.size()));
    for (int i = 0; i < count; ++i) {
        const TKeyDescr &d = FDrawArray[size_t(i)];
        if (d.Start == TKeyDescr::FreeStart || d.Start < 0 || d.Start > d.End ||
            d.Start >= Text.size())
            continue;
        Add(d.Start, std::min<qsizetype>(d.End, Text.size() - 1), d.Color,
            d.Priority ? d.Priority : Rule.ZOrder, false);
    }
}

void TColorScanner::Merge(qsizetype Length)
{
    FMap.assign(size_t(Length), TCell{0, 0, false, false});
    for (const TKeyDescr &d : FDescr) {
        const qsizetype last = std::min<qsizetype>(d.End, Length - 1);
        for (qsizetype i = std::max<qsizetype>(d.Start, 0); i <= last; ++i) {
            TCell &cell = FMap[size_t(i)];
            if (!cell.Covered || d.Priority >= cell.Priority)
                cell = {d.Color, d.Priority, d.Keyword, true};
        }
    }
    FRuns.clear();
    for (qsizetype i = 0; i < Length;) {
        const TCell &cell = FMap[size_t(i)];
        qsizetype end = i + 1;
        if (!cell.Covered) {
            i = end;
            continue;
        }
        while (end < Length) {
            const TCell &next = FMap[size_t(end)];
            if (!next.Covered || next.Color != cell.Color || next.Priority != cell.Priority ||
                next.Keyword != cell.Keyword)
                break;
            ++end;
        }
        FRuns.push_back(
            {std::int32_t(i), std::int32_t(end - 1), cell.Color, cell.Priority, cell.Keyword});
        i = end;
    }
}

} // namespace tarn
