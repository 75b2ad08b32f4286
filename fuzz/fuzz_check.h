#pragma once

// What every fuzz target shares: a check that stops the run with the broken invariant, so that
// libFuzzer keeps the input that broke it.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tarn {

// Stops the process (libFuzzer saves the input as a crash) when Condition is false.
#define FUZZ_CHECK(Condition)                                                                      \
    do {                                                                                           \
        if (!(Condition))                                                                          \
            ::tarn::FuzzFailed(#Condition, __FILE__, __LINE__);                                    \
    } while (false)

[[noreturn]] inline void FuzzFailed(const char *What, const char *File, int Line)
{
    std::fprintf(stderr, "invariant broken at %s:%d: %s\n", File, Line, What);
    std::abort();
}

// A control character: a code below 32, or 127.
inline bool HasControl(const std::string &Text, bool TabAllowed = false)
{
    for (const char c : Text) {
        const auto code = static_cast<unsigned char>(c);
        if ((code < 32 && !(TabAllowed && c == '\t')) || code == 127)
            return true;
    }
    return false;
}

} // namespace tarn
