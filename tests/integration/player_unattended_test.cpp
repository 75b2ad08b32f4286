// The script player as a scheduler runs it: signals sent to a real run, a reader of standard
// output that goes away, errors that escape a command, and failures that must say why. Each
// run is the real tarnsp against tools/testftpd.

#include "tests/integration/player_run.h"

#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace tarn::test {
namespace {

using PlayerUnattendedTest = PlayerRunTest;

TEST_F(PlayerUnattendedTest, SignalsEndAWaitingCallAtOnceRemoveThePartialFileAndWriteTheLog)
{
    const std::string content = BinaryContent(512 * 1024);
    Write(ServerPath("slow.bin"), content);
    StartServer("unix", {"--data-rate", "32768"});
    WriteProfile("/", "60");
    const std::string script = "LOGFILE run.log\nPROFILE profile.tnc\nONERROR CONTINUE\nCONNECT\n"
                               "BINARY\nRECEIVE \"slow.bin\" \"slow.bin\"\nLOCALMD after\n";
    const struct
    {
        int Signal, Status;
        const char *Name;
    } cases[] = {{SIGTERM, 143, "SIGTERM"}, {SIGINT, 130, "SIGINT"}};
    for (const auto &c : cases) {
        std::filesystem::remove(PathOf("run.log"));
        const std::unique_ptr<QProcess> process = Start(script);
        ASSERT_TRUE(process);
        // Once the transfer has started and run a while, the signal comes in its middle.
        ASSERT_TRUE(WaitFor([&] {
            process->waitForReadyRead(20);
            return process->peek(1 << 20).contains("< 125");
        })) << c.Name;
        QThread::msleep(500);
        ::kill(static_cast<pid_t>(process->processId()), c.Signal);
        const TRunOutcome run = Finish(*process, 20);
        EXPECT_EQ(run.Status, c.Status) << c.Name << "\n" << run.Out << run.Err;
        EXPECT_LT(run.Seconds, 10.0) << "the transfer would have taken 16 s";
        // No fragment under the final name, nor anywhere else in the folder.
        EXPECT_TRUE(std::filesystem::is_empty(PathOf("download"))) << c.Name;
        EXPECT_FALSE(Exists(PathOf("after")));
        EXPECT_TRUE(run.HasLine(std::string("Script stopped by ") + c.Name + ".")) << run.Out;
        // The LOGFILE was written after all, with everything the console showed.
        EXPECT_EQ(Read(PathOf("run.log")).size(), run.Out.size() + run.Lines().size()) << c.Name;
    }
}

TEST_F(PlayerUnattendedTest, SignalDuringTheWaitForASilentServerEndsTheRunAtOnce)
{
    // A server that accepts but never greets, and a time-out far beyond the test's patience.
    StartServer("unix", {"--no-greeting"});
    WriteProfile("/", "600");
    const std::unique_ptr<QProcess> process =
        Start("LOGFILE run.log\nPROFILE profile.tnc\nCONNECT\nLOCALMD after\n");
    ASSERT_TRUE(process);
    // "Port:" is logged just before the connection is made.
    ASSERT_TRUE(WaitFor([&] {
        process->waitForReadyRead(20);
        return process->peek(1 << 16).contains("Port:  ");
    }));
    QThread::msleep(300);
    ::kill(static_cast<pid_t>(process->processId()), SIGINT);
    const TRunOutcome run = Finish(*process, 20);
    EXPECT_EQ(run.Status, 130) << run.Out << run.Err;
    EXPECT_TRUE(Exists(PathOf("run.log")));
    EXPECT_NE(Read(PathOf("run.log")).find("Script stopped by SIGINT."), std::string::npos);
    EXPECT_FALSE(Exists(PathOf("after")));
}

TEST_F(PlayerUnattendedTest, AReaderOfStandardOutputThatGoesAwayDoesNotEndTheRun)
{
    StartServer("unix");
    WriteProfile("/");
    Write(PathOf("script.tns"), "LOGFILE run.log\nPROFILE profile.tnc\nONERROR STOP\nCONNECT\n"
                                "MKDIR made\nLIST\nQUIT\nLOCALMD after\n");
    // Standard output is a pipe whose reading end is closed before the player writes.
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    ::close(pipeEnds[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, FRoot.c_str());
    char program[] = TARNSP_PROGRAM;
    char console[] = "--console";
    char scriptName[] = "script.tns";
    char *argv[] = {program, console, scriptName, nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    int status = 0;
    ASSERT_TRUE(WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 60));
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string log = Read(PathOf("run.log"));
    EXPECT_NE(log.find("> MKD made"), std::string::npos) << log;
    EXPECT_NE(log.find("< 221"), std::string::npos) << log;
    EXPECT_TRUE(Exists(PathOf("after")));
}

TEST_F(PlayerUnattendedTest, AnEscapedErrorStillQuitsTheSessionAndWritesTheLogfile)
{
    StartServer("unix");
    WriteProfile("/");
    Write(PathOf("bad.tnc"), "[Connection]\r\nTIMEOUT=thirty\r\n");
    for (const std::string failing : {"SAVELOG no/such/folder/x.log", "PROFILE bad.tnc"}) {
        std::filesystem::remove(PathOf("run.log"));
        const TRunOutcome run =
            Run("LOGFILE run.log\nPROFILE profile.tnc\nCONNECT\n" + failing + "\nLOCALMD after\n");
        EXPECT_EQ(run.Status, 2) << failing << "\n" << run.Out;
        EXPECT_FALSE(Exists(PathOf("after")));
        const std::string log = Read(PathOf("run.log"));
        EXPECT_NE(log.find("> QUIT\r\n< 221"), std::string::npos) << failing << "\n" << log;
        // The saved log says why the run ended, as standard error does.
        const std::string why = failing[0] == 'S' ? "no/such/folder/x.log" : "TIMEOUT=thirty";
        EXPECT_NE(log.find("! "), std::string::npos) << log;
        EXPECT_NE(log.find(why), std::string::npos) << log;
        EXPECT_NE(run.Err.find(why), std::string::npos) << run.Err;
    }
}

TEST_F(PlayerUnattendedTest, FailuresWhoseRepliesDoNotTellWhySayItInTheLogAndOnStandardError)
{
    Write(ServerPath("a.txt"), "a\n");
    StartServer("unix", {"--late-replies", "MKD", "--late-delay", "4000"});
    const int port = FServer->Port();
    WriteProfile("/", "1");
    const struct
    {
        std::string Name, Script, LogLine, ErrLine;
    } cases[] = {
        {"not connected", "MKDIR x\n", "! Not connected to a server",
         "tarnsp: line 1: MKDIR failed: Not connected to a server"},
        {"time-out", "PROFILE profile.tnc\nCONNECT\nMKDIR slow\n",
         "! No answer from the server within 1 second; the session is closed.",
         "tarnsp: line 3: MKDIR failed: No answer from the server within 1 second"},
        {"local folder missing",
         "PROFILE profile.tnc\nCONNECT\nRECEIVE \"no/such/a.txt\" \"a.txt\"\n",
         "! Unable to open local file no/such/a.txt: No such file or directory",
         "tarnsp: line 3: RECEIVE failed: Unable to open local file no/such/a.txt"},
        // The server's own reply says why: no line of the player's.
        {"refused by the server", "PROFILE profile.tnc\nCONNECT\nCHDIR /nowhere\n", "",
         "tarnsp: line 3: CHDIR failed: 550"},
    };
    for (const auto &c : cases) {
        const TRunOutcome run = Run(c.Script, 30);
        EXPECT_EQ(run.Status, 3) << c.Name << "\n" << run.Out << run.Err;
        if (!c.LogLine.empty())
            EXPECT_GE(run.LineStarting(c.LogLine), 0) << c.Name << "\n" << run.Out;
        else
            EXPECT_EQ(run.LineStarting("! "), -1) << c.Name << "\n" << run.Out;
        EXPECT_EQ(run.Err.rfind(c.ErrLine, 0), 0u) << c.Name << "\n" << run.Err;
    }

    // A refused connection: the engine shows no reply, the player says what happened.
    FServer.reset();
    WriteProfile("/", "5", port);
    const TRunOutcome refused = Run("PROFILE profile.tnc\nCONNECT\n");
    EXPECT_EQ(refused.Status, 1);
    const int why = refused.LineStarting("! ");
    ASSERT_GE(why, 0) << refused.Out;
    EXPECT_NE(refused.Lines()[why].find("Connection refused"), std::string::npos) << refused.Out;
    EXPECT_EQ(refused.Err.rfind("tarnsp: line 2: CONNECT failed: ", 0), 0u) << refused.Err;
}

TEST_F(PlayerUnattendedTest, ConnectWithoutAProfileTimeOutGivesUpAfterThirtySeconds)
{
    // No PROFILE line: the settings come from the script, and a server that never greets must
    // not hold the run for ever.
    StartServer("unix", {"--no-greeting"});
    const TRunOutcome run = Run("SERVER 127.0.0.1\nPORT " + std::to_string(FServer->Port()) +
                                    "\nUSERNAME tester\nCONNECT\nLOCALMD after\n",
                                90);
    EXPECT_EQ(run.Status, 1) << run.Out << run.Err;
    EXPECT_GE(run.Seconds, 28.0);
    EXPECT_LT(run.Seconds, 60.0);
    EXPECT_GE(run.LineStarting("! No answer from the server within 30 seconds"), 0) << run.Out;
    EXPECT_FALSE(Exists(PathOf("after")));
}

TEST_F(PlayerUnattendedTest, ABareNameWithoutAProfileIsReceivedIntoTheCurrentDirectory)
{
    // Without a PROFILE the download folder is empty: a bare name must not land in "/".
    const std::string name = "tarn-bare-" + std::to_string(::getpid()) + ".txt";
    Write(ServerPath(name), "bare\n");
    StartServer("unix");
    const TRunOutcome run =
        Run("SERVER 127.0.0.1\nPORT " + std::to_string(FServer->Port()) +
            "\nUSERNAME tester\nPASSWORD " + Password +
            "\nONERROR STOP\nCONNECT\nBINARY\nRECEIVE \"" + name + "\" \"" + name + "\"\n");
    std::filesystem::remove("/" + name);
    EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_EQ(Read(PathOf(name)), "bare\n");
}

} // namespace
} // namespace tarn::test
