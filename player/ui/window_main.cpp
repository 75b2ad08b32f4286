// The entry point of tarnsp's window module (player/window_module.h): the QApplication, the
// choice of platform with its fall-back to the console, and the player's window.

#include "player/command_line.h"
#include "player/signal_watcher.h"
#include "player/ui/player_window.h"
#include "player/window_module.h"

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <type_traits>
#include <vector>

namespace tarn {
namespace {

bool IsSet(const char *Name)
{
    const char *value = std::getenv(Name);
    return value != nullptr && *value != '\0';
}

// The platforms Qt is to try for the window, ending in "offscreen": a display that cannot be
// opened (a stale DISPLAY from an ssh session) then gives a program without a screen instead
// of an abort, and the player runs in the console.
QByteArray PlatformsToTry()
{
    QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
    if (platforms.isEmpty()) {
        const bool wayland = IsSet("WAYLAND_DISPLAY");
        const bool waylandSession = qgetenv("XDG_SESSION_TYPE") == "wayland";
        if (wayland && (waylandSession || !IsSet("DISPLAY")))
            platforms = IsSet("DISPLAY") ? "wayland;xcb" : "wayland";
        else
            platforms = wayland ? "xcb;wayland" : "xcb";
    }
    return platforms + ";offscreen";
}

struct THeldMessage
{
    QtMsgType Type;
    QString Category;
    QString Text;
};
std::optional<std::vector<THeldMessage>> HeldMessages;
QtMessageHandler PassMessagesOn = nullptr;

void HoldMessage(QtMsgType Type, const QMessageLogContext &Context, const QString &Text)
{
    if (Type == QtFatalMsg || !HeldMessages) {
        PassMessagesOn(Type, Context, Text);
        return;
    }
    HeldMessages->push_back({Type, QString::fromLatin1(Context.category), Text});
}

void ReplayHeldMessages()
{
    for (const THeldMessage &message : *HeldMessages) {
        const QByteArray category = message.Category.toLatin1();
        const QMessageLogContext context(nullptr, 0, nullptr, category.constData());
        PassMessagesOn(message.Type, context, message.Text);
    }
}

} // namespace
} // namespace tarn

extern "C" __attribute__((visibility("default"))) int
TarnspWindowMain(int &Argc, char **Argv, const tarn::TPlayerCommandLine &Line,
                 tarn::TConsoleRun RunInConsole)
{
    using namespace tarn;
    // What Qt says while it tries the platforms is held back: after a fall-back to "offscreen"
    // the note below says it all, otherwise it is passed on.
    const QByteArray userPlatforms = qgetenv("QT_QPA_PLATFORM");
    qputenv("QT_QPA_PLATFORM", PlatformsToTry());
    HeldMessages.emplace();
    PassMessagesOn = qInstallMessageHandler(HoldMessage);
    QApplication application(Argc, Argv);
    qInstallMessageHandler(PassMessagesOn);
    if (userPlatforms.isEmpty())
        qunsetenv("QT_QPA_PLATFORM");
    else
        qputenv("QT_QPA_PLATFORM", userPlatforms);
    const bool fellBack = QGuiApplication::platformName() == "offscreen";
    if (!fellBack)
        ReplayHeldMessages();
    HeldMessages.reset();
    if (fellBack) {
        const char *display = std::getenv(IsSet("DISPLAY") ? "DISPLAY" : "WAYLAND_DISPLAY");
        std::fprintf(stderr, "tarnsp: cannot open the display \"%s\"; running without a window\n",
                     display ? display : "");
        return RunInConsole(Line);
    }

    QApplication::setApplicationName("Tarn Script Player");
    QApplication::setApplicationDisplayName("Tarn Script Player");
    QApplication::setApplicationVersion(TARN_VERSION);
    QApplication::setDesktopFileName(TARN_DESKTOP_ID);
    QApplication::setWindowIcon(QIcon::fromTheme(TARN_DESKTOP_ID));
    TPlayerWindow window(Line);
    // A signal ends a run as the console's does, then the program with 128 + the signal.
    TSignalWatcher signalWatcher([&window](int Signal) { window.Interrupt(Signal); });
    window.show();
    QApplication::exec();
    return window.ExitStatus();
}
static_assert(std::is_same_v<decltype(&TarnspWindowMain), tarn::TWindowMain>);
