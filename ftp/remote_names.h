#pragma once

// Rules for remote names, shared by the client and the script player: IBM i library paths, the
// directory of a PWD reply and the file part of a remote name. Byte strings throughout; only
// the letters a to z are upper-cased.

#include <string>

namespace tarn {

// A path whose upper-cased text holds ".LIB" but not "QSYS.LIB" names a library:
// "mylib.lib" becomes "/QSYS.LIB/MYLIB.LIB". Anything else is returned as written.
std::string NormalizeLibraryPath(const std::string &Path);

// The directory of a PWD reply: the text between its first two double quotes, looked for
// within 128 characters after the first one, with the library rule applied. Empty when there
// is no closing quote there, and when the text holds a control character (code below 32, or
// 127), so that a path from the server never carries one into a later command.
// `257 "/home/x" is current directory.` gives "/home/x".
std::string PathFromPwdReply(const std::string &Reply);

// A remote name without everything up to and including its last backslash or colon; a forward
// slash does not split, so "dir\b.txt" gives "b.txt" and "/x/b.txt" stays whole.
std::string RemoteFileName(const std::string &Name);

} // namespace tarn
