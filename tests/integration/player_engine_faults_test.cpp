// The real tarnsp against a server that misbehaves where the engine must hold: a repeated reply
// never answers a later line, a download that fails keeps the file that was there, a folder is
// never sent, a password cannot smuggle in a command, server text reaches the log and the log
// file shown, never obeyed, with the password masked, and a directory from the server never
// carries a control character into a later command.

#include "tests/integration/player_run.h"

#include <algorithm>

namespace tarn::test {
namespace {

using PlayerEngineFaultTest = PlayerRunTest;

bool HasControlCharacters(const std::string &Text)
{
    return std::any_of(Text.begin(), Text.end(), [](char C) {
        return (C >= 0 && C < 32 && C != '\n' && C != '\r' && C != '\t') || C == 127;
    });
}

TEST_F(PlayerEngineFaultTest, ARepeatedReplyNeverAnswersALaterLine)
{
    // The server repeats its reply to MKD a little later, while the player is busy elsewhere:
    // a stand-in nmcli that takes a second to answer HANGUP.
    const std::string bin = PathOf("bin");
    Write(bin + "/nmcli", "#!/bin/sh\nsleep 1\n");
    std::filesystem::permissions(bin + "/nmcli", std::filesystem::perms::owner_all);
    const char *path = std::getenv("PATH");
    FEnvironment = {{"PATH", bin + ":" + (path ? path : "/usr/bin:/bin")}};
    Write(ServerPath("victim.txt"), "keep me");
    StartServer("unix", {"--extra-reply", "MKD", "--extra-pause", "200"});
    WriteProfile("/");
    const TRunOutcome run = Run("PROFILE profile.tnc\nONERROR STOP\nCONNECT\nMKDIR made\nHANGUP\n"
                                "DELETE missing.txt\nDELETE victim.txt\n");
    EXPECT_EQ(run.Status, 1) << run.Out;
    EXPECT_GE(run.LineStarting("! Unsolicited reply: 257"), 0) << run.Out;
    EXPECT_GE(run.LineStarting("< 550"), 0) << run.Out;
    EXPECT_LT(run.LineStarting("> DELE victim.txt"), 0) << "the run stops at the missing file";
    EXPECT_EQ(Read(ServerPath("victim.txt")), "keep me");
}

TEST_F(PlayerEngineFaultTest, AFailedReceiveKeepsTheFileThatWasThere)
{
    const std::vector<std::vector<std::string>> faults = {
        {"--fail-after-start", "RETR"},
        {"--drop-data-after", "8192", "--drop-data-reset", "--drop-data-reply", "226"},
        {"--short-downloads", "100", "--announce-size"},
    };
    for (const std::vector<std::string> &fault : faults) {
        Write(ServerPath("data.bin"), BinaryContent(64 * 1024));
        StartServer("unix", fault);
        WriteProfile("/");
        Write(PathOf("in/data.bin"), "yesterday's data");
        const TRunOutcome run = Run("PROFILE profile.tnc\nONERROR STOP\nCONNECT\nBINARY\n"
                                    "RECEIVE \"" +
                                    PathOf("in/data.bin") + "\" \"data.bin\"\nLOCALMD after\n");
        EXPECT_EQ(run.Status, 1) << fault[0] << "\n" << run.Out;
        EXPECT_FALSE(Exists(PathOf("after"))) << fault[0];
        EXPECT_EQ(Read(PathOf("in/data.bin")), "yesterday's data") << fault[0];
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(PathOf("in")),
                                std::filesystem::directory_iterator()),
                  1)
            << fault[0] << ": a temporary file was left";
    }
}

TEST_F(PlayerEngineFaultTest, AFolderIsNeverSent)
{
    Write(ServerPath("report"), "the server's report");
    Write(PathOf("report/inside.txt"), "a folder's file");
    StartServer("unix");
    WriteProfile("/");
    const TRunOutcome run =
        Run("PROFILE profile.tnc\nCONNECT\nBINARY\nSEND \"report\" \"report\"\nQUIT\n");
    EXPECT_LT(run.LineStarting("> STOR"), 0) << run.Out;
    EXPECT_LT(run.LineStarting("> PORT"), 0) << run.Out;
    EXPECT_GE(run.LineStarting("! Unable to open local file report: is a folder"), 0) << run.Out;
    EXPECT_EQ(Read(ServerPath("report")), "the server's report");
}

TEST_F(PlayerEngineFaultTest, APasswordCannotSmuggleInACommand)
{
    Write(ServerPath("victim.txt"), "keep me");
    StartServer("unix");
    WriteProfile("/", "20", 0, "LAN", std::string(Password) + "\r\nDELE victim.txt");
    const TRunOutcome run = Run("PROFILE profile.tnc\nCONNECT\nQUIT\n");
    EXPECT_EQ(run.Status, 1) << run.Out;
    EXPECT_LT(run.LineStarting("> USER"), 0) << run.Out; // nothing was sent
    EXPECT_EQ(Read(ServerPath("victim.txt")), "keep me");
    ExpectNoPassword(run, Password);
}

TEST_F(PlayerEngineFaultTest, ServerTextIsShownNotObeyedAndThePasswordStaysHidden)
{
    { // A refusal that repeats the password.
        StartServer("unix", {"--echo-password"});
        WriteProfile("/", "20", 0, "LAN", "Wrong-Pw-42");
        const TRunOutcome run = Run("PROFILE profile.tnc\nCONNECT\n");
        EXPECT_EQ(run.Status, 1) << run.Out;
        EXPECT_GE(run.LineStarting("< 530 Login incorrect for password *******"), 0) << run.Out;
        ExpectNoPassword(run, "Wrong-Pw-42");
    }
    { // Terminal escapes in replies and in listed names, into the console and the log file.
        StartServer("unix", {"--control-chars", "PWD,CWD", "--hostile-listing"});
        WriteProfile("/");
        const TRunOutcome run =
            Run("PROFILE profile.tnc\nLOGFILE " + PathOf("run.log") + "\nCONNECT\nLIST\nQUIT\n");
        EXPECT_EQ(run.Status, 0) << run.Out;
        EXPECT_FALSE(HasControlCharacters(run.Out)) << run.Out;
        const std::string log = Read(PathOf("run.log"));
        EXPECT_FALSE(HasControlCharacters(log)) << log;
        EXPECT_NE(log.find("clear^[[2J^Gbell"), std::string::npos) << log;
        EXPECT_EQ(log.find("\r< 230"), std::string::npos) << log;
        ExpectNoPassword(run, Password);
    }
}

TEST_F(PlayerEngineFaultTest, TheDirectoryComesFromThePwdReplyAndNeverCarriesControlCharacters)
{
    std::filesystem::create_directories(ServerPath("sub"));
    { // A line after the PWD reply, in the same read, is no directory.
        StartServer("unix", {"--extra-reply", "PWD", "--extra-text", "250 \"/evil\" junk"});
        WriteProfile("/");
        const TRunOutcome run = Run("PROFILE profile.tnc\nONERROR STOP\nCONNECT\nCHDIR sub\n"
                                    "LIST\nQUIT\n");
        EXPECT_EQ(run.Status, 0) << run.Out;
        EXPECT_TRUE(run.HasLine("> LIST /sub")) << run.Out;
    }
    // A PWD path holding a line break or another control character is no directory: LIST
    // without an argument lists where the session stands.
    for (const char *reply : {"257 \"/sub\\nDELE victim.txt\" is cwd",
                              "257 \"/sub\\x1b[2J\\rDELE victim.txt\" is cwd"}) {
        Write(ServerPath("victim.txt"), "keep me");
        StartServer("unix", {"--reply-text", std::string("PWD=") + reply});
        WriteProfile("/");
        const TRunOutcome run = Run("PROFILE profile.tnc\nONERROR STOP\nCONNECT\nCHDIR sub\n"
                                    "LIST\nQUIT\n");
        EXPECT_EQ(run.Status, 0) << reply << "\n" << run.Out;
        EXPECT_TRUE(run.HasLine("> LIST")) << reply << "\n" << run.Out;
        EXPECT_LT(run.LineStarting("> DELE"), 0) << run.Out;
        EXPECT_FALSE(HasControlCharacters(run.Out)) << run.Out;
        EXPECT_EQ(Read(ServerPath("victim.txt")), "keep me");
    }
}

} // namespace
} // namespace tarn::test
