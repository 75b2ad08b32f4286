#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarn {

// Small text helpers of the FTP engine, kept apart so that they can be tested alone.

// The result of ParseInteger: the number read and the index of the first character after it.
struct TParsedInteger
{
    int64_t Value = 0;
    std::size_t Next = 0;
};

// Reads a decimal number from Text at Start: skips tab, LF, CR and space, takes an optional
// '+' or '-', then accumulates decimal digits (0 when there are none). A number too large for
// 64 bits stops growing at the largest value instead of overflowing.
TParsedInteger ParseInteger(const std::string &Text, std::size_t Start = 0);

// The code of a reply line: exactly three digits at the very start of the line, not followed by
// another digit ("250 Deleted." and "250-" give 250; "+250", " 250", "2500" and "25" give 0).
int ReplyCode(const std::string &Line);

// The length a transfer's start reply announces, as in "150 Opening BINARY mode data connection
// for a.txt (1024 bytes)."; -1 when the line names none.
int64_t AnnouncedLength(const std::string &Line);

// The statistics line of a finished transfer, without the "! " prefix:
// "<n> bytes received/sent in <s> seconds (<rate> Bytes/sec)". The rate part is left out when
// no time passed (or the clock went back). Up to 32767 bytes the rate multiplies first (exact
// for small transfers), above that it divides first; either way no count overflows, and a rate
// too large for 64 bits is shown as the largest 64-bit value.
std::string TransferStatsText(int64_t ByteCount, int64_t ElapsedMs);

} // namespace tarn
