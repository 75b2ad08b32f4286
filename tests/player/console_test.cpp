// Runs the real tarnsp program without a window and checks its output and exit status.

#include "tests/player/temp_folder.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace tarn {
namespace {

struct TOutcome
{
    int Status = -1;
    std::string Out;
    std::string Err;
};

class Console : public test::TempFolderTest
{
protected:
    TOutcome Tarnsp(const QStringList &Arguments, bool WithDisplay = false)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("QT_QPA_PLATFORM");
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        if (WithDisplay)
            environment.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(QString::fromStdString(FRoot.string()));
        process.start(TARNSP_PROGRAM, Arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        TOutcome outcome;
        outcome.Status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        outcome.Out = process.readAllStandardOutput().toStdString();
        outcome.Err = process.readAllStandardError().toStdString();
        return outcome;
    }
};

TEST_F(Console, ExitStatusTellsHowTheRunEnded)
{
    Write("ok.tns", "ONERROR STOP\r\nLOCALMD made\r\nEXIT\r\nLOCALMD never\r\n");
    TOutcome run = Tarnsp({"--console", "ok.tns"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, "Error action set to STOP.\n");
    EXPECT_EQ(run.Err, "");
    EXPECT_TRUE(Exists("made") && !Exists("never"));

    // A failing command that is allowed to pass still lets the run reach its end.
    Write("pass.tns", "LOCALDEL missing\nONERROR\nLOCALDEL missing\n");
    EXPECT_EQ(Tarnsp({"--console", "pass.tns"}).Status, 0);

    Write("fail.tns", "ONERROR STOP\nLOCALDEL missing\nLOCALMD never\n");
    run = Tarnsp({"--console", "fail.tns"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Out, "Error action set to STOP.\n");

    Write("syntax.tns", "LOCALREN \"a\" b\nLOCALMD never\n");
    run = Tarnsp({"--console", "syntax.tns"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Out, "ERROR: Syntax error on File Operation command.\n");
    EXPECT_FALSE(Exists("never"));

    Write("escape.tns", "ONERROR\nSAVELOG no/such/dir.log\nLOCALMD never\n");
    run = Tarnsp({"--console", "escape.tns"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Out, "Error action set to CONTINUE.\n");
    EXPECT_NE(run.Err.find("Cannot create file \"no/such/dir.log\""), std::string::npos) << run.Err;
    EXPECT_FALSE(Exists("never"));

    run = Tarnsp({"--console", "missing.tns"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("missing.tns"), std::string::npos) << run.Err;
    EXPECT_EQ(run.Out, "");
}

TEST_F(Console, BadScriptsEndCleanly)
{
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919) % 256);
    Write("garbage.tns", garbage);
    EXPECT_EQ(Tarnsp({"--console", "garbage.tns"}).Status, 0);

    Write("long.tns", "LOCALMD " + std::string(1 << 20, 'x') + "\nLOCALMD after\n");
    EXPECT_EQ(Tarnsp({"--console", "long.tns"}).Status,
              0); // the name is too long: fails, the run goes on
    EXPECT_TRUE(Exists("after"));

    Write("empty.tns", "");
    const TOutcome empty = Tarnsp({"--console", "empty.tns"});
    EXPECT_EQ(empty.Status, 0);
    EXPECT_EQ(empty.Out, "");

    Write("blanks.tns", "   \n\t\t\n \t \n");
    EXPECT_EQ(Tarnsp({"--console", "blanks.tns"}).Status, 0);

    EXPECT_EQ(Tarnsp({"--console", "."}).Status, 2);
    EXPECT_EQ(Tarnsp({"--console"}).Status, 2);
    EXPECT_EQ(Tarnsp({"--frobnicate", "empty.tns"}).Status, 2);
}

TEST_F(Console, PositionsAndOptionsCombine)
{
    Write("s.tns", "ONERROR STOP\n");
    // Options do not count as positions: "/D" is fourth here, so the script is deleted.
    TOutcome run = Tarnsp({"s.tns", "--console", "/R", "/X", "/D"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, "Error action set to STOP.\n");
    EXPECT_FALSE(Exists("s.tns"));

    Write("s.tns", "ONERROR STOP\n");
    run = Tarnsp({"--console", "s.tns", "/R", "/d"});
    EXPECT_TRUE(Exists("s.tns"));
    run = Tarnsp({"--console", "s.tns", "/D"});
    EXPECT_TRUE(Exists("s.tns"));

    // Without a display the player runs in the console by itself.
    run = Tarnsp({"s.tns"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, "Error action set to STOP.\n");
    run = Tarnsp({"s.tns"}, true);
    EXPECT_EQ(run.Out, "Error action set to STOP.\n");
    EXPECT_EQ(Tarnsp({}).Status, 2);

    // "--" makes a name that looks like an option a script file.
    Write("--console", "ONERROR\n");
    run = Tarnsp({"--console", "--", "--console"});
    EXPECT_EQ(run.Out, "Error action set to CONTINUE.\n");
}

TEST_F(Console, HelpAndVersion)
{
    const TOutcome help = Tarnsp({"--help", "--console", "missing.tns"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("/R"), std::string::npos);
    EXPECT_NE(help.Out.find("--console"), std::string::npos);
    const TOutcome version = Tarnsp({"--version"});
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out.rfind("tarnsp ", 0), 0u) << version.Out;
}

} // namespace
} // namespace tarn
