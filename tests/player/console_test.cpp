// Runs the real tarnsp program without a window and checks its output and exit status.

#include "profile/connection_profile.h"
#include "tests/player/temp_folder.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

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
    // Runs tarnsp without a display (or with the offscreen one), with `Input` on standard
    // input, for at most `Seconds`.
    TOutcome Tarnsp(const QStringList &Arguments, bool WithDisplay = false,
                    const QByteArray &Input = {}, int Seconds = 60,
                    const QStringList &Environment = {})
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("QT_QPA_PLATFORM");
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        if (WithDisplay)
            environment.insert("QT_QPA_PLATFORM", "offscreen");
        for (const QString &setting : Environment)
            environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(QString::fromStdString(FRoot.string()));
        process.start(FProgram, Arguments);
        process.write(Input);
        process.closeWriteChannel();
        if (!process.waitForFinished(Seconds * 1000)) {
            ADD_FAILURE() << "tarnsp still ran after " << Seconds << " s";
            process.kill();
            process.waitForFinished();
        }
        TOutcome outcome;
        outcome.Status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        outcome.Out = process.readAllStandardOutput().toStdString();
        outcome.Err = process.readAllStandardError().toStdString();
        return outcome;
    }

    QString FProgram = TARNSP_PROGRAM;
};

TEST_F(Console, ExitStatusAndStandardErrorTellHowTheRunEnded)
{
    // Every failure and syntax error is on standard error with its line; the log says why.
    const struct
    {
        const char *Name, *Script;
        int Status;
        const char *Out, *Err;
    } cases[] = {
        {"ok", "ONERROR STOP\r\nLOCALMD made\r\nEXIT\r\nLOCALMD never\r\n", 0,
         "Error action set to STOP.\n", ""},
        // Failures allowed by ONERROR CONTINUE: the run reaches its end, but not with 0.
        {"pass", "LOCALDEL missing\nONERROR\nLOCALDEL missing\n", 3,
         "! missing: No such file or directory\nError action set to CONTINUE.\n"
         "! missing: No such file or directory\n",
         "tarnsp: line 1: LOCALDEL failed: missing: No such file or directory\n"
         "tarnsp: line 3: LOCALDEL failed: missing: No such file or directory\n"
         "tarnsp: the run reached its end, but 2 commands failed\n"},
        {"fail", "ONERROR STOP\nLOCALDEL missing\nLOCALMD never\n", 1,
         "Error action set to STOP.\n! missing: No such file or directory\n",
         "tarnsp: line 2: LOCALDEL failed: missing: No such file or directory\n"},
        {"syntax", "LOCALREN \"a\" b\nLOCALMD never\n", 1,
         "ERROR: Syntax error on File Operation command.\n",
         "tarnsp: warning: syntax.tns:1: LOCALREN needs two names, each in double quotes: "
         "\"first\" \"second\". This line is a syntax error and stops the run.\n"
         "tarnsp: line 1: ERROR: Syntax error on File Operation command.\n"},
        {"escape", "ONERROR\nSAVELOG no/such/dir.log\nLOCALMD never\n", 2,
         "Error action set to CONTINUE.\n! Cannot create file \"no/such/dir.log\". No such file "
         "or directory\n",
         "tarnsp: Cannot create file \"no/such/dir.log\". No such file or directory\n"},
    };
    for (const auto &c : cases) {
        Write(std::string(c.Name) + ".tns", c.Script);
        const TOutcome run = Tarnsp({"--console", QString(c.Name) + ".tns"});
        EXPECT_EQ(run.Status, c.Status) << c.Name;
        EXPECT_EQ(run.Out, c.Out) << c.Name;
        EXPECT_EQ(run.Err, c.Err) << c.Name;
    }
    EXPECT_TRUE(Exists("made"));
    EXPECT_FALSE(Exists("never"));

    const TOutcome missing = Tarnsp({"--console", "missing.tns"});
    EXPECT_EQ(missing.Status, 2);
    EXPECT_NE(missing.Err.find("missing.tns"), std::string::npos) << missing.Err;
    EXPECT_EQ(missing.Out, "");
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
              3); // the name is too long: fails, the run goes on
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

TEST_F(Console, CheckNamesProbableMistakesAndAConsoleRunWarnsBeforeItRuns)
{
    Write("typos.tns", "ONERROR STPO\nRECIEVE \"a\" \"b\"\n LOCALMD indented\n"
                       "# a comment\nLOCALMD made\n");
    TOutcome check = Tarnsp({"--check", "typos.tns"});
    EXPECT_EQ(check.Status, 1);
    EXPECT_EQ(check.Out, "typos.tns:1: ONERROR STPO is taken as CONTINUE; write ONERROR STOP or "
                         "ONERROR CONTINUE.\n"
                         "typos.tns:2: RECIEVE is not a keyword; did you mean RECEIVE? The line "
                         "is skipped.\n"
                         "typos.tns:3: the line starts with a blank, so LOCALMD is not taken as a "
                         "keyword and the line is skipped.\n");
    EXPECT_FALSE(Exists("made")) << "--check runs nothing";

    // A run prints the same warnings first, then runs the script.
    const TOutcome run = Tarnsp({"--console", "typos.tns"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Err,
              "tarnsp: warning: " + check.Out.substr(0, check.Out.find('\n') + 1) +
                  "tarnsp: warning: " +
                  check.Out.substr(check.Out.find('\n') + 1,
                                   check.Out.find("typos.tns:3") - check.Out.find('\n') - 1) +
                  "tarnsp: warning: " + check.Out.substr(check.Out.find("typos.tns:3")));
    EXPECT_TRUE(Exists("made"));
    EXPECT_FALSE(Exists("indented"));

    Write("clean.tns", "ONERROR STOP\n# nothing to see\n");
    check = Tarnsp({"--check", "clean.tns"});
    EXPECT_EQ(check.Status, 0);
    EXPECT_EQ(check.Out, "");
    EXPECT_EQ(Tarnsp({"--check", "missing.tns"}).Status, 2);
}

TEST_F(Console, FifosDevicesAndHugeFilesAreRefusedInsteadOfBlocking)
{
    ASSERT_EQ(::mkfifo(PathOf("fifo").c_str(), 0600), 0);
    // Sparse files: large to the player, nothing on the disk.
    for (const auto &[name, size] :
         {std::pair{"huge.tns", (257ll << 20)}, std::pair{"huge.tnc", (2ll << 20)}}) {
        Write(name, "");
        std::filesystem::resize_file(FRoot / name, size);
    }
    const struct
    {
        QStringList Arguments;
        std::string Script;
        int Status;
        const char *Err;
    } cases[] = {
        {{"--console", "fifo"}, "", 2, "not a regular file"},
        {{"--console", "/dev/zero"}, "", 2, "not a regular file"},
        {{"--console", "huge.tns"}, "", 2, "larger than 256 MiB"},
        {{"--check", "fifo"}, "", 2, "not a regular file"},
        {{"--console", "s.tns"},
         "ONERROR STOP\nPROFILE fifo\nLOCALMD after\n",
         1,
         "PROFILE failed: Cannot read profile file fifo: not a regular file"},
        {{"--console", "s.tns"},
         "ONERROR STOP\nPROFILE huge.tnc\nLOCALMD after\n",
         1,
         "PROFILE failed: Cannot read profile file huge.tnc: larger than 1 MiB"},
        {{"--console", "s.tns"}, "LOGFILE fifo\nONERROR STOP\n", 2, "not a regular file"},
        {{"--console", "s.tns"},
         "ONERROR STOP\nSAVELOG fifo\nLOCALMD after\n",
         2,
         "not a regular file"},
        {{"--console", "s.tns"}, "LOGFILE /dev/stdout\nONERROR STOP\n", 2, "not a regular file"},
    };
    for (const auto &c : cases) {
        Write("s.tns", c.Script);
        const TOutcome run = Tarnsp(c.Arguments, false, {}, 10);
        const std::string what = c.Arguments.join(' ').toStdString() + " " + c.Script;
        EXPECT_EQ(run.Status, c.Status) << what << run.Err;
        EXPECT_NE(run.Err.find(c.Err), std::string::npos) << what << run.Err;
        EXPECT_FALSE(Exists("after")) << what;
    }
}

TEST_F(Console, ADisplayThatCannotBeOpenedGivesAConsoleRun)
{
    // A stale DISPLAY, as an ssh session may leave behind.
    Write("s.tns", "ONERROR STOP\nLOCALMD made\n");
    TOutcome run = Tarnsp({"s.tns", "/R", "/X"}, false, {}, 60, {"DISPLAY=:987"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "Error action set to STOP.\n");
    EXPECT_EQ(run.Err, "tarnsp: cannot open the display \":987\"; running without a window\n");
    EXPECT_TRUE(Exists("made"));

    // The program without its window module, as a broken install has it: a console run that
    // says where the module was looked for.
    const std::filesystem::path alone = FRoot / "bin/tarnsp";
    std::filesystem::create_directories(alone.parent_path());
    std::filesystem::copy_file(TARNSP_PROGRAM, alone);
    FProgram = QString::fromStdString(alone.string());
    Write("s.tns", "LOCALMD made2\n");
    run = Tarnsp({"s.tns", "/R", "/X"}, false, {}, 60, {"DISPLAY=:987"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "tarnsp: the window module tarnsp-window.so is missing (looked in " +
                           alone.parent_path().string() + ", " +
                           (alone.parent_path().parent_path() / "lib/tarn/modules").string() +
                           "); running without a window\n");
    EXPECT_TRUE(Exists("made2"));
}

TEST_F(Console, AKeyringProfileWithoutTheKeyringModuleStopsAtConnect)
{
    // The program alone, as a broken install has it: the keyring cannot be reached, the line
    // says that its module is missing and where it was looked for, and nothing is dialled.
    const std::filesystem::path alone = FRoot / "bin/tarnsp";
    std::filesystem::create_directories(alone.parent_path());
    std::filesystem::copy_file(TARNSP_PROGRAM, alone);
    FProgram = QString::fromStdString(alone.string());
    Write("p.tnc", "[Connection]\r\nURLORIP=127.0.0.1\r\nUSERNAME=tester\r\nPORT=2\r\n"
                   "PASSWORDSTORE=KEYRING\r\n");
    Write("s.tns", "PROFILE p.tnc\nCONNECT\nLOCALMD never\n");
    const TOutcome run = Tarnsp({"--console", "s.tns"});
    EXPECT_EQ(run.Status, 1) << run.Err;
    const std::string reason =
        "(the keyring module tarn-keyring.so cannot be loaded: not found in " +
        alone.parent_path().string() + ", " +
        (alone.parent_path().parent_path() / "lib/tarn/modules").string() + ")";
    EXPECT_NE(run.Out.find("\n! No keyring can be reached for the password of tester on "
                           "127.0.0.1 port 2 " +
                           reason),
              std::string::npos)
        << run.Out;
    EXPECT_FALSE(Exists("never"));
}

TEST_F(Console, WriteProfileTakesAnswersFromStandardInputAndWritesAPrivateProfile)
{
    // Bytes above "x" must survive the scrambling; the password line is taken as it is.
    const std::string password = "pw y\xfe~\x80 ";
    const TOutcome made = Tarnsp({"--write-profile", "new.tnc"}, false,
                                 QByteArray::fromStdString("as400.example\nQUSER\n" + password +
                                                           "\n2121\n45\n/srv/in\n/home/q\n\n"));
    EXPECT_EQ(made.Status, 0) << made.Err;
    EXPECT_EQ(made.Out, "");
    TConnectionProfile expected;
    expected.URLOrIP = "as400.example";
    expected.UserName = "QUSER";
    expected.PassWord = password;
    expected.Port = "2121";
    expected.Timeout = "45";
    expected.LocalDir = "/srv/in";
    expected.HostDir = "/home/q";
    EXPECT_EQ(ReadConnectionProfile(PathOf("new.tnc")), expected);
    struct stat info = {};
    ASSERT_EQ(::stat(PathOf("new.tnc").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "a new profile holds a password";

    // Empty answers and the end of the input keep what the file holds; its mode stays too.
    ::chmod(PathOf("new.tnc").c_str(), 0640);
    EXPECT_EQ(Tarnsp({"--write-profile", "new.tnc"}, false, "\nQSECOFR\n").Status, 0);
    expected.UserName = "QSECOFR";
    EXPECT_EQ(ReadConnectionProfile(PathOf("new.tnc")), expected);
    ASSERT_EQ(::stat(PathOf("new.tnc").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    // A new profile needs a host, and a time-out is a whole number.
    EXPECT_EQ(Tarnsp({"--write-profile", "none.tnc"}, false, "").Status, 2);
    const TOutcome bad = Tarnsp({"--write-profile", "bad.tnc"}, false, "h\nu\np\n21\nthirty\n");
    EXPECT_EQ(bad.Status, 2);
    EXPECT_NE(bad.Err.find("whole number"), std::string::npos) << bad.Err;
    const TOutcome typo =
        Tarnsp({"--write-profile", "typo.tnc"}, false, "h\nu\np\n21\n30\n/\n/\nLAN\n1\nTSL\n");
    EXPECT_EQ(typo.Status, 2);
    EXPECT_NE(typo.Err.find("SECURITY=TSL is not understood"), std::string::npos) << typo.Err;
    EXPECT_FALSE(Exists("none.tnc") || Exists("bad.tnc") || Exists("typo.tnc"));
    EXPECT_EQ(
        Tarnsp({"--write-profile", "tls.tnc"}, false, "h\nu\np\n\n\n\n\n\n1\nexplicit\n").Status,
        0);
    const TConnectionSecurity tls = ConnectionSecurity(ReadConnectionProfile(PathOf("tls.tnc")));
    EXPECT_TRUE(tls.Passive && tls.Security == TFtpSecurity::scExplicit) << tls.Problem;

    // A profile whose password was in the keyring gets the answered one in the file.
    Write("keyring.tnc",
          "[Connection]\r\nURLORIP=h\r\nPASSWORD=\r\nVERSION=2.x\r\nPASSWORDSTORE=KEYRING\r\n");
    EXPECT_EQ(Tarnsp({"--write-profile", "keyring.tnc"}, false, "\n\nnew pw\n").Status, 0);
    const TConnectionProfile moved = ReadConnectionProfile(PathOf("keyring.tnc"));
    EXPECT_EQ(moved.PasswordStore, psProfile);
    EXPECT_EQ(moved.PassWord, "new pw");
}

TEST_F(Console, EveryExampleIsACleanScriptThatStopsOnErrorAndKeepsItsLog)
{
    const std::filesystem::path examples =
        std::filesystem::path(std::getenv("TARN_SOURCE_DIR")) / "examples";
    int count = 0;
    for (const auto &entry : std::filesystem::directory_iterator(examples)) {
        if (entry.path().extension() != ".tns")
            continue;
        ++count;
        const std::string name = entry.path().filename().string();
        const TOutcome check = Tarnsp({"--check", QString::fromStdString(entry.path().string())});
        EXPECT_EQ(check.Status, 0) << name << "\n" << check.Out;
        std::ifstream in(entry.path());
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        EXPECT_NE(text.find("\nONERROR STOP\n"), std::string::npos) << name;
        EXPECT_NE(text.find("\nLOGFILE "), std::string::npos) << name;
        if (text.find("\nCONNECT\n") != std::string::npos) {
            EXPECT_NE(text.find("\nPROFILE "), std::string::npos) << name;
        }
    }
    EXPECT_GE(count, 5);
}

TEST_F(Console, HelpAndVersion)
{
    const TOutcome help = Tarnsp({"--help", "--console", "missing.tns"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("/R"), std::string::npos);
    EXPECT_NE(help.Out.find("--console"), std::string::npos);
    for (const char *status : {"  0 ", "  1 ", "  2 ", "  3 ", "  130 ", "143 "})
        EXPECT_NE(help.Out.find(status), std::string::npos) << status;
    const TOutcome version = Tarnsp({"--version"});
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out.rfind("tarnsp ", 0), 0u) << version.Out;
}

} // namespace
} // namespace tarn
