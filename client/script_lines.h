#pragma once

// The lines the client writes into a script, and the command line that hands a script to the
// player.

#include <string>
#include <string_view>

namespace tarn {

// A script line laid out as Stop lays out every line: trimmed; the keyword (the text before
// the first blank) padded with blanks to 10 characters, one blank, then the rest, trimmed. A
// line without a blank is only trimmed; a keyword of more than 10 characters is not cut.
//
//     "CHDIR /X"            -> "CHDIR      /X"
//     "  remark text"       -> "remark     text"
std::string LayOutScriptLine(std::string_view Line);

// The line that records a command sent from the command box: "COMMAND " and the command as
// typed. A command that carries a password (PASS, ACCT, or a CL password keyword such as
// PASSWORD(...) or NEWPWD(...)) is recorded as a line that the player skips, with the secret
// masked: "# COMMAND PASS ******** (holds a password, not recorded)". A script never holds a
// password; the profile its PROFILE line names does.
std::string CommandScriptLine(const std::string &Command);

// The command line (for TProcess) that starts the player on a script: run it at once, close
// when done, delete the script file once loaded. Both paths are quoted, so blanks in them
// stay inside one argument.
std::string PlayerCommandLine(const std::string &Player, const std::string &Script);

// The player program for a client in ProgramDir: "tarnsp" beside it (an installed Tarn), else
// in the build tree's ../tarnsp/, else "tarnsp" found on PATH.
std::string PlayerProgram(const std::string &ProgramDir);

} // namespace tarn
