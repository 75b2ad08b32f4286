// tarnsp, the Tarn Script Player: a window when a display is available, otherwise (or with
// --console) a run on standard output whose exit status tells a scheduler how it ended.

#include "player/command_line.h"
#include "player/console_view.h"
#include "player/ui/player_window.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

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

    const bool console =
        line.Console || tarn::DisplayMissing(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                             std::getenv("WAYLAND_DISPLAY"));
    if (console) {
        if (line.Positional.empty()) {
            std::fputs("tarnsp: no script file given, and no window to open one in\n"
                       "Try \"tarnsp --help\".\n",
                       stderr);
            return 2;
        }
        // Later commands wait for the network with the Qt event loop, which needs this object.
        QCoreApplication application(argc, argv);
        return tarn::RunInConsole(line, stdout, stderr);
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName("Tarn Script Player");
    QApplication::setApplicationDisplayName("Tarn Script Player");
    QApplication::setApplicationVersion(TARN_VERSION);
    tarn::TPlayerWindow window(line);
    window.show();
    return QApplication::exec();
}
