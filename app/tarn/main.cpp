// tarn, the Tarn Client: the interactive FTP client's window. An argument names a connection
// profile whose login dialog opens at once.

#include "client/ui/tarn_main_window.h"

#include <QApplication>
#include <QIcon>
#include <QStyle>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char *const Usage = "Usage: tarn [PROFILE.tnc]\n"
                          "\n"
                          "The Tarn Client: an FTP client for IBM i (AS/400) hosts and other FTP "
                          "servers.\n"
                          "With a connection profile, the login dialog opens at once, filled "
                          "from it.\n"
                          "\n"
                          "  --help     show this text and exit\n"
                          "  --version  show the version and exit\n";

bool HasDisplay()
{
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return true; // the caller chose a platform (offscreen, vnc, ...)
    const char *x11 = std::getenv("DISPLAY");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> arguments;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        if (options && std::strcmp(argv[i], "--") == 0) {
            options = false;
        } else if (options && std::strcmp(argv[i], "--help") == 0) {
            std::fputs(Usage, stdout);
            return 0;
        } else if (options && std::strcmp(argv[i], "--version") == 0) {
            std::printf("tarn %s\n", TARN_VERSION);
            return 0;
        } else if (options && argv[i][0] == '-' && argv[i][1] == '-') {
            std::fprintf(stderr, "tarn: unknown option %s\nTry \"tarn --help\".\n", argv[i]);
            return 2;
        } else {
            arguments.emplace_back(argv[i]);
        }
    }
    if (!HasDisplay()) {
        std::fputs("tarn: no display to open the window on (neither DISPLAY nor "
                   "WAYLAND_DISPLAY is set)\n",
                   stderr);
        return 1;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName("Tarn Client");
    QApplication::setApplicationDisplayName("Tarn Client");
    QApplication::setApplicationVersion(TARN_VERSION);
    QApplication::setDesktopFileName(TARN_DESKTOP_ID);
    QApplication::setWindowIcon(QIcon::fromTheme(
        TARN_DESKTOP_ID, application.style()->standardIcon(QStyle::SP_DriveNetIcon)));
    tarn::TTarnMainWindow window;
    window.Logic().FormCreate(arguments);
    window.show();
    return QApplication::exec();
}
