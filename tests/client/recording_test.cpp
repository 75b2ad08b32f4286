// A session recorded in the client, compared line by line with the script it should give, then
// played back unattended: saved and run by the real `tarnsp --console`, and handed to the
// player by Play, each against a fresh server that must end up exactly like the first one.

#include "client/script_lines.h"
#include "profile/connection_profile.h"
#include "tests/client/client_harness.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>

namespace tarn::test {
namespace {

namespace fs = std::filesystem;
using TLines = std::vector<std::string>;
using TTree = std::map<std::string, std::string>; // path -> content ("/" for a folder)

// Everything under the server's home folder, with contents.
TTree TreeOf(const std::string &Root)
{
    TTree tree;
    for (const auto &entry : fs::recursive_directory_iterator(Root + "/home")) {
        const std::string path = fs::relative(entry.path(), Root).string();
        tree[path] = entry.is_directory() ? "/" : ReadFile(entry.path().string());
    }
    return tree;
}

class Recording : public ::testing::Test
{
protected:
    // The temporary folder holds a blank, so the script's path must reach the player whole.
    static void SetUpTestSuite()
    {
        static QTemporaryDir tmp;
        const std::string folder = tmp.filePath("temp files").toStdString();
        fs::create_directories(folder);
        setenv("TMPDIR", folder.c_str(), 1);
    }

    // The profile the recorded PROFILE line names, pointing at the server on Port.
    void WriteProfile(int Port)
    {
        TConnectionProfile profile = Login.Values;
        profile.Port = std::to_string(Port);
        ASSERT_TRUE(WriteConnectionProfile(Login.ProfileLabel, profile));
    }

    std::string Local(const std::string &Name) const
    {
        return Client.Folder.filePath(QString::fromStdString(Name)).toStdString();
    }

    TClientHarness Client;
    TLoginChoice Login;
};

TEST_F(Recording, ASessionRecordedInTheClientPlaysBackUnattendedWithTheSameResult)
{
    TTarnMain &main = *Client.Main;
    const auto first = StartServer("unix");
    Login = Client.Login(first->Port(), "/home/demo");
    Login.Values.Connection = "LAN";
    WriteProfile(first->Port());
    WriteFile(Local("out/report.txt"), "monthly report\r\n");
    WriteFile(Local("out/drop.bin"), RandomBytes(70000, 3));

    main.RecordButtonClick();
    EXPECT_FALSE(main.Enabled(ccRecordButton));
    EXPECT_TRUE(main.Enabled(ccStopButton));
    Client.Connect(Login);
    main.Binary1Click();
    TClientHarness::Select(main.FileView, TClientHarness::RowOf(main.FileView, "readme.txt"));
    main.ReceiveClick();
    main.SetField(cfPCFile, Local("out/report.txt"));
    main.SetField(cfAS400File, "report.txt");
    main.SendClick();
    main.FileDrag1Drop({Local("out/drop.bin")});
    Client.Dialogs.Inputs = {"made", "/home/demo/made", "renamed.txt"};
    main.CreateDirectory1Click();
    main.LibraryButtonClick();
    main.CDUpButtonClick();
    TClientHarness::Select(main.FileView, TClientHarness::RowOf(main.FileView, "report.txt"));
    main.RenameButtonClick();
    TClientHarness::Select(main.FileView, TClientHarness::RowOf(main.FileView, "drop.bin"));
    main.DeleteFile1Click();
    TClientHarness::Select(main.DirView, TClientHarness::RowOf(main.DirView, "sub"));
    main.DeleteDirectory1Click();
    main.SetCommandText("CWD /home/demo");
    main.ExButtonClick();
    main.SetCommandText("PASS secret"); // never in a script
    main.ExButtonClick();
    main.LogoutButtonClick();
    main.StopButtonClick();
    EXPECT_TRUE(main.Enabled(ccRecordButton));
    EXPECT_FALSE(main.Enabled(ccStopButton));
    ASSERT_TRUE(main.Enabled(ccSaveButton) && main.Enabled(ccPlayButton));

    const std::string readme = Client.Download + "/readme.txt";
    const TLines expected = {
        "PROFILE    " + Login.ProfileLabel,
        "TIMEOUT    10",
        "CONNECT",
        "ASCII",
        "CHDIR      /home/demo",
        "BINARY",
        "RECEIVE    \"" + readme + "\" \"readme.txt\"",
        "SEND       \"" + Local("out/report.txt") + "\" \"report.txt\"",
        "SEND       \"" + Local("out/drop.bin") + "\" \"drop.bin\"",
        "MKDIR      made",
        "CHDIR      /home/demo/made",
        "CDUP",
        "RENAME     \"report.txt\" \"renamed.txt\"",
        "DELETE     drop.bin",
        "RMDIR      sub",
        "COMMAND    CWD /home/demo",
        "#          COMMAND PASS ******** (holds a password, not recorded)",
        "QUIT",
    };
    EXPECT_EQ(Client.View.Script, expected);
    for (const std::string &line : Client.View.Script)
        EXPECT_EQ(line.find("secret"), std::string::npos) << line;
    const TTree result = TreeOf(first->Root());
    ASSERT_EQ(result.count("home/demo/renamed.txt"), 1u);
    ASSERT_EQ(result.count("home/demo/sub"), 0u);

    // Saved as CR LF lines, then run by the player against a server in the first one's state.
    Client.Dialogs.FileAnswer = Local("night.tns");
    main.SaveButtonClick();
    std::string saved;
    for (const std::string &line : expected)
        saved += line + "\r\n";
    EXPECT_EQ(ReadFile(Local("night.tns")), saved);
    fs::remove(readme);
    const auto second = StartServer("unix");
    WriteProfile(second->Port());
    QProcess player;
    player.start(TARNSP_PROGRAM, {"--console", QString::fromStdString(Local("night.tns"))});
    ASSERT_TRUE(player.waitForFinished(60000));
    EXPECT_EQ(player.exitCode(), 0) << player.readAllStandardError().toStdString();
    EXPECT_EQ(TreeOf(second->Root()), result);
    EXPECT_EQ(ReadFile(readme), "Files for the Tarn demo.\r\n");

    // Play: the player beside the client's program, started on a temporary copy, which it
    // deletes; the client does not wait for it.
    fs::remove(readme);
    const auto third = StartServer("unix");
    WriteProfile(third->Port());
    main.ProgramDir = fs::path(TARNSP_PROGRAM).parent_path().string();
    main.PlayButtonClick();
    const std::string temp = std::getenv("TMPDIR");
    QElapsedTimer waited;
    waited.start();
    // Other temporary folders of the test live there too; the script is the only "~TG" file.
    const auto scriptLeft = [&temp] {
        for (const std::string &name : FolderNames(temp)) {
            if (name.starts_with("~TG"))
                return true;
        }
        return false;
    };
    while ((TreeOf(third->Root()) != result || scriptLeft() || !fs::exists(readme)) &&
           waited.elapsed() < 60000)
        QTest::qWait(100);
    EXPECT_EQ(TreeOf(third->Root()), result);
    EXPECT_FALSE(scriptLeft()) << "the player deletes its script";
    EXPECT_TRUE(fs::exists(readme));
    EXPECT_TRUE(main.TempFile.Names().empty()) << "the script is the player's, not the client's";
}

// Record and Stop, the buttons that follow the script's lines, and Open: a script opened from
// a file, typed lines and recorded lines are laid out alike at Stop.
TEST_F(Recording, StopLaysOutEveryLineAndTheButtonsFollowTheScript)
{
    TTarnMain &main = *Client.Main;
    EXPECT_FALSE(main.Enabled(ccSaveButton));
    EXPECT_FALSE(main.Enabled(ccPlayButton));

    WriteFile(Local("typed.tns"), "CHDIR /X\r\n  remark text\r\n\r\nLOCALCOPY   \"a b\"  \"c\"  \n"
                                  "ONERROR\tSTOP\r\nVERYLONGKEYWORD x\n");
    Client.Dialogs.FileAnswer = Local("typed.tns");
    main.OpenButtonClick();
    EXPECT_TRUE(main.Enabled(ccSaveButton) && main.Enabled(ccPlayButton));
    main.RecordButtonClick();
    main.Ascii1Click();
    main.StopButtonClick();
    EXPECT_EQ(Client.View.Script,
              (TLines{"CHDIR      /X", "remark     text", "", "LOCALCOPY  \"a b\"  \"c\"",
                      "ONERROR\tSTOP", "VERYLONGKEYWORD x", "ASCII"}));

    main.ClearButtonClick();
    EXPECT_FALSE(main.Enabled(ccSaveButton));
    EXPECT_FALSE(main.Enabled(ccPlayButton));
    Client.Dialogs.FileAnswer = Local("never.tns");
    main.SaveButtonClick();
    EXPECT_FALSE(fs::exists(Local("never.tns"))) << "an empty script is not saved";
    main.Ascii1Click(); // not recording: nothing
    EXPECT_TRUE(Client.View.Script.empty());

    Client.Dialogs.FileAnswer = Local("missing.tns");
    main.OpenButtonClick();
    EXPECT_EQ(Client.Dialogs.Messages.back(),
              "error: Cannot read file \"" + Local("missing.tns") + "\".");
}

// A script saved over an old one replaces it whole or not at all: where no new file can be
// made beside it (a folder without write permission), the old script stays as it was.
TEST_F(Recording, ASavedScriptIsNeverHalfWritten)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into any folder";
    TTarnMain &main = *Client.Main;
    const std::string folder = Local("locked");
    WriteFile(folder + "/night.tns", "OLD\r\n");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    Client.View.Script = {"NEW"};
    main.ScriptChange(true);
    Client.Dialogs.FileAnswer = folder + "/night.tns";
    main.SaveButtonClick();
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(ReadFile(folder + "/night.tns"), "OLD\r\n");
    EXPECT_TRUE(Contains(Client.Dialogs.Messages, "error: Cannot write file"));
}

TEST(ScriptLines, CommandsWithPasswordsAndThePlayersCommandLine)
{
    const std::pair<const char *, const char *> commands[] = {
        {"SITE NAMEFMT 1", "COMMAND SITE NAMEFMT 1"},
        {"RCMD DSPLIB QGPL", "COMMAND RCMD DSPLIB QGPL"},
        {"pass hunter2", "# COMMAND PASS ******** (holds a password, not recorded)"},
        {"  ACCT hunter2", "# COMMAND ACCT ******** (holds a password, not recorded)"},
        {"RCMD CHGUSRPRF USRPRF(BOB) PASSWORD(hunter2)",
         "# COMMAND RCMD CHGUSRPRF USRPRF(BOB) PASSWORD(********) (holds a password, not "
         "recorded)"},
        {"PASV", "COMMAND PASV"},
    };
    for (const auto &[command, line] : commands)
        EXPECT_EQ(CommandScriptLine(command), line) << command;

    EXPECT_EQ(PlayerCommandLine("/opt/tarn/bin/tarnsp", "/tmp/my files/~TG1.TMP"),
              "'/opt/tarn/bin/tarnsp' '/tmp/my files/~TG1.TMP' /R /X /D");
}

} // namespace
} // namespace tarn::test
