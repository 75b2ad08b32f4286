// Line mode and the blocking waits of TWSocket, in both of their modes: with a count-down
// control on the main thread, and multi-threaded in a worker thread with its own event loop.

#include "tests/net/loopback_peer.h"
#include "net/wait.h"
#include "net/wsocket.h"

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
    RawListener Listener;
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
    std::string Line;
    WriteAll(Peer, "abc\r\nx\ry\n");
    S.ReadLine(5, Line);
    EXPECT_EQ(Line, "abc");
    S.ReadLine(5, Line);
    EXPECT_EQ(Line, "xy");
    EXPECT_EQ(S.ReadCount(), 9);
}

TEST_F(LineFixture, OverlongLineIsCutAt254)
{
    int TooLong = 0;
    S.OnLineTooLong = [&](TCustomWSocket *) { ++TooLong; };
    WriteAll(Peer, std::string(300, 'L') + "\n");
    std::string Line;
    S.ReadLine(5, Line);
    EXPECT_EQ(Line, std::string(254, 'L'));
    EXPECT_EQ(TooLong, 1);
    S.ReadLine(5, Line);
    EXPECT_EQ(Line, std::string(46, 'L'));
    EXPECT_EQ(TooLong, 1);
}

TEST_F(LineFixture, LineArrivingInPiecesDuringTheWait)
{
    // The second half arrives while ReadLine waits; the count-down is stopped by line completion.
    QTimer::singleShot(100, [this] { WriteAll(Peer, "lo\n"); });
    WriteAll(Peer, "hel");
    std::string Line;
    S.ReadLine(5, Line);
    EXPECT_EQ(Line, "hello");
    EXPECT_EQ(Wait.ModalResult, TCustomWait::mrStopped);
}

TEST_F(LineFixture, TimedOutLineIsContinuedByTheNextCall)
{
    Wait.SetInterval(50);
    WriteAll(Peer, "part");
    std::string Line;
    S.ReadLine(2, Line);
    EXPECT_EQ(Line, "part");
    EXPECT_EQ(Wait.ModalResult, TCustomWait::mrTimedOut);
    WriteAll(Peer, "ial\n");
    S.ReadLine(2, Line);
    EXPECT_EQ(Line, "partial");
}

TEST_F(LineFixture, PeerCloseEndsTheLineAndTheConnection)
{
    int Closed = 0;
    S.OnSessionClosed = [&](TCustomWSocket *, uint16_t) { ++Closed; };
    WriteAll(Peer, "tail");
    ::shutdown(Peer, SHUT_WR);
    std::string Line;
    S.ReadLine(5, Line);
    EXPECT_EQ(Line, "tail");
    ASSERT_TRUE(RunUntil([&] { return S.State() == wsClosed; }));
    EXPECT_EQ(Closed, 1);
}

TEST(WSocketWait, WaitWithoutWaitControlAndForAFailingConnect)
{
    TWSocket S;
    EXPECT_TRUE(S.Wait(1, wsClosed)); // already there: no wait
    std::string Line;
    EXPECT_THROW(S.ReadLine(1, Line), ESocketException);
    try {
        S.Wait(1, wsConnected);
        FAIL();
    } catch (const ESocketException &E) {
        EXPECT_EQ(std::string(E.what()), "Error 11004 in function TWSocket.Wait\r\nNo Data");
    }
    // A wait for a connection ends as soon as the attempt fails.
    TCustomWait Wait;
    S.SetWaitCtrl(&Wait);
    S.SetAddr("127.0.0.1");
    S.SetPort(std::to_string(ClosedPort()));
    S.Connect();
    EXPECT_FALSE(S.Wait(30, wsConnected));
    EXPECT_EQ(Wait.ModalResult, TCustomWait::mrStopped);
    EXPECT_EQ(S.State(), wsClosed);
}

TEST(WSocketWait, WaitControlReferenceEmptiesWhenTheControlGoes)
{
    TWSocket S;
    {
        TCustomWait Wait;
        S.SetWaitCtrl(&Wait);
        EXPECT_EQ(S.WaitCtrl(), &Wait);
    }
    EXPECT_EQ(S.WaitCtrl(), nullptr);
}

TEST(WSocketWait, WaitForCloseDeliversDataUntilThePeerCloses)
{
    RawListener Listener;
    TWSocket S;
    std::string Received;
    S.OnDataAvailable = [&](TCustomWSocket *Sender, uint16_t) { ReceiveInto(Sender, Received); };
    const int Peer = ConnectAndAccept(S, Listener);
    ASSERT_GE(Peer, 0);
    QTimer::singleShot(50, [&] {
        WriteAll(Peer, "last words");
        ::close(Peer);
    });
    S.WaitForClose();
    EXPECT_EQ(Received, "last words");
}

TEST(WSocketWait, MultiThreadedSocketWorksInAWorkerThread)
{
    RawListener Listener;
    std::atomic<bool> Connected{false};
    std::string Line;
    bool Flushed = false;
    int LookupCode = -1;
    QThread *Worker = QThread::create([&] {
        TWSocket S;
        S.MultiThreaded = true;
        S.OnDnsLookupDone = [&](TCustomWSocket *, uint16_t E) { LookupCode = E; };
        S.DnsLookup("localhost");
        S.SetAddr("127.0.0.1");
        S.SetPort(Listener.PortText());
        S.Connect();
        Connected = S.Wait(5, wsConnected);
        if (!Connected)
            return;
        S.SendStr("hello from the worker\r\n");
        S.Flush();
        Flushed = S.AllSent();
        S.ReadLine(5, Line);
        // The lookup's answer was posted to this thread, whose own loop the waits ran.
        for (int I = 0; I < 200 && LookupCode < 0; ++I) {
            QThread::msleep(10);
            S.ProcessMessages();
        }
        S.Close();
    });
    Worker->start();
    const int Peer = Listener.Accept();
    ASSERT_GE(Peer, 0);
    EXPECT_EQ(ReadExactly(Peer, 23), "hello from the worker\r\n");
    WriteAll(Peer, "answer\r\n");
    ASSERT_TRUE(Worker->wait(10000));
    delete Worker;
    ::close(Peer);
    EXPECT_TRUE(Connected);
    EXPECT_TRUE(Flushed);
    EXPECT_EQ(Line, "answer");
    EXPECT_EQ(LookupCode, 0);
}

} // namespace tarn
