#pragma once

// The player's window lives in a module of its own, tarnsp-window.so, which tarnsp loads only
// when a run is to show a window. A console run (a scheduler's, a pipe's) then maps Qt Core and
// what the engine needs, not Qt Gui and Qt Widgets with the X11, OpenGL, font and image
// libraries behind them: it starts in about half the time and with some 40% less memory.
//
// The module is found in the program's folders of modules (support/module_loader.h). A module
// that is missing or cannot be loaded is not fatal: the caller says why and runs in the console.

#include <filesystem>
#include <string>
#include <vector>

namespace tarn {

struct TPlayerCommandLine;

// A run without a window (standard output, exit status): the program's own, handed to the
// module for a display that cannot be opened.
using TConsoleRun = int (*)(const TPlayerCommandLine &Line);

// The module's entry point. It makes the QApplication, shows the window for `Line` and runs it
// to its end, and returns the program's exit status. When the display cannot be opened it says
// so on standard error and returns RunInConsole(Line), called while its QApplication still
// exists (later commands wait for the network with that application's event loop).
using TWindowMain = int (*)(int &Argc, char **Argv, const TPlayerCommandLine &Line,
                            TConsoleRun RunInConsole);

inline constexpr char WindowModuleFile[] = "tarnsp-window.so";
inline constexpr char WindowMainSymbol[] = "TarnspWindowMain";

struct TWindowModule
{
    TWindowMain Main = nullptr; // null when the module could not be loaded
    std::string Error;          // then why, one line
};

// Loads the module from the first of `Folders` (ModuleFolders() for the program's own) that
// holds it; it stays loaded until the program ends.
TWindowModule LoadWindowModule(const std::vector<std::filesystem::path> &Folders);

} // namespace tarn
