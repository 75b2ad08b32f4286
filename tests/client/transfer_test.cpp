// The client's transfers against a real FTP server in each personality: what is sent, what
// arrives (byte for byte), the retries, Abort and a cut connection, and dropped files.

#include "tests/client/client_harness.h"

#include <gtest/gtest.h>

namespace tarn::test {
namespace {

using TLines = std::vector<std::string>;

// The commands of one transfer, after its TYPE: SIZE first for a receive.
TLines Retrieve(const std::string &Name)
{
    return {"SIZE " + Name, "PORT", "RETR " + Name};
}

// Three selected files, then the name fields with nothing selected, in every personality.
TEST(ClientTransfers, ReceiveSelectedFilesThenTheNameFields)
{
    const struct
    {
        const char *Personality, *HostDir, *Folder; // the server's folder of HostDir
        TLines Names;                               // as the view lists them
    } servers[] = {
        {"unix", "/home/demo", "home/demo", {"a.bin", "b.bin", "c.bin"}},
        {"windows", "/home/demo", "home/demo", {"a.bin", "b.bin", "c.bin"}},
        {"os400",
         "demolib.lib",
         "QSYS.LIB/DEMOLIB.LIB",
         {"A.FILE/A.MBR", "B.FILE/B.MBR", "C.FILE/C.MBR"}},
    };
    for (const auto &s : servers) {
        SCOPED_TRACE(s.Personality);
        const auto server = StartServer(s.Personality);
        for (unsigned i = 0; i < 3; ++i)
            WriteFile(server->Root() + "/" + s.Folder + "/" + s.Names[i], RandomBytes(5000 * i, i));
        TClientHarness client;
        client.Connect(client.Login(server->Port(), s.HostDir));
        TTarnMain &main = *client.Main;
        main.Binary1Click();
        main.Recording = true;
        // In the view's order, whatever the order of selection.
        TClientHarness::SelectAll(main.FileView, {s.Names[2], s.Names[0], s.Names[1]});
        client.Sent.clear();
        main.ReceiveClick();

        TLines expected = {"TYPE I"};
        TLines recorded;
        for (unsigned i = 0; i < 3; ++i) {
            const TLines retrieve = Retrieve(s.Names[i]);
            expected.insert(expected.end(), retrieve.begin(), retrieve.end());
            const std::string local = s.Names[i].substr(s.Names[i].find('/') + 1);
            EXPECT_EQ(ReadFile(client.Download + "/" + local), RandomBytes(5000 * i, i)) << local;
            recorded.push_back("RECEIVE \"" + client.Download + "/" + local + "\" \"" + s.Names[i] +
                               "\"");
        }
        EXPECT_EQ(client.Sent, expected);
        EXPECT_EQ(client.View.Script, recorded);
        EXPECT_EQ(main.FileView.FirstSelectedRow(), -1) << "each file deselected";
        EXPECT_TRUE(client.Dialogs.Messages.empty());
        EXPECT_EQ(main.Panel(4), "Ready");

        // Nothing selected: the fields as typed, one file in up to three attempts.
        main.SetField(cfAS400File, "missing.bin");
        main.SetField(cfPCFile, client.Download + "/missing.bin");
        client.Sent.clear();
        main.ReceiveClick();
        TLines tries = {"TYPE I", "SIZE missing.bin"};
        for (int attempt = 0; attempt < 3; ++attempt)
            tries.insert(tries.end(), {"PORT", "RETR missing.bin"});
        EXPECT_EQ(client.Sent, tries);
        EXPECT_EQ(client.Dialogs.Messages,
                  (TLines{"information: Errors during operation, check log."}));
        EXPECT_EQ(client.View.Script.back(),
                  "RECEIVE \"" + client.Download + "/missing.bin\" \"missing.bin\"");
        EXPECT_FALSE(std::filesystem::exists(client.Download + "/missing.bin"));
    }
}

// An aborted receive, one the server cuts midway and one whose session is lost midway: the
// local file that was there stays as it was, no temporary file is left behind, and one message
// tells of the failure.
TEST(ClientTransfers, AFailedReceiveLeavesTheOldLocalFileAsItWas)
{
    const struct
    {
        const char *Case;
        TLines Switches;
        bool Abort;
        int Attempts;  // RETRs sent for the first file
        int NextTries; // RETRs sent for the second file
        const char *EndState;
    } cases[] = {
        {"abort", {"--data-rate", "40000"}, true, 1, 0, "Ready"},
        {"cut", {"--drop-data-after", "30000"}, false, 3, 3, "Ready"},
        // No attempt without a session, and no later file either.
        {"session lost", {"--drop-control-after", "RETR"}, false, 1, 0, "Offline"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Case);
        const auto server = StartServer("unix", c.Switches);
        const std::string bytes = RandomBytes(200000, 7);
        WriteFile(server->Root() + "/home/demo/big.bin", bytes);
        WriteFile(server->Root() + "/home/demo/next.bin", bytes);
        TClientHarness client;
        client.Connect(client.Login(server->Port(), "/home/demo"));
        TTarnMain &main = *client.Main;
        main.Binary1Click();
        const std::string old = "the old big.bin\n";
        WriteFile(client.Download + "/big.bin", old);
        main.ControlFtp.OnProgress = [&](TCustomFtpCli *, int64_t Count, bool &Abort) {
            if (c.Abort && Count > 20000 && !main.AbortRequested)
                main.AbortButtonClick(); // as a click while the transfer runs
            main.ControlFtpProgress(Count, Abort);
        };
        TClientHarness::SelectAll(main.FileView, {"big.bin", "next.bin"});
        client.Sent.clear();
        main.ReceiveClick();

        EXPECT_EQ(std::count(client.Sent.begin(), client.Sent.end(), "RETR big.bin"), c.Attempts);
        EXPECT_EQ(ReadFile(client.Download + "/big.bin"), old);
        EXPECT_EQ(FolderNames(client.Download), TLines{"big.bin"}) << "no temporary file left";
        EXPECT_EQ(client.Dialogs.Messages,
                  TLines{"information: Errors during operation, check log."});
        EXPECT_EQ(main.Panel(4), c.EndState);
        // Abort ends the operation: the next file is not tried and stays selected.
        EXPECT_EQ(std::count(client.Sent.begin(), client.Sent.end(), "RETR next.bin"), c.NextTries);
        EXPECT_EQ(main.FileView.FirstSelectedRow() >= 0, c.Abort);
    }
}

// Whatever names the server lists, a receive of all of them writes only into DownloadDir.
TEST(ClientTransfers, AReceiveOfHostileNamesWritesOnlyIntoTheDownloadDirectory)
{
    const auto server = StartServer("unix", {"--hostile-listing"});
    TClientHarness client;
    client.Connect(client.Login(server->Port(), "/home/demo"));
    TTarnMain &main = *client.Main;
    const TLines listed = TClientHarness::Captions(main.FileView);
    ASSERT_GE(listed.size(), 9u);
    TClientHarness::SelectAll(main.FileView, listed);
    main.ReceiveClick();
    EXPECT_EQ(FolderNames(client.Folder.path().toStdString()), TLines{"inbox"});
    const TLines received = FolderNames(client.Download);
    EXPECT_GE(received.size(), listed.size() - 2) << "some names share a local name";
    for (const auto &entry : std::filesystem::directory_iterator(client.Download))
        EXPECT_TRUE(entry.is_regular_file()) << entry.path();
}

TEST(ClientTransfers, SendAndAMissingLocalFileThatEndsTheSession)
{
    const auto server = StartServer("windows");
    TClientHarness client;
    client.Connect(client.Login(server->Port(), "/home/demo"));
    TTarnMain &main = *client.Main;
    main.Binary1Click();
    main.Recording = true;
    const std::string local = client.Folder.filePath("up load.bin").toStdString();
    WriteFile(local, RandomBytes(70000, 3));
    main.SetField(cfAS400File, "sent.bin");
    main.SetField(cfPCFile, local);
    client.Sent.clear();
    main.SendClick();
    EXPECT_EQ(client.Sent, (TLines{"TYPE I", "PORT", "STOR sent.bin"}));
    EXPECT_EQ(ReadFile(server->Root() + "/home/demo/sent.bin"), RandomBytes(70000, 3));
    EXPECT_EQ(main.Progress().Maximum, 70004);
    EXPECT_EQ(client.View.Script, (TLines{"SEND \"" + local + "\" \"sent.bin\""}));
    EXPECT_TRUE(client.Dialogs.Messages.empty());

    // A local file that is not there ends the session, and the log says why.
    main.SetField(cfPCFile, local + ".gone");
    client.Sent.clear();
    main.SendClick();
    EXPECT_EQ(client.Sent, (TLines{"TYPE I", "QUIT"}));
    const TLines &log = client.View.Log;
    const auto why =
        std::find(log.begin(), log.end(),
                  "! Unable to open local file " + local + ".gone: No such file or directory");
    ASSERT_NE(why, log.end());
    EXPECT_EQ(*std::next(why), "> QUIT");
    EXPECT_EQ(main.Panel(4), "Offline");
    EXPECT_EQ(main.Page(), cpLog);
    EXPECT_TRUE(client.Dialogs.Messages.empty());
}

// Four files dropped on a library: sent last to first, the one the server refuses under its
// own name sent again under its IBM i name, and one listing at the end.
TEST(ClientTransfers, DroppedFilesGoLastFirstWithTheIbmINameOnRetry)
{
    const auto server = StartServer("os400");
    TClientHarness client;
    client.Connect(client.Login(server->Port(), "demolib.lib"));
    TTarnMain &main = *client.Main;
    main.Binary1Click();
    const std::string folder = client.Folder.filePath("drop").toStdString();
    const TLines names = {"alpha.savf", "orderlist2001.txt", "beta.savf", "GAMMA.FILE"};
    std::vector<std::string> paths;
    for (unsigned i = 0; i < names.size(); ++i) {
        paths.push_back(folder + "/" + names[i]);
        WriteFile(paths.back(), RandomBytes(3000 + i, 10 + i));
    }
    client.Sent.clear();
    main.FileDrag1Drop(paths);
    EXPECT_EQ(client.Sent,
              (TLines{"TYPE I", "PORT", "STOR GAMMA.FILE", "PORT", "STOR beta.savf", "PORT",
                      "STOR orderlist2001.txt", "PORT", "STOR ORDERLIST2.FILE", "PORT",
                      "STOR alpha.savf", "PWD", "PORT", "LIST /QSYS.LIB/DEMOLIB.LIB"}));
    const std::string library = server->Root() + "/QSYS.LIB/DEMOLIB.LIB/";
    const TLines stored = {"ALPHA.SAVF", "ORDERLIST2.FILE/ORDERLIST2.MBR", "BETA.SAVF",
                           "GAMMA.FILE/GAMMA.MBR"};
    for (unsigned i = 0; i < names.size(); ++i)
        EXPECT_EQ(ReadFile(library + stored[i]), RandomBytes(3000 + i, 10 + i)) << stored[i];
    EXPECT_NE(TClientHarness::RowOf(main.FileView, "ORDERLIST2.FILE"), -1);
    EXPECT_TRUE(client.Dialogs.Messages.empty());
    EXPECT_EQ(main.Panel(4), "Ready");
}

TEST(ClientTransfers, RetryNamesAndLocalFileSizes)
{
    TClientHarness client;
    TTarnMain &main = *client.Main;
    const struct
    {
        const char *CurrentDir, *Path, *Retry;
    } cases[] = {
        {"/home/demo", "/pc/MYLIB.LIB/orderlist2001.txt", "ORDERLIST2.FILE"},
        {"/QSYS.LIB/DEMOLIB.LIB", "/pc/orderlist2001.txt", "ORDERLIST2.FILE"},
        {"/QSYS.LIB/DEMOLIB.LIB", "/pc/ notes", "NOTES.FILE"},
        {"/QSYS.LIB/DEMOLIB.LIB", "/pc/customers.file", "customers.file"},
        {"/QSYS.LIB/DEMOLIB.LIB", "/pc/customerlist.file", "CUSTOMERLI.FILE"},
        {"/home/demo", "/pc/orderlist2001.txt", "orderlist2001.txt"},
        {"/QSYS.LIB/DEMOLIB.LIB", "a.b.c", "AB.C.FILE"},
    };
    for (const auto &c : cases) {
        main.CurrentDir = c.CurrentDir;
        EXPECT_EQ(main.RetryRemoteName(c.Path), c.Retry) << c.Path;
    }

    const std::string file = client.Folder.filePath("five").toStdString();
    WriteFile(file, "12345");
    EXPECT_EQ(TTarnMain::FileSizeOf(file), 5);
    const struct
    {
        std::string Path, Reason;
    } refused[] = {{file + ".no", "No such file or directory"},
                   {client.Download, "is a folder"},
                   {"/dev/null", "not a regular file"}};
    for (const auto &r : refused) {
        try {
            TTarnMain::FileSizeOf(r.Path);
            ADD_FAILURE() << r.Path;
        } catch (const std::runtime_error &error) {
            EXPECT_EQ(error.what(), "Unable to open local file " + r.Path + ": " + r.Reason);
        }
    }
}

} // namespace
} // namespace tarn::test
