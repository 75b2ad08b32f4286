#pragma once

// The script language of `.tns` files: how a file becomes lines, how a line becomes a keyword
// and an argument, and how a two-name argument becomes a name pair. All text is single-byte and
// handled as bytes; nothing here knows what a keyword does.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// Every keyword a script may use, in the order of the script language's table. This is also the
// list the player's script view colours.
inline constexpr std::array<std::string_view, 34> ScriptKeywords = {
    "PROFILE",   "CONNECTION", "SERVER",  "PORT",    "USERNAME", "PASSWORD", "TIMEOUT",
    "CONNECT",   "LIST",       "SEND",    "RECEIVE", "DELETE",   "RENAME",   "CHDIR",
    "CDUP",      "MKDIR",      "RMDIR",   "BINARY",  "ASCII",    "COMMAND",  "QUIT",
    "ONERROR",   "HANGUP",     "LOCALCD", "LOCALMD", "LOCALRD",  "LOCALDEL", "LOCALCOPY",
    "LOCALMOVE", "LOCALREN",   "LOGFILE", "SAVELOG", "CLEARLOG", "EXIT"};

bool IsScriptKeyword(std::string_view Word);

// One script line split into its keyword (upper-cased) and its argument (trimmed).
struct TScriptCommand
{
    std::string Keyword;
    std::string Argument;
};

// The two names of a SEND, RECEIVE, RENAME, LOCALCOPY, LOCALMOVE or LOCALREN argument.
struct TNamePair
{
    std::string First;
    std::string Second;
};

// Splits file contents into lines: CR LF, a lone LF and a lone CR each end a line, a NUL byte
// ends the text, and text after the last line end is one more line. An empty text has no lines.
std::vector<std::string> SplitScriptText(std::string_view Text);

// Splits at the first blank (a tab is not a separator): the keyword before it is upper-cased but
// not trimmed, so a line starting with a blank or a keyword followed by a tab matches nothing.
TScriptCommand SplitScriptLine(std::string_view Line);

// The first name lies between the first two double quotes, the second between the third and the
// fourth (empty when the fourth is missing). Fewer than three double quotes is a syntax error,
// reported as no value. There is no escape: a name cannot hold a double quote.
std::optional<TNamePair> SplitNamePair(std::string_view Argument);

} // namespace tarn
