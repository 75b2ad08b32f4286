// tarnsp, the Tarn Script Player: a window when a display is available, otherwise (or with
// --console) a run on standard output whose exit status tells a scheduler how it ended.

#include "player/command_line.h"
#include "player/console_view.h"
#include "player/profile_prompt.h"
#include "player/signal_watcher.h"
#include "player/ui/player_window.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

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

    const bool console =
        line.Console || tarn::DisplayMissing(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                             std::getenv("WAYLAND_DISPLAY"));
    const auto runInConsole = [&line] {
        if (line.Positional.empty()) {
            std::fputs("tarnsp: no script file given, and no window to open one in\n"
                       "Try \"tarnsp --help\".\n",
                       stderr);
            return 2;
        }
        return tarn::RunInConsole(line, stdout, stderr);
    };
    if (console) {
        // Later commands wait for the network with the Qt event loop, which needs this object.
        QCoreApplication application(argc, argv);
        return runInConsole();
    }

    // What Qt says while it tries the platforms is held back: after a fall-back to "offscreen"
    // the note below says it all, otherwise it is passed on.
    const QByteArray userPlatforms = qgetenv("QT_QPA_PLATFORM");
    qputenv("QT_QPA_PLATFORM", PlatformsToTry());
    HeldMessages.emplace();
    PassMessagesOn = qInstallMessageHandler(HoldMessage);
    QApplication application(argc, argv);
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
        return runInConsole();
    }

    QApplication::setApplicationName("Tarn Script Player");
    QApplication::setApplicationDisplayName("Tarn Script Player");
    QApplication::setApplicationVersion(TARN_VERSION);
    tarn::TPlayerWindow window(line);
    // A signal ends a run as the console's does, then the program with 128 + the signal.
    tarn::TSignalWatcher signalWatcher([&window](int Signal) { window.Interrupt(Signal); });
    window.show();
    QApplication::exec();
    return window.ExitStatus();
}
