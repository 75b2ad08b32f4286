#pragma once

// Modules: parts of the programs that are loaded with dlopen only when they are used, so that a
// run that does not use them maps none of the libraries behind them (a window's Qt Gui and
// Widgets, a keyring's D-Bus). Each module exports one entry point with C linkage.
//
// A module is found beside the program (the build tree places it there) or in the installed
// tree's folder of modules (../lib/tarn/modules from bin/, set by the build). Once loaded it
// stays loaded until the program ends.

#include <filesystem>
#include <string>
#include <vector>

namespace tarn {

enum TModuleFault {
    mfNone,
    mfMissing,    // in none of the folders: Detail lists them, "A, B"
    mfUnloadable, // dlopen refused it: Detail holds its words
    mfNoEntry,    // loaded, but without the entry point: Path is the file
};

struct TModuleEntry
{
    void *Entry = nullptr; // the entry point's address; null with a fault
    TModuleFault Fault = mfNone;
    std::filesystem::path Path; // the file found
    std::string Detail;
};

// The folders where the program's modules may be, in the order they are searched.
std::vector<std::filesystem::path> ModuleFolders();

// Loads `File` from the first of `Folders` that holds it and looks up `Symbol` in it.
TModuleEntry LoadModuleEntry(const std::vector<std::filesystem::path> &Folders,
                             const std::string &File, const char *Symbol);

} // namespace tarn
