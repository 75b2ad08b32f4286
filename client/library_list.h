#pragma once

// The library list file (.tnl) of a connection profile: the IBM i libraries to show under
// /QSYS.LIB, one object name with its ".LIB" suffix per line, such as MYLIB.LIB.

#include <optional>
#include <string>
#include <vector>

namespace tarn {

// The entries of a library list file in file order; nothing when the file does not exist or
// cannot be read. CR LF, LF and CR all end a line.
std::optional<std::vector<std::string>> ReadLibraryList(const std::string &FileName);

// Writes the entries, each followed by CR LF, replacing the file (no entries: an empty file).
// False when the file cannot be written.
bool WriteLibraryList(const std::string &FileName, const std::vector<std::string> &Entries);

} // namespace tarn
