// Command lines: the launcher's shell-like splitter and the player's arguments. Checks:
// - every word the splitter gives comes back the same when quoted and split again, and a line
//   of blanks alone has no word;
// - the player's arguments: on a usable line every argument ends up in exactly one place (an
//   option, its file or a position), options after "--" are positions, and the switches are
//   read at their positions only.
#include "fuzz/fuzz_check.h"
#include "player/command_line.h"
#include "support/command_line.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <vector>

namespace tarn {
namespace {

// A word in single quotes, a single quote inside it written as '\''.
std::string Quoted(const std::string &Word)
{
    std::string quoted = "'";
    for (const char c : Word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void CheckSplitter(const std::string &Line)
{
    const std::vector<std::string> words = SplitCommandLine(Line);
    if (Line.find_first_not_of(" \t\r\n") == std::string::npos)
        FUZZ_CHECK(words.empty());
    std::string again;
    for (const std::string &word : words)
        again += Quoted(word) + " ";
    FUZZ_CHECK(SplitCommandLine(again) == words);
}

void CheckPlayer(const std::vector<std::string> &Arguments)
{
    const TPlayerCommandLine line = ParsePlayerCommandLine(Arguments);
    std::size_t accounted = line.Positional.size();
    bool options = true;
    for (std::size_t i = 0; i < Arguments.size(); ++i) {
        const std::string &argument = Arguments[i];
        if (!options)
            continue;
        if (argument == "--") {
            options = false;
            ++accounted;
        } else if (argument == "--check" || argument == "--write-profile") {
            accounted += i + 1 < Arguments.size() ? 2 : 1;
            i += i + 1 < Arguments.size() ? 1 : 0;
        } else if (argument.starts_with("--") || argument == "-h") {
            ++accounted;
        }
    }
    if (line.Error.empty()) // an unusable line is not read further
        FUZZ_CHECK(accounted == Arguments.size());
    FUZZ_CHECK(line.RunSwitch() == (line.Positional.size() >= 2 && line.Positional[1] == "/R"));
    FUZZ_CHECK(line.ExitSwitch() == (line.Positional.size() >= 3 && line.Positional[2] == "/X"));
    FUZZ_CHECK(line.At(0).empty() && line.At(line.Positional.size() + 1).empty());
    if (!line.Error.empty())
        FUZZ_CHECK(line.Error.find('"') != std::string::npos);
}

} // namespace
} // namespace tarn

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    using namespace tarn;
    FuzzedDataProvider provider(Data, Size);
    std::vector<std::string> arguments;
    const std::size_t count = provider.ConsumeIntegralInRange<std::size_t>(0, 8);
    static const char *const Known[] = {
        "--check", "--write-profile", "--", "--console", "--help", "-h", "/R", "/X", "/D"};
    for (std::size_t i = 0; i < count; ++i)
        arguments.push_back(provider.ConsumeBool()
                                ? std::string(Known[provider.ConsumeIntegralInRange<int>(0, 8)])
                                : provider.ConsumeRandomLengthString(20));
    CheckPlayer(arguments);
    CheckSplitter(provider.ConsumeRemainingBytesAsString());
    return 0;
}
