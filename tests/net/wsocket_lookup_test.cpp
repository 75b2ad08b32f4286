// Asynchronous host lookups and the error codes they end with. Only names that never leave this
// machine are looked up: localhost (from the hosts file) and names the resolver rejects before
// asking any server.

#include "tests/net/loopback_peer.h"
#include "net/wsocket.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <netdb.h>
#include <string>
#include <vector>

namespace tarn {

namespace {

// A label longer than 63 characters cannot be put in a query, so no server is asked.
const std::string Unresolvable = std::string(64, 'a') + ".invalid";

struct LookupLog
{
    std::vector<uint16_t> Codes;
    void Attach(TCustomWSocket &S)
    {
        S.OnDnsLookupDone = [this](TCustomWSocket *, uint16_t E) { Codes.push_back(E); };
    }
};

} // namespace

TEST(WSocketLookup, DottedAddressCompletesInsideTheCall)
{
    TWSocket S;
    LookupLog Log;
    Log.Attach(S);
    S.DnsLookup("10.1.2.3");
    EXPECT_EQ(Log.Codes, std::vector<uint16_t>{0});
    EXPECT_EQ(S.DnsResult(), "10.1.2.3");
    EXPECT_TRUE(S.DnsResultList().empty());
}

TEST(WSocketLookup, NameCompletesFromTheLoopWithItsAddresses)
{
    TWSocket S;
    LookupLog Log;
    Log.Attach(S);
    S.DnsLookup("localhost");
    EXPECT_TRUE(Log.Codes.empty());
    ASSERT_TRUE(RunUntil([&] { return !Log.Codes.empty(); }));
    EXPECT_EQ(Log.Codes, std::vector<uint16_t>{0});
    EXPECT_EQ(S.DnsResult(), "127.0.0.1");
    ASSERT_FALSE(S.DnsResultList().empty());
    EXPECT_EQ(S.DnsResultList().front(), "127.0.0.1");
}

TEST(WSocketLookup, UnresolvableNameEndsWithHostNotFound)
{
    TWSocket S;
    LookupLog Log;
    Log.Attach(S);
    S.DnsLookup(Unresolvable);
    ASSERT_TRUE(RunUntil([&] { return !Log.Codes.empty(); }));
    EXPECT_EQ(Log.Codes, std::vector<uint16_t>{11001});
    EXPECT_EQ(S.DnsResult(), "");
    EXPECT_EQ(SocketErrorText(Log.Codes.front()), "Host not found");
}

TEST(WSocketLookup, CancelledAndReplacedLookups)
{
    TWSocket S;
    LookupLog Log;
    Log.Attach(S);
    S.CancelDnsLookup(); // nothing pending: nothing happens
    EXPECT_TRUE(Log.Codes.empty());
    S.DnsLookup("localhost");
    S.CancelDnsLookup();
    EXPECT_EQ(Log.Codes, std::vector<uint16_t>{10004});
    RunFor(300);
    EXPECT_EQ(Log.Codes, std::vector<uint16_t>{10004});

    // The first lookup is replaced silently; only the second completes.
    Log.Codes.clear();
    S.DnsLookup(Unresolvable);
    S.DnsLookup("localhost");
    ASSERT_TRUE(RunUntil([&] { return !Log.Codes.empty(); }));
    RunFor(300);
    EXPECT_EQ(Log.Codes, std::vector<uint16_t>{0});
    EXPECT_EQ(S.DnsResult(), "127.0.0.1");
}

TEST(WSocketLookup, EmptyOrOverlongHostIsRefused)
{
    TWSocket S;
    LookupLog Log;
    Log.Attach(S);
    EXPECT_THROW(S.DnsLookup(""), ESocketException);
    EXPECT_THROW(S.DnsLookup(std::string(257, 'h')), ESocketException);
    EXPECT_TRUE(Log.Codes.empty());
    int Errors = 0;
    S.OnError = [&](TCustomWSocket *) { ++Errors; };
    S.DnsLookup("");
    S.DnsLookup(std::string(1000, 'h'));
    EXPECT_EQ(Errors, 2);
    EXPECT_EQ(Log.Codes, (std::vector<uint16_t>{10022, 10022}));
}

TEST(SocketErrors, SystemCodesBecomeWinSockNumbersByMeaning)
{
    EXPECT_EQ(WinSockErrorFromErrno(EAGAIN), WSAEWOULDBLOCK);
    EXPECT_EQ(WinSockErrorFromErrno(EINPROGRESS), WSAEWOULDBLOCK);
    EXPECT_EQ(WinSockErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(WinSockErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(WinSockErrorFromErrno(EPIPE), 10058);
    EXPECT_EQ(WinSockErrorFromErrno(EADDRINUSE), 10048);
    EXPECT_EQ(WinSockErrorFromErrno(EHOSTUNREACH), 10065);
    EXPECT_EQ(WinSockErrorFromResolver(EAI_NONAME), WSAHOST_NOT_FOUND);
    EXPECT_EQ(WinSockErrorFromResolver(EAI_AGAIN), WSATRY_AGAIN);
    EXPECT_EQ(WinSockErrorFromResolver(EAI_FAIL), WSANO_RECOVERY);
    EXPECT_EQ(SocketErrorText(10058), "Can't send after socket shutdown");
    EXPECT_EQ(SocketErrorText(0), "No Error");
    EXPECT_EQ(SocketErrorText(10000), "Not a WinSock error");
    EXPECT_EQ(SocketErrorText(-1), "Not a WinSock error");
}

} // namespace tarn
