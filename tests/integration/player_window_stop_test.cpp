// Stop pressed in the player's window while a file is being received: the log says so at once,
// the transfer runs to its end (or fails), and no further line runs.

#include "player/ui/player_window.h"
#include "tests/integration/player_run.h"

#include <QCoreApplication>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

namespace tarn::test {
namespace {

class PlayerWindowStopTest : public PlayerRunTest
{
protected:
    // Plays the script in the window and presses Stop once the status line shows bytes on
    // their way. Returns the length the log had at the Stop, 0 when no progress was shown.
    std::size_t PlayAndStopDuringTheTransfer(TPlayerWindow &Window, const std::string &Script)
    {
        Write(PathOf("script.tns"), Script);
        Window.show();
        QCoreApplication::processEvents(); // the start-up runs once the window is shown
        Window.Player().LoadScript(PathOf("script.tns"));
        auto *status = Window.findChild<QLabel *>("StatusLine");
        auto *stop = Window.findChild<QToolButton *>("StopButton");
        auto *play = Window.findChild<QToolButton *>("ExecuteButton");
        if (!status || !stop || !play || !play->isEnabled()) {
            ADD_FAILURE() << "the window is not ready to play";
            return 0;
        }
        QTimer watch;
        std::size_t stoppedAt = 0;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (stoppedAt == 0 && status->text().toLongLong() > 0) {
                stoppedAt = Window.Player().Log().size();
                stop->click();
            }
        });
        watch.start(20);
        play->click();
        watch.stop();
        return stoppedAt;
    }
};

TEST_F(PlayerWindowStopTest, StopDuringATransferEndsTheRunAfterIt)
{
    const std::string content = BinaryContent(std::size_t(96) * 1024);
    Write(ServerPath("slow.bin"), content);
    StartServer("unix", {"--data-rate", "32768"});
    WriteProfile("/");
    TPlayerWindow window(ParsePlayerCommandLine({}));
    const std::size_t stoppedAt = PlayAndStopDuringTheTransfer(
        window, "PROFILE " + PathOf("profile.tnc") +
                    "\nCONNECT\nBINARY\nRECEIVE \"slow.bin\" \"slow.bin\"\nLOCALMD " +
                    PathOf("after") + "\n");

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
    EXPECT_TRUE(window.findChild<QToolButton *>("ExecuteButton")->isEnabled());
}

TEST_F(PlayerWindowStopTest, StopHoldsWhenTheTransferInProgressThenFails)
{
    // The server cuts the data connection half way; ONERROR CONTINUE would let the run go on
    // after the failure, but the user's Stop came first.
    Write(ServerPath("slow.bin"), BinaryContent(256 * 1024));
    StartServer("unix", {"--data-rate", "32768", "--drop-data-after", "163840"});
    WriteProfile("/");
    TPlayerWindow window(ParsePlayerCommandLine({}));
    const std::size_t stoppedAt = PlayAndStopDuringTheTransfer(
        window, "PROFILE " + PathOf("profile.tnc") +
                    "\nONERROR CONTINUE\nCONNECT\nBINARY\nRECEIVE \"slow.bin\" \"slow.bin\"\n"
                    "LOCALMD " +
                    PathOf("after") + "\n");

    const std::vector<std::string> &log = window.Player().Log();
    ASSERT_GT(stoppedAt, 0u) << "no progress was shown during the transfer\n"
                             << ::testing::PrintToString(log);
    EXPECT_NE(std::find_if(log.begin(), log.end(),
                           [](const std::string &Line) { return Line.rfind("< 426", 0) == 0; }),
              log.end())
        << "the transfer was to fail after the Stop";
    EXPECT_FALSE(Exists(PathOf("after"))) << "the failure took back the Stop";
    EXPECT_EQ(window.ExitStatus(), 1);
}

} // namespace
} // namespace tarn::test
