#pragma once

// Finds the lines of a script that are probably mistakes. A line whose first word is not a
// keyword is skipped when the script runs, so a typo in a keyword or a stray blank before one
// silently turns a command into a comment; this check names such lines before a run:
// - a first word one edit from a keyword (two edits for words longer than four letters),
//   such as RECIEVE;
// - a keyword line that starts with a blank or a tab, or that has a tab right after the keyword;
// - an ONERROR argument other than STOP or CONTINUE (an empty one is CONTINUE);
// - a two-name command whose double quotes do not give two names.

#include <cstddef>
#include <string>
#include <vector>

namespace tarn {

struct TScriptWarning
{
    std::size_t LineNumber; // counted from 1
    std::string Text;
};

std::vector<TScriptWarning> CheckScript(const std::vector<std::string> &Lines);

// The number of single-letter insertions, deletions, substitutions and swaps of two neighbours
// that turn A into B.
std::size_t EditDistance(const std::string &A, const std::string &B);

} // namespace tarn
