// Stop pressed in the player's window while a file is being received: the log says so at once,
// the transfer runs to its end with the file intact, and no further line runs.

#include "player/ui/player_window.h"
#include "tests/integration/player_run.h"

#include <QCoreApplication>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

namespace tarn::test {
namespace {

using PlayerWindowStopTest = PlayerRunTest;

TEST_F(PlayerWindowStopTest, StopDuringATransferEndsTheRunAfterIt)
{
    const std::string content = BinaryContent(std::size_t(96) * 1024);
    Write(ServerPath("slow.bin"), content);
    StartServer("unix", {"--data-rate", "32768"});
    WriteProfile("/");
    Write(PathOf("script.tns"), "PROFILE " + PathOf("profile.tnc") +
                                    "\nCONNECT\nBINARY\nRECEIVE \"slow.bin\" \"slow.bin\"\n"
                                    "LOCALMD " +
                                    PathOf("after") + "\n");

    TPlayerWindow window(ParsePlayerCommandLine({}));
    window.show();
    QCoreApplication::processEvents(); // the start-up runs once the window is shown
    window.Player().LoadScript(PathOf("script.tns"));
    auto *status = window.findChild<QLabel *>("StatusLine");
    auto *stop = window.findChild<QToolButton *>("StopButton");
    auto *play = window.findChild<QToolButton *>("ExecuteButton");
    ASSERT_TRUE(status && stop && play);

    // Press Stop once the status line shows bytes on their way.
    QTimer watch;
    std::size_t stoppedAt = 0;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (stoppedAt == 0 && status->text().toLongLong() > 0) {
            stoppedAt = window.Player().Log().size();
            stop->click();
        }
    });
    watch.start(20);
    ASSERT_TRUE(play->isEnabled());
    play->click();
    watch.stop();

    ASSERT_GT(stoppedAt, 0u) << "no progress was shown during the transfer";
    const std::vector<std::string> &log = window.Player().Log();
    const auto stopLine = std::find(log.begin(), log.end(), "Script stopped by user.");
    ASSERT_NE(stopLine, log.end());
    EXPECT_EQ(static_cast<std::size_t>(stopLine - log.begin()), stoppedAt);
    const auto complete = std::find_if(log.begin(), log.end(), [](const std::string &Line) {
        return Line.rfind("< 226", 0) == 0;
    });
    EXPECT_GT(complete, stopLine) << "the transfer completes after the Stop";
    EXPECT_EQ(Read(PathOf("download/slow.bin")), content);
    EXPECT_FALSE(Exists(PathOf("after")));
    EXPECT_NE(std::find(log.begin(), log.end(), "> QUIT"), log.end());
    EXPECT_TRUE(play->isEnabled());
}

} // namespace
} // namespace tarn::test
