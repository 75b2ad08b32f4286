// Line mode and the blocking waits of TWSocket, in both of their modes: with a count-down
// control on the main thread, and multi-threaded in a worker thread with its own event loop.

#include "net/wait.h"
#include "net/wsocket.h"
#include "tests/net/loopback_peer.h"

#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace tarn {

namespace {

struct LineFixture : ::testing::Test
{
    TRawListener Listener;
    TWSocket S;
    TCustomWait Wait;
    int Peer = -1;

    void SetUp() override
    {
        S.SetWaitCtrl(&Wait);
        S.SetAddr("127.0.0.1");
        S.SetPort(Listener.PortText());
        S.Connect();
        Peer = Listener.Accept();
        ASSERT_TRUE(S.Wait(5, wsConnected));
    }
    void TearDown() override { ::close(Peer); }
};

} // namespace

TEST_F(LineFixture, CarriageReturnsAreDroppedAndLineFeedEndsTheLine)
{
    std::string line;
    WriteAll(Peer, "abc\r\nx\ry\n");
    S.ReadLine(5, line);
    EXPECT_EQ(line, "abc");
    S.ReadLine(5, line);
    EXPECT_EQ(line, "xy");
    EXPECT_EQ(S.ReadCount(), 9);
}

TEST_F(LineFixture, OverlongLineIsCutAt254)
{
    int tooLong = 0;
    S.OnLineTooLong = [&](TCustomWSocket *) { ++tooLong; };
    WriteAll(Peer, std::string(300, 'L') + "\n");
    std::string line;
    S.ReadLine(5, line);
    EXPECT_EQ(line, std::string(254, 'L'));
    EXPECT_EQ(tooLong, 1);
    S.ReadLine(5, line);
    EXPECT_EQ(line, std::string(46, 'L'));
    EXPECT_EQ(tooLong, 1);
}

TEST_F(LineFixture, LineArrivingInPiecesDuringTheWait)
{
    // The second half arrives while ReadLine waits; the count-down is stopped by line completion.
    QTimer::singleShot(100, [this] { WriteAll(Peer, "lo\n"); });
    WriteAll(Peer, "hel");
    std::string line;
    S.ReadLine(5, line);
    EXPECT_EQ(line, "hello");
    EXPECT_EQ(Wait.ModalResult, TCustomWait::mrStopped);
}

TEST_F(LineFixture, TimedOutLineIsContinuedByTheNextCall)
{
    Wait.SetInterval(50);
    WriteAll(Peer, "part");
    std::string line;
    S.ReadLine(2, line);
    EXPECT_EQ(line, "part");
    EXPECT_EQ(Wait.ModalResult, TCustomWait::mrTimedOut);
    WriteAll(Peer, "ial\n");
    S.ReadLine(2, line);
    EXPECT_EQ(line, "partial");
}

TEST_F(LineFixture, PeerCloseEndsTheLineAndTheConnection)
{
    int closed = 0;
    S.OnSessionClosed = [&](TCustomWSocket *, uint16_t) { ++closed; };
    WriteAll(Peer, "tail");
    ::shutdown(Peer, SHUT_WR);
    std::string line;
    S.ReadLine(5, line);
    EXPECT_EQ(line, "tail");
    ASSERT_TRUE(RunUntil([&] { return S.State() == wsClosed; }));
    EXPECT_EQ(closed, 1);
}

TEST(WSocketWait, WaitWithoutWaitControlAndForAFailingConnect)
{
    TWSocket s;
    EXPECT_TRUE(s.Wait(1, wsClosed)); // already there: no wait
    std::string line;
    EXPECT_THROW(s.ReadLine(1, line), ESocketException);
    try {
        s.Wait(1, wsConnected);
        FAIL();
    } catch (const ESocketException &e) {
        EXPECT_EQ(std::string(e.what()), "Error 11004 in function TWSocket.Wait\r\nNo Data");
    }
    // A wait for a connection ends as soon as the attempt fails.
    TCustomWait wait;
    s.SetWaitCtrl(&wait);
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(ClosedPort()));
    s.Connect();
    EXPECT_FALSE(s.Wait(30, wsConnected));
    EXPECT_EQ(wait.ModalResult, TCustomWait::mrStopped);
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(WSocketWait, WaitControlReferenceEmptiesWhenTheControlGoes)
{
    TWSocket s;
    {
        TCustomWait wait;
        s.SetWaitCtrl(&wait);
        EXPECT_EQ(s.WaitCtrl(), &wait);
    }
    EXPECT_EQ(s.WaitCtrl(), nullptr);
}

TEST(WSocketWait, WaitForCloseDeliversDataUntilThePeerCloses)
{
    TRawListener listener;
    TWSocket s;
    std::string received;
    s.OnDataAvailable = [&](TCustomWSocket *Sender, uint16_t) { ReceiveInto(Sender, received); };
    const int peer = ConnectAndAccept(s, listener);
    ASSERT_GE(peer, 0);
    QTimer::singleShot(50, [&] {
        WriteAll(peer, "last words");
        ::close(peer);
    });
    s.WaitForClose();
    EXPECT_EQ(received, "last words");
}

TEST(WSocketWait, MultiThreadedSocketWorksInAWorkerThread)
{
    TRawListener Listener;
    std::atomic<bool> Connected{false};
    std::string Line;
    bool Flushed = false;
    int lookupCode = -1;
    QThread *worker = QThread::create([&] {
        TWSocket s;
        s.MultiThreaded = true;
        s.OnDnsLookupDone = [&](TCustomWSocket *, uint16_t E) { lookupCode = E; };
        s.DnsLookup("localhost");
        s.SetAddr("127.0.0.1");
        s.SetPort(Listener.PortText());
        s.Connect();
        Connected = s.Wait(5, wsConnected);
        if (!Connected)
            return;
        s.SendStr("hello from the worker\r\n");
        s.Flush();
        Flushed = s.AllSent();
        s.ReadLine(5, Line);
        // The lookup's answer was posted to this thread, whose own loop the waits ran.
        for (int i = 0; i < 200 && lookupCode < 0; ++i) {
            QThread::msleep(10);
            s.ProcessMessages();
        }
        s.Close();
    });
    worker->start();
    const int peer = Listener.Accept();
    ASSERT_GE(peer, 0);
    EXPECT_EQ(ReadExactly(peer, 23), "hello from the worker\r\n");
    WriteAll(peer, "answer\r\n");
    ASSERT_TRUE(worker->wait(10000));
    delete worker;
    ::close(peer);
    EXPECT_TRUE(Connected);
    EXPECT_TRUE(Flushed);
    EXPECT_EQ(Line, "answer");
    EXPECT_EQ(lookupCode, 0);
}

} // namespace tarn
