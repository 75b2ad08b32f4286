#pragma once

// The local file name that a name listed by the server gets in the download directory.

#include <string>
#include <string_view>

namespace tarn {

// The local name for a listed file name (FileView's caption). A name that holds "/" (an IBM i
// member listed as FILE.FILE/MBR.MBR) gives the text after its first "/", at most 30
// characters, trimmed; any other name stays as it is.
//
// Listed names come from the server, so the result is then made a plain name that stays inside
// the download directory whatever the server sent: every "/", NUL and other control character
// becomes "_", and a name that is empty or only dots ("." or "..") gets a "_" in front.
std::string LocalNameOf(std::string_view ListedName);

} // namespace tarn
