// The script player against servers and files that fail: each run ends with the right log, the
// right exit status and within its time-out, and nothing half done passes for a success.

#include "tests/integration/player_run.h"

namespace tarn::test {
namespace {

using PlayerFaultTest = PlayerRunTest;

TEST_F(PlayerFaultTest, RefusedLoginStopsTheRunWhateverOnError)
{
    StartServer("unix");
    WriteProfile("/", "20", 0, "LAN", "wrong-password");
    const TRunOutcome run = Run("PROFILE profile.tnc\nONERROR CONTINUE\nCONNECT\nLOCALMD after\n");
    EXPECT_EQ(run.Status, 1) << run.Out;
    EXPECT_TRUE(run.HasLine("> PASS *******"));
    EXPECT_GE(run.LineStarting("< 530"), 0) << run.Out;
    EXPECT_FALSE(Exists(PathOf("after")));
    ExpectNoPassword(run, "wrong-password");
}

TEST_F(PlayerFaultTest, ClosedPortFailsAtOnce)
{
    // The port of a server that has ended: nothing listens there any more.
    StartServer("unix");
    const int port = FServer->Port();
    FServer.reset();
    WriteProfile("/", "20", port);
    const TRunOutcome run = Run("PROFILE profile.tnc\nCONNECT\nLOCALMD after\n");
    EXPECT_EQ(run.Status, 1) << run.Out;
    EXPECT_LT(run.Seconds, 10.0);
    EXPECT_FALSE(Exists(PathOf("after")));
}

TEST_F(PlayerFaultTest, SilentServerTimesOutAfterTheProfilesTimeoutNotAnEarlierTimeoutLine)
{
    StartServer("unix", {"--no-greeting"});
    WriteProfile("/", "2");
    const TRunOutcome run = Run("PROFILE profile.tnc\nTIMEOUT 60\nCONNECT\nLOCALMD after\n", 40);
    EXPECT_EQ(run.Status, 1) << run.Out;
    EXPECT_GE(run.Seconds, 1.5);
    EXPECT_LT(run.Seconds, 15.0) << "TIMEOUT 60 must not outlive CONNECT";
    EXPECT_FALSE(Exists(PathOf("after")));
}

TEST_F(PlayerFaultTest, TransferCutMidwayIsAFailureBothWays)
{
    const std::string content = BinaryContent(std::size_t(64) * 1024);
    Write(ServerPath("big.bin"), content);
    Write(PathOf("up.bin"), content);
    StartServer("unix", {"--drop-data-after", "8192"});
    WriteProfile("/");

    const TRunOutcome receive = Run("PROFILE profile.tnc\nONERROR STOP\nCONNECT\nBINARY\n"
                                    "RECEIVE \"big.bin\" \"big.bin\"\nLOCALMD after\n");
    EXPECT_EQ(receive.Status, 1) << receive.Out;
    EXPECT_FALSE(Exists(PathOf("after")));

    const TRunOutcome send = Run("PROFILE profile.tnc\nONERROR STOP\nCONNECT\nBINARY\n"
                                 "SEND \"up.bin\" \"up.bin\"\nLOCALMD after\n");
    EXPECT_EQ(send.Status, 1) << send.Out;
    EXPECT_FALSE(Exists(PathOf("after")));
}

TEST_F(PlayerFaultTest, UnwritableDownloadAndMissingUploadFail)
{
    Write(ServerPath("a.txt"), "a\n");
    StartServer("unix");
    WriteProfile("/");
    const TRunOutcome receive =
        Run("PROFILE profile.tnc\nONERROR STOP\nCONNECT\n"
            "RECEIVE \"" +
            PathOf("no/such/folder/a.txt") + "\" \"a.txt\"\nLOCALMD after\n");
    EXPECT_EQ(receive.Status, 1) << receive.Out;
    EXPECT_FALSE(Exists(PathOf("after")));

    const TRunOutcome send = Run("PROFILE profile.tnc\nONERROR STOP\nCONNECT\n"
                                 "SEND \"not-here.bin\" \"x.bin\"\nLOCALMD after\n");
    EXPECT_EQ(send.Status, 1) << send.Out;
    EXPECT_FALSE(Exists(PathOf("after")));
    EXPECT_FALSE(Exists(ServerPath("x.bin")));
}

TEST_F(PlayerFaultTest, MissingProfileGivesTheDefaults)
{
    const TRunOutcome run = Run("PROFILE nothere.tnc\nCONNECT\nLOCALMD after\n", 30);
    EXPECT_EQ(run.Status, 1) << run.Out;
    EXPECT_EQ(run.Lines().front(), "! Profile file nothere.tnc not found; using defaults");
    EXPECT_TRUE(run.HasLine("Host:  "));
    EXPECT_TRUE(run.HasLine("Port:  21"));
    EXPECT_EQ(run.LineStarting("> USER"), -1);
    EXPECT_FALSE(Exists(PathOf("after")));
}

TEST_F(PlayerFaultTest, ProfileTimeoutThatIsNotANumberEndsTheRun)
{
    StartServer("unix");
    WriteProfile("/", "thirty");
    const TRunOutcome run = Run("PROFILE profile.tnc\nCONNECT\nLOCALMD after\n");
    EXPECT_EQ(run.Status, 2) << run.Out;
    EXPECT_NE(run.Err.find("TIMEOUT=thirty"), std::string::npos) << run.Err;
    EXPECT_EQ(run.LineStarting("Host:"), -1);
    EXPECT_FALSE(Exists(PathOf("after")));
}

TEST_F(PlayerFaultTest, ConnectionOtherThanLanIsDialledAndAFailedDialStops)
{
    StartServer("unix");
    // "lan" in lower case is not "LAN": it names a dial-up entry, which this machine lacks.
    WriteProfile("/", "20", 0, "lan");
    const TRunOutcome run = Run("PROFILE profile.tnc\nONERROR CONTINUE\nCONNECT\nLOCALMD after\n");
    EXPECT_EQ(run.Status, 1) << run.Out;
    EXPECT_TRUE(run.HasLine("RAS Connection Failed.")) << run.Out;
    EXPECT_EQ(run.LineStarting("> USER"), -1);
    EXPECT_FALSE(Exists(PathOf("after")));
}

TEST_F(PlayerFaultTest, SyntaxErrorsOfTheNamePairCommandsStop)
{
    StartServer("unix");
    WriteProfile("/");
    // Also quotes that leave a name empty: 'RECEIVE "a.csv "b.csv"' must never send a bare RETR.
    for (const std::string argument :
         {"\"only-one", "\"a.csv \"b.csv\"", "\"a\" \"\"", "\"\" \"b\""}) {
        for (const std::string keyword : {"SEND", "RECEIVE", "RENAME"}) {
            const TRunOutcome run = Run("PROFILE profile.tnc\nCONNECT\n" + keyword + " " +
                                        argument + "\nLOCALMD after\n");
            EXPECT_EQ(run.Status, 1) << run.Out;
            EXPECT_TRUE(run.HasLine("ERROR: Syntax error on " + keyword + " command.")) << run.Out;
            EXPECT_EQ(run.LineStarting("> PORT"), -1) << keyword << " " << argument;
            EXPECT_EQ(run.LineStarting("> RNFR"), -1) << keyword << " " << argument;
            EXPECT_NE(run.Err.find("tarnsp: line 3: ERROR: Syntax error on " + keyword),
                      std::string::npos)
                << run.Err;
            EXPECT_FALSE(Exists(PathOf("after")));
        }
    }
}

} // namespace
} // namespace tarn::test
