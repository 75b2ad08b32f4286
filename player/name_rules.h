#pragma once

// Name rules of the player's commands: AS/400 library paths, the directory of a PWD
// reply, the file part of a remote name and the place of a downloaded file. Byte strings
// throughout; only the letters a to z are upper-cased.

#include <optional>
#include <string>

namespace tarn {

// A path whose upper-cased text holds ".LIB" but not "QSYS.LIB" names a library:
// "mylib.lib" becomes "/QSYS.LIB/MYLIB.LIB". Anything else is returned as written.
std::string NormalizeLibraryPath(const std::string &path);

// The directory of a PWD reply: the text between its first two double quotes, looked for
// within 128 characters after the first one (empty when there is no closing quote there), with
// the library rule applied. `257 "/home/x" is current directory.` gives "/home/x".
std::string PathFromPwdReply(const std::string &reply);

// A remote name without everything up to and including its last backslash or colon; a forward
// slash does not split, so "dir\b.txt" gives "b.txt" and "/x/b.txt" stays whole.
std::string RemoteFileName(const std::string &name);

// A local name holding a "/" is a path and stays as written; a bare name goes into `folder`
// (an empty folder gives the root, as the Windows program put it at the root of the drive).
std::string PlaceInFolder(const std::string &folder, const std::string &name);

// A whole number as the profile's TIMEOUT and the TIMEOUT line give it: an optional sign and
// decimal digits that fit in 32 bits, nothing else. No value for anything else.
std::optional<int> ParseWholeNumber(const std::string &text);

} // namespace tarn
