#pragma once

// Taking apart the lines of a remote directory listing, and the orders of the two list views.
// Byte strings throughout: a "blank" is the space character only, and only the letters a to z
// change case.

#include <string>
#include <string_view>

namespace tarn {

// The kind of server, from its SYST reply; it decides how listing lines are read.
enum TServerKind { skOther = 0, skWindowsNT = 1, skOS400 = 2 };

// skOS400 when the upper-cased reply holds "OS/400" anywhere, else skWindowsNT when it holds
// "WINDOWS_NT", else skOther. The whole reply line counts, code included.
TServerKind ClassifyServer(std::string_view Reply);

// Word N (from 0) of a line whose runs of blanks count as one blank. A word is returned only
// when a blank follows it, so the last word of a line is never returned; a line that begins
// with a blank has an empty word 0. "" when there is no such word.
std::string ListWord(std::string_view Line, int N);

// The name in a listing line: the line cut before a "->" (the target of a link goes), trailing
// blanks removed, then the text after the last blank (the whole text when there is none).
std::string ListName(std::string_view Line);

// Deletes the first character of the first occurrence of the two-character Pattern: the first
// "//" becomes "/". Later occurrences stay.
std::string CollapseFirst(std::string_view Text, std::string_view Pattern);

// One listing line taken apart. For a directory, Size holds its type or size text.
struct TListLine
{
    std::string Name;
    bool Directory = false;
    std::string Date;
    std::string Size;
    bool Valid = false;
};

// Reads one line as the kind of server writes it:
// - skOther, "ls -l" style: a line starting with 'd' or 'l' is a directory (a link is listed
//   as a directory under its own name), '-' or 'f' a file, anything else ("total 12") is not
//   valid. Size is word 4 and the date words 5 to 7, one word further left when word 1 begins
//   with '[' (a bracketed rights field).
// - skWindowsNT, DOS style: a directory when word 2 is "<DIR>"; Size word 2, Date words 0 and 1.
// - skOS400: owner, size, date, time, type, name; a directory when the type (word 4) is *LIB,
//   *DIR, *DDIR or *FLR, and then Size holds the type; otherwise Size is word 1.
// A line that is empty or holds no blank (after its trailing blanks), or whose name is empty
// (nothing but blanks before a "->"), has no name and is not valid, whatever the kind.
TListLine ParseListLine(TServerKind Kind, std::string_view Line);

// Compares two texts with the letters a to z upper-cased, byte by byte as unsigned values; a
// text that is a prefix of the other is smaller. -1, 0 or 1.
int CompareNoCase(std::string_view A, std::string_view B);

// Compares two size texts as ten-character numbers: each is prefixed with ten zeros and cut to
// its last ten characters, then compared as by CompareNoCase. So 9 orders before 10, and texts
// longer than ten characters compare on their last ten only.
int CompareSizeText(std::string_view A, std::string_view B);

// The key that CompareSizeText compares: the last ten characters of ten zeros and the text,
// upper-cased. Sorting many entries compares precomputed keys.
std::string SizeSortKey(std::string_view Text);

} // namespace tarn
