// tarnsp, the Tarn Script Player: a window when a display is available, otherwise (or with
// --console) a run on standard output whose exit status tells a scheduler how it ended. The
// window is a module loaded only for a window run (player/window_module.h), so that this
// program itself links Qt Core alone.

#include "player/command_line.h"
#include "player/console_view.h"
#include "player/profile_prompt.h"
#include "player/window_module.h"
#include "support/module_loader.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int RunWithoutWindow(const tarn::TPlayerCommandLine &Line)
{
    if (Line.Positional.empty()) {
        std::fputs("tarnsp: no script file given, and no window to open one in\n"
                   "Try \"tarnsp --help\".\n",
                   stderr);
        return 2;
    }
    return tarn::RunInConsole(Line, stdout, stderr);
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const tarn::TPlayerCommandLine line = tarn::ParsePlayerCommandLine(arguments);
    if (line.Help) {
        std::fputs(tarn::PlayerUsage().c_str(), stdout);
        return 0;
    }
    if (line.Version) {
        std::printf("tarnsp %s\n", TARN_VERSION);
        return 0;
    }
    if (!line.Error.empty()) {
        std::fprintf(stderr, "tarnsp: %s\nTry \"tarnsp --help\".\n", line.Error.c_str());
        return 2;
    }
    if (!line.CheckFile.empty())
        return tarn::CheckScriptFile(line.CheckFile, stdout, stderr);
    if (!line.WriteProfileFile.empty())
        return tarn::WriteProfileFromAnswers(line.WriteProfileFile, stdin, stderr, stderr);

    if (!line.Console &&
        !tarn::DisplayMissing(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                              std::getenv("WAYLAND_DISPLAY"))) {
        const tarn::TWindowModule window = tarn::LoadWindowModule(tarn::ModuleFolders());
        if (window.Main != nullptr)
            return window.Main(argc, argv, line, RunWithoutWindow);
        std::fprintf(stderr, "tarnsp: %s; running without a window\n", window.Error.c_str());
    }
    // Later commands wait for the network with the Qt event loop, which needs this object.
    QCoreApplication application(argc, argv);
    return RunWithoutWindow(line);
}
