// A script file as the player reads it: split into lines, each line into keyword and argument,
// two-name arguments into their names, and the whole checked for likely mistakes. Checks:
// - no line holds CR, LF or NUL, and the lines are the text before its first NUL less its line
//   ends, in order;
// - a keyword holds no blank and no lower-case letter and is the line's start upper-cased; an
//   argument has no byte of 32 or less at either end;
// - a name pair exists exactly when the argument holds three double quotes, its names hold
//   none, and the first is the text between the first two;
// - every warning of the check names a line of the script.
#include "fuzz/fuzz_check.h"
#include "player/script_check.h"
#include "player/script_language.h"
#include "support/text.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    using namespace tarn;
    const std::string_view text(reinterpret_cast<const char *>(Data), Size);
    const std::vector<std::string> lines = SplitScriptText(text);

    std::string joined;
    for (const std::string &line : lines) {
        FUZZ_CHECK(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
        joined += line;
    }
    std::string expected(text.substr(0, text.find('\0')));
    std::erase_if(expected, [](char C) { return C == '\r' || C == '\n'; });
    FUZZ_CHECK(joined == expected);

    for (const std::string &line : lines) {
        const TScriptCommand command = SplitScriptLine(line);
        FUZZ_CHECK(command.Keyword.find(' ') == std::string::npos);
        FUZZ_CHECK(std::none_of(command.Keyword.begin(), command.Keyword.end(),
                                [](char C) { return C >= 'a' && C <= 'z'; }));
        if (line.find(' ') != std::string::npos)
            FUZZ_CHECK(UpperCaseAscii(line).starts_with(command.Keyword + " "));
        FUZZ_CHECK(Trim(command.Argument, tsControls) == command.Argument);
        IsScriptKeyword(command.Keyword);

        const std::optional<TNamePair> pair = SplitNamePair(command.Argument);
        const auto quotes = std::count(command.Argument.begin(), command.Argument.end(), '"');
        FUZZ_CHECK(pair.has_value() == (quotes >= 3));
        if (pair) {
            FUZZ_CHECK(pair->First.find('"') == std::string::npos);
            FUZZ_CHECK(pair->Second.find('"') == std::string::npos);
            FUZZ_CHECK(command.Argument.find("\"" + pair->First + "\"") ==
                       command.Argument.find('"'));
        }
    }

    if (lines.size() <= 200) { // the check compares words with every keyword: keep it quick
        for (const TScriptWarning &warning : CheckScript(lines)) {
            FUZZ_CHECK(warning.LineNumber >= 1 && warning.LineNumber <= lines.size());
            FUZZ_CHECK(!warning.Text.empty());
        }
    }
    return 0;
}
