#include "client/list_parse.h"

#include "support/text.h"

#include <algorithm>
#include <vector>

namespace tarn {

namespace {

// Takes the word that starts at At and moves At past the blanks after it. Runs of blanks count
// as one blank, a line that begins with a blank has an empty first word, and a word counts
// only when a blank follows it: false when none does.
bool NextWord(std::string_view Line, std::size_t &At, std::string_view &Word)
{
    const std::size_t blank = Line.find(' ', At);
    if (blank == std::string_view::npos)
        return false;
    Word = Line.substr(At, blank - At);
    At = std::min(Line.find_first_not_of(' ', blank), Line.size());
    return true;
}

// The words of one line, found in one pass without copying. Listing lines need no word past
// the eighth.
class TListWords
{
public:
    explicit TListWords(std::string_view Line)
    {
        std::size_t at = 0;
        while (FCount < MaxWords && NextWord(Line, at, FWords[FCount]))
            ++FCount;
    }

    std::string_view Word(int N) const
    {
        return N >= 0 && N < FCount ? FWords[N] : std::string_view();
    }

private:
    static constexpr int MaxWords = 8;
    std::string_view FWords[MaxWords];
    int FCount = 0;
};

// Words joined by single blanks.
std::string JoinWords(std::initializer_list<std::string_view> Words)
{
    std::string joined;
    for (const std::string_view &word : Words) {
        if (&word != Words.begin())
            joined += ' ';
        joined += word;
    }
    return joined;
}

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
    std::size_t at = 0;
    std::string_view word;
    for (int i = 0; i <= N; ++i) {
        if (!NextWord(Line, at, word))
            return {};
    }
    return std::string(word);
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
    if (entry.Name.empty())
        return entry; // nothing before an arrow ("-> x"): no name to show or fetch
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
            JoinWords({words.Word(5 - shift), words.Word(6 - shift), words.Word(7 - shift)});
        entry.Valid = true;
        break;
    }
    case skWindowsNT:
        entry.Size = words.Word(2);
        entry.Directory = entry.Size == "<DIR>";
        entry.Date = JoinWords({words.Word(0), words.Word(1)});
        entry.Valid = !entry.Name.starts_with(' ');
        break;
    case skOS400: {
        const std::string_view type = words.Word(4);
        entry.Directory = type == "*LIB" || type == "*DIR" || type == "*DDIR" || type == "*FLR";
        entry.Size = entry.Directory ? type : words.Word(1);
        entry.Date = JoinWords({words.Word(2), words.Word(3)});
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
