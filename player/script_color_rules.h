#pragma once

// How script text is coloured in the player's script view and the client's script page: the
// script language's command words in blue.

#include "player/script_language.h"
#include "support/draw_rules.h"

#include <array>
#include <span>
#include <string_view>

namespace tarn {

// The words the client's script page colours: every script keyword but HANGUP, which a user only
// ever writes by hand there.
inline constexpr std::array<std::string_view, ScriptKeywords.size() - 1> ScriptPageKeywords = [] {
    std::array<std::string_view, ScriptKeywords.size() - 1> words{};
    size_t count = 0;
    for (std::string_view word : ScriptKeywords) {
        if (word != "HANGUP")
            words.at(count++) = word;
    }
    return words;
}();

// One keyword rule: the given words in blue, in any case, as whole words only. The player's
// script view uses ScriptColorRules(ScriptKeywords), the client's script page
// ScriptColorRules(ScriptPageKeywords).
TDrawRules ScriptColorRules(std::span<const std::string_view> Keywords);

} // namespace tarn
