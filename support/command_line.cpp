#include "support/command_line.h"

#include <string_view>

namespace tarn {

std::vector<std::string> SplitCommandLine(const std::string &CommandLine)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (size_t i = 0; i < CommandLine.size(); ++i) {
        const char c = CommandLine[i];
        if (quote == '\'') {
            if (c == '\'')
                quote = 0;
            else
                word += c;
        } else if (quote == '"') {
            if (c == '"') {
                quote = 0;
            } else if (c == '\\' && i + 1 < CommandLine.size() &&
                       std::string_view("\"\\$`").find(CommandLine[i + 1]) !=
                           std::string_view::npos) {
                word += CommandLine[++i];
            } else {
                word += c;
            }
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            inWord = true;
            if (c == '"' || c == '\'')
                quote = c;
            else if (c == '\\' && i + 1 < CommandLine.size())
                word += CommandLine[++i];
            else
                word += c;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

std::string QuoteCommandWord(const std::string &Word)
{
    std::string quoted = "'";
    for (const char c : Word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

} // namespace tarn
