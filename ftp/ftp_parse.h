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

// The address and port a 227 reply names ("227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)", the
// parentheses optional); Port is 0 when the line holds no six numbers from 0 to 255 or names
// port 0.
struct TPassiveTarget
{
    std::string Address;
    int Port = 0;
};
TPassiveTarget PassiveTarget(const std::string &Line);

// The port a 229 reply names ("229 Entering Extended Passive Mode (|||port|)", any delimiter
// in place of '|'); 0 when it names none from 1 to 65535.
int ExtendedPassivePort(const std::string &Line);

} // namespace tarn
