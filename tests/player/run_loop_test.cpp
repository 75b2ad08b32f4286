#include "tests/player/recording_view.h"
#include "player/tarn_player.h"
#include "tests/player/temp_folder.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace tarn {
namespace {

using test::RecordingView;
using Lines = std::vector<std::string>;

class RunLoop : public test::TempFolderTest
{
protected:
    RecordingView View;
    TTarnPlayer Player{View};

    void Run(const std::string &script)
    {
        Player.SetScriptText(script);
        Player.ExecuteButtonClick();
    }
    // Registers a keyword that records its argument and then does `effect`.
    void Probe(const std::string &keyword, std::function<void()> effect = {})
    {
        Player.AddOperation(keyword, [this, keyword, effect](const std::string &argument) {
            Calls.push_back(keyword + ":" + argument);
            if (effect)
                effect();
        });
    }
    Lines Calls;
};

TEST_F(RunLoop, ControlKeywordsStoreArgumentsUncheckedAndRunsResetThem)
{
    Run("server  ftp.example.com \r\nUSERNAME bob\r\nPASSWORD s3 cret\r\nPORT x\r\n"
        "CONNECTION My Dial\r\nLOGFILE\r\n");
    EXPECT_EQ(Player.ServerName, "ftp.example.com");
    EXPECT_EQ(Player.LoginName, "bob");
    EXPECT_EQ(Player.LoginPassword, "s3 cret");
    EXPECT_EQ(Player.ServerPort, "x");
    EXPECT_EQ(Player.ConnectionName, "My Dial");
    EXPECT_TRUE(View.Lines.empty());

    Player.LocalDir = "/keep";
    Player.HostDir = "/host";
    Player.ProfileTimeout = 7;
    Player.Dialed = Player.HangUpRequested = true;
    Run("ONERROR STOP");
    EXPECT_EQ(Player.ServerName, "");
    EXPECT_EQ(Player.LoginName, "");
    EXPECT_EQ(Player.LoginPassword, "");
    EXPECT_EQ(Player.ServerPort, "21");
    EXPECT_EQ(Player.ConnectionName, "LAN");
    EXPECT_FALSE(Player.Dialed);
    EXPECT_FALSE(Player.HangUpRequested);
    EXPECT_EQ(Player.LocalDir, "/keep");
    EXPECT_EQ(Player.HostDir, "/host");
    EXPECT_EQ(Player.ProfileTimeout, 7);

    // StopOnError outlives the run that set it, and the log is not cleared by a new run.
    Run("");
    EXPECT_TRUE(Player.StopOnError);
    EXPECT_EQ(View.Lines, Lines{"Error action set to STOP."});
}

TEST_F(RunLoop, UnknownWordsAndNearMissesAreSkippedSilently)
{
    Probe("CDUP");
    Run("free text here\r\n\r\n   \r\n\t\r\n CDUP\r\nCDUP\tnow\r\ncdup\r\nCDUP now\r\n"
        "GET x\r\nTIMEOUT 5\r\nCDUP\t\r\n");
    EXPECT_EQ(Calls, (Lines{"CDUP:", "CDUP:now", "CDUP:"}));
    EXPECT_TRUE(View.Lines.empty());
    EXPECT_FALSE(Player.Stopped);
}

TEST_F(RunLoop, OnErrorChoosesBetweenStopAndContinue)
{
    const struct
    {
        std::string Argument;
        bool Stop;
    } cases[] = {{"STOP", true},      {"stop", true},      {"  sToP  ", true}, {"", false},
                 {"CONTINUE", false}, {"STOP NOW", false}, {"\tSTOP\t", true}, {"STOPP", false}};
    for (const auto &c : cases) {
        View.Lines.clear();
        Player.SetErrorAction(c.Argument);
        EXPECT_EQ(Player.StopOnError, c.Stop) << c.Argument;
        EXPECT_EQ(View.Lines,
                  Lines{c.Stop ? "Error action set to STOP." : "Error action set to CONTINUE."});
    }
}

TEST_F(RunLoop, FailureStopsOnlyUnderOnErrorStopButSyntaxErrorsAlwaysStop)
{
    Probe("CDUP");
    Player.AddOperation("DELETE", [this](const std::string &) { Player.Fail(); });
    Run("DELETE x\r\nCDUP a\r\nONERROR STOP\r\nCDUP b\r\nDELETE y\r\nCDUP c\r\n");
    EXPECT_EQ(Calls, (Lines{"CDUP:a", "CDUP:b"}));
    EXPECT_TRUE(Player.StoppedByFailure);

    Calls.clear();
    Run("ONERROR\r\nLOCALCOPY \"a\"\r\nCDUP after\r\n");
    EXPECT_EQ(Calls, Lines{});
    EXPECT_EQ(View.Lines.back(), "ERROR: Syntax error on File Operation command.");
    EXPECT_TRUE(Player.StoppedByFailure);

    Run("CDUP fine");
    EXPECT_FALSE(Player.StoppedByFailure);
}

TEST_F(RunLoop, ExitEndsTheRunAfterTheEndStepsAndAsksToClose)
{
    Lines steps;
    Player.RunStartHook = [&] { steps.push_back("start"); };
    Player.RunEndHook = [&] {
        steps.push_back("end");
        Player.AppendLog("quit");
    };
    Probe("CDUP", [&] { steps.push_back("line"); });
    Run("CDUP\r\nLOGFILE run.log\r\nexit\r\nCDUP\r\n");
    EXPECT_EQ(steps, (Lines{"start", "line", "end"}));
    EXPECT_TRUE(Player.ExitWhenDone);
    EXPECT_FALSE(Player.StoppedByFailure);
    EXPECT_EQ(View.CloseRequests, 1);
    EXPECT_EQ(View.Running, (std::vector<bool>{true, false}));
    // The saved log includes what the end step logged.
    EXPECT_EQ(Read("run.log"), "quit\r\n");
}

TEST_F(RunLoop, StopTakesEffectBeforeTheNextLine)
{
    Probe("CDUP", [this] { Player.StopButtonClick(); });
    Probe("MKDIR");
    Run("MKDIR 1\r\nCDUP 2\r\nMKDIR 3\r\n");
    EXPECT_EQ(Calls, (Lines{"MKDIR:1", "CDUP:2"}));
    EXPECT_EQ(View.Lines, Lines{"Script stopped by user."});
    EXPECT_FALSE(Player.StoppedByFailure);
    EXPECT_EQ(View.CloseRequests, 0);

    // A Stop pressed between lines (the window's event loop turns there) works the same way.
    Calls.clear();
    View.OnBetweenLines = [this] {
        if (Calls.size() == 1)
            Player.StopButtonClick();
    };
    Run("MKDIR a\r\nMKDIR b\r\n");
    EXPECT_EQ(Calls, Lines{"MKDIR:a"});
}

TEST_F(RunLoop, LineCountIsTakenAtTheStartAndAReplacedScriptIsReadSafely)
{
    Probe("MKDIR", [this] {
        if (Calls.size() == 1)
            Player.SetScriptText("MKDIR new\r\n");
    });
    Run("MKDIR 0\r\nMKDIR 1\r\nMKDIR 2\r\n");
    EXPECT_EQ(Calls, (Lines{"MKDIR:0"}));

    Calls.clear();
    Probe("CDUP", [this] { Player.SetScriptText("CDUP\r\nCDUP x\r\nCDUP y\r\nCDUP z"); });
    Run("CDUP a\r\nCDUP b\r\n");
    EXPECT_EQ(Calls, (Lines{"CDUP:a", "CDUP:x"}));
}

TEST_F(RunLoop, EscapedErrorEndsTheRunWithoutTheEndSteps)
{
    bool endStep = false;
    Player.RunEndHook = [&] { endStep = true; };
    Player.AddOperation("PROFILE", [](const std::string &) {
        throw std::runtime_error("'x' is not a valid integer value");
    });
    Probe("CDUP");
    Player.SetScriptText("LOGFILE out.log\r\nPROFILE p.tnc\r\nCDUP\r\nEXIT\r\n");
    EXPECT_THROW(Player.ExecuteButtonClick(), std::runtime_error);
    EXPECT_TRUE(Calls.empty());
    EXPECT_FALSE(endStep);
    EXPECT_FALSE(Exists("out.log"));
    EXPECT_EQ(View.Running, std::vector<bool>{true}); // the Running look stays
    EXPECT_FALSE(Player.Busy());                      // but a new run may start
    EXPECT_EQ(View.CloseRequests, 0);
}

TEST_F(RunLoop, LogFileIsSavedAtTheEndWithCrLfAndTheLaterNameWins)
{
    Run("ONERROR stop\r\nLOGFILE first.log\r\nLOGFILE second.log\r\nONERROR\r\n");
    EXPECT_FALSE(Exists("first.log"));
    EXPECT_EQ(Read("second.log"), "Error action set to STOP.\r\nError action set to CONTINUE.\r\n");

    // An empty LOGFILE cancels an earlier one of the same run; a new run forgets the name.
    Run("LOGFILE third.log\r\nLOGFILE\r\n");
    Run("ONERROR");
    EXPECT_FALSE(Exists("third.log"));
    EXPECT_EQ(Read("second.log").size(), 58u);
}

TEST_F(RunLoop, SaveLogToReplacesTheFileAndWritesBytesUnchanged)
{
    Write("log.txt", "an older and much longer content that must disappear");
    Player.AppendLog("");
    Player.AppendLog("caf\xe9 \x01");
    Player.SaveLogTo("log.txt");
    EXPECT_EQ(Read("log.txt"), "\r\ncaf\xe9 \x01\r\n");
    // A write that fails after the file was opened (a full disk) is no saved log either.
    EXPECT_THROW(Player.SaveLogTo("/dev/full"), std::runtime_error);
    Player.ClearLog();
    Player.SaveLogTo("log.txt");
    EXPECT_EQ(Read("log.txt"), "");
    EXPECT_TRUE(View.Lines.empty());
}

TEST_F(RunLoop, LoadScriptReadsBytesAndReportsUnreadableFiles)
{
    Write("s.tns", std::string("ONERROR STOP\rLOCALMD a\0junk\r\n", 27));
    Player.LoadScript("s.tns");
    EXPECT_EQ(Player.Script(), (Lines{"ONERROR STOP", "LOCALMD a"}));
    for (const char *bad : {"missing.tns", ".", ""}) {
        EXPECT_THROW(Player.LoadScript(bad), std::runtime_error) << bad;
        EXPECT_EQ(Player.Script().size(), 2u) << "a failed load keeps the script";
    }
    Write("empty.tns", "");
    Player.LoadScript("empty.tns");
    Player.ExecuteButtonClick();
    EXPECT_EQ(View.Running, (std::vector<bool>{true, false}));
}

TEST_F(RunLoop, StartUpHonoursEachSwitchOnlyAtItsPosition)
{
    const struct
    {
        Lines Arguments;
        bool Ran, Exits, Deleted;
    } cases[] = {
        {{"s.tns"}, false, false, false},
        {{"s.tns", "/R"}, true, false, false},
        {{"s.tns", "/r"}, false, false, false},
        {{"s.tns", "/X"}, false, false, false},
        {{"s.tns", "/R", "/X"}, true, true, false},
        {{"s.tns", "/R", "/X", "/D"}, true, true, true},
        {{"s.tns", "", "", "/D"}, false, false, true},
        {{"s.tns", "/D", "/R", "/X"}, false, false, false},
        {{"s.tns", "/R", "/x", "/d"}, true, false, false},
    };
    for (const auto &c : cases) {
        Write("s.tns", "ONERROR STOP\r\n");
        RecordingView view;
        TTarnPlayer player(view);
        player.ExitWhenDone = true; // start-up clears it
        PlayerCommandLine line;
        line.Positional = c.Arguments;
        player.StartUp(line);
        const std::string what = ::testing::PrintToString(c.Arguments);
        EXPECT_EQ(player.StopOnError, c.Ran) << what;
        EXPECT_EQ(view.CloseRequests, c.Ran && c.Exits ? 1 : 0) << what;
        EXPECT_EQ(player.ExitWhenDone, c.Exits) << what;
        EXPECT_EQ(Exists("s.tns"), !c.Deleted) << what;
        EXPECT_EQ(player.Script().size(), 1u) << what;
    }
}

TEST_F(RunLoop, StartUpGuardSwallowsLoadAndRunErrors)
{
    // A script that cannot be read is neither run nor deleted, and the player stays open.
    PlayerCommandLine line;
    line.Positional = {"missing.tns", "/R", "/X", "/D"};
    Player.StartUp(line);
    EXPECT_TRUE(Player.Script().empty());
    EXPECT_EQ(View.Running, std::vector<bool>{false});
    EXPECT_FALSE(Player.ExitWhenDone);

    Write("bad.tns", "LOGFILE /no/such/folder/x.log\r\n");
    line.Positional = {"bad.tns", "/R", "/X", "/D"};
    EXPECT_NO_THROW(Player.StartUp(line));
    EXPECT_FALSE(Exists("bad.tns"));
    EXPECT_EQ(View.CloseRequests, 0);
    EXPECT_EQ(View.Running.back(), true);
}

TEST(PlayerCommandLineTest, OptionsAreTakenOutBeforePositionsCount)
{
    const struct
    {
        Lines Arguments;
        bool Console, Help, Version;
        Lines Positional;
        bool Error;
    } cases[] = {
        {{}, false, false, false, {}, false},
        {{"s.tns", "/R", "/X", "/D"}, false, false, false, {"s.tns", "/R", "/X", "/D"}, false},
        {{"--console", "s.tns", "/R"}, true, false, false, {"s.tns", "/R"}, false},
        {{"s.tns", "--console", "/R"}, true, false, false, {"s.tns", "/R"}, false},
        {{"-h"}, false, true, false, {}, false},
        {{"--version", "--help"}, false, true, true, {}, false},
        {{"--", "--console"}, false, false, false, {"--console"}, false},
        {{"--bogus", "s.tns"}, false, false, false, {"s.tns"}, true},
        {{"-x", "/R"}, false, false, false, {"-x", "/R"}, false},
    };
    for (const auto &c : cases) {
        const PlayerCommandLine line = ParsePlayerCommandLine(c.Arguments);
        const std::string what = ::testing::PrintToString(c.Arguments);
        EXPECT_EQ(line.Console, c.Console) << what;
        EXPECT_EQ(line.Help, c.Help) << what;
        EXPECT_EQ(line.Version, c.Version) << what;
        EXPECT_EQ(line.Positional, c.Positional) << what;
        EXPECT_EQ(!line.Error.empty(), c.Error) << what;
    }
    const PlayerCommandLine line = ParsePlayerCommandLine({"--console", "s", "/R", "/X", "/D"});
    EXPECT_TRUE(line.RunSwitch() && line.ExitSwitch() && line.DeleteSwitch());
    EXPECT_EQ(line.At(1), "s");
    EXPECT_EQ(line.At(5), "");
}

TEST(PlayerCommandLineTest, DisplayIsMissingWithoutXOrWaylandOrWithOffscreen)
{
    EXPECT_TRUE(DisplayMissing(nullptr, nullptr, nullptr));
    EXPECT_TRUE(DisplayMissing("", "", ""));
    EXPECT_FALSE(DisplayMissing(nullptr, ":0", nullptr));
    EXPECT_FALSE(DisplayMissing(nullptr, nullptr, "wayland-0"));
    EXPECT_TRUE(DisplayMissing("offscreen", ":0", nullptr));
    EXPECT_TRUE(DisplayMissing("minimal:enable_fonts", ":0", nullptr));
    EXPECT_FALSE(DisplayMissing("xcb", ":0", nullptr));
    EXPECT_FALSE(DisplayMissing("vnc", nullptr, nullptr));
}

} // namespace
} // namespace tarn
