// The engine's log handler of the remote commands, and the console's progress line.

#include "player/console_view.h"
#include "player/tarn_player.h"
#include "tests/player/recording_view.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace tarn::test {
namespace {

TEST(RemoteHandlers, EveryMessageHoldingPassIsMasked)
{
    TRecordingView view;
    TTarnPlayer player(view);
    for (std::string message : {"> PASS secret", "! PASSWORD expired", "> USER PASS"}) {
        player.ControlFtpDisplay(nullptr, message);
        EXPECT_EQ(view.Lines.back(), "> PASS *******");
    }
    std::string lower = "> pass is lower case";
    player.ControlFtpDisplay(nullptr, lower);
    EXPECT_EQ(view.Lines.back(), "> pass is lower case");
}

TEST(RemoteHandlers, ProfileLeavesTheTimeoutOfALaterTimeoutLineToConnect)
{
    TRecordingView view;
    TTarnPlayer player(view);
    player.SetTimeOut("45");
    player.SetTimeOut("soon");
    player.ReadProfile("/nonexistent/profile.tnc");
    EXPECT_EQ(player.ProfileTimeout, 30);
    EXPECT_EQ(player.ConnectionName, "LAN");
    EXPECT_EQ(player.ServerPort, "21");
    EXPECT_EQ(player.LocalDir, "/");
    EXPECT_EQ(player.HostDir, "/");
}

std::string Contents(std::FILE *File)
{
    std::fflush(File);
    std::rewind(File);
    std::string text;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, File)) > 0)
        text.append(buffer, got);
    return text;
}

std::size_t Count(const std::string &Text, const std::string &Part)
{
    std::size_t count = 0;
    for (std::size_t at = Text.find(Part); at != std::string::npos; at = Text.find(Part, at + 1))
        ++count;
    return count;
}

TEST(ConsoleProgress, ALineOnTheTerminalWipedBeforeTheNextLogLine)
{
    std::FILE *out = std::tmpfile();
    std::FILE *progress = std::tmpfile();
    ASSERT_TRUE(out && progress);
    {
        TConsoleView view(out, stderr, progress);
        view.TransferProgress(1024, 4096);
        // A block every few kilobytes must not mean a redraw each: a few per second at most.
        for (int count = 1025; count < 4096; ++count)
            view.TransferProgress(count, 4096);
        view.LogLineAppended("< 226 Transfer complete.");
        view.TransferProgress(512, -1);
        view.TransferProgress(-1, -1);
    }
    EXPECT_EQ(Contents(out), "< 226 Transfer complete.\n");
    const std::string shown = Contents(progress);
    EXPECT_EQ(shown.rfind("\r\033[K1024 of 4096 bytes (25%)", 0), 0u);
    EXPECT_LT(Count(shown, " of 4096 bytes"), 10u);
    const std::size_t unknown = shown.find("\r\033[K512 bytes");
    ASSERT_NE(unknown, std::string::npos);
    // Wiped before the log line, and again when the second transfer ended.
    EXPECT_EQ(shown.substr(unknown - 4), "\r\033[K\r\033[K512 bytes\r\033[K");
    std::fclose(out);
    std::fclose(progress);
}

TEST(ConsoleProgress, NothingWithoutATerminal)
{
    std::FILE *out = std::tmpfile();
    ASSERT_TRUE(out);
    {
        TConsoleView view(out, stderr);
        view.TransferProgress(1024, 4096);
        view.LogLineAppended("x");
    }
    EXPECT_EQ(Contents(out), "x\n");
    std::fclose(out);
}

} // namespace
} // namespace tarn::test
