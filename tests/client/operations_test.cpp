// Remote operations, the command box and the log against a real FTP server: the prompts and
// messages the user sees, the commands sent, the script lines recorded and what the log shows.

#include "tests/client/client_harness.h"

#include <gtest/gtest.h>

namespace tarn::test {
namespace {

using TLines = std::vector<std::string>;

TLines Listing(const std::string &Directory)
{
    return {"PWD", "PORT", "LIST " + Directory};
}

TLines Then(TLines First, const TLines &Second)
{
    First.insert(First.end(), Second.begin(), Second.end());
    return First;
}

// Each operation in turn, as a user would do them: what it asks, what it sends, what it
// records. A cancelled prompt or a No sends and records nothing.
TEST(ClientOperations, DirectoriesAndFilesWithTheirPromptsAndTranscripts)
{
    const auto server = StartServer("unix");
    for (const char *name : {"e.txt", "d.txt", "c.txt", "b.txt", "a.txt"})
        WriteFile(server->Root() + "/home/demo/" + name, name);
    TClientHarness client;
    client.Connect(client.Login(server->Port(), "/home/demo"));
    TTarnMain &main = *client.Main;
    main.Recording = true;
    TLines &sent = client.Sent;
    TLines &messages = client.Dialogs.Messages;
    auto &inputs = client.Dialogs.Inputs;

    const struct
    {
        const char *Operation;
        std::function<void()> Run;
        TLines Messages, Sent, Recorded;
    } steps[] = {
        {"cd cancelled",
         [&] { main.LibraryButtonClick(); },
         {"input: Change Library | Enter Library | /home/demo"},
         {},
         {}},
        {"cd",
         [&] {
             inputs.push_back("/home/demo/sub");
             main.LibraryButtonClick();
         },
         {"input: Change Library | Enter Library | /home/demo"},
         Then({"CWD /home/demo/sub"}, Listing("/home/demo/sub")),
         {"CHDIR /home/demo/sub"}},
        {"cdup",
         [&] { main.CDUpButtonClick(); },
         {},
         Then({"CDUP"}, Listing("/home/demo")),
         {"CDUP"}},
        {"create",
         [&] {
             inputs.push_back("newdir");
             main.CreateDirectory1Click();
         },
         {"input: Create Directory | New Directory: | "},
         Then({"MKD newdir"}, Listing("/home/demo")),
         {"MKDIR newdir"}},
        {"delete no directory",
         [&] {
             main.DirView.Selection.clearSelection();
             main.DeleteDirectory1Click();
         },
         {"error: No directory selected!"},
         {},
         {}},
        {"delete ..",
         [&] {
             TClientHarness::Select(main.DirView, TClientHarness::RowOf(main.DirView, ".."));
             main.DeleteDirectory1Click();
         },
         {"error: Delete not allowed!"},
         {},
         {}},
        {"delete directory, No",
         [&] {
             client.Dialogs.ConfirmAnswer = false;
             TClientHarness::Select(main.DirView, TClientHarness::RowOf(main.DirView, "newdir"));
             main.DeleteDirectory1Click();
             client.Dialogs.ConfirmAnswer = true;
         },
         {"confirm: Delete Directory newdir"},
         {},
         {}},
        {"delete button in the directory view",
         [&] {
             main.DirViewEnter();
             main.DeleteButtonClick();
         },
         {"confirm: Delete Directory newdir"},
         Then({"RMD newdir"}, Listing("/home/demo")),
         {"RMDIR newdir"}},
        {"delete no file",
         [&] {
             main.FileViewEnter();
             main.DeleteButtonClick();
         },
         {"information: No files selected!"},
         {},
         {}},
        {"rename the first of two",
         [&] {
             TClientHarness::SelectAll(main.FileView, {"e.txt", "b.txt"});
             inputs.push_back("z.txt");
             main.RenameButtonClick();
         },
         {"input: Rename file b.txt | New Filename: | "},
         Then({"RNFR b.txt", "RNTO z.txt"}, Listing("/home/demo")),
         {"RENAME \"b.txt\" \"z.txt\""}},
        {"delete one file",
         [&] {
             TClientHarness::SelectAll(main.FileView, {"readme.txt"});
             main.DeleteButtonClick();
         },
         {"confirm: Delete file readme.txt?"},
         Then({"DELE readme.txt"}, Listing("/home/demo")),
         {"DELETE readme.txt"}},
        {"delete five files",
         [&] {
             TClientHarness::SelectAll(main.FileView,
                                       {"z.txt", "e.txt", "a.txt", "d.txt", "c.txt"});
             main.DeleteFile1Click();
         },
         {"confirm: Delete Files?"},
         Then({"DELE a.txt", "DELE c.txt", "DELE d.txt", "DELE e.txt", "DELE z.txt"},
              Listing("/home/demo")),
         {"DELETE a.txt", "DELETE c.txt", "DELETE d.txt", "DELETE e.txt", "DELETE z.txt"}},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.Operation);
        messages.clear();
        sent.clear();
        client.View.Script.clear();
        step.Run();
        EXPECT_EQ(messages, step.Messages);
        EXPECT_EQ(sent, step.Sent);
        EXPECT_EQ(client.View.Script, step.Recorded);
        EXPECT_EQ(main.Panel(4), "Ready");
    }
    EXPECT_EQ(FolderNames(server->Root() + "/home/demo"), TLines{"sub"});
    EXPECT_TRUE(TClientHarness::Captions(main.FileView).empty());
}

TEST(ClientOperations, LibrariesTakeNoSubdirectoryAndCdFindsTheLibrary)
{
    const auto server = StartServer("os400");
    TClientHarness client;
    client.Connect(client.Login(server->Port(), "demolib.lib"));
    TTarnMain &main = *client.Main;
    main.Recording = true;
    client.Sent.clear();
    main.CreateDirectory1Click();
    EXPECT_EQ(client.Dialogs.Messages,
              TLines{"information: Can not create subdirectory in a library."});
    EXPECT_TRUE(client.Sent.empty());

    client.Dialogs.Inputs.push_back("mylib.lib");
    main.LibraryButtonClick();
    EXPECT_EQ(client.Sent, Then({"CWD /QSYS.LIB/MYLIB.LIB"}, Listing("/QSYS.LIB/MYLIB.LIB")));
    EXPECT_EQ(client.View.Script, TLines{"CHDIR /QSYS.LIB/MYLIB.LIB"});
    EXPECT_EQ(main.Panel(2), "/QSYS.LIB/MYLIB.LIB");
}

// What the command box sends, what it lists instead, and which page it leaves in front.
TEST(ClientOperations, TheCommandBoxSendsAllButListings)
{
    const auto server = StartServer("os400");
    TClientHarness client;
    client.Connect(client.Login(server->Port(), "demolib.lib"));
    TTarnMain &main = *client.Main;
    main.Recording = true;
    const TLines listing = Listing("/QSYS.LIB/DEMOLIB.LIB");
    const struct
    {
        const char *Typed;
        TLines Sent;
        TClientPage Page;
    } commands[] = {
        {"dir", listing, cpFTP},
        {"dir /w", listing, cpFTP},
        {"LISTX", listing, cpFTP},
        {"nlst", listing, cpFTP},
        {"NOOP", {"NOOP"}, cpLog},
        {"  LIST", {"  LIST"}, cpLog},
        {"", {""}, cpLog}, // the first template
        {"SITE NAMEFMT 1", {"SITE NAMEFMT 1"}, cpLog},
    };
    for (const auto &c : commands) {
        SCOPED_TRACE(c.Typed);
        client.Sent.clear();
        client.View.Script.clear();
        main.SetCommandText(c.Typed);
        main.ExButtonClick();
        EXPECT_EQ(client.Sent, c.Sent);
        EXPECT_EQ(main.Page(), c.Page);
        EXPECT_EQ(client.View.Script, TLines{c.Page == cpFTP ? "LIST /QSYS.LIB/DEMOLIB.LIB"
                                                             : std::string("COMMAND ") + c.Typed});
        EXPECT_EQ(main.Panel(4), "Ready");
        EXPECT_EQ(main.CommandText(), c.Typed) << "the text stays in the box";
    }
    EXPECT_TRUE(client.Dialogs.Messages.empty());
}

// The password of the login and passwords given to CL commands never reach the log; the log
// saves as CR LF lines.
TEST(ClientOperations, TheLogMasksPasswordsAndSaves)
{
    const auto server = StartServer("os400");
    TClientHarness client;
    client.Connect(client.Login(server->Port(), "demolib.lib"));
    TTarnMain &main = *client.Main;
    main.SetCommandText("rcmd chgusrprf usrprf(bob) password(Se(c)ret9)");
    main.ExButtonClick();
    main.SetCommandText("RCMD CHGPWD CURPWD(old9) NEWPWD(new9)");
    main.ExButtonClick();
    EXPECT_EQ(client.Sent.back(), "RCMD CHGPWD CURPWD(old9) NEWPWD(new9)") << "sent as typed";
    const TLines &log = client.View.Log;
    EXPECT_TRUE(Contains(log, "> PASS ********"));
    EXPECT_TRUE(Contains(log, "> rcmd chgusrprf usrprf(bob) password(********)"));
    EXPECT_TRUE(
        Contains(log, "< 250 Command chgusrprf usrprf(bob) password(********) successful."));
    EXPECT_TRUE(Contains(log, "> RCMD CHGPWD CURPWD(********) NEWPWD(********)"));
    for (const char *secret : {"secret", "Se(c)ret9", "old9", "new9"})
        EXPECT_FALSE(Contains(log, secret)) << secret;
    EXPECT_EQ(main.LogLines(), log);

    const std::string saved = client.Folder.filePath("session.txt").toStdString();
    client.Dialogs.FileAnswer = saved;
    main.SaveLog1Click();
    std::string expected;
    for (const std::string &line : log)
        expected += line + "\r\n";
    EXPECT_EQ(ReadFile(saved), expected);

    client.Dialogs.FileAnswer = client.Folder.filePath("no/such/folder/log.txt").toStdString();
    main.SaveLog1Click();
    ASSERT_EQ(client.Dialogs.Messages.size(), 1u);
    EXPECT_TRUE(client.Dialogs.Messages[0].starts_with("error: Cannot write file \"" +
                                                       *client.Dialogs.FileAnswer + "\"."));

    main.ClearLog1Click();
    EXPECT_TRUE(main.LogLines().empty());
    EXPECT_TRUE(log.empty());
}

} // namespace
} // namespace tarn::test
