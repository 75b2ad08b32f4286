#pragma once

// Byte-string helpers shared by every layer. Text is single-byte: only the letters a to z are
// letters, every other byte stays as it is. The Qt overloads do the same for the text of the
// editors, where every character above code 127 stays as it is.

#include <optional>
#include <string>
#include <string_view>

// Declared only, so that the byte-string users do not take in Qt's headers (and its macros);
// callers of the Qt overloads include <QString> themselves.
class QString;
class QStringView;

namespace tarn {

// What Trim removes from both ends of a text.
enum TTrimSet {
    tsBlanks,   // spaces and tabs
    tsControls, // every byte with a code of 32 or less (blanks, line ends, NUL ...)
};

std::string Trim(std::string_view Text, TTrimSet Set);
QStringView Trim(QStringView Text, TTrimSet Set);

// Upper-cases the letters a to z only.
std::string UpperCaseAscii(std::string_view Text);
QString UpperCaseAscii(QStringView Text);

// Text from a server or a file made fit to show in a log, a terminal or a log file: every
// control character but the tab is written in caret notation (ESC as "^[", CR as "^M", DEL as
// "^?"), so that it is seen and not obeyed. Bytes from 128 up stay as they are.
std::string PrintableText(std::string_view Text);
// The same, into Out (replaced): a caller that shows many lines reuses one string.
void PrintableTextInto(std::string_view Text, std::string &Out);

// A whole number as profiles and scripts give a time-out: an optional sign and decimal digits
// that fit in 32 bits, nothing else (no blanks). No value for anything else.
std::optional<int> ParseWholeNumber(const std::string &Text);

// The system's text for an errno value ("No such file or directory"). Unlike strerror it may
// be called from any thread.
std::string SystemErrorText(int Code);

} // namespace tarn
