#pragma once

#include <QString>
#include <QStringView>

namespace tarn {

// Text helpers for the colouring rules, which treat text as ASCII: only "a" to "z" change case,
// and only ASCII letters (plus "@") make up words.

// Upper-cases "a" to "z"; every other character stays as it is.
QString UpperAscii(QStringView Text);

// Removes every character with a code of 32 or less from both ends.
QStringView TrimControls(QStringView Text);

// Whether a character is part of a word for keyword boundaries: codes 64 to 90 ("@" and "A" to
// "Z") and 97 to 122 ("a" to "z"). Digits, "_" and everything else separate words.
constexpr bool IsWordLetter(char16_t Char)
{
    return (Char >= 64 && Char <= 90) || (Char >= 97 && Char <= 122);
}

} // namespace tarn
