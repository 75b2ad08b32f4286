#pragma once

// Rules for local file names and files, shared by the engine and the programs. Local paths use
// "/"; a name holding one is a path.

#include <cstdint>
#include <string>

namespace tarn {

// The size of a local file, -1 when it cannot be found or is not a regular file. A relative
// name is taken from the current directory.
int64_t LocalFileSize(const std::string &Name);

// A local name holding a "/" is a path and stays as written; a bare name goes into `Folder`
// (an empty folder gives the root, "/").
std::string PlaceInFolder(const std::string &Folder, const std::string &Name);

} // namespace tarn
