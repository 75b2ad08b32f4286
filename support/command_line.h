#pragma once

#include <string>
#include <vector>

namespace tarn {

// Splits a command line into words the way a POSIX shell does, without expansions:
// - blanks (space, tab, CR, LF) separate words and are dropped;
// - "double quotes" group, and inside them a backslash escapes only " \ $ and `;
// - 'single quotes' group literally;
// - outside quotes a backslash takes the next character literally.
// A quote left open runs to the end of the line instead of failing, so that a command the user
// typed with one quote too few still starts the program it names. "" yields an empty word.
std::vector<std::string> SplitCommandLine(const std::string &CommandLine);

// One word for a command line that SplitCommandLine gives back whole, blanks and quotes
// included: the word in single quotes, each single quote in it written as '\''.
std::string QuoteCommandWord(const std::string &Word);

} // namespace tarn
