#pragma once

// Reading and writing the client's text files (listings, library lists, saved logs) as lines.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// The whole content of a file; nothing when it cannot be opened.
std::optional<std::string> ReadWholeFile(const std::string &FileName);

// Writes Lines, each followed by CR LF, replacing the file. The lines go to a new file beside
// it that takes the file's name only once complete, so a failed write leaves the old file as
// it was (in a folder where no new file can be made, the file is written in place). Nothing
// when the file was written, else the reason.
std::optional<std::string> WriteLines(const std::string &FileName,
                                      const std::vector<std::string> &Lines);

// Calls Take(std::string_view) with each line of Text, in order; CR LF, LF and CR all end a
// line, and a last line without an end counts too.
template <typename TTake> void ForEachLine(std::string_view Text, TTake Take)
{
    std::size_t start = 0;
    while (start < Text.size()) {
        const std::size_t end = Text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            Take(Text.substr(start));
            return;
        }
        Take(Text.substr(start, end - start));
        start = end + 1;
        if (Text[end] == '\r' && start < Text.size() && Text[start] == '\n')
            ++start;
    }
}

} // namespace tarn
