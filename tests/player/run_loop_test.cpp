#include "player/tarn_player.h"
#include "tests/player/recording_view.h"
#include "tests/player/temp_folder.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace tarn {
namespace {

using test::TRecordingView;
using TLines = std::vector<std::string>;

class RunLoop : public test::TempFolderTest
{
protected:
    TRecordingView FView;
    TTarnPlayer FPlayer{FView};

    void Run(const std::string &Script)
    {
        FPlayer.SetScriptText(Script);
        FPlayer.ExecuteButtonClick();
    }
    // Registers a keyword that records its argument and then does `Effect`.
    void Probe(const std::string &Keyword, std::function<void()> Effect = {})
    {
        FPlayer.AddOperation(Keyword, [this, Keyword, Effect](const std::string &Argument) {
            FCalls.push_back(Keyword + ":" + Argument);
            if (Effect)
                Effect();
        });
    }
    TLines FCalls;
};

TEST_F(RunLoop, ControlKeywordsStoreArgumentsUncheckedAndRunsResetThem)
{
    Run("server  ftp.example.com \r\nUSERNAME bob\r\nPASSWORD s3 cret\r\nPORT x\r\n"
        "CONNECTION My Dial\r\nLOGFILE\r\n");
    EXPECT_EQ(FPlayer.ServerName, "ftp.example.com");
    EXPECT_EQ(FPlayer.LoginName, "bob");
    EXPECT_EQ(FPlayer.LoginPassword, "s3 cret");
    EXPECT_EQ(FPlayer.ServerPort, "x");
    EXPECT_EQ(FPlayer.ConnectionName, "My Dial");
    EXPECT_TRUE(FView.Lines.empty());

    FPlayer.LocalDir = "/keep";
    FPlayer.HostDir = "/host";
    FPlayer.ProfileTimeout = 7;
    FPlayer.Dialed = FPlayer.HangUpRequested = true;
    Run("ONERROR STOP");
    EXPECT_EQ(FPlayer.ServerName, "");
    EXPECT_EQ(FPlayer.LoginName, "");
    EXPECT_EQ(FPlayer.LoginPassword, "");
    EXPECT_EQ(FPlayer.ServerPort, "21");
    EXPECT_EQ(FPlayer.ConnectionName, "LAN");
    EXPECT_FALSE(FPlayer.Dialed);
    EXPECT_FALSE(FPlayer.HangUpRequested);
    EXPECT_EQ(FPlayer.LocalDir, "/keep");
    EXPECT_EQ(FPlayer.HostDir, "/host");
    EXPECT_EQ(FPlayer.ProfileTimeout, 7);

    // StopOnError outlives the run that set it, and the log is not cleared by a new run.
    Run("");
    EXPECT_TRUE(FPlayer.StopOnError);
    EXPECT_EQ(FView.Lines, TLines{"Error action set to STOP."});
}

TEST_F(RunLoop, UnknownWordsAndNearMissesAreSkippedSilently)
{
    Probe("CDUP");
    Run("free text here\r\n\r\n   \r\n\t\r\n CDUP\r\nCDUP\tnow\r\ncdup\r\nCDUP now\r\n"
        "GET x\r\nTIMEOUT 5\r\nCDUP\t\r\n");
    EXPECT_EQ(FCalls, (TLines{"CDUP:", "CDUP:now", "CDUP:"}));
    EXPECT_TRUE(FView.Lines.empty());
    EXPECT_FALSE(FPlayer.Stopped);
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
        FView.Lines.clear();
        FPlayer.SetErrorAction(c.Argument);
        EXPECT_EQ(FPlayer.StopOnError, c.Stop) << c.Argument;
        EXPECT_EQ(FView.Lines,
                  TLines{c.Stop ? "Error action set to STOP." : "Error action set to CONTINUE."});
    }
}

TEST_F(RunLoop, FailureStopsOnlyUnderOnErrorStopButSyntaxErrorsAlwaysStop)
{
    Probe("CDUP");
    FPlayer.AddOperation("DELETE", [this](const std::string &) { FPlayer.Fail(); });
    Run("DELETE x\r\nCDUP a\r\nONERROR STOP\r\nCDUP b\r\nDELETE y\r\nCDUP c\r\n");
    EXPECT_EQ(FCalls, (TLines{"CDUP:a", "CDUP:b"}));
    EXPECT_TRUE(FPlayer.StoppedByFailure);

    FCalls.clear();
    Run("ONERROR\r\nLOCALCOPY \"a\"\r\nCDUP after\r\n");
    EXPECT_EQ(FCalls, TLines{});
    EXPECT_EQ(FView.Lines.back(), "ERROR: Syntax error on File Operation command.");
    EXPECT_TRUE(FPlayer.StoppedByFailure);

    Run("CDUP fine");
    EXPECT_FALSE(FPlayer.StoppedByFailure);
}

TEST_F(RunLoop, ExitEndsTheRunAfterTheEndStepsAndAsksToClose)
{
    TLines steps;
    FPlayer.RunStartHook = [&] { steps.push_back("start"); };
    FPlayer.RunEndHook = [&] {
        steps.push_back("end");
        FPlayer.AppendLog("quit");
    };
    Probe("CDUP", [&] { steps.push_back("line"); });
    Run("CDUP\r\nLOGFILE run.log\r\nexit\r\nCDUP\r\n");
    EXPECT_EQ(steps, (TLines{"start", "line", "end"}));
    EXPECT_TRUE(FPlayer.ExitWhenDone);
    EXPECT_FALSE(FPlayer.StoppedByFailure);
    EXPECT_EQ(FView.CloseRequests, 1);
    EXPECT_EQ(FView.Running, (std::vector<bool>{true, false}));
    // The saved log includes what the end step logged.
    EXPECT_EQ(Read("run.log"), "quit\r\n");
}

TEST_F(RunLoop, StopTakesEffectBeforeTheNextLine)
{
    Probe("CDUP", [this] { FPlayer.StopButtonClick(); });
    Probe("MKDIR");
    Run("MKDIR 1\r\nCDUP 2\r\nMKDIR 3\r\n");
    EXPECT_EQ(FCalls, (TLines{"MKDIR:1", "CDUP:2"}));
    EXPECT_EQ(FView.Lines, TLines{"Script stopped by user."});
    EXPECT_FALSE(FPlayer.StoppedByFailure);
    EXPECT_EQ(FView.CloseRequests, 0);

    // A Stop pressed between lines (the window's event loop turns there) works the same way.
    FCalls.clear();
    FView.OnBetweenLines = [this] {
        if (FCalls.size() == 1)
            FPlayer.StopButtonClick();
    };
    Run("MKDIR a\r\nMKDIR b\r\n");
    EXPECT_EQ(FCalls, TLines{"MKDIR:a"});
}

TEST_F(RunLoop, LineCountIsTakenAtTheStartAndAReplacedScriptIsReadSafely)
{
    Probe("MKDIR", [this] {
        if (FCalls.size() == 1)
            FPlayer.SetScriptText("MKDIR new\r\n");
    });
    Run("MKDIR 0\r\nMKDIR 1\r\nMKDIR 2\r\n");
    EXPECT_EQ(FCalls, (TLines{"MKDIR:0"}));

    FCalls.clear();
    Probe("CDUP", [this] { FPlayer.SetScriptText("CDUP\r\nCDUP x\r\nCDUP y\r\nCDUP z"); });
    Run("CDUP a\r\nCDUP b\r\n");
    EXPECT_EQ(FCalls, (TLines{"CDUP:a", "CDUP:x"}));
}

TEST_F(RunLoop, EscapedErrorStillRunsTheEndStepsAndSavesTheLogBeforeItPropagates)
{
    bool endStep = false;
    FPlayer.RunEndHook = [&] { endStep = true; };
    FPlayer.AddOperation("PROFILE", [](const std::string &) {
        throw std::runtime_error("'x' is not a valid integer value");
    });
    Probe("CDUP");
    FPlayer.SetScriptText("LOGFILE out.log\r\nPROFILE p.tnc\r\nCDUP\r\nEXIT\r\n");
    EXPECT_THROW(FPlayer.ExecuteButtonClick(), std::runtime_error);
    EXPECT_TRUE(FCalls.empty());
    EXPECT_TRUE(endStep);
    EXPECT_EQ(Read("out.log"), "! 'x' is not a valid integer value\r\n");
    EXPECT_EQ(FView.Running, std::vector<bool>{true}); // the Running look stays
    EXPECT_FALSE(FPlayer.Busy());                      // but a new run may start
    EXPECT_EQ(FView.CloseRequests, 0);

    // When the LOGFILE cannot be written either, both reasons reach the caller.
    FPlayer.SetScriptText("LOGFILE no/such/folder/out.log\r\nPROFILE p.tnc\r\n");
    try {
        FPlayer.ExecuteButtonClick();
        ADD_FAILURE() << "no error escaped";
    } catch (const std::runtime_error &error) {
        const std::string what = error.what();
        EXPECT_NE(what.find("not a valid integer"), std::string::npos) << what;
        EXPECT_NE(what.find("no/such/folder/out.log"), std::string::npos) << what;
    }
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
    FPlayer.AppendLog("");
    FPlayer.AppendLog("caf\xe9 \x01");
    FPlayer.SaveLogTo("log.txt");
    EXPECT_EQ(Read("log.txt"), "\r\ncaf\xe9 \x01\r\n");
    // A device is no place for a log (a FIFO would block the run, /dev/full never holds it).
    EXPECT_THROW(FPlayer.SaveLogTo("/dev/full"), std::runtime_error);
    FPlayer.ClearLog();
    FPlayer.SaveLogTo("log.txt");
    EXPECT_EQ(Read("log.txt"), "");
    EXPECT_TRUE(FView.Lines.empty());
}

TEST_F(RunLoop, LoadScriptReadsBytesAndReportsUnreadableFiles)
{
    Write("s.tns", std::string("ONERROR STOP\rLOCALMD a\0junk\r\n", 27));
    FPlayer.LoadScript("s.tns");
    EXPECT_EQ(FPlayer.Script(), (TLines{"ONERROR STOP", "LOCALMD a"}));
    for (const char *bad : {"missing.tns", ".", ""}) {
        EXPECT_THROW(FPlayer.LoadScript(bad), std::runtime_error) << bad;
        EXPECT_EQ(FPlayer.Script().size(), 2u) << "a failed load keeps the script";
    }
    Write("empty.tns", "");
    FPlayer.LoadScript("empty.tns");
    FPlayer.ExecuteButtonClick();
    EXPECT_EQ(FView.Running, (std::vector<bool>{true, false}));
}

TEST_F(RunLoop, StartUpHonoursEachSwitchOnlyAtItsPosition)
{
    const struct
    {
        TLines Arguments;
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
        TRecordingView view;
        TTarnPlayer player(view);
        player.ExitWhenDone = true; // start-up clears it
        TPlayerCommandLine line;
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

TEST_F(RunLoop, StartUpLeavesAnUnreadableScriptAloneAndReportsItsErrors)
{
    // A script that cannot be read is neither run nor deleted, and the player stays open; the
    // caller (the window) is told why.
    TPlayerCommandLine line;
    line.Positional = {"missing.tns", "/R", "/X", "/D"};
    EXPECT_THROW(FPlayer.StartUp(line), std::runtime_error);
    EXPECT_TRUE(FPlayer.Script().empty());
    EXPECT_EQ(FView.Running, std::vector<bool>{false});
    EXPECT_FALSE(FPlayer.ExitWhenDone);

    Write("bad.tns", "LOGFILE /no/such/folder/x.log\r\n");
    line.Positional = {"bad.tns", "/R", "/X", "/D"};
    EXPECT_THROW(FPlayer.StartUp(line), std::runtime_error);
    EXPECT_FALSE(Exists("bad.tns"));
    EXPECT_EQ(FView.CloseRequests, 0);
    EXPECT_EQ(FView.Running.back(), true);
}

TEST(PlayerCommandLineTest, OptionsAreTakenOutBeforePositionsCount)
{
    const struct
    {
        TLines Arguments;
        bool Console, Help, Version;
        TLines Positional;
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
        const TPlayerCommandLine line = ParsePlayerCommandLine(c.Arguments);
        const std::string what = ::testing::PrintToString(c.Arguments);
        EXPECT_EQ(line.Console, c.Console) << what;
        EXPECT_EQ(line.Help, c.Help) << what;
        EXPECT_EQ(line.Version, c.Version) << what;
        EXPECT_EQ(line.Positional, c.Positional) << what;
        EXPECT_EQ(!line.Error.empty(), c.Error) << what;
    }
    const TPlayerCommandLine line = ParsePlayerCommandLine({"--console", "s", "/R", "/X", "/D"});
    EXPECT_TRUE(line.RunSwitch() && line.ExitSwitch() && line.DeleteSwitch());
    EXPECT_EQ(line.At(1), "s");
    EXPECT_EQ(line.At(5), "");

    // --check and --write-profile take the argument after them, whatever it looks like.
    const TPlayerCommandLine check = ParsePlayerCommandLine({"--check", "/R", "x"});
    EXPECT_EQ(check.CheckFile, "/R");
    EXPECT_EQ(check.Positional, TLines{"x"});
    EXPECT_EQ(ParsePlayerCommandLine({"--write-profile", "--console"}).WriteProfileFile,
              "--console");
    EXPECT_FALSE(ParsePlayerCommandLine({"--check"}).Error.empty());
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
