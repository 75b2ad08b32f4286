// The engine against a real FTP server process (tools/testftpd) in its three personalities,
// with the server's fault switches.
#include "tests/common/test_ftp_server.h"
#include "tests/ftp/ftp_test_support.h"

#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace tarn {

namespace {

std::string EveryByteValue()
{
    std::string bytes;
    for (int round = 0; round < 4; ++round)
        for (int value = 0; value < 256; ++value)
            bytes += char(value);
    bytes += "\r\n\n\r"; // line ends that an ASCII conversion would touch
    return bytes;
}

// Limits the size of files this process writes (RLIMIT_FSIZE) while it lives: a write past the
// limit fails with EFBIG, as one on a full disk fails, instead of raising SIGXFSZ.
class TFileSizeLimit
{
public:
    explicit TFileSizeLimit(rlim_t Bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &FSaved);
        FSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = FSaved;
        limit.rlim_cur = Bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &FSaved);
        std::signal(SIGXFSZ, FSignal);
    }

private:
    rlimit FSaved{};
    void (*FSignal)(int) = SIG_DFL;
};

using FtpServerTest = TLocalFolderTest;

class FtpPersonality : public FtpServerTest, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(FtpPersonality, EverySynchronousCall)
{
    TTestFtpServerOptions options;
    options.Personality = GetParam();
    TTestFtpServer server(options);
    TFtpHarness h(server.Port(), "tester", "secret");
    ASSERT_TRUE(h.Ftp.Connect()) << h.Ftp.LastResponse();
    ASSERT_TRUE(h.Ftp.Syst());
    const std::string personality = GetParam();
    const std::string system = personality == "unix"      ? "UNIX"
                               : personality == "windows" ? "Windows_NT"
                                                          : "OS/400";
    EXPECT_NE(h.Ftp.LastResponse().find(system), std::string::npos) << h.Ftp.LastResponse();

    // A leading "/" also switches an IBM i session to path names (naming format 1). There,
    // MKD makes libraries; the IFS folder is made beside the server.
    const std::string made = personality == "os400" ? "/QSYS.LIB/TARNWORK.LIB" : "/work";
    if (personality == "os400")
        std::filesystem::create_directory(server.Root() + "/work");
    h.Ftp.HostFileName = made;
    ASSERT_TRUE(h.Ftp.Mkd()) << h.Ftp.LastResponse();
    h.Ftp.HostDirName = "/work";
    ASSERT_TRUE(h.Ftp.Cwd()) << h.Ftp.LastResponse();
    ASSERT_TRUE(h.Ftp.Pwd());
    EXPECT_NE(h.Ftp.LastResponse().find("\"/work\""), std::string::npos) << h.Ftp.LastResponse();
    h.Ftp.SetBinary(false);
    ASSERT_TRUE(h.Ftp.TypeSet());
    h.Ftp.SetBinary(true);
    ASSERT_TRUE(h.Ftp.TypeSet());

    // Files travel byte for byte, whatever their size and content.
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty.bin", ""},
        {"one.bin", "x"},
        {"values.bin", EveryByteValue()},
        {"big.bin", RandomBytes(3 * 1024 * 1024 + 17, 1)},
    };
    for (const auto &[name, content] : files) {
        WriteFile(Local(name), content);
        h.Ftp.HostFileName = name;
        h.Ftp.LocalFileName = Local(name);
        ASSERT_TRUE(h.Ftp.Put()) << name << ": " << h.Ftp.LastResponse();
        h.Ftp.LocalFileName = Local(name + ".back");
        ASSERT_TRUE(h.Ftp.Get()) << name << ": " << h.Ftp.LastResponse();
        EXPECT_TRUE(ReadFile(Local(name + ".back")) == content) << name;
    }
    h.Ftp.HostFileName = "big.bin";
    if (personality != "windows") { // the Windows personality answers SIZE as old IIS did
        ASSERT_TRUE(h.Ftp.Size()) << h.Ftp.LastResponse();
        EXPECT_EQ(h.Ftp.SizeResult(), int64_t(files[3].second.size()));
    }

    h.Ftp.HostFileName.clear();
    h.Ftp.LocalFileName = Local("listing");
    ASSERT_TRUE(h.Ftp.Dir()) << h.Ftp.LastResponse();
    const std::string listing = ReadFile(Local("listing"));
    EXPECT_NE(listing.find("big.bin"), std::string::npos) << listing;
    EXPECT_NE(listing.find("values.bin"), std::string::npos) << listing;

    h.Ftp.HostFileName = "one.bin";
    h.Ftp.LocalFileName = "renamed.bin";
    ASSERT_TRUE(h.Ftp.Rename()) << h.Ftp.LastResponse();
    h.Ftp.HostFileName = "one.bin";
    EXPECT_FALSE(h.Ftp.Dele());
    EXPECT_GE(h.Ftp.StatusCode(), 500);
    for (const char *name : {"renamed.bin", "empty.bin", "values.bin", "big.bin"}) {
        h.Ftp.HostFileName = name;
        ASSERT_TRUE(h.Ftp.Dele()) << name << ": " << h.Ftp.LastResponse();
    }
    ASSERT_TRUE(h.Ftp.CDup()) << h.Ftp.LastResponse();
    h.Ftp.HostFileName = "/work";
    ASSERT_TRUE(h.Ftp.Rmd()) << h.Ftp.LastResponse();
    EXPECT_FALSE(std::filesystem::exists(server.Root() + "/work"));
    h.Ftp.HostFileName = made;
    EXPECT_EQ(h.Ftp.Rmd(), personality == "os400") << h.Ftp.LastResponse();
    h.Ftp.LocalFileName = "NOOP";
    ASSERT_TRUE(h.Ftp.Quote());
    ASSERT_TRUE(h.Ftp.Quit());
    EXPECT_EQ(h.Ftp.StatusCode(), 221);
    EXPECT_FALSE(h.Ftp.Connected());
    // The password was sent once and never shown.
    EXPECT_EQ(std::count(h.Log.begin(), h.Log.end(), "> PASS *******"), 1);
    for (const std::string &line : h.Log)
        EXPECT_EQ(line.find("secret"), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(Personalities, FtpPersonality,
                         ::testing::Values("unix", "windows", "os400"));

// A download replaces its local file only once the server starts sending: a refused RETR leaves
// an existing file byte for byte and no new file behind; a shorter or empty remote file leaves
// exactly its bytes; a resumed download appends.
class FtpDownloadTarget : public FtpServerTest, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(FtpDownloadTarget, LocalFileReplacedOnlyWhenTheTransferStarts)
{
    TTestFtpServerOptions options;
    options.Personality = GetParam();
    TTestFtpServer server(options);
    const std::string whole = RandomBytes(60000, 8);
    WriteFile(server.Root() + "/short.txt", "short\n");
    WriteFile(server.Root() + "/empty.txt", "");
    WriteFile(server.Root() + "/whole.bin", whole);
    TFtpHarness h(server.Port(), "tester", "secret");
    ASSERT_TRUE(h.Ftp.Connect());
    ASSERT_TRUE(h.Ftp.TypeSet());

    const std::string precious = RandomBytes(10000, 9);
    WriteFile(Local("report.txt"), precious);
    h.Ftp.LocalFileName = Local("report.txt");
    std::vector<std::string> refused = {"/MISSING.TXT"};
    if (std::string(GetParam()) == "os400")
        refused.push_back("/QSYS.LIB/MUCHTOOLONGNAME.LIB/X.FILE");
    for (const std::string &name : refused) {
        h.Ftp.HostFileName = name;
        EXPECT_FALSE(h.Ftp.Get()) << name;
        EXPECT_GE(h.Ftp.StatusCode(), 500) << name;
        EXPECT_TRUE(ReadFile(Local("report.txt")) == precious) << name;
    }
    h.Ftp.HostFileName = "/MISSING.TXT";
    h.Ftp.LocalFileName = Local("new.txt");
    EXPECT_FALSE(h.Ftp.Get());
    EXPECT_FALSE(std::filesystem::exists(Local("new.txt")));

    h.Ftp.LocalFileName = Local("report.txt");
    h.Ftp.HostFileName = "/short.txt";
    ASSERT_TRUE(h.Ftp.Get()) << h.Ftp.LastResponse();
    EXPECT_EQ(ReadFile(Local("report.txt")), "short\n");
    WriteFile(Local("report.txt"), precious);
    h.Ftp.HostFileName = "/empty.txt";
    ASSERT_TRUE(h.Ftp.Get()) << h.Ftp.LastResponse();
    EXPECT_EQ(std::filesystem::file_size(Local("report.txt")), 0u);

    WriteFile(Local("whole.bin"), whole.substr(0, 25000));
    h.Ftp.HostFileName = "/whole.bin";
    h.Ftp.LocalFileName = Local("whole.bin");
    DeliverPosted();
    h.Done.clear();
    h.Ftp.RestGetAsync();
    ASSERT_TRUE(PumpUntil([&] { return !h.Done.empty(); }));
    EXPECT_EQ(h.Done.back(), (TFtpHarness::TDoneNotice{rqRestGet, 0}));
    EXPECT_TRUE(h.Logged("> REST 25000"));
    EXPECT_TRUE(ReadFile(Local("whole.bin")) == whole);
}

INSTANTIATE_TEST_SUITE_P(Personalities, FtpDownloadTarget, ::testing::Values("unix", "os400"));

TEST_F(FtpServerTest, Os400LibraryMembersAndRemoteCommands)
{
    TTestFtpServerOptions options;
    options.Personality = "os400";
    TTestFtpServer server(options);
    TFtpHarness h(server.Port(), "tester", "secret");
    ASSERT_TRUE(h.Ftp.Connect());
    EXPECT_EQ(h.Log.front().rfind("< 220-QTCP at ", 0), 0u);
    EXPECT_EQ(h.Log[1], "< 220 Connection will close if idle more than 5 minutes.");
    h.Ftp.LocalFileName = "SITE NAMEFMT 1";
    ASSERT_TRUE(h.Ftp.Quote());
    EXPECT_EQ(h.Ftp.LastResponse(), "250  Now using naming format \"1\".");
    h.Ftp.HostDirName = "/QSYS.LIB/QGPL.LIB";
    ASSERT_TRUE(h.Ftp.Cwd()) << h.Ftp.LastResponse();
    const std::string member = "line one\r\nline two\r\n";
    WriteFile(Local("member.txt"), member);
    h.Ftp.HostFileName = "NOTES.FILE/NOTES.MBR";
    h.Ftp.LocalFileName = Local("member.txt");
    ASSERT_TRUE(h.Ftp.Put()) << h.Ftp.LastResponse();
    h.Ftp.LocalFileName = Local("member.back");
    ASSERT_TRUE(h.Ftp.Get()) << h.Ftp.LastResponse();
    EXPECT_EQ(h.Ftp.LastResponse(), "250 File transfer completed successfully.");
    EXPECT_EQ(ReadFile(Local("member.back")), member);
    h.Ftp.HostFileName.clear();
    h.Ftp.LocalFileName = Local("listing");
    ASSERT_TRUE(h.Ftp.Dir());
    EXPECT_EQ(h.Ftp.LastResponse(), "250 List completed.");
    EXPECT_NE(ReadFile(Local("listing")).find("NOTES"), std::string::npos);
    h.Ftp.LocalFileName = "RCMD CRTLIB LIB(TARNTEST)";
    EXPECT_TRUE(h.Ftp.Quote());
    EXPECT_EQ(h.Ftp.StatusCode(), 250);
    // A name longer than ten characters is refused as the real server does.
    h.Ftp.HostFileName = "/QSYS.LIB/MUCHTOOLONGNAME.LIB";
    EXPECT_FALSE(h.Ftp.Mkd());
    EXPECT_GE(h.Ftp.StatusCode(), 500);
}

TEST_F(FtpServerTest, FullChainsLogInWorkAndQuit)
{
    TTestFtpServer server;
    std::filesystem::create_directory(server.Root() + "/pub");
    WriteFile(server.Root() + "/pub/data.bin", RandomBytes(100000, 2));
    TFtpHarness h(server.Port(), "tester", "secret");
    auto run = [&](void (TCustomFtpCli::*Chain)()) {
        h.Done.clear();
        (h.Ftp.*Chain)();
        EXPECT_TRUE(PumpUntil([&] { return !h.Done.empty(); }));
        return h.Done.empty() ? TFtpHarness::TDoneNotice{rqNone, 9999} : h.Done.back();
    };
    h.Ftp.HostDirName = "/pub";
    h.Ftp.HostFileName = "data.bin";
    h.Ftp.LocalFileName = Local("data.bin");
    EXPECT_EQ(run(&TCustomFtpCli::FullGetAsync), (TFtpHarness::TDoneNotice{rqFullGet, 0}));
    EXPECT_EQ(ReadFile(Local("data.bin")), ReadFile(server.Root() + "/pub/data.bin"));
    EXPECT_FALSE(h.Ftp.Connected());
    // The chain reports its last working reply, not QUIT's 221.
    EXPECT_TRUE(h.Ftp.StatusCode() == 226 || h.Ftp.StatusCode() == 250) << h.Ftp.LastResponse();

    h.Ftp.HostFileName = "copy.bin";
    EXPECT_EQ(run(&TCustomFtpCli::FullPutAsync), (TFtpHarness::TDoneNotice{rqFullPut, 0}));
    EXPECT_EQ(ReadFile(server.Root() + "/pub/copy.bin"), ReadFile(Local("data.bin")));
    EXPECT_EQ(run(&TCustomFtpCli::FullAppendAsync), (TFtpHarness::TDoneNotice{rqFullPut, 0}));
    EXPECT_EQ(std::filesystem::file_size(server.Root() + "/pub/copy.bin"), 200000u);

    h.Ftp.HostFileName.clear();
    h.Ftp.LocalFileName = Local("names");
    EXPECT_EQ(run(&TCustomFtpCli::FullLsAsync), (TFtpHarness::TDoneNotice{rqFullLs, 0}));
    EXPECT_NE(ReadFile(Local("names")).find("copy.bin"), std::string::npos);
    h.Ftp.LocalFileName = Local("list");
    EXPECT_EQ(run(&TCustomFtpCli::FullDirAsync), (TFtpHarness::TDoneNotice{rqFullDir, 0}));
    EXPECT_EQ(run(&TCustomFtpCli::FullSystAsync), (TFtpHarness::TDoneNotice{rqFullSyst, 0}));
    EXPECT_EQ(h.Ftp.LastResponse(), "215 UNIX Type: L8");

    // The chain sets no type, and this server answers SIZE only in binary mode.
    h.Ftp.HostFileName = "/pub/copy.bin";
    EXPECT_EQ(run(&TCustomFtpCli::FullSizeAsync), (TFtpHarness::TDoneNotice{rqSize, 550}));
    EXPECT_EQ(h.Ftp.SizeResult(), 0);
    h.Ftp.LocalFileName = "/pub/moved.bin";
    EXPECT_EQ(run(&TCustomFtpCli::FullRenameAsync), (TFtpHarness::TDoneNotice{rqFullRename, 0}));
    h.Ftp.HostFileName = "/pub/moved.bin";
    EXPECT_EQ(run(&TCustomFtpCli::FullDeleAsync), (TFtpHarness::TDoneNotice{rqFullDele, 0}));
    h.Ftp.HostFileName = "/made";
    EXPECT_EQ(run(&TCustomFtpCli::FullMkdAsync), (TFtpHarness::TDoneNotice{rqFullMkd, 0}));
    EXPECT_EQ(run(&TCustomFtpCli::FullRmdAsync), (TFtpHarness::TDoneNotice{rqFullRmd, 0}));
    h.Ftp.LocalFileName = "HELP";
    EXPECT_EQ(run(&TCustomFtpCli::FullQuoteAsync), (TFtpHarness::TDoneNotice{rqFullQuote, 0}));
    // A failing step skips to QUIT; the chain reports that step's code.
    h.Ftp.HostFileName = "/no-such-file";
    EXPECT_EQ(run(&TCustomFtpCli::FullDeleAsync), (TFtpHarness::TDoneNotice{rqFullDele, 550}));
    EXPECT_EQ(h.Ftp.StatusCode(), 550);
    EXPECT_EQ(h.Ftp.ErrorMessage(), h.Ftp.LastResponse());
    EXPECT_FALSE(h.Ftp.Connected());
}

TEST_F(FtpServerTest, ResumeAfterAPartialDownload)
{
    TTestFtpServerOptions options;
    options.ExtraArgs = {"--drop-data-after", "300000", "--drop-data-count", "2"};
    TTestFtpServer server(options);
    const std::string content = RandomBytes(1000000, 3);
    WriteFile(server.Root() + "/file.bin", content);
    TFtpHarness h(server.Port(), "tester", "secret");
    ASSERT_TRUE(h.Ftp.Connect());
    ASSERT_TRUE(h.Ftp.TypeSet());
    h.Ftp.HostFileName = "file.bin";
    h.Ftp.LocalFileName = Local("file.bin");
    // A plain download cut by the server (426) fails and leaves nothing behind.
    EXPECT_FALSE(h.Ftp.Get());
    EXPECT_EQ(h.Ftp.StatusCode(), 426);
    EXPECT_FALSE(std::filesystem::exists(Local("file.bin")));
    // A resumable one keeps what arrived: a head of the file.
    EXPECT_EQ(RunRestGet(h), 426);
    std::string partial = ReadFile(Local("file.bin"));
    ASSERT_FALSE(partial.empty());
    EXPECT_TRUE(content.compare(0, partial.size(), partial) == 0);

    // Resumed, then stopped by the user a little later: a failure, and the file grew.
    h.Ftp.OnProgress = [&](TCustomFtpCli *, int64_t Count, bool &Abort) {
        Abort = Count > int64_t(partial.size()) + 200000;
    };
    EXPECT_EQ(RunRestGet(h), 426);
    EXPECT_EQ(h.Ftp.ErrorMessage(), "426 Transfer aborted");
    EXPECT_TRUE(h.Logged("> REST " + std::to_string(partial.size())));
    partial = ReadFile(Local("file.bin"));
    ASSERT_GT(partial.size(), 200000u);
    ASSERT_LT(partial.size(), content.size());
    EXPECT_TRUE(content.compare(0, partial.size(), partial) == 0);

    int64_t firstCount = -1;
    h.Ftp.OnProgress = [&](TCustomFtpCli *, int64_t Count, bool &) {
        if (firstCount < 0)
            firstCount = Count;
    };
    EXPECT_EQ(RunRestGet(h), 0);
    EXPECT_TRUE(h.Logged("> REST " + std::to_string(partial.size())));
    EXPECT_TRUE(ReadFile(Local("file.bin")) == content);
    EXPECT_GE(firstCount, int64_t(partial.size())); // progress counts from the restart offset

    // REST refused: the chain fails with 502 and sends no RETR.
    TTestFtpServerOptions refusing;
    refusing.ExtraArgs = {"--refuse-rest"};
    TTestFtpServer strict(refusing);
    WriteFile(strict.Root() + "/file.bin", content);
    TFtpHarness s(strict.Port(), "tester", "secret");
    ASSERT_TRUE(s.Ftp.Connect());
    ASSERT_TRUE(s.Ftp.TypeSet());
    s.Ftp.HostFileName = "file.bin";
    s.Ftp.LocalFileName = Local("file.bin");
    EXPECT_EQ(RunRestGet(s), 502);
    EXPECT_FALSE(s.LoggedPrefix("> RETR"));
    // A later upload starts at the head of its file, not at the refused offset.
    s.Ftp.HostFileName = "up.bin";
    ASSERT_TRUE(s.Ftp.Put());
    EXPECT_TRUE(ReadFile(strict.Root() + "/up.bin") == content);
}

TEST_F(FtpServerTest, AbortThroughOnProgressAndNestedCalls)
{
    TTestFtpServer server;
    const std::string content = RandomBytes(std::size_t(4) * 1024 * 1024, 4);
    WriteFile(server.Root() + "/big.bin", content);
    TFtpHarness h(server.Port(), "tester", "secret");
    ASSERT_TRUE(h.Ftp.Connect());
    int nested = 0;
    bool nestedResult = true;
    h.Ftp.OnProgress = [&](TCustomFtpCli *, int64_t Count, bool &Abort) {
        if (nested++ == 0)
            nestedResult = h.Ftp.Pwd(); // a second call while one runs
        Abort = Count > 200000;
    };
    h.Ftp.HostFileName = "big.bin";
    h.Ftp.LocalFileName = Local("big.bin");
    h.Ftp.Get(); // the server may answer 226 or 426 after the data connection closes
    EXPECT_FALSE(nestedResult);
    EXPECT_TRUE(h.Logged("! Abort requested"));
    EXPECT_LT(ReadFile(Local("big.bin")).size(), content.size());
    EXPECT_EQ(h.Ftp.State(), fsReady);
    h.Ftp.OnProgress = nullptr;
    EXPECT_TRUE(h.Ftp.Pwd()); // the session goes on
}

TEST_F(FtpServerTest, TimeOuts)
{
    { // A server that never greets.
        TTestFtpServerOptions options;
        options.ExtraArgs = {"--no-greeting"};
        TTestFtpServer server(options);
        TFtpHarness h(server.Port(), "tester", "secret");
        h.Ftp.Timeout = 1;
        EXPECT_FALSE(h.Ftp.Connect());
        EXPECT_EQ(h.Ftp.StatusCode(), 426);
        EXPECT_EQ(h.Ftp.ErrorMessage(), "426 Timeout");
        EXPECT_FALSE(h.Ftp.Connected());
    }
    { // A transfer that flows for longer than Timeout completes: progress pushes the
        // deadline back.
        TTestFtpServerOptions options;
        // The server sends in bursts with pauses of about two seconds.
        options.ExtraArgs = {"--data-rate", "100000"};
        TTestFtpServer server(options);
        const std::string content = RandomBytes(500000, 5);
        WriteFile(server.Root() + "/slow.bin", content);
        TFtpHarness h(server.Port(), "tester", "secret");
        h.Ftp.Timeout = 3;
        ASSERT_TRUE(h.Ftp.Connect());
        ASSERT_TRUE(h.Ftp.TypeSet());
        h.Ftp.HostFileName = "slow.bin";
        h.Ftp.LocalFileName = Local("slow.bin");
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(h.Ftp.Get()) << h.Ftp.LastResponse();
        EXPECT_GT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3500));
        EXPECT_TRUE(ReadFile(Local("slow.bin")) == content);
    }
}

TEST_F(FtpServerTest, ServerFaultsAreSurvivedOrReported)
{
    const std::string content = RandomBytes(70000, 6);
    auto session = [&](std::vector<std::string> Faults, auto Check) {
        TTestFtpServerOptions options;
        options.ExtraArgs = std::move(Faults);
        TTestFtpServer server(options);
        WriteFile(server.Root() + "/f.bin", content);
        TFtpHarness h(server.Port(), "tester", "secret");
        Check(h);
    };
    // Replies written a few bytes at a time, multi-line replies everywhere, padded lines.
    for (std::vector<std::string> faults :
         {std::vector<std::string>{"--split-replies", "3", "--split-pause", "2"},
          std::vector<std::string>{"--multiline-replies", "*"},
          std::vector<std::string>{"--overlong-replies", "PWD,SYST,TYPE"}}) {
        session(faults, [&](TFtpHarness &H) {
            ASSERT_TRUE(H.Ftp.Connect()) << faults[0];
            ASSERT_TRUE(H.Ftp.Syst()) << faults[0];
            ASSERT_TRUE(H.Ftp.Pwd()) << faults[0];
            ASSERT_TRUE(H.Ftp.TypeSet()) << faults[0];
            H.Ftp.HostFileName = "f.bin";
            H.Ftp.LocalFileName = Local("f.bin");
            ASSERT_TRUE(H.Ftp.Get()) << faults[0];
            EXPECT_TRUE(ReadFile(Local("f.bin")) == content);
            H.Ftp.LocalFileName = "NOOP";
            ASSERT_TRUE(H.Ftp.Quote()) << faults[0];
            EXPECT_EQ(H.Ftp.StatusCode(), 200) << faults[0];
        });
    }
    // A reply without a code fails the request.
    session({"--garbage-replies", "PWD"}, [&](TFtpHarness &H) {
        ASSERT_TRUE(H.Ftp.Connect());
        EXPECT_FALSE(H.Ftp.Pwd());
        EXPECT_TRUE(H.Ftp.Syst());
    });
    // SIZE unknown to the server.
    session({"--no-size"}, [&](TFtpHarness &H) {
        ASSERT_TRUE(H.Ftp.Connect());
        H.Ftp.HostFileName = "f.bin";
        EXPECT_FALSE(H.Ftp.Size());
        EXPECT_EQ(H.Ftp.SizeResult(), 0);
    });
    // The control connection dropped when RETR arrives: the Get fails, it never succeeds.
    session({"--drop-control-after", "RETR"}, [&](TFtpHarness &H) {
        ASSERT_TRUE(H.Ftp.Connect());
        H.Ftp.HostFileName = "f.bin";
        H.Ftp.LocalFileName = Local("dropped.bin");
        WriteFile(Local("dropped.bin"), "kept");
        EXPECT_FALSE(H.Ftp.Get());
        EXPECT_EQ(H.Ftp.StatusCode(), 421);
        EXPECT_EQ(ReadFile(Local("dropped.bin")), "kept"); // nothing was sent: left as it was
        EXPECT_FALSE(H.Ftp.Connected());
        ASSERT_TRUE(H.Ftp.Connect()); // and a new session starts cleanly
        ASSERT_TRUE(H.Ftp.Pwd());
    });
}

TEST_F(FtpServerTest, LocalFileFailuresAreNeverSuccess)
{
    TTestFtpServer server;
    const std::string content = RandomBytes(200000, 7);
    WriteFile(server.Root() + "/f.bin", content);
    TFtpHarness h(server.Port(), "tester", "secret");
    ASSERT_TRUE(h.Ftp.Connect());
    h.Ftp.HostFileName = "f.bin";
    h.Ftp.LocalFileName = Local("f.bin");
    {
        // The disk fills up: writes past 100 kB fail as on a full disk. The server completes
        // with 226, the Get still fails, and the old file stays.
        WriteFile(Local("f.bin"), "old");
        TFileSizeLimit limit(100000);
        EXPECT_FALSE(h.Ftp.Get());
    }
    EXPECT_EQ(h.Ftp.StatusCode(), 550);
    EXPECT_TRUE(h.Logged("! Error writing local file"));
    EXPECT_EQ(h.Ftp.ErrorMessage().rfind("550 Error writing local file " + Local("f.bin"), 0), 0u)
        << h.Ftp.ErrorMessage();
    EXPECT_EQ(ReadFile(Local("f.bin")), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(FDir.path().toStdString()),
                            std::filesystem::directory_iterator()),
              1); // no temporary file left
    // A folder that does not exist for a download.
    h.Ftp.LocalFileName = Local("no/such/folder");
    EXPECT_FALSE(h.Ftp.Get());
    EXPECT_EQ(h.Ftp.LastResponse(), "Unable to open local file " + Local("no/such/folder") +
                                        ": No such file or directory");
    EXPECT_EQ(h.Ftp.StatusCode(), 550);
    EXPECT_EQ(h.Ftp.State(), fsReady);
    EXPECT_TRUE(h.Ftp.Pwd()); // the session goes on

    // A symbolic link under the local name, dangling or not, is never written through. A
    // download replaces the link with the file; a resumed download, which writes on the named
    // file itself, refuses it. The file the link names stays as it was, or absent.
    WriteFile(Local("victim"), "precious");
    h.Ftp.SetBinary(true);
    ASSERT_TRUE(h.Ftp.TypeSet());
    h.Ftp.LocalFileName = Local("link.bin");
    for (const std::string &target : {Local("victim"), Local("created-through-link")}) {
        std::filesystem::remove(Local("link.bin"));
        std::filesystem::create_symlink(target, Local("link.bin"));
        EXPECT_EQ(RunRestGet(h), 550) << target;
        EXPECT_EQ(h.Ftp.LastResponse(),
                  "Unable to open local file " + Local("link.bin") + ": is a symbolic link");
        EXPECT_TRUE(std::filesystem::is_symlink(Local("link.bin"))) << target;
        EXPECT_TRUE(h.Ftp.Get()) << target;
        EXPECT_FALSE(std::filesystem::is_symlink(Local("link.bin"))) << target;
        EXPECT_TRUE(ReadFile(Local("link.bin")) == content) << target;
    }
    EXPECT_EQ(ReadFile(Local("victim")), "precious");
    EXPECT_FALSE(std::filesystem::exists(Local("created-through-link")));
}

} // namespace

} // namespace tarn
