// Connection life of TWSocket against real loopback peers: event order, close rules, the
// listen/accept/dup road of a data connection, property rules while connected, the destroy rules.

#include "net/wsocket.h"
#include "tests/net/loopback_peer.h"

#include <QObject>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace tarn {

namespace {

// Records every event of a socket as one text line each, in order.
struct TEventLog
{
    std::vector<std::string> Lines;

    void Attach(TCustomWSocket &S)
    {
        S.OnChangeState = [this](TCustomWSocket *, TSocketState Old, TSocketState New) {
            Lines.push_back("state " + std::to_string(Old) + "->" + std::to_string(New));
        };
        S.OnSessionConnected = [this](TCustomWSocket *, uint16_t E) {
            Lines.push_back("connected " + std::to_string(E));
        };
        S.OnSessionClosed = [this](TCustomWSocket *, uint16_t E) {
            Lines.push_back("closed " + std::to_string(E));
        };
    }
    int Count(const std::string &Line) const
    {
        return static_cast<int>(std::count(Lines.begin(), Lines.end(), Line));
    }
};

void ConnectTo(TWSocket &S, uint16_t Port)
{
    S.SetAddr("127.0.0.1");
    S.SetProto("tcp");
    S.SetPort(std::to_string(Port));
    S.Connect();
}

} // namespace

TEST(WSocketConnection, FailedConnectPassesThroughConnectedThenCloses)
{
    TWSocket s;
    TEventLog Log;
    Log.Attach(s);
    ConnectTo(s, ClosedPort());
    ASSERT_TRUE(RunUntil([&] { return Log.Count("closed 0") > 0; }));
    const std::vector<std::string> expected = {"state 7->1",      "state 1->3", "state 3->4",
                                               "connected 10061", "state 4->7", "closed 0"};
    EXPECT_EQ(Log.Lines, expected);
    EXPECT_EQ(s.State(), wsClosed);
    RunFor(100);
    EXPECT_EQ(Log.Lines.size(), expected.size());
}

TEST(WSocketConnection, DataArrivingWithPeerCloseIsDeliveredBeforeSessionClosed)
{
    TRawListener peer;
    TWSocket s;
    std::vector<std::string> order;
    std::string Received;
    s.OnDataAvailable = [&](TCustomWSocket *Sender, uint16_t) {
        ReceiveInto(Sender, Received);
        order.push_back("data");
    };
    s.OnSessionClosed = [&](TCustomWSocket *, uint16_t) { order.push_back("closed"); };
    const int conn = ConnectAndAccept(s, peer);
    ASSERT_GE(conn, 0);
    // Eleven bytes and the close in one go, read three bytes at a time.
    WriteAll(conn, "hello world");
    ::close(conn);
    ASSERT_TRUE(RunUntil([&] { return s.State() == wsClosed; }));
    EXPECT_EQ(Received, "hello world");
    ASSERT_FALSE(order.empty());
    EXPECT_EQ(order.back(), "closed");
    EXPECT_EQ(std::count(order.begin(), order.end(), "closed"), 1);
}

TEST(WSocketConnection, SessionClosedFiresOnceWhenPeerCloseAndCloseBothHappen)
{
    TRawListener peer;
    TWSocket s;
    TEventLog Log;
    Log.Attach(s);
    // The handler closes too, as the FTP engine does.
    s.OnSessionClosed = [&](TCustomWSocket *Sender, uint16_t E) {
        Log.Lines.push_back("closed " + std::to_string(E));
        Sender->Close();
    };
    const int conn = ConnectAndAccept(s, peer);
    ASSERT_GE(conn, 0);
    ::close(conn);
    ASSERT_TRUE(RunUntil([&] { return s.State() == wsClosed; }));
    s.Close();
    RunFor(100);
    EXPECT_EQ(Log.Count("closed 0"), 1);

    // And the other way round: Close first, then the peer's FD_CLOSE that was already queued.
    TRawListener peer2;
    const int conn2 = ConnectAndAccept(s, peer2);
    ASSERT_GE(conn2, 0);
    ::close(conn2);
    RunFor(50);
    s.Close();
    RunFor(100);
    EXPECT_EQ(Log.Count("closed 0"), 2);
}

TEST(WSocketConnection, ListenAcceptDupCarriesADataConnection)
{
    TWSocket data;
    data.SetProto("tcp");
    data.SetAddr("0.0.0.0");
    data.SetPort("0");
    ASSERT_EQ(data.Listen(), 0);
    EXPECT_EQ(data.State(), wsListening);
    sockaddr_in local{};
    int len = sizeof local;
    ASSERT_EQ(data.GetSockName(local, len), 0);
    const uint16_t port = ntohs(local.sin_port);
    EXPECT_NE(port, 0);
    EXPECT_EQ(data.GetLocalPort(), std::to_string(port));

    std::string received;
    bool Closed = false;
    data.OnSessionAvailable = [&](TCustomWSocket *Sender, uint16_t Error) {
        EXPECT_EQ(Error, 0);
        const TSocket newHandle = Sender->Accept();
        EXPECT_EQ(Sender->State(), wsListening);
        Sender->Close();
        Sender->OnSessionClosed = [&](TCustomWSocket *, uint16_t) { Closed = true; };
        Sender->OnDataAvailable = [&](TCustomWSocket *S, uint16_t) { ReceiveInto(S, received); };
        Sender->Dup(newHandle);
    };
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
    ASSERT_TRUE(RunUntil([&] { return data.State() == wsConnected; }));
    EXPECT_EQ(data.GetPeerAddr(), "127.0.0.1");
    WriteAll(client, std::string(100000, 'd'));
    ::close(client);
    ASSERT_TRUE(RunUntil([&] { return Closed; }));
    EXPECT_EQ(received, std::string(100000, 'd'));
    EXPECT_EQ(data.ReadCount(), 0); // reset by the close
}

TEST(WSocketConnection, RefusalsAndErrorsGoThroughOnErrorOrException)
{
    TWSocket s;
    try {
        s.Connect();
        FAIL() << "Connect without a port must be refused";
    } catch (const ESocketException &e) {
        EXPECT_STREQ(e.what(), "Connect: No Port Specified");
    }
    s.SetPort("21");
    EXPECT_THROW(s.Connect(), ESocketException); // no address
    try {
        s.Accept();
        FAIL();
    } catch (const ESocketException &e) {
        EXPECT_EQ(std::string(e.what()),
                  "Error 10022 in function not a listening socket\r\nInvalid argument");
    }
    int errors = 0;
    s.OnError = [&](TCustomWSocket *) { ++errors; };
    EXPECT_EQ(s.Accept(), INVALID_SOCKET);
    s.Dup(INVALID_SOCKET);
    EXPECT_EQ(s.Send("x", 1), -1);
    EXPECT_EQ(errors, 3);
    EXPECT_EQ(s.State(), wsClosed);
    // A host that cannot be resolved bypasses OnError.
    EXPECT_THROW(s.SetAddr(std::string(64, 'a') + ".invalid"), ESocketException);

    // A port that is taken: Listen fails with -1, stays closed and keeps no handle open.
    TRawListener taken;
    const auto openHandles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator());
    };
    const auto handlesBefore = openHandles();
    s.SetAddr("127.0.0.1");
    s.SetPort(taken.PortText());
    EXPECT_EQ(s.Listen(), -1);
    EXPECT_EQ(errors, 4);
    EXPECT_EQ(s.State(), wsClosed);
    s.OnError = nullptr;
    EXPECT_THROW(s.Listen(), ESocketException);
    EXPECT_EQ(openHandles(), handlesBefore);
}

TEST(WSocketConnection, PeerResetEndsTheSessionWithItsCode)
{
    TRawListener peer;
    TWSocket s;
    std::vector<uint16_t> closed;
    s.OnSessionClosed = [&](TCustomWSocket *, uint16_t E) { closed.push_back(E); };
    const int conn = ConnectAndAccept(s, peer);
    ASSERT_GE(conn, 0);
    EXPECT_THROW(s.Connect(), ESocketException); // already in use
    const linger abortive{1, 0};
    ::setsockopt(conn, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    ::close(conn);
    ASSERT_TRUE(RunUntil([&] { return s.State() == wsClosed; }));
    EXPECT_EQ(closed, std::vector<uint16_t>{10054});
}

TEST(WSocketConnection, PropertiesWhileConnectedAndAfterClose)
{
    TRawListener peer;
    TWSocket s;
    const int conn = ConnectAndAccept(s, peer);
    ASSERT_GE(conn, 0);
    try {
        s.SetPort("21");
        FAIL() << "Port must not change while connected";
    } catch (const ESocketException &e) {
        EXPECT_STREQ(e.what(), "Cannot change Port if not closed");
    }
    EXPECT_EQ(s.Port(), "21");
    EXPECT_EQ(ntohs(s.SockAddr().sin_port), peer.Port());
    sockaddr_in peerAddr{};
    int len = sizeof peerAddr;
    ASSERT_EQ(s.GetPeerName(peerAddr, len), 0);
    EXPECT_EQ(ntohs(peerAddr.sin_port), peer.Port());
    s.Close();
    ::close(conn);

    // The close reset the object: the same texts must be converted again for the next Connect.
    TRawListener peer2;
    s.SetAddr("127.0.0.1");
    s.SetPort(peer2.PortText());
    s.SetPort(peer2.PortText());
    s.Connect();
    const int conn2 = peer2.Accept();
    EXPECT_GE(conn2, 0);
    ASSERT_TRUE(RunUntil([&] { return s.State() == wsConnected; }));
    s.Close();
    ::close(conn2);
    EXPECT_EQ(s.GetLocalPort(), "error");
    EXPECT_EQ(s.GetPeerAddr(), "error");
}

TEST(WSocketConnection, NameTextsBeyondTheirLimitsAreRefused)
{
    TWSocket s;
    EXPECT_THROW(s.SetPort("   "), ESocketException);
    EXPECT_THROW(s.SetPort(std::string(40, 'x')), ESocketException);
    EXPECT_THROW(s.SetPort("no-such-service-here"), ESocketException);
    EXPECT_THROW(s.SetProto(""), ESocketException);
    EXPECT_THROW(s.SetProto(std::string(40, 'p')), ESocketException);
    EXPECT_THROW(s.SetAddr(std::string(300, '1')), ESocketException);
    try {
        s.SetAddr(std::string(5000, 'h'));
    } catch (const ESocketException &e) {
        EXPECT_LT(std::string(e.what()).size(), 400u);
    }
    // Known names still work, with the protocol deciding stream or datagram.
    s.SetProto("udp");
    s.SetPort("domain");
    EXPECT_EQ(ntohs(s.SockAddr().sin_port), 53);
    s.SetPort(" 21abc");
    EXPECT_EQ(ntohs(s.SockAddr().sin_port), 21);
    s.SetPort("70000");
    EXPECT_EQ(ntohs(s.SockAddr().sin_port), 70000 & 0xFFFF);
}

TEST(WSocketConnection, DatagramSocketIsConnectedAtOnceAndSends)
{
    // A plain UDP receiver on loopback.
    const int receiver = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(receiver, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ::getsockname(receiver, reinterpret_cast<sockaddr *>(&addr), &len);

    TWSocket s;
    TEventLog log;
    log.Attach(s);
    s.SetProto("17");
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(ntohs(addr.sin_port)));
    s.Connect();
    EXPECT_EQ(s.State(), wsConnected);
    EXPECT_EQ(log.Lines.back(), "connected 0");
    EXPECT_EQ(s.SendStr("ping"), 4);
    char buf[16];
    EXPECT_EQ(::recv(receiver, buf, sizeof buf, 0), 4);
    s.Close();
    ::close(receiver);

    // The broadcast address gets SO_BROADCAST (a send to it would fail with 10013 otherwise).
    TWSocket b;
    b.SetProto("udp");
    b.SetAddr("255.255.255.255");
    b.SetPort("9");
    b.Connect();
    int on = 0;
    socklen_t onLen = sizeof on;
    ::getsockopt(b.HSocket(), SOL_SOCKET, SO_BROADCAST, &on, &onLen);
    EXPECT_EQ(on, 1);
}

TEST(WSocketConnection, DestroyRules)
{
    const int before = TCustomWSocket::LiveSocketCount();
    TRawListener peer;
    int events = 0;
    {
        // Destroyed with its owner: neither the pending lookup nor the connection fires.
        QObject owner;
        auto *s = new TWSocket(&owner);
        s->OnDnsLookupDone = [&](TCustomWSocket *, uint16_t) { ++events; };
        s->OnSessionClosed = [&](TCustomWSocket *, uint16_t) { ++events; };
        ConnectTo(*s, peer.Port());
        s->OnChangeState = [&](TCustomWSocket *, TSocketState, TSocketState) { ++events; };
        s->DnsLookup("localhost");
        EXPECT_EQ(TCustomWSocket::LiveSocketCount(), before + 1);
        EXPECT_TRUE(TCustomWSocket::SocketLibraryStarted());
    }
    EXPECT_EQ(events, 0);
    std::vector<uint16_t> codes;
    {
        // Freed on its own: the lookup is cancelled (10004) and the connection closed (0).
        TWSocket s;
        s.OnDnsLookupDone = [&](TCustomWSocket *, uint16_t E) { codes.push_back(E); };
        s.OnSessionClosed = [&](TCustomWSocket *, uint16_t E) { codes.push_back(E); };
        ConnectTo(s, peer.Port());
        s.DnsLookup("localhost");
    }
    EXPECT_EQ(codes, (std::vector<uint16_t>{10004, 0}));
    EXPECT_EQ(TCustomWSocket::LiveSocketCount(), before);
    RunFor(200); // a resolver result for a destroyed socket must go nowhere
}

TEST(WSocketConnection, ExceptionFromDataHandlerStaysInsideTheSocket)
{
    TRawListener peer;
    TWSocket s;
    int Calls = 0;
    std::string received;
    s.OnDataAvailable = [&](TCustomWSocket *Sender, uint16_t) {
        ReceiveInto(Sender, received);
        if (++Calls == 1)
            throw std::runtime_error("handler failed");
    };
    const int conn = ConnectAndAccept(s, peer);
    ASSERT_GE(conn, 0);
    WriteAll(conn, "one");
    ASSERT_TRUE(RunUntil([&] { return Calls == 1; }));
    WriteAll(conn, "two");
    ASSERT_TRUE(RunUntil([&] { return received == "onetwo"; }));
    ::close(conn);
}

TEST(WSocketConnection, HandlerThatReadsNothingDoesNotSpin)
{
    TRawListener peer;
    TWSocket s;
    int Calls = 0;
    bool ReadNow = false;
    std::string received;
    s.OnDataAvailable = [&](TCustomWSocket *Sender, uint16_t) {
        ++Calls;
        if (!ReadNow)
            return;
        ReceiveInto(Sender, received);
    };
    const int conn = ConnectAndAccept(s, peer);
    ASSERT_GE(conn, 0);
    WriteAll(conn, "waiting");
    ASSERT_TRUE(RunUntil([&] { return Calls > 0; }));
    RunFor(200);
    EXPECT_EQ(Calls, 1);
    EXPECT_EQ(s.RcvdCount(), 7);
    // Once somebody reads, notifications resume.
    ReadNow = true;
    char buf[2];
    EXPECT_EQ(s.Receive(buf, 2), 2);
    ASSERT_TRUE(RunUntil([&] { return received == "iting"; }));
    EXPECT_EQ(s.ReadCount(), 7);
    ::close(conn);
}

TEST(WSocketConnection, PauseStopsNotificationsAndResumeRestartsThem)
{
    TRawListener peer;
    TWSocket s;
    std::string received;
    s.OnDataAvailable = [&](TCustomWSocket *Sender, uint16_t) { ReceiveInto(Sender, received); };
    const int conn = ConnectAndAccept(s, peer);
    ASSERT_GE(conn, 0);
    EXPECT_EQ(s.Pause(), 0);
    WriteAll(conn, "later");
    RunFor(150);
    EXPECT_EQ(received, "");
    EXPECT_EQ(s.Resume(), 0);
    ASSERT_TRUE(RunUntil([&] { return received == "later"; }));
    ::close(conn);
}

TEST(WSocketConnection, HandlerMayDestroyItsOwnSocket)
{
    TRawListener peer;
    auto *s = new TWSocket;
    bool destroyed = false;
    QObject::connect(s, &QObject::destroyed, [&] { destroyed = true; });
    std::string received;
    s->OnDataAvailable = [&](TCustomWSocket *Sender, uint16_t) {
        ReceiveInto(Sender, received);
        delete Sender;
    };
    const int conn = ConnectAndAccept(*s, peer);
    ASSERT_GE(conn, 0);
    // Data and the close together: the later bits of the same notice must find nothing.
    WriteAll(conn, "bye");
    ::close(conn);
    ASSERT_TRUE(RunUntil([&] { return destroyed; }));
    EXPECT_EQ(received, "bye");
    RunFor(50);
}

// Every event of a socket may destroy it; nothing may touch the socket once its handler has
// returned (under ASan a use after free fails these cases). Each case arms one handler that
// deletes the socket and then provokes that event.
TEST(WSocketConnection, EveryEventMayDestroyItsSocket)
{
    struct TCase
    {
        const char *Name;
        // Arms the deleting handler on S; Kill deletes the sender.
        std::function<void(TWSocket &S, const std::function<void(TCustomWSocket *)> &Kill)> Arm;
        // Provokes the event on S, connected to Peer (-1 when the case connects by itself).
        std::function<void(TWSocket &S, int Peer)> Provoke;
        bool NeedsConnection;
    };
    const auto deleteOn = [](TSocketState State) {
        return [State](TWSocket &S, const std::function<void(TCustomWSocket *)> &Kill) {
            S.OnChangeState = [State, Kill](TCustomWSocket *Sender, TSocketState,
                                            TSocketState New) {
                if (New == State)
                    Kill(Sender);
            };
        };
    };
    TRawListener listener;
    const std::vector<TCase> cases = {
        {"session closed inside Close",
         [](TWSocket &S, const auto &Kill) {
             S.OnSessionClosed = [Kill](TCustomWSocket *Sender, uint16_t) { Kill(Sender); };
         },
         [](TWSocket &S, int) { S.Close(); }, true},
        {"state change to closed inside Close", deleteOn(wsClosed),
         [](TWSocket &S, int) { S.Close(); }, true},
        {"state change to opened inside Connect", deleteOn(wsOpened),
         [&](TWSocket &S, int) { ConnectTo(S, listener.Port()); }, false},
        {"state change to connecting inside Connect", deleteOn(wsConnecting),
         [&](TWSocket &S, int) { ConnectTo(S, listener.Port()); }, false},
        {"state change to connected on FD_CONNECT", deleteOn(wsConnected),
         [&](TWSocket &S, int) {
             S.OnSessionConnected = [](TCustomWSocket *, uint16_t) {};
             ConnectTo(S, listener.Port());
         },
         false},
        {"session closed by the peer",
         [](TWSocket &S, const auto &Kill) {
             S.OnSessionClosed = [Kill](TCustomWSocket *Sender, uint16_t) { Kill(Sender); };
         },
         [](TWSocket &, int Peer) { ::close(Peer); }, true},
        {"data sent",
         [](TWSocket &S, const auto &Kill) {
             S.OnDataSent = [Kill](TCustomWSocket *Sender, uint16_t) { Kill(Sender); };
         },
         [](TWSocket &S, int) { S.SendStr("x"); }, true},
        {"error raised by an operation",
         [](TWSocket &S, const auto &Kill) {
             S.OnError = [Kill](TCustomWSocket *Sender) { Kill(Sender); };
         },
         [](TWSocket &S, int) { S.DnsLookup(""); }, false},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.Name);
        auto *s = new TWSocket;
        bool destroyed = false;
        QObject::connect(s, &QObject::destroyed, [&] { destroyed = true; });
        int peer = -1;
        if (c.NeedsConnection) {
            peer = ConnectAndAccept(*s, listener);
            ASSERT_GE(peer, 0);
        }
        c.Arm(*s, [](TCustomWSocket *Sender) { delete Sender; });
        c.Provoke(*s, peer);
        EXPECT_TRUE(RunUntil([&] { return destroyed; }));
        if (!destroyed)
            delete s;
        if (c.NeedsConnection && peer >= 0)
            ::close(peer);
        // A connection the case made by itself has to be accepted and dropped.
        if (!c.NeedsConnection) {
            const int late = listener.Accept(100);
            if (late >= 0)
                ::close(late);
        }
        RunFor(20);
    }
}

// A handler may replace or clear itself while it runs: the running handler is a copy, so what
// it captured stays alive until it returns.
TEST(WSocketConnection, HandlerMayReplaceItselfWhileRunning)
{
    TRawListener listener;
    TWSocket s;
    const int peer = ConnectAndAccept(s, listener);
    ASSERT_GE(peer, 0);
    const std::string tag(100, 't'); // on the heap: a freed capture is a use after free
    std::string received;
    std::string seen;
    s.OnDataAvailable = [&, tag](TCustomWSocket *Sender, uint16_t) {
        ReceiveInto(Sender, received);
        Sender->OnDataAvailable = nullptr;
        seen = tag;
    };
    WriteAll(peer, "x");
    ASSERT_TRUE(RunUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, tag);
    EXPECT_EQ(received, "x");
    ::close(peer);
}

} // namespace tarn
