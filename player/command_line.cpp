#include "player/command_line.h"

#include <cstring>

namespace tarn {

std::string TPlayerCommandLine::At(std::size_t Position) const
{
    return Position >= 1 && Position <= Positional.size() ? Positional[Position - 1]
                                                          : std::string();
}

TPlayerCommandLine ParsePlayerCommandLine(const std::vector<std::string> &Arguments)
{
    TPlayerCommandLine line;
    bool options = true;
    for (std::size_t i = 0; i < Arguments.size(); ++i) {
        const std::string &argument = Arguments[i];
        if (options && (argument == "--check" || argument == "--write-profile")) {
            std::string &file = argument == "--check" ? line.CheckFile : line.WriteProfileFile;
            if (i + 1 < Arguments.size())
                file = Arguments[++i];
            else if (line.Error.empty())
                line.Error = "option \"" + argument + "\" needs a file name";
        } else if (options && argument == "--")
            options = false;
        else if (options && argument == "--console")
            line.Console = true;
        else if (options && (argument == "--help" || argument == "-h"))
            line.Help = true;
        else if (options && argument == "--version")
            line.Version = true;
        else if (options && argument.rfind("--", 0) == 0 && line.Error.empty())
            line.Error = "unknown option \"" + argument + "\"";
        else
            line.Positional.push_back(argument);
    }
    return line;
}

bool DisplayMissing(const char *QtQpaPlatform, const char *Display, const char *WaylandDisplay)
{
    const auto isSet = [](const char *Value) { return Value != nullptr && *Value != '\0'; };
    if (isSet(QtQpaPlatform)) {
        // The platform name may carry options after a colon: "offscreen:fontengine=...".
        const std::string name(QtQpaPlatform, std::strcspn(QtQpaPlatform, ":"));
        return name == "offscreen" || name == "minimal";
    }
    return !isSet(Display) && !isSet(WaylandDisplay);
}

std::string PlayerUsage()
{
    return "Usage: tarnsp [OPTIONS] [SCRIPT [/R [/X [/D]]]]\n"
           "       tarnsp --check SCRIPT\n"
           "       tarnsp --write-profile FILE\n"
           "\n"
           "Runs a Tarn script (.tns) in the Tarn Script Player window, or without a window.\n"
           "\n"
           "Positional arguments, each switch case-sensitive and only at its own position:\n"
           "  SCRIPT       the script file to load\n"
           "  /R           (2nd) run the script at once\n"
           "  /X           (3rd) close the player when a run ends\n"
           "  /D           (4th) delete the script file once it is loaded\n"
           "\n"
           "Options (anywhere before \"--\"; they do not count as positions):\n"
           "  --console    run SCRIPT at once without a window, print the log on standard\n"
           "               output and exit when the run ends (/R and /X are implied, /D is\n"
           "               honoured); chosen automatically when no display is available or\n"
           "               the display cannot be opened\n"
           "  --check SCRIPT\n"
           "               list the lines of SCRIPT that are probably mistakes (a misspelt\n"
           "               keyword, a blank before or a tab after a keyword, a wrong ONERROR\n"
           "               argument, two-name commands without two quoted names); exit 0 when\n"
           "               there are none, 1 when there are\n"
           "  --write-profile FILE\n"
           "               ask for host, user, password (not echoed), port, time-out, local\n"
           "               and remote folder and connection, and write the connection profile\n"
           "               FILE (mode 0600 when new); without a terminal the answers are read\n"
           "               from standard input, one line each, in that order\n"
           "  --help, -h   show this text and exit\n"
           "  --version    show the version and exit\n"
           "  --           end of options: later arguments are positional\n"
           "\n"
           "Exit status of a run without a window, and of a window run with /R /X:\n"
           "  0    every command succeeded\n"
           "  1    a failing command, a syntax error or Stop ended the run\n"
           "  2    the script could not be loaded, the command line was wrong, or an error\n"
           "       escaped a command (its text goes to standard error)\n"
           "  3    the script ran to its end under ONERROR CONTINUE, but commands failed\n"
           "       (their number goes to standard error)\n"
           "  130  SIGINT ended the run; 143 SIGTERM ended it (the session is closed and\n"
           "       the LOGFILE written first)\n";
}

} // namespace tarn
