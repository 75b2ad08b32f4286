// The send queue of TWSocket against a loopback peer that reads when the test lets it.

#include "tests/net/loopback_peer.h"
#include "net/socket_buffer.h"
#include "net/wait.h"
#include "net/wsocket.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tarn {

namespace {

// A TWSocket connected to a raw peer handle.
struct Connected
{
    RawListener Listener;
    TWSocket S;
    int Peer = -1;

    Connected() { Peer = ConnectAndAccept(S, Listener); }
    ~Connected() { ::close(Peer); }
};

std::vector<int32_t> BlockFill(const TCustomWSocket &S)
{
    std::vector<int32_t> Fill;
    for (const auto &Block : S.SendQueue())
        Fill.push_back(Block->WritePos() - Block->ReadPos());
    return Fill;
}

std::string Pattern(size_t Len, char Seed)
{
    std::string Bytes(Len, '\0');
    for (size_t I = 0; I < Len; ++I)
        Bytes[I] = static_cast<char>(Seed + I % 23);
    return Bytes;
}

} // namespace

TEST(SocketBuffer, WritePeekRemoveAndResize)
{
    TBuffer B(0);
    EXPECT_EQ(B.Capacity(), 1514);
    const std::string Data = Pattern(2000, 'a');
    EXPECT_EQ(B.Write(Data.data(), 2000), 1514);
    EXPECT_EQ(B.Write(Data.data(), 1), 0);
    int32_t Len = 0;
    EXPECT_EQ(std::string(B.Peek(Len), 10), Data.substr(0, 10));
    EXPECT_EQ(Len, 1514);
    EXPECT_EQ(B.Remove(14), 14);
    EXPECT_EQ(std::string(B.Peek(Len), 5), Data.substr(14, 5));
    EXPECT_EQ(Len, 1500);
    EXPECT_EQ(B.Remove(5000), 1500);
    // Drained: both positions back at the start, the block reused from there.
    EXPECT_EQ(B.ReadPos(), 0);
    EXPECT_EQ(B.WritePos(), 0);
    EXPECT_EQ(B.Peek(Len), nullptr);
    EXPECT_EQ(Len, 0);
    EXPECT_EQ(B.Remove(1), 0);

    // Growing keeps unsent bytes; shrinking below them keeps what fits and never overruns.
    B.Write(Data.data(), 1000);
    B.SetCapacity(4000);
    EXPECT_EQ(B.Capacity(), 4000);
    EXPECT_EQ(std::string(B.Storage(), 1000), Data.substr(0, 1000));
    B.SetCapacity(100);
    EXPECT_EQ(B.WritePos(), 100);
    EXPECT_EQ(std::string(B.Peek(Len), 100), Data.substr(0, 100));
}

TEST(WSocketSend, QueueFillsFullBlocksWhileTheNetworkTakesNothing)
{
    Connected C;
    ASSERT_EQ(C.S.State(), wsConnected);
    const size_t Prefill = FillSendBuffer(C.S.HSocket());
    int DataSent = 0;
    bool QueueEmptyAtDataSent = false;
    C.S.OnDataSent = [&](TCustomWSocket *Sender, uint16_t Error) {
        EXPECT_EQ(Error, 0);
        ++DataSent;
        int32_t Unsent = 0;
        for (const auto &Block : Sender->SendQueue())
            Unsent += Block->WritePos() - Block->ReadPos();
        QueueEmptyAtDataSent = Unsent == 0;
    };
    const std::string First = Pattern(4000, 'A');
    const std::string Second = Pattern(100, 'a');
    EXPECT_EQ(C.S.Send(First.data(), 4000), 4000);
    EXPECT_EQ(BlockFill(C.S), (std::vector<int32_t>{1514, 1514, 972}));
    EXPECT_EQ(C.S.Send(Second.data(), 100), 100);
    EXPECT_EQ(BlockFill(C.S), (std::vector<int32_t>{1514, 1514, 1072}));
    EXPECT_FALSE(C.S.AllSent());
    RunFor(50);
    EXPECT_EQ(DataSent, 0);

    // The peer drains everything; the rest goes out at FD_WRITE, in order, and OnDataSent
    // comes once, after the last byte.
    const std::string Got = ReadExactly(C.Peer, Prefill + 4100);
    ASSERT_EQ(Got.size(), Prefill + 4100);
    EXPECT_EQ(Got.substr(Prefill), First + Second);
    ASSERT_TRUE(RunUntil([&] { return DataSent > 0; }));
    RunFor(50);
    EXPECT_EQ(DataSent, 1);
    EXPECT_TRUE(QueueEmptyAtDataSent);
    // The first block stays for reuse; the others are gone.
    EXPECT_EQ(C.S.SendQueue().size(), 1u);
}

TEST(WSocketSend, ImmediateSendReportsDataSentLaterFromTheLoop)
{
    Connected C;
    int DataSent = 0;
    C.S.OnDataSent = [&](TCustomWSocket *, uint16_t) { ++DataSent; };
    RunFor(50);
    DataSent = 0; // the FD_WRITE that follows the connect
    // A zero-length first send leaves nothing pending: AllSent, OnDataSent, and Flush returns.
    EXPECT_EQ(C.S.Send("", 0), 0);
    ASSERT_TRUE(C.S.AllSent()); // else the Flush below would never return
    C.S.MultiThreaded = true;
    C.S.Flush();
    ASSERT_TRUE(RunUntil([&] { return DataSent == 1; }));

    EXPECT_EQ(C.S.SendStr("USER anonymous\r\n"), 16);
    EXPECT_TRUE(C.S.AllSent());
    EXPECT_EQ(DataSent, 1);
    ASSERT_TRUE(RunUntil([&] { return DataSent == 2; }));
    EXPECT_EQ(ReadExactly(C.Peer, 16), "USER anonymous\r\n");
}

TEST(WSocketSend, LargeTransferArrivesWhole)
{
    Connected C;
    const std::string Data = Pattern(3 * 1024 * 1024 + 17, '0');
    size_t Offset = 0;
    const auto SendNext = [&](TCustomWSocket *Sender) {
        const size_t Len = std::min<size_t>(65536, Data.size() - Offset);
        if (Len > 0) {
            Sender->Send(Data.data() + Offset, static_cast<int>(Len));
            Offset += Len;
        }
    };
    C.S.OnDataSent = [&](TCustomWSocket *Sender, uint16_t) { SendNext(Sender); };
    SendNext(&C.S);
    const std::string Got = ReadExactly(C.Peer, Data.size(), 20000);
    EXPECT_TRUE(Got == Data);
}

TEST(WSocketSend, NotConnectedSendIsRefused)
{
    TWSocket S;
    try {
        S.Send("x", 1);
        FAIL() << "Send while closed must be refused";
    } catch (const ESocketException &E) {
        EXPECT_EQ(std::string(E.what()), "Error 10057 in function Send\r\nSocket is not connected");
    }
    int Errors = 0;
    S.OnError = [&](TCustomWSocket *) { ++Errors; };
    EXPECT_EQ(S.SendStr("abc"), -1);
    EXPECT_EQ(Errors, 1);
    EXPECT_TRUE(S.SendQueue().empty());
}

TEST(WSocketSend, UrgentDataGoesOutOfBand)
{
    Connected C;
    EXPECT_EQ(C.S.SendFlags(), wsSendNormal);
    C.S.SetSendFlags(wsSendUrgent);
    EXPECT_EQ(C.S.SendFlags(), wsSendUrgent);
    C.S.SendStr("!");
    pollfd Probe{C.Peer, POLLPRI, 0};
    ASSERT_TRUE(RunUntil([&] { return ::poll(&Probe, 1, 0) > 0; }));
    char Byte = 0;
    EXPECT_EQ(::recv(C.Peer, &Byte, 1, MSG_OOB), 1);
    EXPECT_EQ(Byte, '!');
    EXPECT_THROW(C.S.SetSendFlags(static_cast<TSocketSendFlags>(7)), ESocketException);
}

TEST(WSocketSend, BytesQueuedAtCloseNeverReachTheNextConnection)
{
    Connected C;
    FillSendBuffer(C.S.HSocket());
    const std::string Stale = Pattern(5000, 's');
    C.S.Send(Stale.data(), 5000);
    ASSERT_FALSE(C.S.AllSent());
    C.S.Close();

    RawListener Next;
    const int Peer = ConnectAndAccept(C.S, Next);
    ASSERT_GE(Peer, 0);
    C.S.SendStr("fresh");
    ::shutdown(Peer, SHUT_WR);
    C.S.Shutdown(SHUT_WR);
    EXPECT_EQ(ReadExactly(Peer, 100, 1000), "fresh");
    ::close(Peer);
}

TEST(WSocketSend, NoticeForAnEarlierConnectionIsDropped)
{
    Connected C;
    int DataSent = 0;
    C.S.OnDataSent = [&](TCustomWSocket *, uint16_t) { ++DataSent; };
    // The FD_WRITE this send posts belongs to the first connection only. The descriptor number
    // is reused at once by the next connection.
    RawListener Next;
    C.S.SendStr("x");
    const TSocket OldHandle = C.S.HSocket();
    C.S.Close();
    C.S.SetAddr("127.0.0.1");
    C.S.SetPort(Next.PortText());
    C.S.Connect();
    EXPECT_EQ(C.S.HSocket(), OldHandle);
    const int Peer = Next.Accept();
    ASSERT_TRUE(RunUntil([&] { return C.S.State() == wsConnected; }));
    RunFor(100);
    // Only the new connection's own FD_WRITE after connecting.
    EXPECT_EQ(DataSent, 1);
    ::close(Peer);
}

TEST(WSocketSend, FlushWithWaitControlSendsEverything)
{
    Connected C;
    FillSendBuffer(C.S.HSocket());
    const std::string Data = Pattern(20000, 'F');
    C.S.Send(Data.data(), static_cast<int>(Data.size()));
    EXPECT_THROW(C.S.Flush(), ESocketException); // no wait object
    TCustomWait Wait;
    int Starts = 0;
    Wait.OnWaitStart = [&](TCustomWait *W) {
        ++Starts;
        EXPECT_EQ(W->StartCount, 60); // FlushTimeout
    };
    C.S.SetWaitCtrl(&Wait);
    // The peer reads on a thread of its own while Flush runs this thread's loop.
    std::string Got;
    std::thread Reader([&] {
        std::vector<char> Buf(65536);
        for (;;) {
            const ssize_t N = ::recv(C.Peer, Buf.data(), Buf.size(), 0);
            if (N <= 0)
                break;
            Got.append(Buf.data(), static_cast<size_t>(N));
        }
    });
    C.S.Flush();
    EXPECT_TRUE(C.S.AllSent());
    EXPECT_EQ(Starts, 1);
    EXPECT_FALSE(Wait.Running());
    EXPECT_EQ(Wait.ModalResult, TCustomWait::mrStopped);
    C.S.Shutdown(SHUT_WR);
    Reader.join();
    EXPECT_EQ(Got.substr(Got.size() - Data.size()), Data);
}

} // namespace tarn
