// The send queue of TWSocket against a loopback peer that reads when the test lets it.

#include "net/socket_buffer.h"
#include "net/wait.h"
#include "net/wsocket.h"
#include "tests/net/loopback_peer.h"

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
struct TConnected
{
    TRawListener Listener;
    TWSocket S;
    int Peer = -1;

    TConnected() { Peer = ConnectAndAccept(S, Listener); }
    ~TConnected() { ::close(Peer); }
};

std::vector<int32_t> BlockFill(const TCustomWSocket &S)
{
    std::vector<int32_t> fill;
    for (const auto &block : S.SendQueue())
        fill.push_back(block->WritePos() - block->ReadPos());
    return fill;
}

std::string Pattern(size_t Len, char Seed)
{
    std::string bytes(Len, '\0');
    for (size_t i = 0; i < Len; ++i)
        bytes[i] = static_cast<char>(Seed + i % 23);
    return bytes;
}

} // namespace

TEST(SocketBuffer, WritePeekRemoveAndResize)
{
    TBuffer b(0);
    EXPECT_EQ(b.Capacity(), 1514);
    const std::string data = Pattern(2000, 'a');
    EXPECT_EQ(b.Write(data.data(), 2000), 1514);
    EXPECT_EQ(b.Write(data.data(), 1), 0);
    int32_t len = 0;
    EXPECT_EQ(std::string(b.Peek(len), 10), data.substr(0, 10));
    EXPECT_EQ(len, 1514);
    EXPECT_EQ(b.Remove(14), 14);
    EXPECT_EQ(std::string(b.Peek(len), 5), data.substr(14, 5));
    EXPECT_EQ(len, 1500);
    EXPECT_EQ(b.Remove(5000), 1500);
    // Drained: both positions back at the start, the block reused from there.
    EXPECT_EQ(b.ReadPos(), 0);
    EXPECT_EQ(b.WritePos(), 0);
    EXPECT_EQ(b.Peek(len), nullptr);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(b.Remove(1), 0);

    // Growing keeps unsent bytes; shrinking below them keeps what fits and never overruns.
    b.Write(data.data(), 1000);
    b.SetCapacity(4000);
    EXPECT_EQ(b.Capacity(), 4000);
    EXPECT_EQ(std::string(b.Storage(), 1000), data.substr(0, 1000));
    b.SetCapacity(100);
    EXPECT_EQ(b.WritePos(), 100);
    EXPECT_EQ(std::string(b.Peek(len), 100), data.substr(0, 100));
}

TEST(WSocketSend, QueueFillsFullBlocksWhileTheNetworkTakesNothing)
{
    TConnected c;
    ASSERT_EQ(c.S.State(), wsConnected);
    const size_t prefill = FillSendBuffer(c.S.HSocket());
    int dataSentCount = 0;
    bool queueEmptyAtDataSent = false;
    c.S.OnDataSent = [&](TCustomWSocket *Sender, uint16_t Error) {
        EXPECT_EQ(Error, 0);
        ++dataSentCount;
        int32_t unsent = 0;
        for (const auto &block : Sender->SendQueue())
            unsent += block->WritePos() - block->ReadPos();
        queueEmptyAtDataSent = unsent == 0;
    };
    const std::string first = Pattern(4000, 'A');
    const std::string second = Pattern(100, 'a');
    EXPECT_EQ(c.S.Send(first.data(), 4000), 4000);
    EXPECT_EQ(BlockFill(c.S), (std::vector<int32_t>{1514, 1514, 972}));
    EXPECT_EQ(c.S.Send(second.data(), 100), 100);
    EXPECT_EQ(BlockFill(c.S), (std::vector<int32_t>{1514, 1514, 1072}));
    EXPECT_FALSE(c.S.AllSent());
    RunFor(50);
    EXPECT_EQ(dataSentCount, 0);

    // The peer drains everything; the rest goes out at FD_WRITE, in order, and OnDataSent
    // comes once, after the last byte.
    const std::string got = ReadExactly(c.Peer, prefill + 4100);
    ASSERT_EQ(got.size(), prefill + 4100);
    EXPECT_EQ(got.substr(prefill), first + second);
    ASSERT_TRUE(RunUntil([&] { return dataSentCount > 0; }));
    RunFor(50);
    EXPECT_EQ(dataSentCount, 1);
    EXPECT_TRUE(queueEmptyAtDataSent);
    // The first block stays for reuse; the others are gone.
    EXPECT_EQ(c.S.SendQueue().size(), 1u);
}

TEST(WSocketSend, ImmediateSendReportsDataSentLaterFromTheLoop)
{
    TConnected c;
    int dataSent = 0;
    c.S.OnDataSent = [&](TCustomWSocket *, uint16_t) { ++dataSent; };
    RunFor(50);
    dataSent = 0; // the FD_WRITE that follows the connect
    // A zero-length first send leaves nothing pending: AllSent, OnDataSent, and Flush returns.
    EXPECT_EQ(c.S.Send("", 0), 0);
    ASSERT_TRUE(c.S.AllSent()); // else the Flush below would never return
    c.S.MultiThreaded = true;
    c.S.Flush();
    ASSERT_TRUE(RunUntil([&] { return dataSent == 1; }));

    EXPECT_EQ(c.S.SendStr("USER anonymous\r\n"), 16);
    EXPECT_TRUE(c.S.AllSent());
    EXPECT_EQ(dataSent, 1);
    ASSERT_TRUE(RunUntil([&] { return dataSent == 2; }));
    EXPECT_EQ(ReadExactly(c.Peer, 16), "USER anonymous\r\n");
}

TEST(WSocketSend, LargeTransferArrivesWhole)
{
    TConnected c;
    const std::string data = Pattern(3 * 1024 * 1024 + 17, '0');
    size_t offset = 0;
    const auto sendNext = [&](TCustomWSocket *Sender) {
        const size_t len = std::min<size_t>(65536, data.size() - offset);
        if (len > 0) {
            Sender->Send(data.data() + offset, static_cast<int>(len));
            offset += len;
        }
    };
    c.S.OnDataSent = [&](TCustomWSocket *Sender, uint16_t) { sendNext(Sender); };
    sendNext(&c.S);
    const std::string got = ReadExactly(c.Peer, data.size(), 20000);
    EXPECT_TRUE(got == data);
}

TEST(WSocketSend, NotConnectedSendIsRefused)
{
    TWSocket s;
    try {
        s.Send("x", 1);
        FAIL() << "Send while closed must be refused";
    } catch (const ESocketException &e) {
        EXPECT_EQ(std::string(e.what()), "Error 10057 in function Send\r\nSocket is not connected");
    }
    int errors = 0;
    s.OnError = [&](TCustomWSocket *) { ++errors; };
    EXPECT_EQ(s.SendStr("abc"), -1);
    EXPECT_EQ(errors, 1);
    EXPECT_TRUE(s.SendQueue().empty());
}

TEST(WSocketSend, UrgentDataGoesOutOfBand)
{
    TConnected c;
    EXPECT_EQ(c.S.SendFlags(), wsSendNormal);
    c.S.SetSendFlags(wsSendUrgent);
    EXPECT_EQ(c.S.SendFlags(), wsSendUrgent);
    c.S.SendStr("!");
    pollfd probe{c.Peer, POLLPRI, 0};
    ASSERT_TRUE(RunUntil([&] { return ::poll(&probe, 1, 0) > 0; }));
    char byte = 0;
    EXPECT_EQ(::recv(c.Peer, &byte, 1, MSG_OOB), 1);
    EXPECT_EQ(byte, '!');
    EXPECT_THROW(c.S.SetSendFlags(static_cast<TSocketSendFlags>(7)), ESocketException);
}

TEST(WSocketSend, BytesQueuedAtCloseNeverReachTheNextConnection)
{
    TConnected c;
    FillSendBuffer(c.S.HSocket());
    const std::string stale = Pattern(5000, 's');
    c.S.Send(stale.data(), 5000);
    ASSERT_FALSE(c.S.AllSent());
    c.S.Close();

    TRawListener next;
    const int peer = ConnectAndAccept(c.S, next);
    ASSERT_GE(peer, 0);
    c.S.SendStr("fresh");
    ::shutdown(peer, SHUT_WR);
    c.S.Shutdown(SHUT_WR);
    EXPECT_EQ(ReadExactly(peer, 100, 1000), "fresh");
    ::close(peer);
}

TEST(WSocketSend, NoticeForAnEarlierConnectionIsDropped)
{
    TConnected connected;
    int dataSent = 0;
    connected.S.OnDataSent = [&](TCustomWSocket *, uint16_t) { ++dataSent; };
    // The FD_WRITE this send posts belongs to the first connection only. The descriptor number
    // is reused at once by the next connection.
    TRawListener next;
    connected.S.SendStr("x");
    const TSocket oldHandle = connected.S.HSocket();
    connected.S.Close();
    connected.S.SetAddr("127.0.0.1");
    connected.S.SetPort(next.PortText());
    connected.S.Connect();
    EXPECT_EQ(connected.S.HSocket(), oldHandle);
    const int peer = next.Accept();
    ASSERT_TRUE(RunUntil([&] { return connected.S.State() == wsConnected; }));
    RunFor(100);
    // Only the new connection's own FD_WRITE after connecting.
    EXPECT_EQ(dataSent, 1);
    ::close(peer);
}

TEST(WSocketSend, FlushWithWaitControlSendsEverything)
{
    TConnected connected;
    FillSendBuffer(connected.S.HSocket());
    const std::string data = Pattern(20000, 'F');
    connected.S.Send(data.data(), static_cast<int>(data.size()));
    EXPECT_THROW(connected.S.Flush(), ESocketException); // no wait object
    TCustomWait wait;
    int starts = 0;
    wait.OnWaitStart = [&](TCustomWait *W) {
        ++starts;
        EXPECT_EQ(W->StartCount, 60); // FlushTimeout
    };
    connected.S.SetWaitCtrl(&wait);
    // The peer reads on a thread of its own while Flush runs this thread's loop.
    std::string got;
    std::thread reader([&] {
        std::vector<char> buf(65536);
        for (;;) {
            const ssize_t n = ::recv(connected.Peer, buf.data(), buf.size(), 0);
            if (n <= 0)
                break;
            got.append(buf.data(), static_cast<size_t>(n));
        }
    });
    connected.S.Flush();
    EXPECT_TRUE(connected.S.AllSent());
    EXPECT_EQ(starts, 1);
    EXPECT_FALSE(wait.Running());
    EXPECT_EQ(wait.ModalResult, TCustomWait::mrStopped);
    connected.S.Shutdown(SHUT_WR);
    reader.join();
    EXPECT_EQ(got.substr(got.size() - data.size()), data);
}

} // namespace tarn
