#pragma once

#include "support/color_rule.h"

#include <deque>

namespace tarn {

// The ordered colouring rules of a script editor. Rules later in the list are applied later, so
// on equal priority their ranges win. References returned by Add stay valid until Clear.
class TDrawRules
{
public:
    // Appends a rule with its initial values and returns it for setting up.
    TColorRule &Add() { return FItems.emplace_back(); }
    void Clear() { FItems.clear(); }
    int Count() const { return int(FItems.size()); }
    TColorRule &operator[](int Index) { return FItems.at(size_t(Index)); }
    const TColorRule &operator[](int Index) const { return FItems.at(size_t(Index)); }
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    std::deque<TColorRule> FItems;
};

} // namespace tarn
