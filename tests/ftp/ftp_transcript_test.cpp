// Transcript tests: a scripted server answers with exact byte sequences, and the tests compare
// the commands the engine sent, its log and its results.
#include "tests/ftp/ftp_test_support.h"
#include "tests/ftp/scripted_peer.h"

#include <QAbstractEventDispatcher>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarn {

namespace {

using TCommands = std::vector<std::string>;

using FtpTranscript = TLocalFolderTest;

TEST_F(FtpTranscript, ConnectJudgesRepliesHoweverTheyArriveInReads)
{
    { // A two-line greeting split inside its first line, then one reply per read.
        TScriptedPeer peer;
        peer.Send("220-Wel")
            .Pause(100)
            .Send("come\r\n220 ready\r\n")
            .Expect("331 pw\r\n")
            .Expect("230 in\r\n");
        peer.Start();
        TFtpHarness h(peer.Port());
        ASSERT_TRUE(h.Ftp.Connect());
        peer.Finish();
        EXPECT_EQ(peer.Commands(), (TCommands{"USER u", "PASS p"}));
        EXPECT_EQ(h.Log, (TCommands{"< 220-Welcome", "< 220 ready", "> USER u", "< 331 pw",
                                    "> PASS *******", "< 230 in"}));
        EXPECT_EQ(h.Ftp.State(), fsReady);
        EXPECT_EQ(h.Ftp.LastResponse(), "230 in");
        EXPECT_EQ(h.Ftp.StatusCode(), 230);
        EXPECT_TRUE(h.Ftp.Connected());
    }
    { // A reply and a line nobody asked for in one read: the line that came before PASS was
        // sent cannot answer PASS.
        TScriptedPeer peer;
        peer.Send("220 hi\r\n").Expect("331 pw\r\n230 early\r\n").Expect("230 in\r\n");
        peer.Start();
        TFtpHarness h(peer.Port());
        ASSERT_TRUE(h.Ftp.Connect());
        peer.Finish();
        EXPECT_EQ(peer.Commands(), (TCommands{"USER u", "PASS p"}));
        EXPECT_EQ(h.Log,
                  (TCommands{"< 220 hi", "> USER u", "< 331 pw", "! Unsolicited reply: 230 early",
                             "> PASS *******", "< 230 in"}));
        EXPECT_EQ(h.Ftp.LastResponse(), "230 in");
    }
    { // USER answered 230: no PASS is sent.
        TScriptedPeer peer;
        peer.Send("220 hi\r\n").Expect("230 no password needed\r\n").Expect("215 UNIX\r\n");
        peer.Start();
        TFtpHarness h(peer.Port());
        ASSERT_TRUE(h.Ftp.Connect());
        ASSERT_TRUE(h.Ftp.Syst());
        peer.Finish();
        EXPECT_EQ(peer.Commands(), (TCommands{"USER u", "SYST"}));
    }
}

// The multi-threaded wait sleeps on the event loop as the single-threaded one does: while the
// server takes its time, the loop wakes for what happens, not thousands of times in a spin.
TEST_F(FtpTranscript, WaitsSleepUntilTheReplyComes)
{
    for (const bool multiThreaded : {false, true}) {
        SCOPED_TRACE(multiThreaded ? "multi-threaded" : "single-threaded");
        TScriptedPeer peer;
        peer.LoggedIn().Expect().Pause(500).Send("215 UNIX\r\n");
        peer.Start();
        TFtpHarness h(peer.Port());
        h.Ftp.MultiThreaded = multiThreaded;
        ASSERT_TRUE(h.Ftp.Connect());
        int wakeUps = 0;
        const QMetaObject::Connection counter =
            QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                             [&] { ++wakeUps; });
        EXPECT_TRUE(h.Ftp.Syst());
        QObject::disconnect(counter);
        peer.Finish();
        EXPECT_EQ(h.Ftp.LastResponse(), "215 UNIX");
        EXPECT_LT(wakeUps, 100);
    }
}

TEST_F(FtpTranscript, UnsolicitedLinesAndOnRequestDone)
{
    TScriptedPeer peer;
    peer.LoggedIn()
        .Expect("257 \"/x\" is cwd\r\n")
        .Pause(200)
        .Send("421-idle warning\r\n421 closing soon\r\n")
        .Expect("215 UNIX\r\n");
    peer.Start();
    TFtpHarness h(peer.Port());
    int responses = 0;
    h.Ftp.OnResponse = [&](TCustomFtpCli *) { ++responses; };
    ASSERT_TRUE(h.Ftp.Connect());
    EXPECT_EQ(responses, 3);
    // OnRequestDone is posted, never delivered inside the call; it reports the request type
    // current when it is delivered: Connect's notice arrives during Pwd.
    EXPECT_TRUE(h.Done.empty());
    ASSERT_TRUE(h.Ftp.Pwd());
    EXPECT_EQ(h.Ftp.LastResponse(), "257 \"/x\" is cwd");
    ASSERT_EQ(h.Done.size(), 1u);
    EXPECT_EQ(h.Done.front(), (TFtpHarness::TDoneNotice{rqPwd, 0}));
    // Lines that arrive while idle are shown as unsolicited; they change no result and are
    // no reply of the next command.
    ASSERT_TRUE(PumpUntil([&] { return h.Logged("! Unsolicited reply: 421 closing soon"); }));
    EXPECT_TRUE(h.Logged("! Unsolicited reply: 421-idle warning"));
    EXPECT_EQ(responses, 4);
    EXPECT_EQ(h.Ftp.LastResponse(), "257 \"/x\" is cwd");
    EXPECT_EQ(h.Ftp.State(), fsReady);
    EXPECT_TRUE(h.Ftp.Connected());
    ASSERT_TRUE(h.Ftp.Syst());
    EXPECT_EQ(responses, 5);
    ASSERT_TRUE(PumpUntil([&] { return h.Done.size() == 3; }));
    EXPECT_EQ(h.Done.back(), (TFtpHarness::TDoneNotice{rqSyst, 0}));
    peer.Finish();
}

TEST_F(FtpTranscript, MultiLineReplyEndsOnlyAtItsClosingLine)
{
    // Lines without digits inside a multi-line reply belong to it: the "215 end" that follows
    // must not be taken as the reply to PWD.
    TScriptedPeer peer;
    peer.LoggedIn()
        .Expect("215-first\r\nno digits here\r\n")
        .Pause(200)
        .Send(" 215 indented\r\n215 end\r\n")
        .Expect("257 \"/home\"\r\n")
        .Expect("250-NAMEFMT set to 1.\r\n250 \"/home/ssk\" is current directory.\r\n");
    peer.Start();
    TFtpHarness h(peer.Port());
    h.Ftp.HostDirName = "/home/ssk";
    ASSERT_TRUE(h.Ftp.Connect());
    ASSERT_TRUE(h.Ftp.Syst());
    EXPECT_EQ(h.Ftp.LastResponse(), "215 end");
    EXPECT_TRUE(h.Logged("< no digits here"));
    EXPECT_TRUE(h.Logged("< 215 end"));
    ASSERT_TRUE(h.Ftp.Pwd());
    EXPECT_EQ(h.Ftp.LastResponse(), "257 \"/home\"");
    ASSERT_TRUE(h.Ftp.Cwd());
    EXPECT_EQ(h.Ftp.LastResponse(), "250 \"/home/ssk\" is current directory.");
    peer.Finish();
    EXPECT_EQ(peer.Commands(), (TCommands{"USER u", "PASS p", "SYST", "PWD", "CWD /home/ssk"}));
}

TEST_F(FtpTranscript, OverlongReplyLineIsCutAndTheConnectionGoesOn)
{
    TScriptedPeer peer;
    peer.LoggedIn().Expect("215 " + std::string(20000, 'x') + "\r\n").Expect("257 \"/\"\r\n");
    peer.Start();
    TFtpHarness h(peer.Port());
    ASSERT_TRUE(h.Ftp.Connect());
    ASSERT_TRUE(h.Ftp.Syst());
    EXPECT_EQ(h.Ftp.LastResponse(), "215 " + std::string(4092, 'x'));
    ASSERT_TRUE(h.Ftp.Pwd());
    EXPECT_EQ(h.Ftp.LastResponse(), "257 \"/\"");
    peer.Finish();
}

TEST_F(FtpTranscript, ReplyJudgingAndErrorMessage)
{
    TScriptedPeer peer;
    peer.LoggedIn()
        .Expect("499 odd but below 500\r\n")
        .Expect("500 unknown\r\n")
        .Expect("550 second failure\r\n")
        .Expect("garbage without a code\r\n")
        .Expect("213 5000000000\r\n")
        .Expect("550 no such file\r\n")
        .Expect("257 \"new\" created\r\n");
    peer.Start();
    TFtpHarness h(peer.Port());
    ASSERT_TRUE(h.Ftp.Connect());
    h.Ftp.LocalFileName = "NOOP";
    EXPECT_TRUE(h.Ftp.Quote()); // no code list: anything below 500 succeeds
    EXPECT_FALSE(h.Ftp.Quote());
    EXPECT_EQ(h.Ftp.StatusCode(), 500);
    h.Ftp.LocalFileName = "SITE X";
    EXPECT_FALSE(h.Ftp.Quote());
    // ErrorMessage keeps the first failure until a chained request starts.
    EXPECT_EQ(h.Ftp.ErrorMessage(), "500 unknown");
    EXPECT_EQ(h.Ftp.LastResponse(), "550 second failure");
    // A final line without a code is a failure, never a success.
    EXPECT_FALSE(h.Ftp.Quote());
    EXPECT_EQ(h.Ftp.StatusCode(), 0);
    // SIZE past 2 GiB, then a refused SIZE leaves 0.
    h.Ftp.HostFileName = "big";
    EXPECT_TRUE(h.Ftp.Size());
    EXPECT_EQ(h.Ftp.SizeResult(), 5000000000);
    EXPECT_FALSE(h.Ftp.Size());
    EXPECT_EQ(h.Ftp.SizeResult(), 0);
    // Argument checks: false at once, nothing sent, and ErrorMessage says why.
    h.Ftp.HostDirName.clear();
    EXPECT_FALSE(h.Ftp.Cwd());
    EXPECT_EQ(h.Ftp.ErrorMessage(), "HostDirName emtpy");
    EXPECT_EQ(h.Ftp.State(), fsReady);
    h.Ftp.HostFileName = "new";
    EXPECT_TRUE(h.Ftp.Mkd());
    peer.Finish();
    EXPECT_EQ(peer.Commands(), (TCommands{"USER u", "PASS p", "NOOP", "NOOP", "SITE X", "SITE X",
                                          "SIZE big", "SIZE big", "MKD new"}));
}

TEST_F(FtpTranscript, LostConnectionFailsTheRunningRequest)
{
    TScriptedPeer peer;
    peer.LoggedIn().Expect().Close();
    peer.Start();
    TFtpHarness h(peer.Port());
    int closed = 0;
    h.Ftp.OnSessionClosed = [&](TCustomFtpCli *, uint16_t) { ++closed; };
    ASSERT_TRUE(h.Ftp.Connect()); // leaves a successful result behind
    h.Ftp.HostDirName = "/gone";
    EXPECT_FALSE(h.Ftp.Cwd());
    EXPECT_EQ(h.Ftp.StatusCode(), 421);
    EXPECT_EQ(h.Ftp.ErrorMessage(), "421 Connection closed by server");
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(h.Ftp.Connected());
    EXPECT_EQ(h.Ftp.State(), fsReady);
    // A command on the lost connection fails at once.
    EXPECT_FALSE(h.Ftp.Pwd());
    peer.Finish();
}

TEST_F(FtpTranscript, LostConnectionDuringATransferFailsIt)
{
    // 226 came, but the data had not all arrived when the control connection dropped: the
    // download is incomplete and must not be reported as done.
    TScriptedPeer peer;
    peer.LoggedIn()
        .Expect("200 PORT ok\r\n")
        .Expect("150 go\r\n")
        .DataConnect()
        .DataSend("first part")
        .Send("226 done\r\n")
        .Pause(300)
        .Close()
        .Pause(300)
        .DataClose();
    peer.Start();
    TFtpHarness h(peer.Port());
    ASSERT_TRUE(h.Ftp.Connect());
    h.Ftp.HostFileName = "f";
    h.Ftp.LocalFileName = Local("f");
    EXPECT_FALSE(h.Ftp.Get());
    EXPECT_EQ(h.Ftp.StatusCode(), 421);
    EXPECT_EQ(h.Ftp.State(), fsReady);
    peer.Finish();
}

TEST_F(FtpTranscript, FinalReplyFollowedAtOnceByCloseIsStillTheResult)
{
    // The server answers and closes in one breath: the call returns the reply's result at
    // once, not a time-out after the connection loss moved the engine on.
    {
        TScriptedPeer peer;
        peer.Send("220 hi\r\n").Expect("331 pw\r\n").Expect("530 Login incorrect.\r\n").Close();
        peer.Start();
        TFtpHarness h(peer.Port());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(h.Ftp.Connect());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        EXPECT_EQ(h.Ftp.StatusCode(), 530);
        EXPECT_EQ(h.Ftp.ErrorMessage(), "530 Login incorrect.");
        peer.Finish();
    }
    {
        TScriptedPeer peer;
        peer.LoggedIn().Close();
        peer.Start();
        TFtpHarness h(peer.Port());
        EXPECT_TRUE(h.Ftp.Connect());
        peer.Finish();
    }
}

TEST_F(FtpTranscript, StepThatRaisesInsideANotificationEndsTheRequest)
{
    { // "Password emtpy" after 331: the chain fails instead of resting in fsStepReady.
        TScriptedPeer peer;
        peer.Send("220 hi\r\n").Expect("331 pw\r\n").Expect("230 in\r\n");
        peer.Start();
        TFtpHarness h(peer.Port(), "u", "");
        EXPECT_FALSE(h.Ftp.Connect());
        EXPECT_EQ(h.Ftp.State(), fsReady);
        EXPECT_EQ(h.Ftp.ErrorMessage(), "Password emtpy");
        EXPECT_TRUE(h.Logged("! Password emtpy"));
        ASSERT_TRUE(PumpUntil([&] { return !h.Done.empty(); }));
        EXPECT_EQ(h.Done.back().RqType, rqConnect);
        EXPECT_NE(h.Done.back().Error, 0);
        // The engine is usable again.
        h.Ftp.LocalFileName = "PASS late";
        EXPECT_TRUE(h.Ftp.Quote());
        peer.Finish();
        EXPECT_EQ(peer.Commands(), (TCommands{"USER u", "PASS late"}));
    }
    { // The first step of a chain that cannot start raises inside the call: nothing is sent
        // and the engine stays ready.
        TScriptedPeer peer;
        peer.LoggedIn().Close();
        peer.Start();
        TFtpHarness h(peer.Port());
        ASSERT_TRUE(h.Ftp.Connect());
        ASSERT_TRUE(PumpUntil([&] { return !h.Ftp.Connected(); }));
        h.Ftp.LocalFileName = Local("never");
        EXPECT_FALSE(h.Ftp.Get());
        EXPECT_TRUE(h.Ftp.State() == fsReady || h.Ftp.State() == fsStepReady);
        peer.Finish();
    }
}

TEST_F(FtpTranscript, FullGetChainSkipsToQuitAfterAFailure)
{
    TScriptedPeer peer;
    peer.LoggedIn().Expect("550 no such directory\r\n").Expect("221 bye\r\n").Close();
    peer.Start();
    TFtpHarness h(peer.Port());
    h.Ftp.HostDirName = "/missing";
    h.Ftp.HostFileName = "f";
    h.Ftp.LocalFileName = Local("f");
    h.Ftp.FullGetAsync();
    ASSERT_TRUE(PumpUntil([&] { return !h.Done.empty(); }));
    peer.Finish();
    EXPECT_EQ(peer.Commands(), (TCommands{"USER u", "PASS p", "CWD /missing", "QUIT"}));
    EXPECT_EQ(h.Done.back(), (TFtpHarness::TDoneNotice{rqFullGet, 550}));
    EXPECT_EQ(h.Ftp.LastResponse(), "550 no such directory");
    EXPECT_EQ(h.Ftp.StatusCode(), 550);
    EXPECT_EQ(h.Ftp.ErrorMessage(), "550 no such directory");
    EXPECT_FALSE(h.Ftp.Connected());
}

TEST_F(FtpTranscript, DownloadCompletesInEitherOrderAndShowsDataLines)
{
    TScriptedPeer peer;
    peer.LoggedIn()
        // Data before the 150 reply; 226 before the data connection closes.
        .Expect("200 PORT ok\r\n")
        .Expect()
        .DataConnect()
        .DataSend("ab\r\ncd")
        .Pause(200)
        .Send("150 opening\r\n")
        .Send("226 done\r\n")
        .Pause(200)
        .DataClose()
        // The data connection closes before 226; LIST without an argument.
        .Expect("200 PORT ok\r\n")
        .Expect("125 already open\r\n")
        .DataConnect()
        .DataSend("\nlisting")
        .DataClose()
        .Pause(200)
        .Send("250 listed\r\n")
        // A refused RETR leaves the local file as it was.
        .Expect("200 PORT ok\r\n")
        .Expect("550 not found\r\n");
    peer.Start();
    TFtpHarness h(peer.Port());
    ASSERT_TRUE(h.Ftp.Connect());
    h.Ftp.DisplayFlag = true;
    h.Ftp.HostFileName = "remote.txt";
    h.Ftp.LocalFileName = Local("one");
    WriteFile(Local("one"), "a longer old content"); // replaced, no stale tail
    ASSERT_TRUE(h.Ftp.Get());
    EXPECT_EQ(ReadFile(Local("one")), "ab\r\ncd");
    EXPECT_TRUE(h.Logged("! Data: ab"));
    EXPECT_TRUE(h.Logged("! Data: cd"));
    EXPECT_TRUE(h.LoggedPrefix("! 6 bytes received/sent in 0 seconds"));

    h.Ftp.HostFileName.clear();
    h.Ftp.LocalFileName = Local("two");
    WriteFile(Local("two"), "a longer old content");
    ASSERT_TRUE(h.Ftp.Dir());
    EXPECT_EQ(ReadFile(Local("two")), "\nlisting");
    EXPECT_TRUE(h.Logged("! Data: "));
    EXPECT_TRUE(h.Logged("! Data: listing"));

    h.Ftp.HostFileName = "missing";
    h.Ftp.LocalFileName = Local("three");
    WriteFile(Local("three"), "old content");
    EXPECT_FALSE(h.Ftp.Get());
    EXPECT_EQ(h.Ftp.StatusCode(), 550);
    EXPECT_EQ(ReadFile(Local("three")), "old content");
    peer.Finish();
    const TCommands sent = peer.Commands();
    ASSERT_EQ(sent.size(), 8u);
    EXPECT_EQ(sent[2].rfind("PORT 127,0,0,1,", 0), 0u);
    EXPECT_EQ(sent[3], "RETR remote.txt");
    EXPECT_EQ(sent[5], "LIST");
    EXPECT_EQ(sent[7], "RETR missing");
}

TEST_F(FtpTranscript, ServerThatConnectsAtPortTimeIsAccepted)
{
    // Like pyftpdlib, the server connects before it even answers PORT; the engine has no
    // transfer running yet when the connection is announced, and must not lose it.
    WriteFile(Local("up"), "upload bytes");
    TScriptedPeer peer;
    peer.LoggedIn()
        .Expect()
        .DataConnect()
        .Pause(300)
        .Send("200 PORT ok\r\n")
        .Expect("125 already open\r\n")
        .DataSend("download bytes")
        .DataClose()
        .Send("226 done\r\n")
        .Expect()
        .DataConnect()
        .Pause(300)
        .Send("200 PORT ok\r\n")
        .Expect("125 already open\r\n")
        .DataReceiveAll()
        .Send("226 stored\r\n");
    peer.Start();
    TFtpHarness h(peer.Port());
    ASSERT_TRUE(h.Ftp.Connect());
    h.Ftp.HostFileName = "f";
    h.Ftp.LocalFileName = Local("down");
    ASSERT_TRUE(h.Ftp.Get());
    EXPECT_EQ(ReadFile(Local("down")), "download bytes");
    h.Ftp.LocalFileName = Local("up");
    ASSERT_TRUE(h.Ftp.Put());
    peer.Finish();
    EXPECT_EQ(peer.DataReceived(), "upload bytes");
}

TEST_F(FtpTranscript, DataConnectionFromAnotherAddressIsRefused)
{
    // Someone else on the network connects to the announced port first and offers data; the
    // engine closes that connection and takes the file from the server's connection only.
    // The port listens on the announced address alone: the same port at another address of
    // this machine is closed.
    int intruder = -1;
    int elsewhere = -1;
    std::string intruderSaw = "not run";
    TScriptedPeer peer;
    peer.LoggedIn()
        .Expect("200 PORT ok\r\n")
        .Run([&] {
            elsewhere = peer.ConnectToLastPort("127.0.0.1", "127.0.0.2");
            intruder = peer.ConnectToLastPort("127.0.0.2"); // still this machine
            ::send(intruder, "EVIL", 4, MSG_NOSIGNAL);
        })
        .Pause(300)
        .Expect("150 opening\r\n")
        .DataConnect()
        .DataSend("good data")
        .DataClose()
        .Send("226 done\r\n")
        .Run([&] {
            char byte;
            timeval wait{2, 0};
            ::setsockopt(intruder, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
            const ssize_t got = ::recv(intruder, &byte, 1, 0);
            intruderSaw = got == 0 || (got < 0 && errno == ECONNRESET) ? "closed" : "open";
            ::close(intruder);
        });
    peer.Start();
    TFtpHarness h(peer.Port());
    ASSERT_TRUE(h.Ftp.Connect());
    h.Ftp.HostFileName = "f";
    h.Ftp.LocalFileName = Local("f");
    ASSERT_TRUE(h.Ftp.Get());
    peer.Finish();
    EXPECT_FALSE(peer.Failed());
    EXPECT_EQ(ReadFile(Local("f")), "good data");
    EXPECT_TRUE(h.Logged("! Data connection from 127.0.0.2 refused"));
    EXPECT_EQ(intruderSaw, "closed");
    EXPECT_EQ(elsewhere, -1);
    if (elsewhere >= 0)
        ::close(elsewhere);
}

TEST_F(FtpTranscript, UploadSendsTheFileAndClosesTheDataConnection)
{
    std::string payload;
    for (int i = 0; i < 5000; ++i)
        payload += char(i * 7);
    WriteFile(Local("up"), payload);
    WriteFile(Local("empty"), "");
    TScriptedPeer peer;
    peer.LoggedIn()
        .Expect("200 PORT ok\r\n")
        .Expect("150 send it\r\n")
        .DataConnect()
        .DataReceiveAll()
        .Send("226 stored\r\n")
        .Expect("200 PORT ok\r\n")
        .Expect("150 send it\r\n")
        .DataConnect()
        .DataReceiveAll()
        .Send("226 stored\r\n")
        .Expect("200 PORT ok\r\n")
        .Expect("553 not allowed\r\n")
        .Expect("200 PORT ok\r\n");
    peer.Start();
    TFtpHarness h(peer.Port());
    ASSERT_TRUE(h.Ftp.Connect());
    h.Ftp.HostFileName = "up.bin";
    h.Ftp.LocalFileName = Local("up");
    ASSERT_TRUE(h.Ftp.Put());
    EXPECT_TRUE(h.LoggedPrefix("! 5000 bytes received/sent in"));
    h.Ftp.LocalFileName = Local("empty");
    ASSERT_TRUE(h.Ftp.Put());
    EXPECT_TRUE(h.LoggedPrefix("! 0 bytes received/sent in"));
    EXPECT_FALSE(h.Ftp.Put());
    EXPECT_EQ(h.Ftp.StatusCode(), 553);
    // A local file that cannot be opened fails before anything but PORT is sent.
    h.Ftp.LocalFileName = Local("does-not-exist");
    EXPECT_FALSE(h.Ftp.Put());
    EXPECT_EQ(h.Ftp.StatusCode(), 550);
    peer.Finish();
    EXPECT_EQ(peer.DataReceived(), payload);
    const TCommands sent = peer.Commands();
    EXPECT_EQ(sent[3], "STOR up.bin");
}

TEST_F(FtpTranscript, TimeOutsAndConnectFailures)
{
    { // A server that accepts but never greets.
        TScriptedPeer peer;
        peer.Pause(3000);
        peer.Start();
        TFtpHarness h(peer.Port());
        h.Ftp.Timeout = 1;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(h.Ftp.Connect());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
        EXPECT_EQ(h.Ftp.StatusCode(), 426);
        EXPECT_EQ(h.Ftp.ErrorMessage(), "426 Timeout");
        EXPECT_FALSE(h.Ftp.Connected());
        EXPECT_EQ(h.Ftp.State(), fsReady);
        peer.Finish();
    }
    { // A refused connection.
        int port;
        {
            TScriptedPeer closed;
            port = closed.Port();
        }
        TFtpHarness h(port);
        EXPECT_FALSE(h.Ftp.Connect());
        EXPECT_EQ(h.Ftp.StatusCode(), 500);
        EXPECT_EQ(h.Ftp.LastResponse(), "500 Connection refused (Winsock error #10061)");
        EXPECT_EQ(h.Ftp.ErrorMessage(), "500 Connection refused (Winsock error #10061)");
        EXPECT_EQ(h.Ftp.State(), fsReady);
    }
    { // A name that cannot be resolved; its over-long label is refused by the resolver
        // itself, so no name server is asked.
        TFtpHarness h(21);
        h.Ftp.HostName = std::string(70, 'n') + ".invalid";
        EXPECT_FALSE(h.Ftp.Connect());
        EXPECT_EQ(h.Ftp.StatusCode(), 500);
        EXPECT_EQ(h.Ftp.State(), fsReady);
        // An empty host name is misuse: false, and the engine is not left looking up.
        h.Ftp.HostName.clear();
        EXPECT_FALSE(h.Ftp.Connect());
        EXPECT_EQ(h.Ftp.State(), fsReady);
    }
}

} // namespace

} // namespace tarn
