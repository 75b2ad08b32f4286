// The player's remote operations in this process, against a real server, where a test has to
// act between two script lines.

#include "player/tarn_player.h"
#include "tests/integration/player_run.h"
#include "tests/player/recording_view.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace tarn::test {
namespace {

using PlayerSessionTest = PlayerRunTest;

TEST_F(PlayerSessionTest, CommandAfterTheServerClosedTheSessionFailsDespiteAnEarlier250)
{
    Write(ServerPath("x.txt"), "x");
    StartServer("unix");
    WriteProfile("/");
    TRecordingView view;
    TTarnPlayer player(view);
    player.StopOnError = true;
    player.ReadProfile(PathOf("profile.tnc"));
    player.ConnectToServer("");
    ASSERT_FALSE(player.Stopped);
    player.DeleteFile("x.txt"); // answered 250
    ASSERT_FALSE(player.Stopped);
    ASSERT_FALSE(Exists(ServerPath("x.txt")));

    // The server goes away while the session is idle.
    FServer.reset();
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    // Nothing can be sent, so the 250 of DELE must not pass for this command's reply.
    player.RunCommand("SITE CHMOD 644 y.txt");
    EXPECT_TRUE(player.Stopped);
}

} // namespace
} // namespace tarn::test
