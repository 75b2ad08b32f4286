#pragma once

#include "support/color.h"

#include <cstdint>
#include <limits>

namespace tarn {

// A coloured range of text: characters Start to End (both included, counted from the start of
// the text being coloured), its colour, its priority and whether a keyword made it. Where
// ranges overlap, the higher priority wins, and on equal priority the later range.
struct TKeyDescr
{
    // A start that marks a descriptor as free (unused) in the array handed to OnDraw.
    static constexpr std::int32_t FreeStart = std::numeric_limits<std::int32_t>::max();

    std::int32_t Start = FreeStart;
    std::int32_t End = 0;
    TColor Color = 0;
    std::uint8_t Priority = 0;
    bool Keyword = false;
};

// Priorities with a fixed meaning, above any rule's usual ones. Ranges of the two highest are
// never coloured (tabs and the selection keep the editor's own look); a hot spot's marker
// characters get their colour as background, and the text between them may be underlined.
constexpr std::uint8_t TabPriority = 255;
constexpr std::uint8_t SelectionPriority = 254;
constexpr std::uint8_t HotSpotMarkerPriority = 253;
constexpr std::uint8_t HotSpotTextPriority = 252;

} // namespace tarn
