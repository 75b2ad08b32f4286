// Asynchronous host lookups and the error codes they end with. Only names that never leave this
// machine are looked up: localhost (from the hosts file) and names the resolver rejects before
// asking any server.

#include "net/host_lookup.h"
#include "net/wsocket.h"
#include "tests/net/loopback_peer.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <netdb.h>
#include <string>
#include <vector>

namespace tarn {

namespace {

// A label longer than 63 characters cannot be put in a query, so no server is asked.
const std::string Unresolvable = std::string(64, 'a') + ".invalid";

struct TLookupLog
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
    TWSocket s;
    TLookupLog log;
    log.Attach(s);
    s.DnsLookup("10.1.2.3");
    EXPECT_EQ(log.Codes, std::vector<uint16_t>{0});
    EXPECT_EQ(s.DnsResult(), "10.1.2.3");
    EXPECT_TRUE(s.DnsResultList().empty());
}

TEST(WSocketLookup, NameCompletesFromTheLoopWithItsAddresses)
{
    TWSocket s;
    TLookupLog lookups;
    lookups.Attach(s);
    s.DnsLookup("localhost");
    EXPECT_TRUE(lookups.Codes.empty());
    ASSERT_TRUE(RunUntil([&] { return !lookups.Codes.empty(); }));
    EXPECT_EQ(lookups.Codes, std::vector<uint16_t>{0});
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
    ASSERT_FALSE(s.DnsResultList().empty());
    EXPECT_EQ(s.DnsResultList().front(), "127.0.0.1");
}

TEST(WSocketLookup, UnresolvableNameEndsWithHostNotFound)
{
    TWSocket s;
    TLookupLog lookups;
    lookups.Attach(s);
    s.DnsLookup(Unresolvable);
    ASSERT_TRUE(RunUntil([&] { return !lookups.Codes.empty(); }));
    EXPECT_EQ(lookups.Codes, std::vector<uint16_t>{11001});
    EXPECT_EQ(s.DnsResult(), "");
    EXPECT_EQ(SocketErrorText(lookups.Codes.front()), "Host not found");
}

TEST(WSocketLookup, CancelledAndReplacedLookups)
{
    TWSocket s;
    TLookupLog lookups;
    lookups.Attach(s);
    s.CancelDnsLookup(); // nothing pending: nothing happens
    EXPECT_TRUE(lookups.Codes.empty());
    s.DnsLookup("localhost");
    s.CancelDnsLookup();
    EXPECT_EQ(lookups.Codes, std::vector<uint16_t>{10004});
    RunFor(300);
    EXPECT_EQ(lookups.Codes, std::vector<uint16_t>{10004});

    // The first lookup is replaced silently; only the second completes.
    lookups.Codes.clear();
    s.DnsLookup(Unresolvable);
    s.DnsLookup("localhost");
    ASSERT_TRUE(RunUntil([&] { return !lookups.Codes.empty(); }));
    RunFor(300);
    EXPECT_EQ(lookups.Codes, std::vector<uint16_t>{0});
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
}

// Lookups share a bounded set of resolver threads: a burst queues instead of starting one
// thread each, and every lookup of the burst still completes.
TEST(WSocketLookup, ABurstOfLookupsSharesABoundedSetOfThreads)
{
    const auto threads = [] {
        const std::filesystem::directory_iterator tasks("/proc/self/task");
        return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
    };
    const std::size_t before = threads();
    std::vector<std::unique_ptr<TWSocket>> sockets;
    std::vector<uint16_t> codes;
    std::size_t peak = before;
    for (int i = 0; i < 64; ++i) {
        sockets.push_back(std::make_unique<TWSocket>());
        sockets.back()->OnDnsLookupDone = [&](TCustomWSocket *, uint16_t E) { codes.push_back(E); };
        sockets.back()->DnsLookup("localhost");
        if (i % 8 == 7)
            peak = std::max(peak, threads());
    }
    ASSERT_TRUE(RunUntil([&] { return codes.size() == sockets.size(); }));
    EXPECT_EQ(codes, std::vector<uint16_t>(sockets.size(), 0));
    EXPECT_LE(peak - before, MaxResolverThreads);
}

TEST(WSocketLookup, EmptyOrOverlongHostIsRefused)
{
    TWSocket s;
    TLookupLog log;
    log.Attach(s);
    EXPECT_THROW(s.DnsLookup(""), ESocketException);
    EXPECT_THROW(s.DnsLookup(std::string(257, 'h')), ESocketException);
    EXPECT_TRUE(log.Codes.empty());
    int errors = 0;
    s.OnError = [&](TCustomWSocket *) { ++errors; };
    s.DnsLookup("");
    s.DnsLookup(std::string(1000, 'h'));
    EXPECT_EQ(errors, 2);
    EXPECT_EQ(log.Codes, (std::vector<uint16_t>{10022, 10022}));
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
