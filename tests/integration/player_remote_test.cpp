// The script player end to end: tarnsp --console against tools/testftpd in its three
// personalities, transferred files compared byte for byte.

#include "tests/integration/player_run.h"

#include <algorithm>
#include <filesystem>

namespace tarn::test {
namespace {

class PersonalityRun : public PlayerRunTest, public ::testing::WithParamInterface<std::string>
{
};

INSTANTIATE_TEST_SUITE_P(Personalities, PersonalityRun,
                         ::testing::Values("unix", "windows", "os400"));

std::size_t CountLinesContaining(const TRunOutcome &Outcome, const std::string &Text)
{
    const std::vector<std::string> lines = Outcome.Lines();
    return std::count_if(lines.begin(), lines.end(), [&](const std::string &Line) {
        return Line.find(Text) != std::string::npos;
    });
}

// Lines of listings: neither commands, replies nor engine notices.
std::size_t CountListingLinesContaining(const TRunOutcome &Outcome, const std::string &Text)
{
    const std::vector<std::string> lines = Outcome.Lines();
    return std::count_if(lines.begin(), lines.end(), [&](const std::string &Line) {
        return Line.find(Text) != std::string::npos && Line.rfind("> ", 0) != 0 &&
               Line.rfind("< ", 0) != 0 && Line.rfind("! ", 0) != 0;
    });
}

TEST_P(PersonalityRun, RecordedScriptMovesEveryFileIntact)
{
    const std::string download = BinaryContent(200 * 1024 + 17);
    const std::string upload = BinaryContent(70 * 1024 + 3).substr(1);
    Write(ServerPath("pub/get.bin"), download);
    Write(ServerPath("pub/old.txt"), "old\r\n");
    Write(PathOf("up.bin"), upload);
    StartServer(GetParam());
    WriteProfile("/pub");

    const TRunOutcome run = Run("PROFILE profile.tnc\n"
                                "TIMEOUT 60\n"
                                "CONNECT\n"
                                "COMMAND SITE NAMEFMT 1\n"
                                "BINARY\n"
                                "CHDIR /pub\n"
                                "RECEIVE \"got.bin\" \"get.bin\"\n"
                                "SEND \"up.bin\" \"c:\\upload\\up.bin\"\n"
                                "RENAME \"up.bin\" \"renamed.bin\"\n"
                                "DELETE old.txt\n"
                                "MKDIR made\n"
                                "MKDIR gone\n"
                                "RMDIR gone\n"
                                "LIST\n"
                                "QUIT\n");

    // Only IBM i knows SITE NAMEFMT: elsewhere its failure, allowed by ONERROR CONTINUE, makes
    // the status 3 and is told on standard error with its line.
    if (GetParam() == "os400") {
        EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
        EXPECT_EQ(run.Err, "");
    } else {
        EXPECT_EQ(run.Status, 3) << run.Out << run.Err;
        EXPECT_EQ(run.Err.rfind("tarnsp: line 4: COMMAND failed: 50", 0), 0u) << run.Err;
        EXPECT_NE(run.Err.find("but 1 command failed"), std::string::npos) << run.Err;
    }
    ExpectNoPassword(run, Password);
    EXPECT_TRUE(run.HasLine("Host:  127.0.0.1")) << run.Out;
    EXPECT_TRUE(run.HasLine("User:  tester"));
    EXPECT_TRUE(run.HasLine("Port:  " + std::to_string(FServer->Port())));
    EXPECT_TRUE(run.HasLine("> PASS *******"));
    EXPECT_TRUE(run.HasLine("> RETR get.bin"));
    // The remote name loses everything up to its last backslash or colon.
    EXPECT_TRUE(run.HasLine("> STOR up.bin")) << run.Out;

    EXPECT_EQ(Read(PathOf("download/got.bin")), download);
    EXPECT_EQ(Read(ServerPath("pub/renamed.bin")), upload);
    EXPECT_FALSE(Exists(ServerPath("pub/up.bin")));
    EXPECT_FALSE(Exists(ServerPath("pub/old.txt")));
    EXPECT_TRUE(std::filesystem::is_directory(ServerPath("pub/made")));
    EXPECT_FALSE(Exists(ServerPath("pub/gone")));

    // LIST without an argument lists the directory the last CHDIR reached, line by line.
    EXPECT_TRUE(run.HasLine("> LIST /pub")) << run.Out;
    EXPECT_EQ(CountListingLinesContaining(run, "renamed.bin"), 1u) << run.Out;
    EXPECT_EQ(CountListingLinesContaining(run, "made"), 1u);
    EXPECT_EQ(CountListingLinesContaining(run, "old.txt"), 0u);
    const int quit = run.LineStarting("> QUIT");
    ASSERT_GE(quit, 0);
    EXPECT_EQ(run.LineStarting("< 221"), quit + 1);
    EXPECT_TRUE(std::filesystem::is_empty(PathOf("tmp"))) << "the listing file was left behind";
}

TEST_P(PersonalityRun, RunEndQuitsASessionTheScriptLeftOpen)
{
    Write(ServerPath("pub/a.txt"), "a\n");
    StartServer(GetParam());
    WriteProfile("/pub");
    const TRunOutcome run = Run("PROFILE profile.tnc\nCONNECT\nCHDIR /\n");
    EXPECT_EQ(run.Status, 0) << run.Out;
    const std::vector<std::string> lines = run.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "> QUIT");
    EXPECT_EQ(lines.back().rfind("< 221", 0), 0u) << run.Out;
    ExpectNoPassword(run, Password);
}

TEST_P(PersonalityRun, OnErrorStopEndsTheRunWhereContinueGoesOn)
{
    Write(ServerPath("pub/a.txt"), "content of a\n");
    Write(PathOf("download/missing.txt"), "a local file of that name\n");
    StartServer(GetParam());
    WriteProfile("/pub");
    const std::string body = "CONNECT\n"
                             "BINARY\n"
                             "RECEIVE \"missing.txt\" \"missing.txt\"\n"
                             "RECEIVE \"a.txt\" \"a.txt\"\n";

    const TRunOutcome stop = Run("PROFILE profile.tnc\nONERROR stop\n" + body);
    EXPECT_EQ(stop.Status, 1) << stop.Out;
    EXPECT_TRUE(stop.HasLine("Error action set to STOP."));
    EXPECT_FALSE(Exists(PathOf("download/a.txt")));
    EXPECT_EQ(stop.LineStarting("> RETR a.txt"), -1);
    EXPECT_GE(stop.LineStarting("> QUIT"), 0) << "the run-end step quits the session";

    const TRunOutcome go = Run("PROFILE profile.tnc\nONERROR\n" + body);
    EXPECT_EQ(go.Status, 3) << go.Out;
    EXPECT_NE(go.Err.find("tarnsp: line 5: RECEIVE failed: 550"), std::string::npos) << go.Err;
    EXPECT_TRUE(go.HasLine("Error action set to CONTINUE."));
    EXPECT_EQ(Read(PathOf("download/a.txt")), "content of a\n");
    // The refused download left the local file of that name as it was.
    EXPECT_EQ(Read(PathOf("download/missing.txt")), "a local file of that name\n");
}

TEST_P(PersonalityRun, SixtyListingsInOneRunAllReachTheLog)
{
    Write(ServerPath("pub/a.txt"), "a\n");
    StartServer(GetParam());
    WriteProfile("/pub");
    std::string script = "PROFILE profile.tnc\nONERROR STOP\nCONNECT\n";
    for (int i = 0; i < 60; ++i)
        script += "LIST\n";
    const TRunOutcome run = Run(script);
    EXPECT_EQ(run.Status, 0) << run.Out;
    EXPECT_EQ(CountListingLinesContaining(run, "a.txt"), 60u);
    EXPECT_TRUE(std::filesystem::is_empty(PathOf("tmp")));
}

TEST_P(PersonalityRun, CommandSucceedsOnlyOn250)
{
    StartServer(GetParam());
    WriteProfile("/");
    const TRunOutcome run = Run("PROFILE profile.tnc\nONERROR STOP\nCONNECT\n"
                                "COMMAND NOOP\nMKDIR made\n");
    EXPECT_EQ(run.Status, 1) << run.Out;
    EXPECT_TRUE(run.HasLine("> NOOP"));
    EXPECT_GE(run.LineStarting("< 200"), 0);
    // The 200 reply looks like a success: the log says why it is not one.
    EXPECT_TRUE(run.HasLine("! The reply code 200 is not 250, the only one COMMAND takes for "
                            "success."))
        << run.Out;
    EXPECT_EQ(run.LineStarting("> MKD"), -1);
    EXPECT_FALSE(Exists(ServerPath("made")));
}

TEST_P(PersonalityRun, ASecondConnectFailsAndStopsTheRun)
{
    StartServer(GetParam());
    WriteProfile("/");
    const TRunOutcome run = Run("PROFILE profile.tnc\nCONNECT\nCONNECT\nMKDIR made\n");
    EXPECT_EQ(run.Status, 1) << run.Out;
    EXPECT_EQ(CountLinesContaining(run, "Host:  127.0.0.1"), 2u);
    EXPECT_EQ(CountLinesContaining(run, "> USER"), 1u);
    EXPECT_FALSE(Exists(ServerPath("made")));
    EXPECT_GE(run.LineStarting("> QUIT"), 0);
}

TEST_P(PersonalityRun, ConnectionKeywordsInTheScriptNeverShowThePassword)
{
    StartServer(GetParam());
    const TRunOutcome run =
        Run("SERVER 127.0.0.1\nPORT " + std::to_string(FServer->Port()) +
            "\nUSERNAME tester\nPASSWORD " + Password + "\nCONNECT\nMKDIR made\nQUIT\n");
    EXPECT_EQ(run.Status, 0) << run.Out;
    EXPECT_TRUE(run.HasLine("> PASS *******"));
    EXPECT_TRUE(std::filesystem::is_directory(ServerPath("made")));
    ExpectNoPassword(run, Password);
}

class Os400Run : public PlayerRunTest
{
protected:
    void SetUp() override
    {
        PlayerRunTest::SetUp();
        Write(ServerPath("QSYS.LIB/MYLIB.LIB/QCLSRC.FILE/HELLO.MBR"), "PGM\r\nENDPGM\r\n");
        Write(ServerPath("home/tester/notes.txt"), "notes\n");
        StartServer("os400");
    }
};

TEST_F(Os400Run, ChdirToALibraryNameReachesQsysAndListsIt)
{
    WriteProfile("/home/tester");
    const TRunOutcome run = Run("PROFILE profile.tnc\nONERROR STOP\nCONNECT\n"
                                "COMMAND SITE NAMEFMT 1\n"
                                "LIST\n"
                                "CHDIR mylib.lib\n"
                                "LIST\n"
                                "RECEIVE \"hello.txt\" \"QCLSRC.FILE/HELLO.MBR\"\n"
                                "CDUP\n"
                                "CHDIR /home/tester\n"
                                "QUIT\n");
    EXPECT_EQ(run.Status, 0) << run.Out;
    EXPECT_TRUE(run.HasLine("> LIST /home/tester")) << run.Out;
    EXPECT_TRUE(run.HasLine("> CWD /QSYS.LIB/MYLIB.LIB"));
    EXPECT_TRUE(run.HasLine("> LIST /QSYS.LIB/MYLIB.LIB")) << "HostDir follows the PWD reply";
    EXPECT_EQ(CountListingLinesContaining(run, "*MEM"), 1u) << run.Out;
    EXPECT_EQ(Read(PathOf("download/hello.txt")), "PGM\r\nENDPGM\r\n");
    EXPECT_TRUE(run.HasLine("> CWD /home/tester")) << "a path is taken as written";
}

TEST_F(Os400Run, RcmdAnswered250Succeeds)
{
    WriteProfile("/");
    const TRunOutcome run = Run("PROFILE profile.tnc\nONERROR STOP\nCONNECT\n"
                                "COMMAND RCMD CRTLIB LIB(NEWLIB)\n"
                                "MKDIR /home/tester/after\n");
    EXPECT_EQ(run.Status, 0) << run.Out;
    EXPECT_TRUE(std::filesystem::is_directory(ServerPath("QSYS.LIB/NEWLIB.LIB")));
    EXPECT_TRUE(std::filesystem::is_directory(ServerPath("home/tester/after")));
}

// Passwords given to CL commands stay out of the log, in the command and in the reply that
// repeats it.
TEST_F(Os400Run, PasswordsOfClCommandsAreMaskedInTheLog)
{
    WriteProfile("/");
    const TRunOutcome run = Run("PROFILE profile.tnc\nCONNECT\n"
                                "COMMAND RCMD CHGUSRPRF USRPRF(BOB) password(Hidden1)\n"
                                "COMMAND rcmd chgpwd curpwd(Old2) newpwd(New3)\n");
    EXPECT_EQ(run.Status, 0) << run.Out;
    EXPECT_TRUE(run.HasLine("> RCMD CHGUSRPRF USRPRF(BOB) password(********)")) << run.Out;
    EXPECT_TRUE(run.HasLine("< 250 Command chgpwd curpwd(********) newpwd(********) successful."))
        << run.Out;
    for (const char *secret : {"Hidden1", "Old2", "New3"})
        EXPECT_EQ(run.Out.find(secret), std::string::npos) << secret;
}

} // namespace
} // namespace tarn::test
