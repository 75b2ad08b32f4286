// A scripted server that answers out of turn, with odd line ends and codes, with terminal
// escapes and the password repeated, and with text-mode data cut between blocks: the engine
// keeps in step, refuses what is not a reply, shows server text without obeying it, and
// converts line ends exactly.
#include "support/text.h"
#include "tests/ftp/ftp_test_support.h"
#include "tests/ftp/scripted_peer.h"

#include <QTemporaryDir>
#include <QtGlobal>
#include <algorithm>
#include <climits>
#include <gtest/gtest.h>
#include <thread>

namespace tarn {

namespace {

using namespace std::chrono_literals;
using TLines = std::vector<std::string>;

using FtpHostileServer = TLocalFolderTest;

TEST_F(FtpHostileServer, RepliesThatNoCommandWaitsForNeverAnswerTheNextOne)
{
    // The server repeats its reply to CWD while the engine is idle, and later sends a stray
    // reply whose first half is there when the next command goes out.
    TScriptedPeer peer;
    peer.LoggedIn()
        .Expect("250 CWD done\r\n")
        .Pause(100)
        .Send("250 CWD done\r\n")
        .Expect("550 missing.txt: no such file\r\n")
        .Send("226 Tra")
        .Expect("nsfer complete.\r\n250 CWD ok\r\n")
        .Expect("257 \"/b\"\r\n");
    peer.Start();
    TFtpHarness h(peer.Port());
    ASSERT_TRUE(h.Ftp.Connect());
    h.Ftp.HostDirName = "/a";
    ASSERT_TRUE(h.Ftp.Cwd());
    std::this_thread::sleep_for(300ms); // busy elsewhere: no events run
    h.Ftp.HostFileName = "missing.txt";
    EXPECT_FALSE(h.Ftp.Dele()); // judged by its own reply, not by the repeated 250
    EXPECT_EQ(h.Ftp.StatusCode(), 550);
    std::this_thread::sleep_for(200ms);
    h.Ftp.HostDirName = "/b";
    EXPECT_TRUE(h.Ftp.Cwd());
    EXPECT_EQ(h.Ftp.LastResponse(), "250 CWD ok");
    EXPECT_TRUE(h.Ftp.Pwd());
    EXPECT_EQ(h.Ftp.LastResponse(), "257 \"/b\"");
    peer.Finish();
    EXPECT_TRUE(h.Logged("! Unsolicited reply: 250 CWD done"));
    EXPECT_TRUE(h.Logged("! Unsolicited reply: 226 Transfer complete."));
    EXPECT_EQ(peer.Commands(),
              (TLines{"USER u", "PASS p", "CWD /a", "DELE missing.txt", "CWD /b", "PWD"}));
}

TEST_F(FtpHostileServer, ReplyCodesStandAtTheStartAndBareLineFeedsEndLines)
{
    TScriptedPeer peer;
    peer.Send("220-Welcome\n220 ready\n")
        .Expect("331 pw\n")
        .Expect("230 in\n")
        .Expect("+250 Deleted.\r\n")
        .Expect(" 250 Deleted.\r\n")
        .Expect("2500 Deleted.\r\n")
        .Expect("250 Deleted.\n")
        .Expect("257 \"/x\ry\" is current\n");
    peer.Start();
    TFtpHarness h(peer.Port());
    h.Ftp.Timeout = 3;
    ASSERT_TRUE(h.Ftp.Connect());
    for (const char *name : {"plus", "blank", "four-digits"}) {
        h.Ftp.HostFileName = name;
        EXPECT_FALSE(h.Ftp.Dele()) << name;
        EXPECT_EQ(h.Ftp.StatusCode(), 0) << name;
    }
    h.Ftp.HostFileName = "real";
    EXPECT_TRUE(h.Ftp.Dele());
    EXPECT_EQ(h.Ftp.StatusCode(), 250);
    // A lone CR stays in the line; it is shown, not obeyed.
    EXPECT_TRUE(h.Ftp.Pwd());
    EXPECT_EQ(h.Ftp.LastResponse(), "257 \"/x\ry\" is current");
    EXPECT_TRUE(h.Logged("< 257 \"/x^My\" is current"));
    peer.Finish();
    EXPECT_TRUE(h.Logged("< 220-Welcome"));
}

TEST_F(FtpHostileServer, ResultsAreTheReplyThatDecidedAndFailuresNeverReportZero)
{
    { // Lines after the deciding reply in the same read change neither LastResponse nor the
        // next command's result: the early 230 answers no USER, the 250 after PWD is no path.
        TScriptedPeer peer;
        peer.Send("220\r\n230\r\n\r\n")
            .Expect("331 pw\r\n")
            .Expect("230 in\r\n")
            .Expect("257 \"/home\" is cwd\r\n250 \"/evil\" junk\r\n")
            .Expect("215 UNIX\r\n");
        peer.Start();
        TFtpHarness h(peer.Port());
        ASSERT_TRUE(h.Ftp.Connect());
        EXPECT_EQ(h.Ftp.LastResponse(), "230 in");
        EXPECT_EQ(h.Ftp.StatusCode(), 230);
        ASSERT_TRUE(h.Ftp.Pwd());
        EXPECT_EQ(h.Ftp.LastResponse(), "257 \"/home\" is cwd");
        ASSERT_TRUE(h.Ftp.Syst());
        EXPECT_EQ(h.Ftp.LastResponse(), "215 UNIX");
        peer.Finish();
        EXPECT_EQ(peer.Commands(), (TLines{"USER u", "PASS p", "PWD", "SYST"}));
        EXPECT_TRUE(h.Logged("! Unsolicited reply: 250 \"/evil\" junk"));
    }
    { // A code that is no three-digit code, however it would read in 16 bits, fails the
        // request, and its completion says so.
        for (const char *greeting : {"65536 hi\r\n", "131072 hi\r\n", "000 hi\r\n"}) {
            TScriptedPeer peer;
            peer.Send(greeting);
            peer.Start();
            TFtpHarness h(peer.Port());
            EXPECT_FALSE(h.Ftp.Connect()) << greeting;
            ASSERT_TRUE(PumpUntil([&] { return !h.Done.empty(); })) << greeting;
            EXPECT_NE(h.Done.back().Error, 0) << greeting;
            peer.Finish();
        }
    }
}

TEST_F(FtpHostileServer, ServerTextIsShownNotObeyedAndThePasswordNeverShown)
{
    const auto clean = [](const TLines &Log) {
        for (const std::string &line : Log) {
            EXPECT_EQ(std::count_if(line.begin(), line.end(),
                                    [](char C) { return (C >= 0 && C < 32) || C == 127; }),
                      0)
                << line;
            EXPECT_EQ(UpperCaseAscii(line).find("SESAME"), std::string::npos) << line;
        }
    };
    { // Escapes in the greeting, a password repeated by the refusal.
        TScriptedPeer peer;
        peer.Send("220 \x1b[2J\x1b]0;evil\x07ready\r\n")
            .Expect("331 pw\r\n")
            .Expect("530 Login incorrect for password SeSaMe.\r\n");
        peer.Start();
        TFtpHarness h(peer.Port(), "u", "sesame");
        EXPECT_FALSE(h.Ftp.Connect());
        peer.Finish();
        EXPECT_EQ(h.Log, (TLines{"< 220 ^[[2J^[]0;evil^Gready", "> USER u", "< 331 pw",
                                 "> PASS *******", "< 530 Login incorrect for password *******."}));
        EXPECT_EQ(h.Ftp.ErrorMessage(), "530 Login incorrect for password *******.");
        EXPECT_EQ(h.Ftp.LastResponse(), "530 Login incorrect for password *******.");
        clean(h.Log);
    }
    { // A listing shown as data lines: a CR cannot forge a reply line, an escape is spelled out.
        TScriptedPeer peer;
        peer.LoggedIn()
            .Expect("200 PORT ok\r\n")
            .Expect("150 here\r\n")
            .DataConnect()
            .DataSend("bell\x07 clear\x1b[2J.txt\r\nx\r< 230 Forged\r\n")
            .DataClose()
            .Send("226 done\r\n");
        peer.Start();
        TFtpHarness h(peer.Port(), "u", "sesame");
        ASSERT_TRUE(h.Ftp.Connect());
        h.Ftp.DisplayFlag = true;
        h.Ftp.LocalFileName = Local("listing");
        ASSERT_TRUE(h.Ftp.Dir());
        peer.Finish();
        EXPECT_TRUE(h.Logged("! Data: bell^G clear^[[2J.txt"));
        EXPECT_TRUE(h.Logged("! Data: < 230 Forged"));
        clean(h.Log);
    }
}

TEST_F(FtpHostileServer, TextModeConvertsLineEndsAndBinaryModeKeepsEveryByte)
{
    WriteFile(Local("up.txt"), "one\ntwo\r\nthree\rfour\n");
    TScriptedPeer peer;
    peer.LoggedIn()
        .Expect("200 Type A\r\n")
        // A CR LF cut between two blocks, a lone CR inside and one at the very end.
        .Expect("200 PORT ok\r\n")
        .Expect("150 go\r\n")
        .DataConnect()
        .DataSend("a\r")
        .Pause(150)
        .DataSend("\nb\rc\r\n\r\n")
        .Pause(150)
        .DataSend("end\r")
        .DataClose()
        .Send("226 done\r\n")
        .Expect("200 PORT ok\r\n")
        .Expect("150 send\r\n")
        .DataConnect()
        .DataReceiveAll()
        .Send("226 stored\r\n")
        .Expect("200 Type I\r\n")
        .Expect("200 PORT ok\r\n")
        .Expect("150 go\r\n")
        .DataConnect()
        .DataSend("x\r\ny\n\r")
        .DataClose()
        .Send("226 done\r\n")
        // A listing is text in either type.
        .Expect("200 PORT ok\r\n")
        .Expect("150 go\r\n")
        .DataConnect()
        .DataSend("n1\r\nn2\r\n")
        .DataClose()
        .Send("226 done\r\n");
    peer.Start();
    TFtpHarness h(peer.Port());
    ASSERT_TRUE(h.Ftp.Connect());
    h.Ftp.SetBinary(false);
    ASSERT_TRUE(h.Ftp.TypeSet());
    h.Ftp.HostFileName = "t.txt";
    h.Ftp.LocalFileName = Local("down.txt");
    ASSERT_TRUE(h.Ftp.Get());
    EXPECT_EQ(ReadFile(Local("down.txt")), "a\nb\rc\n\nend\r");
    EXPECT_TRUE(h.LoggedPrefix("! 14 bytes received/sent in")); // the bytes on the wire
    h.Ftp.LocalFileName = Local("up.txt");
    ASSERT_TRUE(h.Ftp.Put());
    EXPECT_TRUE(h.LoggedPrefix("! 22 bytes received/sent in"));
    h.Ftp.SetBinary(true);
    ASSERT_TRUE(h.Ftp.TypeSet());
    h.Ftp.LocalFileName = Local("down.bin");
    ASSERT_TRUE(h.Ftp.Get());
    EXPECT_EQ(ReadFile(Local("down.bin")), "x\r\ny\n\r");
    h.Ftp.HostFileName.clear();
    h.Ftp.LocalFileName = Local("listing");
    ASSERT_TRUE(h.Ftp.Dir());
    EXPECT_EQ(ReadFile(Local("listing")), "n1\nn2\n");
    peer.Finish();
    EXPECT_EQ(peer.DataReceived(), "one\r\ntwo\r\nthree\rfour\r\n");
}

TEST_F(FtpHostileServer, PortsOutsideTheRangeAndHugeTimeOuts)
{
    for (const std::string port : {"70000", "65536", "0", "21abc", "-21", "", "no-such-service"}) {
        TFtpHarness h(21);
        h.Ftp.Port = port;
        EXPECT_FALSE(h.Ftp.Connect()) << port;
        EXPECT_EQ(h.Ftp.ErrorMessage(), "Port \"" + port +
                                            "\" is neither a number from 1 to 65535 nor a known "
                                            "service name")
            << port;
        EXPECT_EQ(h.Ftp.State(), fsReady) << port;
    }

    static std::vector<std::string> warnings;
    warnings.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &Text) {
            warnings.push_back(Text.toStdString());
        });
    TScriptedPeer peer;
    peer.LoggedIn().Expect("257 \"/\"\r\n").Expect("257 \"/\"\r\n");
    peer.Start();
    TFtpHarness h(peer.Port());
    h.Ftp.Port = " " + std::to_string(peer.Port()) + " ";
    h.Ftp.Timeout = 2147484;
    EXPECT_TRUE(h.Ftp.Connect());
    EXPECT_TRUE(h.Ftp.Pwd());
    h.Ftp.Timeout = INT_MAX;
    EXPECT_TRUE(h.Ftp.Pwd());
    peer.Finish();
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings, TLines{});
}

} // namespace

} // namespace tarn
