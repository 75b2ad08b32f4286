#pragma once

// Secrets that a user types into a command for the server, kept out of logs.

#include <string>
#include <string_view>

namespace tarn {

// A log line with the values of the password keywords of IBM i CL commands masked: a keyword
// named PASSWORD or PWD, or ending in one of them (NEWPWD, CURPWD, RMTPWD ...), in any letter
// case, followed by "(", has everything up to its closing ")" replaced by "********".
//
//     "> RCMD CHGUSRPRF USRPRF(BOB) password(Se(c)ret)"
//         -> "> RCMD CHGUSRPRF USRPRF(BOB) password(********)"
//
// The keyword starts a word (after the line's start, a blank, "(", a quote or a comma), so a
// name such as "/a/pwd(1)" stays as it is. Inner parentheses and quoted strings ('a)b') belong
// to the value; a value without its closing ")" is masked to the end of the line. The same
// holds inside a quoted command (SBMJOB CMD('CHGUSRPRF ... PASSWORD(x)')) and in a server's
// reply that repeats the command. Every other byte stays as it is.
std::string MaskCommandSecrets(std::string_view Line);

} // namespace tarn
