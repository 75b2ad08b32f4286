#pragma once

// How script text is coloured in the player's script view and the client's script page: the
// script language's command words in blue.

#include "support/draw_rules.h"

#include <array>
#include <span>
#include <string_view>

namespace tarn {

// The words the client's script page colours, in the order it lists them: every script keyword
// (ScriptKeywords) but HANGUP, which a user only ever writes by hand.
inline constexpr std::array<std::string_view, 33> ScriptPageKeywords = {
    "PROFILE",  "CONNECT",  "LIST",     "SEND",       "RECEIVE", "DELETE",    "CHDIR",
    "CDUP",     "MKDIR",    "RMDIR",    "BINARY",     "ASCII",   "QUIT",      "TIMEOUT",
    "COMMAND",  "RENAME",   "CLEARLOG", "SAVELOG",    "LOGFILE", "LOCALRD",   "LOCALDEL",
    "LOCALREN", "LOCALMD",  "LOCALCD",  "ONERROR",    "EXIT",    "LOCALCOPY", "LOCALMOVE",
    "USERNAME", "PASSWORD", "SERVER",   "CONNECTION", "PORT"};

// One keyword rule: the given words in blue, in any case, as whole words only. The player's
// script view uses ScriptColorRules(ScriptKeywords), the client's script page
// ScriptColorRules(ScriptPageKeywords).
TDrawRules ScriptColorRules(std::span<const std::string_view> Keywords);

} // namespace tarn
