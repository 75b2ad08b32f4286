// Dial-up lines in a run of tarnsp --console, with a stand-in nmcli as NetworkManager: a line
// the run dials is hung up when the run ends, a line that was already up is neither dialled
// again nor hung up, and HANGUP takes down the active line.

#include "tests/common/stand_in_nmcli.h"
#include "tests/integration/player_run.h"

#include <csignal>
#include <cstdlib>

namespace tarn::test {
namespace {

class PlayerDialTest : public PlayerRunTest
{
protected:
    void SetUp() override
    {
        PlayerRunTest::SetUp();
        const std::string bin = PathOf("bin");
        std::filesystem::create_directories(bin);
        Write(bin + "/nmcli", StandInNmcli);
        std::filesystem::permissions(bin + "/nmcli", std::filesystem::perms::owner_all);
        std::filesystem::create_directories(PathOf("nm"));
        Write(PathOf("nm/profiles"), "Wired|u-eth|802-3-ethernet\nMobile|u-gsm|gsm\n");
        Write(PathOf("nm/active"), "");
        const char *path = std::getenv("PATH");
        FEnvironment = {{"PATH", bin + ":" + (path ? path : "/usr/bin:/bin")},
                        {"NMCLI_STATE", PathOf("nm")}};
        StartServer("unix");
        WriteProfile("/", "20", 0, "Mobile");
    }

    std::string Calls() const { return Read(PathOf("nm/calls")); }
    std::string Active() const { return Read(PathOf("nm/active")); }
};

TEST_F(PlayerDialTest, ALineTheRunDialledIsHungUpAtTheEndWithoutQuit)
{
    const TRunOutcome run = Run("PROFILE profile.tnc\nCONNECT\nMKDIR made\n");
    EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_NE(Calls().find("connection up uuid u-gsm"), std::string::npos) << Calls();
    EXPECT_NE(Calls().find("connection down uuid u-gsm"), std::string::npos) << Calls();
    EXPECT_EQ(Active(), "");
    EXPECT_TRUE(std::filesystem::is_directory(ServerPath("made")));
    EXPECT_GE(run.LineStarting("> QUIT"), 0);
}

TEST_F(PlayerDialTest, ALineTheRunDialledIsHungUpAlsoWhenTheLoginIsRefused)
{
    WriteProfile("/", "20", 0, "Mobile", "wrong-password");
    const TRunOutcome run = Run("PROFILE profile.tnc\nCONNECT\n");
    EXPECT_EQ(run.Status, 1) << run.Out;
    EXPECT_NE(Calls().find("connection up uuid u-gsm"), std::string::npos) << Calls();
    EXPECT_NE(Calls().find("connection down uuid u-gsm"), std::string::npos) << Calls();
    EXPECT_EQ(Active(), "");
}

TEST_F(PlayerDialTest, ALineAlreadyUpIsUsedAndLeftUp)
{
    Write(PathOf("nm/active"), "u-gsm\n");
    const TRunOutcome run = Run("PROFILE profile.tnc\nCONNECT\nMKDIR made\nQUIT\n");
    EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_EQ(Calls().find("connection up"), std::string::npos) << Calls();
    EXPECT_EQ(Calls().find("connection down"), std::string::npos) << Calls();
    EXPECT_EQ(Active(), "u-gsm\n");
}

TEST_F(PlayerDialTest, HangupTakesDownTheActiveLine)
{
    Write(PathOf("nm/active"), "u-gsm\n");
    const TRunOutcome run = Run("HANGUP\n");
    EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_NE(Calls().find("connection down uuid u-gsm"), std::string::npos) << Calls();
    EXPECT_EQ(Active(), "");
}

TEST_F(PlayerDialTest, ALineTheRunDialledIsHungUpAfterAnEscapedErrorAndAfterASignal)
{
    const TRunOutcome escaped =
        Run("PROFILE profile.tnc\nCONNECT\nSAVELOG no/such/folder/x.log\nLOCALMD after\n");
    EXPECT_EQ(escaped.Status, 2) << escaped.Out << escaped.Err;
    EXPECT_NE(Calls().find("connection down uuid u-gsm"), std::string::npos) << Calls();
    EXPECT_EQ(Active(), "");
    EXPECT_FALSE(Exists(PathOf("after")));

    // SIGTERM while the server holds back a reply for a minute.
    std::filesystem::remove(PathOf("nm/calls"));
    FServer.reset();
    StartServer("unix", {"--late-replies", "MKD", "--late-delay", "60000"});
    WriteProfile("/", "120", 0, "Mobile");
    const std::unique_ptr<QProcess> process =
        Start("PROFILE profile.tnc\nCONNECT\nMKDIR slow\nLOCALMD after\n");
    ASSERT_TRUE(process);
    ASSERT_TRUE(WaitFor([&] {
        process->waitForReadyRead(20);
        return process->peek(1 << 16).contains("> MKD slow");
    }));
    ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
    const TRunOutcome run = Finish(*process, 30);
    EXPECT_EQ(run.Status, 143) << run.Out << run.Err;
    EXPECT_LT(run.Seconds, 20.0);
    EXPECT_NE(Calls().find("connection down uuid u-gsm"), std::string::npos) << Calls();
    EXPECT_EQ(Active(), "");
    EXPECT_FALSE(Exists(PathOf("after")));
}

TEST_F(PlayerDialTest, AFailedDialStopsTheRun)
{
    Write(PathOf("nm/failing"), "u-gsm\n");
    const TRunOutcome run = Run("PROFILE profile.tnc\nONERROR CONTINUE\nCONNECT\nLOCALMD after\n");
    EXPECT_EQ(run.Status, 1) << run.Out;
    EXPECT_TRUE(run.HasLine("RAS Connection Failed."));
    EXPECT_EQ(run.LineStarting("> USER"), -1);
    EXPECT_FALSE(Exists(PathOf("after")));
}

} // namespace
} // namespace tarn::test
