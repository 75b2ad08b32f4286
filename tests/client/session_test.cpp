// The client's connect flow, listing and library list against a real FTP server in each
// personality: the commands sent, the state and the panels after each step, and what the
// user sees when something fails.

#include "tests/client/client_harness.h"

#include <QTcpServer>
#include <QTimer>
#include <gtest/gtest.h>

namespace tarn::test {
namespace {

using TLines = std::vector<std::string>;

// Which of the controls of the session table are enabled.
std::vector<TClientControl> EnabledControls(const TTarnMain &Main)
{
    std::vector<TClientControl> enabled;
    for (int control = 0; control < ccStateControlCount; ++control) {
        if (Main.Enabled(TClientControl(control)))
            enabled.push_back(TClientControl(control));
    }
    return enabled;
}

void ExpectOffline(const TTarnMain &Main)
{
    EXPECT_EQ(Main.Caption(), "Tarn Client");
    EXPECT_EQ(Main.Panel(4), "Offline");
    EXPECT_EQ(Main.Panel(1), "");
    EXPECT_EQ(Main.Panel(2), "");
    EXPECT_EQ(Main.Panel(3), "");
    EXPECT_EQ(EnabledControls(Main),
              (std::vector<TClientControl>{ccExitButton, ccLoginButton, ccLogin1}));
    EXPECT_EQ(Main.DirView.Model.Count(), 0);
    EXPECT_EQ(Main.FileView.Model.Count(), 0);
    EXPECT_FALSE(Main.BusyCursor());
    EXPECT_EQ(Main.Animation(), acNone);
}

void ExpectReady(const TTarnMain &Main)
{
    EXPECT_EQ(Main.Panel(4), "Ready");
    EXPECT_EQ(Main.Panel(1), " ");
    for (int control = 0; control < ccStateControlCount; ++control) {
        const bool expected = control != ccLoginButton && control != ccLogin1 &&
                              control != ccAbortButton && control != ccAbortTransfer1;
        EXPECT_EQ(Main.Enabled(TClientControl(control)), expected)
            << ControlName(TClientControl(control));
    }
    EXPECT_FALSE(Main.BusyCursor());
    EXPECT_EQ(Main.Page(), cpFTP);
}

// Unix-style and Windows servers: the same commands, their own listing formats.
TEST(ClientSession, ConnectListAndLogout)
{
    const struct
    {
        const char *Personality;
        TServerKind Kind;
        const char *DirectoryType; // of the folder "sub"
        const char *System;        // in the SYST reply
    } servers[] = {{"unix", skOther, "4096", "< 215 UNIX Type: L8"},
                   {"windows", skWindowsNT, "<DIR>", "< 215 Windows_NT"}};
    for (const auto &s : servers) {
        SCOPED_TRACE(s.Personality);
        const auto server = StartServer(s.Personality);
        TClientHarness client;
        ExpectOffline(*client.Main);
        EXPECT_EQ(client.Main->Panel(0), "ASCII");

        client.Connect(client.Login(server->Port(), "/home/demo"));
        EXPECT_EQ(client.Sent, (TLines{"USER tester", "PASS secret", "SYST", "CWD /", "PWD",
                                       "CWD /home/demo", "PWD", "PORT", "LIST /home/demo"}));
        const TTarnMain &main = *client.Main;
        ExpectReady(main);
        EXPECT_EQ(main.ServerKind, s.Kind);
        EXPECT_EQ(main.Caption(), "Tarn Client (127.0.0.1)");
        EXPECT_EQ(main.Panel(2), "/home/demo");
        EXPECT_EQ(main.Panel(3), "tester");
        EXPECT_EQ(main.RootDir, "/");
        EXPECT_EQ(main.CurrentDir, "/home/demo");
        EXPECT_FALSE(main.Shown(ccLibraryList1));
        EXPECT_TRUE(main.CommandItems().empty());
        EXPECT_EQ(main.Field(cfPCFile), client.Download);
        EXPECT_EQ(TClientHarness::Captions(main.DirView), (TLines{"..", "sub"}));
        EXPECT_EQ(main.DirView.Model.Entry(0).Size, "*Parent");
        EXPECT_EQ(main.DirView.Model.Entry(1).Size, s.DirectoryType);
        ASSERT_EQ(TClientHarness::Captions(main.FileView), (TLines{"readme.txt"}));
        EXPECT_EQ(main.FileView.Model.Entry(0).Size, "26");
        // The log has the engine's lines, the password masked.
        EXPECT_TRUE(Contains(client.View.Log, "> PASS ********"));
        EXPECT_FALSE(Contains(client.View.Log, "secret"));
        EXPECT_TRUE(Contains(client.View.Log, s.System));

        client.Sent.clear();
        client.Main->LogoutButtonClick();
        EXPECT_EQ(client.Sent, (TLines{"QUIT"}));
        ExpectOffline(main);
        EXPECT_FALSE(main.ControlFtp.Connected());
        EXPECT_EQ(client.Dialogs.Messages, TLines{});
    }
}

// An IBM i login: the name format command, the library as first directory, and the check of
// the library list that keeps what exists and drops what does not, without log lines.
TEST(ClientSession, ConnectToAnIbmIServerAndCheckTheLibraryList)
{
    const auto server = StartServer("os400");
    TClientHarness client;
    const TLoginChoice login = client.Login(server->Port(), "demolib.lib");
    // LIB.LIB is checked after MYLIB.LIB: its refused CWD leaves the server in MYLIB.LIB,
    // whose path holds "LIB.LIB" too; a lower-case entry never matches the upper-case path,
    // even of a library that exists.
    WriteFile(login.LibraryListFile, "DEMOLIB.LIB\r\nLIB.LIB\r\nMYLIB.LIB\r\nmylib.lib\r\n");
    client.Connect(login);
    EXPECT_EQ(client.Sent,
              (TLines{"USER tester", "PASS secret", "SYST", "SITE NAMEFMT 1", "CWD /", "PWD",
                      "CWD /QSYS.LIB/DEMOLIB.LIB", "PWD", "PORT", "LIST /QSYS.LIB/DEMOLIB.LIB",
                      // the check, from the last entry to the first
                      "CWD /QSYS.LIB/MYLIB.LIB", "PWD", "CWD /QSYS.LIB/MYLIB.LIB", "PWD",
                      "CWD /QSYS.LIB/LIB.LIB", "PWD", "CWD /QSYS.LIB/DEMOLIB.LIB", "PWD",
                      // back where the session was
                      "CWD /QSYS.LIB/DEMOLIB.LIB"}));
    TTarnMain &main = *client.Main;
    ExpectReady(main);
    EXPECT_EQ(main.ServerKind, skOS400);
    EXPECT_TRUE(main.Shown(ccLibraryList1));
    EXPECT_TRUE(main.Enabled(ccLibraryList1));
    ASSERT_EQ(main.CommandItems().size(), 7u);
    EXPECT_EQ(main.CommandItems()[6], "HELP");
    EXPECT_EQ(main.CurrentDir, "/QSYS.LIB/DEMOLIB.LIB");
    EXPECT_EQ(main.LibList, (TLines{"DEMOLIB.LIB", "MYLIB.LIB"}));
    EXPECT_EQ(ReadFile(login.LibraryListFile), "DEMOLIB.LIB\r\nMYLIB.LIB\r\n");
    EXPECT_FALSE(Contains(client.View.Log, "MYLIB")) << "the check is not logged";
    EXPECT_TRUE(main.LogEnabled);

    // The library holds a source file (a file entry) and its member.
    EXPECT_EQ(TClientHarness::Captions(main.DirView), (TLines{".."}));
    EXPECT_EQ(TClientHarness::Captions(main.FileView),
              (TLines{"QCLSRC.FILE", "QCLSRC.FILE/HELLO.MBR"}));

    // Up to /QSYS.LIB: the libraries of the list join the server's libraries.
    TClientHarness::Select(main.DirView, 0);
    client.Sent.clear();
    main.DirViewDblClick();
    EXPECT_EQ(client.Sent, (TLines{"CDUP", "PWD", "PORT", "LIST /QSYS.LIB"}));
    ExpectReady(main);
    EXPECT_EQ(main.Panel(2), "/QSYS.LIB");
    const TLines directories = TClientHarness::Captions(main.DirView);
    EXPECT_EQ(std::count(directories.begin(), directories.end(), "MYLIB.LIB"), 2)
        << "the server's library and the list's";
    EXPECT_EQ(main.DirView.Model.Entry(TClientHarness::RowOf(main.DirView, "QGPL.LIB")).Size,
              "*LIB");

    // Into a library of the list, by its entry.
    TClientHarness::Select(main.DirView, TClientHarness::RowOf(main.DirView, "DEMOLIB.LIB"));
    client.Sent.clear();
    main.DirViewDblClick();
    EXPECT_EQ(client.Sent,
              (TLines{"CWD /QSYS.LIB/DEMOLIB.LIB", "PWD", "PORT", "LIST /QSYS.LIB/DEMOLIB.LIB"}));
    EXPECT_EQ(main.CurrentDir, "/QSYS.LIB/DEMOLIB.LIB");
    // Deeper than the root: the list's entries are not added.
    EXPECT_EQ(TClientHarness::RowOf(main.DirView, "MYLIB.LIB"), -1);

    // The dialog empties the list: the next check finds no file and no library is shown.
    main.LibList = {"STALE.LIB"};
    client.View.OnLibraryListDialog = [](const std::string &FileName) {
        std::filesystem::remove(FileName);
    };
    client.Sent.clear();
    main.LibraryList1Click();
    EXPECT_TRUE(client.Sent.empty());
    EXPECT_TRUE(main.LibList.empty());
}

TEST(ClientSession, ACheckCutShortByALostSessionKeepsTheLibraryList)
{
    // The third CWD is the check's first: the server drops the connection there.
    const auto server = StartServer("os400", {"--drop-control-after", "CWD:3"});
    TClientHarness client;
    const TLoginChoice login = client.Login(server->Port(), "demolib.lib");
    WriteFile(login.LibraryListFile, "DEMOLIB.LIB\r\nMYLIB.LIB\r\n");
    client.Connect(login);
    EXPECT_EQ(ReadFile(login.LibraryListFile), "DEMOLIB.LIB\r\nMYLIB.LIB\r\n");
    EXPECT_EQ(client.Main->LibList, (TLines{"DEMOLIB.LIB", "MYLIB.LIB"}));
    ExpectOffline(*client.Main);
    EXPECT_TRUE(client.Main->LogEnabled);
}

TEST(ClientSession, ARefusedLoginAndAClosedPortEndOffline)
{
    const auto server = StartServer("unix");
    TClientHarness client;
    TLoginChoice login = client.Login(server->Port(), "/");
    login.Values.PassWord = "wrong";
    client.Connect(login);
    EXPECT_EQ(client.Dialogs.Messages, (TLines{"information: Error connecting to FTP server."}));
    EXPECT_TRUE(Contains(client.View.Log, "< 530"));
    EXPECT_EQ(client.Sent, (TLines{"USER tester", "PASS wrong", "QUIT"}));
    ExpectOffline(*client.Main);

    // A port where nothing listens.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const int closedPort = probe.serverPort();
    probe.close();
    client.Dialogs.Messages.clear();
    client.Sent.clear();
    client.Connect(client.Login(closedPort, "/"));
    EXPECT_EQ(client.Dialogs.Messages, (TLines{"information: Error connecting to FTP server."}));
    EXPECT_TRUE(client.Sent.empty());
    ExpectOffline(*client.Main);

    // A time-out that is not a number of seconds is not tried.
    client.Dialogs.Messages.clear();
    login = client.Login(server->Port(), "/");
    login.Values.Timeout = "soon";
    client.Connect(login);
    EXPECT_EQ(client.Dialogs.Messages, (TLines{"information: Error connecting to FTP server."}));
    EXPECT_TRUE(client.Sent.empty());
    ExpectOffline(*client.Main);

    // A cancelled login dialog changes nothing and asks nothing.
    client.Dialogs.Messages.clear();
    client.Main->LoginButtonClick();
    EXPECT_TRUE(client.Dialogs.Messages.empty());
    ExpectOffline(*client.Main);
}

// Each listing takes a temporary name and gives it back, so listing never runs out.
TEST(ClientSession, ListingWorksForAsLongAsTheSessionLasts)
{
    const auto server = StartServer("unix");
    TClientHarness client;
    client.Connect(client.Login(server->Port(), "/home/demo"));
    for (int listing = 0; listing < 60; ++listing)
        client.Main->DirectoryList();
    EXPECT_EQ(TClientHarness::Captions(client.Main->FileView), (TLines{"readme.txt"}));
    EXPECT_TRUE(client.Main->TempFile.Names().empty());
    ExpectReady(*client.Main);
}

TEST(ClientSession, AnOperationThatOutlivesTheSessionEndsOffline)
{
    const auto server = StartServer("unix", {"--drop-control-after", "LIST:2"});
    TClientHarness client;
    client.Connect(client.Login(server->Port(), "/home/demo"));
    ExpectReady(*client.Main);
    client.Main->DirectoryList(); // the server closes the connection when LIST arrives
    ExpectOffline(*client.Main);
    EXPECT_TRUE(client.Main->TempFile.Names().empty());
}

// Names in a listing come from the server: none of them leads the local name field out of
// the download directory.
TEST(ClientSession, HostileListedNamesStayInsideTheDownloadDirectory)
{
    const auto server = StartServer("unix", {"--hostile-listing"});
    TClientHarness client;
    client.Connect(client.Login(server->Port(), "/home/demo"));
    TTarnMain &main = *client.Main;
    ASSERT_GE(main.FileView.Model.Count(), 9);
    const std::filesystem::path download(client.Download);
    for (int row = 0; row < main.FileView.Model.Count(); ++row) {
        TClientHarness::Select(main.FileView, row);
        main.FileViewDblClick();
        const std::string &listed = main.FileView.Model.Entry(row).Caption;
        const std::filesystem::path local(main.Field(cfPCFile));
        EXPECT_EQ(local.parent_path(), download) << listed << " -> " << local;
        EXPECT_EQ(local.lexically_normal().parent_path(), download) << listed;
        EXPECT_NE(local.filename(), ".");
        EXPECT_NE(local.filename(), "..");
        EXPECT_EQ(local.filename().string().find('\0'), std::string::npos);
        EXPECT_EQ(main.Field(cfAS400File), listed.substr(listed.find_first_not_of(' ')));
    }
    // Focusing the local field deselects the files.
    main.PCFileEnter();
    EXPECT_EQ(main.FileView.FirstSelectedRow(), -1);
}

TEST(ClientSession, DialUpLinesAreDialledReusedAndHungUp)
{
    const auto server = StartServer("unix");

    // "LAN" and "lan": only the first means no dial-up at all.
    {
        TClientHarness client;
        client.Connect(client.Login(server->Port(), "/"));
        EXPECT_EQ(client.Book->Calls, (TLines{"EnumEntries"}));
        EXPECT_EQ(client.View.LoginRequests.at(0).DialUpEntries, (TLines{"Mobile"}));
        client.Main->LogoutButtonClick();
    }
    {
        TClientHarness client;
        TLoginChoice login = client.Login(server->Port(), "/");
        login.Values.Connection = "Mobile";
        client.Connect(login);
        EXPECT_EQ(client.Book->Calls,
                  (TLines{"EnumEntries", "EnumConnections", "HangUp 0", "Dial Mobile"}));
        EXPECT_TRUE(client.Main->Dialed);
        const TLines &log = client.View.Log;
        ASSERT_GE(log.size(), 3u);
        EXPECT_EQ(TLines(log.begin(), log.begin() + 3),
                  (TLines{"Initiating RAS Connection.", "Dialing Mobile", "Connected to Mobile"}));
        ExpectReady(*client.Main);
        client.Book->Calls.clear();
        client.Main->LogoutButtonClick();
        EXPECT_EQ(client.Book->Calls, (TLines{"HangUp 42"}));
        EXPECT_FALSE(client.Main->Dialed);
    }
    // A line that is up already is not dialled again.
    {
        TClientHarness client;
        client.Book->Active = {{7, "Mobile", "gsm", "modem"}};
        TLoginChoice login = client.Login(server->Port(), "/");
        login.Values.Connection = "Mobile";
        client.Connect(login);
        EXPECT_EQ(client.Book->Calls, (TLines{"EnumEntries", "EnumConnections"}));
        EXPECT_TRUE(client.Main->Dialed);
        ExpectReady(*client.Main);
    }
    // A failed dial: its reason in the log, one message, and no FTP session tried.
    {
        TClientHarness client;
        client.Book->DialResult = rrDialFailed;
        TLoginChoice login = client.Login(server->Port(), "/");
        login.Values.Connection = "Mobile";
        client.Connect(login);
        EXPECT_EQ(client.Dialogs.Messages, (TLines{"information: Error during RAS connect."}));
        EXPECT_TRUE(Contains(client.View.Log, "dial error 651"));
        EXPECT_TRUE(client.Sent.empty());
        ExpectOffline(*client.Main);
    }
}

// Abort stops a running transfer at its next progress event: here a slow listing, whose views
// keep what they showed before.
TEST(ClientSession, AbortStopsASlowListingAtItsNextBlock)
{
    const auto server = StartServer("unix", {"--data-rate", "2000"});
    TClientHarness client;
    client.Connect(client.Login(server->Port(), "/home/demo"));
    ASSERT_EQ(TClientHarness::Captions(client.Main->FileView), (TLines{"readme.txt"}));
    for (int i = 0; i < 600; ++i)
        WriteFile(server->Root() + "/home/demo/file" + std::to_string(i) + ".txt", "x");

    TLines panels;
    client.Main->ControlFtp.OnProgress = [&](TCustomFtpCli *, int64_t Count, bool &Abort) {
        if (Count > 0 && !client.Main->AbortRequested) {
            EXPECT_TRUE(client.Main->Enabled(ccAbortButton));
            client.Main->AbortButtonClick();
        }
        client.Main->ControlFtpProgress(Count, Abort);
        panels.push_back(client.Main->Panel(4));
    };
    const auto started = std::chrono::steady_clock::now();
    client.Main->DirectoryList();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    ASSERT_GE(panels.size(), 2u);
    EXPECT_EQ(panels.front(), "0"); // the byte count shows in panel 4
    EXPECT_EQ(TClientHarness::Captions(client.Main->FileView), (TLines{"readme.txt"}));
    EXPECT_FALSE(client.Main->AbortRequested);
    EXPECT_TRUE(client.Main->TempFile.Names().empty());
}

// Closing while an engine call waits aborts the request; the close goes on once the operation
// has unwound, without a message and without waiting for the server.
TEST(ClientSession, ACloseDuringASlowListingAbortsItFirst)
{
    const auto server = StartServer("unix", {"--late-replies", "LIST", "--late-delay", "8000"});
    TClientHarness client;
    bool refused = false;
    QTimer::singleShot(1500, [&] {
        EXPECT_TRUE(client.Main->OperationRunning());
        EXPECT_TRUE(client.Main->BusyCursor());
        refused = !client.Main->FormCloseQuery();
    });
    const auto started = std::chrono::steady_clock::now();
    client.Connect(client.Login(server->Port(), "/home/demo"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_TRUE(refused);
    EXPECT_EQ(client.View.CloseRequests, 1);
    EXPECT_FALSE(client.Main->ControlFtp.Connected());
    EXPECT_TRUE(client.Dialogs.Messages.empty());
    EXPECT_TRUE(client.Main->TempFile.Names().empty());
    ExpectOffline(*client.Main);
    EXPECT_TRUE(client.Main->FormCloseQuery()); // now the window may go
}

} // namespace
} // namespace tarn::test
