#include "client/script_lines.h"

#include "ftp/command_secrets.h"
#include "support/command_line.h"
#include "support/text.h"

#include <unistd.h>

namespace tarn {

std::string LayOutScriptLine(std::string_view Line)
{
    const std::string line = Trim(Line, tsControls);
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos)
        return line;
    std::string keyword = line.substr(0, blank);
    if (keyword.size() < 10)
        keyword.resize(10, ' ');
    return keyword + " " + Trim(std::string_view(line).substr(blank + 1), tsControls);
}

std::string CommandScriptLine(const std::string &Command)
{
    const std::string masked = MaskCommandSecrets(Command);
    const std::string verb = UpperCaseAscii(Trim(Command, tsControls).substr(0, 5));
    const bool logonSecret = verb.starts_with("PASS") || verb.starts_with("ACCT");
    if (masked == Command && !logonSecret)
        return "COMMAND " + Command;
    const std::string shown = logonSecret ? verb.substr(0, 4) + " ********" : masked;
    return "# COMMAND " + shown + " (holds a password, not recorded)";
}

std::string PlayerCommandLine(const std::string &Player, const std::string &Script)
{
    return QuoteCommandWord(Player) + " " + QuoteCommandWord(Script) + " /R /X /D";
}

std::string PlayerProgram(const std::string &ProgramDir)
{
    for (const char *place : {"/tarnsp", "/../tarnsp/tarnsp"}) {
        const std::string candidate = ProgramDir + place;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return "tarnsp";
}

} // namespace tarn
