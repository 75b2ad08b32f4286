// The engine against tools/testftpd misbehaving through its fault switches: replies late, early,
// twice or refused after PORT never put the engine out of step; a failed, cut, short or aborted
// transfer is never a success and never costs the file that was there; only regular files take
// part; no command text can smuggle in a second command.
#include "tests/common/test_ftp_server.h"
#include "tests/ftp/ftp_test_support.h"

#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tarn {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

mode_t ModeOf(const std::string &Name)
{
    struct stat info = {};
    ::stat(Name.c_str(), &info);
    return info.st_mode & 07777;
}

class FtpIntegrity : public TLocalFolderTest
{
protected:
    // The names in the local folder: a temporary file left behind shows here.
    std::vector<std::string> LocalNames()
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(FDir.path().toStdString()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // A server with victim.txt, sub/ and big.bin in its root, and a session logged in to it.
    std::unique_ptr<TTestFtpServer> Serve(std::vector<std::string> Faults)
    {
        TTestFtpServerOptions options;
        options.ExtraArgs = std::move(Faults);
        auto server = std::make_unique<TTestFtpServer>(options);
        WriteFile(server->Root() + "/victim.txt", "victim");
        fs::create_directory(server->Root() + "/sub");
        WriteFile(server->Root() + "/big.bin", Big);
        return server;
    }
    const std::string Big = RandomBytes(300000, 11);
};

TEST_F(FtpIntegrity, RepliesStayInStepWhenTheServerAnswersLateEarlyTwiceOrRefusesThePort)
{
    struct TCase
    {
        std::vector<std::string> Faults;
        bool GetSucceeds;
    };
    const TCase cases[] = {
        {{"--late-replies", "CWD,RETR", "--late-delay", "700"}, true},
        {{"--extra-reply", "CWD,TYPE", "--extra-pause", "100"}, true},
        {{"--extra-reply", "RETR", "--extra-text", "550 Not a reply to anything"}, true},
        {{"--early-completion", "RETR,STOR"}, true},
        {{"--port-connect-delay", "300"}, true},
        {{"--port-unreachable"}, false},
    };
    for (const TCase &c : cases) {
        const std::string name = c.Faults[0];
        auto server = Serve(c.Faults);
        TFtpHarness h(server->Port(), "tester", "secret");
        h.Ftp.Timeout = 5;
        // Between commands the session is idle while the caller works elsewhere (no events
        // run), as a script player between its lines: whatever arrives then must answer
        // nothing.
        const auto elsewhere = [] { std::this_thread::sleep_for(250ms); };
        ASSERT_TRUE(h.Ftp.Connect()) << name;
        h.Ftp.HostDirName = "/sub";
        EXPECT_TRUE(h.Ftp.Cwd()) << name;
        elsewhere();
        EXPECT_TRUE(h.Ftp.TypeSet()) << name;
        elsewhere();
        h.Ftp.HostFileName = "/big.bin";
        h.Ftp.LocalFileName = Local("big.bin");
        EXPECT_EQ(h.Ftp.Get(), c.GetSucceeds) << name << ": " << h.Ftp.LastResponse();
        EXPECT_TRUE(!c.GetSucceeds || ReadFile(Local("big.bin")) == Big) << name;
        if (c.GetSucceeds) { // and back: the whole file arrives, whenever the 226 comes
            h.Ftp.HostFileName = "/up.bin";
            EXPECT_TRUE(h.Ftp.Put()) << name << ": " << h.Ftp.LastResponse();
            // A server that confirms early may still be writing the file when the call returns.
            EXPECT_TRUE(PumpUntil([&] { return ReadFile(server->Root() + "/up.bin") == Big; }, 5))
                << name;
        }
        elsewhere();
        h.Ftp.HostFileName = "/missing.txt";
        EXPECT_FALSE(h.Ftp.Dele()) << name << ": " << h.Ftp.LastResponse();
        EXPECT_EQ(h.Ftp.StatusCode(), 550) << name;
        h.Ftp.HostFileName = "/victim.txt";
        EXPECT_TRUE(h.Ftp.Dele()) << name << ": " << h.Ftp.LastResponse();
        EXPECT_FALSE(fs::exists(server->Root() + "/victim.txt")) << name;
        h.Ftp.HostDirName = "/";
        EXPECT_TRUE(h.Ftp.Cwd()) << name;
        elsewhere();
        EXPECT_TRUE(h.Ftp.Pwd()) << name;
        EXPECT_EQ(h.Ftp.LastResponse(), "257 \"/\" is the current directory.") << name;
    }
    { // A reply later than the time-out: the call fails and the session is closed, so that
        // the late reply can answer nothing.
        auto server = Serve({"--late-replies", "DELE", "--late-delay", "2500"});
        TFtpHarness h(server->Port(), "tester", "secret");
        ASSERT_TRUE(h.Ftp.Connect());
        h.Ftp.Timeout = 1;
        h.Ftp.HostFileName = "/victim.txt";
        EXPECT_FALSE(h.Ftp.Dele());
        EXPECT_EQ(h.Ftp.ErrorMessage(), "426 Timeout");
        EXPECT_FALSE(h.Ftp.Connected());
    }
}

TEST_F(FtpIntegrity, AFailedDownloadLeavesTheOldFileAsItWas)
{
    struct TCase
    {
        const char *What;
        std::vector<std::string> Faults;
        bool AbortInProgress = false;
        bool AbortFromOutside = false;
    };
    const TCase cases[] = {
        {"150 then 550", {"--fail-after-start", "RETR"}},
        {"150 and no connection", {"--no-data-connection", "RETR"}},
        {"cut and 426", {"--drop-data-after", "20000"}},
        {"reset and 226",
         {"--drop-data-after", "20000", "--drop-data-reset", "--drop-data-reply", "226"}},
        {"short with 226", {"--short-downloads", "100", "--announce-size"}},
        {"aborted through OnProgress", {"--data-rate", "200000"}, true},
        {"Abort called from outside", {"--data-rate", "200000"}, false, true},
    };
    const std::string old = "the old file, precious";
    for (const TCase &c : cases) {
        auto server = Serve(c.Faults);
        TFtpHarness h(server->Port(), "tester", "secret");
        h.Ftp.Timeout = 2;
        ASSERT_TRUE(h.Ftp.Connect()) << c.What;
        ASSERT_TRUE(h.Ftp.TypeSet()) << c.What;
        WriteFile(Local("target.bin"), old);
        ::chmod(Local("target.bin").c_str(), 0640);
        // While the transfer runs, the bytes go to a file of its own beside the target.
        std::string during;
        mode_t duringMode = 0;
        bool aborting = false;
        h.Ftp.OnProgress = [&](TCustomFtpCli *, int64_t Count, bool &Abort) {
            for (const std::string &name : LocalNames())
                if (name.rfind(".target.bin.", 0) == 0 && during.empty()) {
                    during = name;
                    duringMode = ModeOf(Local(name));
                }
            Abort = c.AbortInProgress && Count > 30000;
            // As a signal handler or a Stop button would: from the event loop, later.
            if (c.AbortFromOutside && Count > 30000 && !aborting) {
                aborting = true;
                QTimer::singleShot(0, [&] { h.Ftp.Abort(); });
            }
        };
        h.Ftp.HostFileName = "/big.bin";
        h.Ftp.LocalFileName = Local("target.bin");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(h.Ftp.Get()) << c.What;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 4s) << c.What;
        EXPECT_FALSE(h.Ftp.ErrorMessage().empty()) << c.What;
        EXPECT_TRUE(ReadFile(Local("target.bin")) == old) << c.What;
        EXPECT_EQ(ModeOf(Local("target.bin")), 0640u) << c.What;
        EXPECT_EQ(LocalNames(), std::vector<std::string>{"target.bin"}) << c.What;
        if (c.AbortInProgress || c.AbortFromOutside) {
            EXPECT_EQ(h.Ftp.ErrorMessage(),
                      c.AbortInProgress ? "426 Transfer aborted" : "426 Operation aborted.");
            EXPECT_EQ(h.Ftp.StatusCode(), 426);
        }
        if (!during.empty()) {
            EXPECT_EQ(during.substr(during.size() - 5), ".part") << during;
            EXPECT_EQ(duringMode, 0600u) << during;
        }
    }

    // A download that succeeds replaces the file and keeps its permissions; a new file gets the
    // user's usual ones.
    auto server = Serve({});
    TFtpHarness h(server->Port(), "tester", "secret");
    ASSERT_TRUE(h.Ftp.Connect());
    ASSERT_TRUE(h.Ftp.TypeSet());
    h.Ftp.HostFileName = "/big.bin";
    h.Ftp.LocalFileName = Local("target.bin");
    ASSERT_TRUE(h.Ftp.Get());
    EXPECT_TRUE(ReadFile(Local("target.bin")) == Big);
    EXPECT_EQ(ModeOf(Local("target.bin")), 0640u);
    const mode_t saved = ::umask(027);
    h.Ftp.LocalFileName = Local("new.bin");
    EXPECT_TRUE(h.Ftp.Get());
    ::umask(saved);
    EXPECT_EQ(ModeOf(Local("new.bin")), 0640u);
    EXPECT_EQ(LocalNames(), (std::vector<std::string>{"new.bin", "target.bin"}));
}

TEST_F(FtpIntegrity, AbortedOrCutTransfersFailInBothDirections)
{
    const std::string upload = RandomBytes(200000, 12);
    WriteFile(Local("up.bin"), upload);
    { // An upload stopped by the user after some 11 kB: the server's 226 changes nothing.
        auto server = Serve({});
        TFtpHarness h(server->Port(), "tester", "secret");
        ASSERT_TRUE(h.Ftp.Connect());
        ASSERT_TRUE(h.Ftp.TypeSet());
        h.Ftp.OnProgress = [](TCustomFtpCli *, int64_t Count, bool &Abort) {
            Abort = Count > 11000;
        };
        h.Ftp.HostFileName = "up.bin";
        h.Ftp.LocalFileName = Local("up.bin");
        EXPECT_FALSE(h.Ftp.Put());
        EXPECT_EQ(h.Ftp.ErrorMessage(), "426 Transfer aborted");
        EXPECT_TRUE(h.Logged("! Abort requested"));
        EXPECT_LT(fs::file_size(server->Root() + "/up.bin"), upload.size());
        h.Ftp.OnProgress = nullptr;
        EXPECT_TRUE(h.Ftp.Pwd()); // in step
    }
    { // A download whose 226 came before the data: aborted all the same.
        auto server = Serve({"--early-completion", "RETR", "--data-rate", "200000"});
        TFtpHarness h(server->Port(), "tester", "secret");
        ASSERT_TRUE(h.Ftp.Connect());
        h.Ftp.OnProgress = [](TCustomFtpCli *, int64_t Count, bool &Abort) {
            Abort = Count > 30000;
        };
        h.Ftp.HostFileName = "/big.bin";
        h.Ftp.LocalFileName = Local("big.bin");
        EXPECT_FALSE(h.Ftp.Get());
        EXPECT_EQ(h.Ftp.ErrorMessage(), "426 Transfer aborted");
        EXPECT_FALSE(fs::exists(Local("big.bin")));
    }
    // The server cuts the upload's data connection (closed, or reset) and claims success.
    for (const std::vector<std::string> &faults :
         {std::vector<std::string>{"--drop-data-after", "20000", "--drop-data-reply", "226"},
          std::vector<std::string>{"--drop-data-after", "20000", "--drop-data-reset",
                                   "--drop-data-reply", "226"}}) {
        auto server = Serve(faults);
        TFtpHarness h(server->Port(), "tester", "secret");
        ASSERT_TRUE(h.Ftp.Connect());
        ASSERT_TRUE(h.Ftp.TypeSet());
        h.Ftp.HostFileName = "up.bin";
        h.Ftp.LocalFileName = Local("up.bin");
        EXPECT_FALSE(h.Ftp.Put()) << faults.size();
        EXPECT_EQ(h.Ftp.StatusCode(), 426) << faults.size();
        EXPECT_EQ(fs::file_size(server->Root() + "/up.bin"), 20000u);
        h.Ftp.LocalFileName = "NOOP";
        EXPECT_TRUE(h.Ftp.Quote());
    }
    { // SIZE told the length; the server leaves the tail out and closes cleanly with 226.
        auto server = Serve({"--short-downloads", "10"});
        TFtpHarness h(server->Port(), "tester", "secret");
        ASSERT_TRUE(h.Ftp.Connect());
        ASSERT_TRUE(h.Ftp.TypeSet());
        h.Ftp.HostFileName = "/big.bin";
        ASSERT_TRUE(h.Ftp.Size());
        h.Ftp.LocalFileName = Local("big.bin");
        EXPECT_FALSE(h.Ftp.Get());
        EXPECT_EQ(h.Ftp.ErrorMessage(), "426 Download incomplete: 299990 of 300000 bytes received");
        EXPECT_FALSE(fs::exists(Local("big.bin")));
    }
}

TEST_F(FtpIntegrity, OnlyRegularFilesTakePart)
{
    auto server = Serve({});
    WriteFile(server->Root() + "/kept.txt", "kept");
    TFtpHarness h(server->Port(), "tester", "secret");
    h.Ftp.Timeout = 0; // a pipe that blocked would block for good
    ASSERT_TRUE(h.Ftp.Connect());
    fs::create_directory(Local("folder"));
    ASSERT_EQ(::mkfifo(Local("pipe").c_str(), 0600), 0);
    // Should an open of the pipe block after all, the other end comes after a while, so that
    // the test fails instead of hanging.
    std::atomic<bool> done = false;
    std::thread unblock([&] {
        for (int i = 0; i < 50 && !done; ++i)
            std::this_thread::sleep_for(100ms);
        for (int flags : {O_RDONLY | O_NONBLOCK, O_WRONLY | O_NONBLOCK}) {
            const int fd = ::open(Local("pipe").c_str(), flags);
            if (fd >= 0)
                ::close(fd);
        }
    });
    struct TCase
    {
        std::string Local;
        bool Upload;
        std::string Reason;
    };
    const TCase cases[] = {
        {Local("folder"), true, "is a folder"},       {Local("pipe"), true, "not a regular file"},
        {"/dev/zero", true, "not a regular file"},    {Local("folder"), false, "is a folder"},
        {Local("pipe"), false, "not a regular file"}, {"/dev/null", false, "not a regular file"},
    };
    for (const TCase &c : cases) {
        h.Log.clear();
        h.Ftp.HostFileName = "kept.txt";
        h.Ftp.LocalFileName = c.Local;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(c.Upload ? h.Ftp.Put() : h.Ftp.Get()) << c.Local;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << c.Local;
        EXPECT_EQ(h.Ftp.ErrorMessage(), "Unable to open local file " + c.Local + ": " + c.Reason);
        EXPECT_EQ(h.Log, std::vector<std::string>{"! " + h.Ftp.ErrorMessage()}); // nothing sent
    }
    done = true;
    unblock.join();
    EXPECT_EQ(ReadFile(server->Root() + "/kept.txt"), "kept");
    EXPECT_TRUE(h.Ftp.Pwd());
}

TEST_F(FtpIntegrity, TextModeRoundTripGivesLinuxTextFiles)
{
    auto server = Serve({});
    TFtpHarness h(server->Port(), "tester", "secret");
    ASSERT_TRUE(h.Ftp.Connect());
    h.Ftp.SetBinary(false);
    ASSERT_TRUE(h.Ftp.TypeSet());
    const std::string text = "first line\nsecond\n\nlast without end";
    WriteFile(Local("notes.txt"), text);
    h.Ftp.HostFileName = "notes.txt";
    h.Ftp.LocalFileName = Local("notes.txt");
    ASSERT_TRUE(h.Ftp.Put());
    EXPECT_EQ(ReadFile(server->Root() + "/notes.txt"), text); // the server stores its own text
    h.Ftp.LocalFileName = Local("back.txt");
    ASSERT_TRUE(h.Ftp.Get());
    EXPECT_EQ(ReadFile(Local("back.txt")), text);
    // In binary mode the server's bytes arrive as they are.
    WriteFile(server->Root() + "/dos.txt", "a\r\nb\r\n");
    h.Ftp.SetBinary(true);
    ASSERT_TRUE(h.Ftp.TypeSet());
    h.Ftp.HostFileName = "dos.txt";
    ASSERT_TRUE(h.Ftp.Get());
    EXPECT_EQ(ReadFile(Local("back.txt")), "a\r\nb\r\n");
}

TEST_F(FtpIntegrity, TextsWithLineBreaksAreNeverSent)
{
    auto server = Serve({});
    const std::string hidden = "\r\nDELE victim.txt";
    { // A password that hides a second command: not even the connection is made.
        TFtpHarness h(server->Port(), "tester", "secret" + hidden);
        EXPECT_FALSE(h.Ftp.Connect());
        EXPECT_EQ(h.Ftp.ErrorMessage(), "The password holds CR, LF or NUL: nothing was sent");
        EXPECT_EQ(h.Log, std::vector<std::string>{});
        EXPECT_FALSE(h.Ftp.Connected());
        h.Ftp.UserName = std::string("tester\0x", 8);
        h.Ftp.PassWord = "secret";
        EXPECT_FALSE(h.Ftp.Connect());
        EXPECT_EQ(h.Log, std::vector<std::string>{});
    }
    TFtpHarness h(server->Port(), "tester", "secret");
    ASSERT_TRUE(h.Ftp.Connect());
    h.Log.clear();
    const std::vector<std::pair<const char *, std::function<bool()>>> calls = {
        {"Dele", [&] { return (h.Ftp.HostFileName = "x" + hidden, h.Ftp.Dele()); }},
        {"Mkd", [&] { return (h.Ftp.HostFileName = "x\ny", h.Ftp.Mkd()); }},
        {"Get",
         [&] {
             h.Ftp.HostFileName = "x" + hidden;
             h.Ftp.LocalFileName = Local("x");
             return h.Ftp.Get();
         }},
        {"Put",
         [&] {
             WriteFile(Local("x"), "x");
             h.Ftp.HostFileName = "x" + hidden;
             h.Ftp.LocalFileName = Local("x");
             return h.Ftp.Put();
         }},
        {"Cwd", [&] { return (h.Ftp.HostDirName = "/" + hidden, h.Ftp.Cwd()); }},
        {"Quote", [&] { return (h.Ftp.LocalFileName = "NOOP" + hidden, h.Ftp.Quote()); }},
        {"Rename",
         [&] {
             h.Ftp.HostFileName = "victim.txt";
             h.Ftp.LocalFileName = std::string("v\0.txt", 6);
             return h.Ftp.Rename();
         }},
    };
    for (const auto &[name, call] : calls) {
        EXPECT_FALSE(call()) << name;
        EXPECT_NE(h.Ftp.ErrorMessage().find("holds CR, LF or NUL: nothing was sent"),
                  std::string::npos)
            << name << ": " << h.Ftp.ErrorMessage();
    }
    EXPECT_EQ(h.Log, std::vector<std::string>{}); // not a byte went out
    EXPECT_TRUE(fs::exists(server->Root() + "/victim.txt"));
    EXPECT_TRUE(h.Ftp.Pwd());
}

} // namespace

} // namespace tarn
