#include "client/list_parse.h"

#include "support/text.h"

#include <algorithm>
#include <vector>

namespace tarn {

namespace {

// A line with its runs of blanks folded to one blank, and where each blank stands, so that all
// the words of one line are found in one pass.
class TListWords
{
public:
    explicit TListWords(std::string_view Line)
    {
        FText.reserve(Line.size());
        for (const char c : Line) {
            if (c == ' ' && !FText.empty() && FText.back() == ' ')
                continue;
            if (c == ' ')
                FBlanks.push_back(FText.size());
            FText.push_back(c);
        }
    }

    std::string Word(int N) const
    {
        if (N < 0 || std::size_t(N) >= FBlanks.size())
            return {};
        const std::size_t start = N == 0 ? 0 : FBlanks[std::size_t(N) - 1] + 1;
        return FText.substr(start, FBlanks[std::size_t(N)] - start);
    }

private:
    std::string FText;
    std::vector<std::size_t> FBlanks;
};

char Upper(char C)
{
    return C >= 'a' && C <= 'z' ? char(C - 'a' + 'A') : C;
}

std::string_view WithoutTrailingBlanks(std::string_view Text)
{
    const std::size_t last = Text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : Text.substr(0, last + 1);
}

} // namespace

TServerKind ClassifyServer(std::string_view Reply)
{
    const std::string upper = UpperCaseAscii(Reply);
    if (upper.find("OS/400") != std::string::npos)
        return skOS400;
    if (upper.find("WINDOWS_NT") != std::string::npos)
        return skWindowsNT;
    return skOther;
}

std::string ListWord(std::string_view Line, int N)
{
    return TListWords(Line).Word(N);
}

std::string ListName(std::string_view Line)
{
    const std::size_t arrow = Line.find("->");
    const std::string_view text =
        WithoutTrailingBlanks(arrow == std::string_view::npos ? Line : Line.substr(0, arrow));
    const std::size_t blank = text.rfind(' ');
    return std::string(blank == std::string_view::npos ? text : text.substr(blank + 1));
}

std::string CollapseFirst(std::string_view Text, std::string_view Pattern)
{
    std::string result(Text);
    const std::size_t at = result.find(Pattern);
    if (Pattern.size() == 2 && at != std::string::npos)
        result.erase(at, 1);
    return result;
}

TListLine ParseListLine(TServerKind Kind, std::string_view Line)
{
    TListLine entry;
    const std::string_view trimmed = WithoutTrailingBlanks(Line);
    if (trimmed.find(' ') == std::string_view::npos)
        return entry; // empty, or a single word: there is no name field
    entry.Name = ListName(Line);
    const TListWords words(Line);
    switch (Kind) {
    case skOther: {
        const char kind = Line.front();
        if (kind == 'd' || kind == 'l')
            entry.Directory = true;
        else if (kind != '-' && kind != 'f')
            return entry;
        const int shift = words.Word(1).starts_with('[') ? 1 : 0;
        entry.Size = words.Word(4 - shift);
        entry.Date =
            words.Word(5 - shift) + " " + words.Word(6 - shift) + " " + words.Word(7 - shift);
        entry.Valid = true;
        break;
    }
    case skWindowsNT:
        entry.Size = words.Word(2);
        entry.Directory = entry.Size == "<DIR>";
        entry.Date = words.Word(0) + " " + words.Word(1);
        entry.Valid = !entry.Name.starts_with(' ');
        break;
    case skOS400: {
        const std::string type = words.Word(4);
        entry.Directory = type == "*LIB" || type == "*DIR" || type == "*DDIR" || type == "*FLR";
        entry.Size = entry.Directory ? type : words.Word(1);
        entry.Date = words.Word(2) + " " + words.Word(3);
        entry.Valid = !entry.Name.starts_with(' ');
        break;
    }
    }
    return entry;
}

int CompareNoCase(std::string_view A, std::string_view B)
{
    const std::size_t common = std::min(A.size(), B.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto a = static_cast<unsigned char>(Upper(A[i]));
        const auto b = static_cast<unsigned char>(Upper(B[i]));
        if (a != b)
            return a < b ? -1 : 1;
    }
    if (A.size() == B.size())
        return 0;
    return A.size() < B.size() ? -1 : 1;
}

std::string SizeSortKey(std::string_view Text)
{
    const std::string padded = "0000000000" + UpperCaseAscii(Text);
    return padded.substr(padded.size() - 10);
}

int CompareSizeText(std::string_view A, std::string_view B)
{
    return CompareNoCase(SizeSortKey(A), SizeSortKey(B));
}

} // namespace tarn
