// Connection life of TWSocket against real loopback peers: event order, close rules, the
// listen/accept/dup road of a data connection, property rules while connected, the destroy rules.

#include "tests/net/loopback_peer.h"
#include "net/wsocket.h"

#include <QObject>
#include <filesystem>
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
struct EventLog
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
    TWSocket S;
    EventLog Log;
    Log.Attach(S);
    ConnectTo(S, ClosedPort());
    ASSERT_TRUE(RunUntil([&] { return Log.Count("closed 0") > 0; }));
    const std::vector<std::string> Expected = {"state 7->1",      "state 1->3", "state 3->4",
                                               "connected 10061", "state 4->7", "closed 0"};
    EXPECT_EQ(Log.Lines, Expected);
    EXPECT_EQ(S.State(), wsClosed);
    RunFor(100);
    EXPECT_EQ(Log.Lines.size(), Expected.size());
}

TEST(WSocketConnection, DataArrivingWithPeerCloseIsDeliveredBeforeSessionClosed)
{
    RawListener Peer;
    TWSocket S;
    std::vector<std::string> Order;
    std::string Received;
    S.OnDataAvailable = [&](TCustomWSocket *Sender, uint16_t) {
        ReceiveInto(Sender, Received);
        Order.push_back("data");
    };
    S.OnSessionClosed = [&](TCustomWSocket *, uint16_t) { Order.push_back("closed"); };
    const int Conn = ConnectAndAccept(S, Peer);
    ASSERT_GE(Conn, 0);
    // Eleven bytes and the close in one go, read three bytes at a time.
    WriteAll(Conn, "hello world");
    ::close(Conn);
    ASSERT_TRUE(RunUntil([&] { return S.State() == wsClosed; }));
    EXPECT_EQ(Received, "hello world");
    ASSERT_FALSE(Order.empty());
    EXPECT_EQ(Order.back(), "closed");
    EXPECT_EQ(std::count(Order.begin(), Order.end(), "closed"), 1);
}

TEST(WSocketConnection, SessionClosedFiresOnceWhenPeerCloseAndCloseBothHappen)
{
    RawListener Peer;
    TWSocket S;
    EventLog Log;
    Log.Attach(S);
    // The handler closes too, as the FTP engine does.
    S.OnSessionClosed = [&](TCustomWSocket *Sender, uint16_t E) {
        Log.Lines.push_back("closed " + std::to_string(E));
        Sender->Close();
    };
    const int Conn = ConnectAndAccept(S, Peer);
    ASSERT_GE(Conn, 0);
    ::close(Conn);
    ASSERT_TRUE(RunUntil([&] { return S.State() == wsClosed; }));
    S.Close();
    RunFor(100);
    EXPECT_EQ(Log.Count("closed 0"), 1);

    // And the other way round: Close first, then the peer's FD_CLOSE that was already queued.
    RawListener Peer2;
    const int Conn2 = ConnectAndAccept(S, Peer2);
    ASSERT_GE(Conn2, 0);
    ::close(Conn2);
    RunFor(50);
    S.Close();
    RunFor(100);
    EXPECT_EQ(Log.Count("closed 0"), 2);
}

TEST(WSocketConnection, ListenAcceptDupCarriesADataConnection)
{
    TWSocket Data;
    Data.SetProto("tcp");
    Data.SetAddr("0.0.0.0");
    Data.SetPort("0");
    ASSERT_EQ(Data.Listen(), 0);
    EXPECT_EQ(Data.State(), wsListening);
    sockaddr_in Local{};
    int Len = sizeof Local;
    ASSERT_EQ(Data.GetSockName(Local, Len), 0);
    const uint16_t Port = ntohs(Local.sin_port);
    EXPECT_NE(Port, 0);
    EXPECT_EQ(Data.GetLocalPort(), std::to_string(Port));

    std::string Received;
    bool Closed = false;
    Data.OnSessionAvailable = [&](TCustomWSocket *Sender, uint16_t Error) {
        EXPECT_EQ(Error, 0);
        const TSocket NewHandle = Sender->Accept();
        EXPECT_EQ(Sender->State(), wsListening);
        Sender->Close();
        Sender->OnSessionClosed = [&](TCustomWSocket *, uint16_t) { Closed = true; };
        Sender->OnDataAvailable = [&](TCustomWSocket *S, uint16_t) { ReceiveInto(S, Received); };
        Sender->Dup(NewHandle);
    };
    const int Client = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in To{};
    To.sin_family = AF_INET;
    To.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    To.sin_port = htons(Port);
    ASSERT_EQ(::connect(Client, reinterpret_cast<sockaddr *>(&To), sizeof To), 0);
    ASSERT_TRUE(RunUntil([&] { return Data.State() == wsConnected; }));
    EXPECT_EQ(Data.GetPeerAddr(), "127.0.0.1");
    WriteAll(Client, std::string(100000, 'd'));
    ::close(Client);
    ASSERT_TRUE(RunUntil([&] { return Closed; }));
    EXPECT_EQ(Received, std::string(100000, 'd'));
    EXPECT_EQ(Data.ReadCount(), 0); // reset by the close
}

TEST(WSocketConnection, RefusalsAndErrorsGoThroughOnErrorOrException)
{
    TWSocket S;
    try {
        S.Connect();
        FAIL() << "Connect without a port must be refused";
    } catch (const ESocketException &E) {
        EXPECT_STREQ(E.what(), "Connect: No Port Specified");
    }
    S.SetPort("21");
    EXPECT_THROW(S.Connect(), ESocketException); // no address
    try {
        S.Accept();
        FAIL();
    } catch (const ESocketException &E) {
        EXPECT_EQ(std::string(E.what()),
                  "Error 10022 in function not a listening socket\r\nInvalid argument");
    }
    int Errors = 0;
    S.OnError = [&](TCustomWSocket *) { ++Errors; };
    EXPECT_EQ(S.Accept(), INVALID_SOCKET);
    S.Dup(INVALID_SOCKET);
    EXPECT_EQ(S.Send("x", 1), -1);
    EXPECT_EQ(Errors, 3);
    EXPECT_EQ(S.State(), wsClosed);
    // A host that cannot be resolved bypasses OnError.
    EXPECT_THROW(S.SetAddr(std::string(64, 'a') + ".invalid"), ESocketException);

    // A port that is taken: Listen fails with -1, stays closed and keeps no handle open.
    RawListener Taken;
    const auto OpenHandles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator());
    };
    const auto HandlesBefore = OpenHandles();
    S.SetAddr("127.0.0.1");
    S.SetPort(Taken.PortText());
    EXPECT_EQ(S.Listen(), -1);
    EXPECT_EQ(Errors, 4);
    EXPECT_EQ(S.State(), wsClosed);
    S.OnError = nullptr;
    EXPECT_THROW(S.Listen(), ESocketException);
    EXPECT_EQ(OpenHandles(), HandlesBefore);
}

TEST(WSocketConnection, PeerResetEndsTheSessionWithItsCode)
{
    RawListener Peer;
    TWSocket S;
    std::vector<uint16_t> Closed;
    S.OnSessionClosed = [&](TCustomWSocket *, uint16_t E) { Closed.push_back(E); };
    const int Conn = ConnectAndAccept(S, Peer);
    ASSERT_GE(Conn, 0);
    EXPECT_THROW(S.Connect(), ESocketException); // already in use
    const linger Abortive{1, 0};
    ::setsockopt(Conn, SOL_SOCKET, SO_LINGER, &Abortive, sizeof Abortive);
    ::close(Conn);
    ASSERT_TRUE(RunUntil([&] { return S.State() == wsClosed; }));
    EXPECT_EQ(Closed, std::vector<uint16_t>{10054});
}

TEST(WSocketConnection, PropertiesWhileConnectedAndAfterClose)
{
    RawListener Peer;
    TWSocket S;
    const int Conn = ConnectAndAccept(S, Peer);
    ASSERT_GE(Conn, 0);
    try {
        S.SetPort("21");
        FAIL() << "Port must not change while connected";
    } catch (const ESocketException &E) {
        EXPECT_STREQ(E.what(), "Cannot change Port if not closed");
    }
    EXPECT_EQ(S.Port(), "21");
    EXPECT_EQ(ntohs(S.SockAddr().sin_port), Peer.Port());
    sockaddr_in PeerAddr{};
    int Len = sizeof PeerAddr;
    ASSERT_EQ(S.GetPeerName(PeerAddr, Len), 0);
    EXPECT_EQ(ntohs(PeerAddr.sin_port), Peer.Port());
    S.Close();
    ::close(Conn);

    // The close reset the object: the same texts must be converted again for the next Connect.
    RawListener Peer2;
    S.SetAddr("127.0.0.1");
    S.SetPort(Peer2.PortText());
    S.SetPort(Peer2.PortText());
    S.Connect();
    const int Conn2 = Peer2.Accept();
    EXPECT_GE(Conn2, 0);
    ASSERT_TRUE(RunUntil([&] { return S.State() == wsConnected; }));
    S.Close();
    ::close(Conn2);
    EXPECT_EQ(S.GetLocalPort(), "error");
    EXPECT_EQ(S.GetPeerAddr(), "error");
}

TEST(WSocketConnection, NameTextsBeyondTheirLimitsAreRefused)
{
    TWSocket S;
    EXPECT_THROW(S.SetPort("   "), ESocketException);
    EXPECT_THROW(S.SetPort(std::string(40, 'x')), ESocketException);
    EXPECT_THROW(S.SetPort("no-such-service-here"), ESocketException);
    EXPECT_THROW(S.SetProto(""), ESocketException);
    EXPECT_THROW(S.SetProto(std::string(40, 'p')), ESocketException);
    EXPECT_THROW(S.SetAddr(std::string(300, '1')), ESocketException);
    try {
        S.SetAddr(std::string(5000, 'h'));
    } catch (const ESocketException &E) {
        EXPECT_LT(std::string(E.what()).size(), 400u);
    }
    // Known names still work, with the protocol deciding stream or datagram.
    S.SetProto("udp");
    S.SetPort("domain");
    EXPECT_EQ(ntohs(S.SockAddr().sin_port), 53);
    S.SetPort(" 21abc");
    EXPECT_EQ(ntohs(S.SockAddr().sin_port), 21);
    S.SetPort("70000");
    EXPECT_EQ(ntohs(S.SockAddr().sin_port), 70000 & 0xFFFF);
}

TEST(WSocketConnection, DatagramSocketIsConnectedAtOnceAndSends)
{
    // A plain UDP receiver on loopback.
    const int Receiver = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in Addr{};
    Addr.sin_family = AF_INET;
    Addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(Receiver, reinterpret_cast<sockaddr *>(&Addr), sizeof Addr), 0);
    socklen_t Len = sizeof Addr;
    ::getsockname(Receiver, reinterpret_cast<sockaddr *>(&Addr), &Len);

    TWSocket S;
    EventLog Log;
    Log.Attach(S);
    S.SetProto("17");
    S.SetAddr("127.0.0.1");
    S.SetPort(std::to_string(ntohs(Addr.sin_port)));
    S.Connect();
    EXPECT_EQ(S.State(), wsConnected);
    EXPECT_EQ(Log.Lines.back(), "connected 0");
    EXPECT_EQ(S.SendStr("ping"), 4);
    char Buf[16];
    EXPECT_EQ(::recv(Receiver, Buf, sizeof Buf, 0), 4);
    S.Close();
    ::close(Receiver);

    // The broadcast address gets SO_BROADCAST (a send to it would fail with 10013 otherwise).
    TWSocket B;
    B.SetProto("udp");
    B.SetAddr("255.255.255.255");
    B.SetPort("9");
    B.Connect();
    int On = 0;
    socklen_t OnLen = sizeof On;
    ::getsockopt(B.HSocket(), SOL_SOCKET, SO_BROADCAST, &On, &OnLen);
    EXPECT_EQ(On, 1);
}

TEST(WSocketConnection, DestroyRules)
{
    const int Before = TCustomWSocket::LiveSocketCount();
    RawListener Peer;
    int Events = 0;
    {
        // Destroyed with its owner: neither the pending lookup nor the connection fires.
        QObject Owner;
        auto *S = new TWSocket(&Owner);
        S->OnDnsLookupDone = [&](TCustomWSocket *, uint16_t) { ++Events; };
        S->OnSessionClosed = [&](TCustomWSocket *, uint16_t) { ++Events; };
        ConnectTo(*S, Peer.Port());
        S->OnChangeState = [&](TCustomWSocket *, TSocketState, TSocketState) { ++Events; };
        S->DnsLookup("localhost");
        EXPECT_EQ(TCustomWSocket::LiveSocketCount(), Before + 1);
        EXPECT_TRUE(TCustomWSocket::SocketLibraryStarted());
    }
    EXPECT_EQ(Events, 0);
    std::vector<uint16_t> Codes;
    {
        // Freed on its own: the lookup is cancelled (10004) and the connection closed (0).
        TWSocket S;
        S.OnDnsLookupDone = [&](TCustomWSocket *, uint16_t E) { Codes.push_back(E); };
        S.OnSessionClosed = [&](TCustomWSocket *, uint16_t E) { Codes.push_back(E); };
        ConnectTo(S, Peer.Port());
        S.DnsLookup("localhost");
    }
    EXPECT_EQ(Codes, (std::vector<uint16_t>{10004, 0}));
    EXPECT_EQ(TCustomWSocket::LiveSocketCount(), Before);
    RunFor(200); // a resolver result for a destroyed socket must go nowhere
}

TEST(WSocketConnection, ExceptionFromDataHandlerStaysInsideTheSocket)
{
    RawListener Peer;
    TWSocket S;
    int Calls = 0;
    std::string Received;
    S.OnDataAvailable = [&](TCustomWSocket *Sender, uint16_t) {
        ReceiveInto(Sender, Received);
        if (++Calls == 1)
            throw std::runtime_error("handler failed");
    };
    const int Conn = ConnectAndAccept(S, Peer);
    ASSERT_GE(Conn, 0);
    WriteAll(Conn, "one");
    ASSERT_TRUE(RunUntil([&] { return Calls == 1; }));
    WriteAll(Conn, "two");
    ASSERT_TRUE(RunUntil([&] { return Received == "onetwo"; }));
    ::close(Conn);
}

TEST(WSocketConnection, HandlerThatReadsNothingDoesNotSpin)
{
    RawListener Peer;
    TWSocket S;
    int Calls = 0;
    bool ReadNow = false;
    std::string Received;
    S.OnDataAvailable = [&](TCustomWSocket *Sender, uint16_t) {
        ++Calls;
        if (!ReadNow)
            return;
        ReceiveInto(Sender, Received);
    };
    const int Conn = ConnectAndAccept(S, Peer);
    ASSERT_GE(Conn, 0);
    WriteAll(Conn, "waiting");
    ASSERT_TRUE(RunUntil([&] { return Calls > 0; }));
    RunFor(200);
    EXPECT_EQ(Calls, 1);
    EXPECT_EQ(S.RcvdCount(), 7);
    // Once somebody reads, notifications resume.
    ReadNow = true;
    char Buf[2];
    EXPECT_EQ(S.Receive(Buf, 2), 2);
    ASSERT_TRUE(RunUntil([&] { return Received == "iting"; }));
    EXPECT_EQ(S.ReadCount(), 7);
    ::close(Conn);
}

TEST(WSocketConnection, PauseStopsNotificationsAndResumeRestartsThem)
{
    RawListener Peer;
    TWSocket S;
    std::string Received;
    S.OnDataAvailable = [&](TCustomWSocket *Sender, uint16_t) { ReceiveInto(Sender, Received); };
    const int Conn = ConnectAndAccept(S, Peer);
    ASSERT_GE(Conn, 0);
    EXPECT_EQ(S.Pause(), 0);
    WriteAll(Conn, "later");
    RunFor(150);
    EXPECT_EQ(Received, "");
    EXPECT_EQ(S.Resume(), 0);
    ASSERT_TRUE(RunUntil([&] { return Received == "later"; }));
    ::close(Conn);
}

TEST(WSocketConnection, HandlerMayDestroyItsOwnSocket)
{
    RawListener Peer;
    auto *S = new TWSocket;
    bool Destroyed = false;
    QObject::connect(S, &QObject::destroyed, [&] { Destroyed = true; });
    std::string Received;
    S->OnDataAvailable = [&](TCustomWSocket *Sender, uint16_t) {
        ReceiveInto(Sender, Received);
        delete Sender;
    };
    const int Conn = ConnectAndAccept(*S, Peer);
    ASSERT_GE(Conn, 0);
    // Data and the close together: the later bits of the same notice must find nothing.
    WriteAll(Conn, "bye");
    ::close(Conn);
    ASSERT_TRUE(RunUntil([&] { return Destroyed; }));
    EXPECT_EQ(Received, "bye");
    RunFor(50);
}

} // namespace tarn
