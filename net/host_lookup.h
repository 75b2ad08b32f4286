#pragma once

// Host name resolution for the socket layer: a blocking IPv4 lookup, and the asynchronous one
// that runs it on a resolver thread and posts the outcome back to the socket's own thread.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarn {

class TCustomWSocket;

struct TLookupResult
{
    int Error = 0;                   // WinSock code, 0 on success
    std::vector<uint32_t> Addresses; // network byte order, in the resolver's order
};

// getaddrinfo for IPv4 addresses; blocks the calling thread.
TLookupResult LookupHostAddresses(const std::string &Host);

// The resolver thread's way back to its socket. The socket detaches it when it is destroyed;
// a result that arrives later is dropped.
struct TLookupRelay
{
    explicit TLookupRelay(TCustomWSocket *Socket) : FTarget(Socket) {}
    void Detach();
    // Called on the resolver thread: queues the completion on the socket's thread.
    void Deliver(uint64_t Task, TLookupResult Result);

private:
    std::mutex FLock;
    TCustomWSocket *FTarget;
};

// The most resolver threads that run at once; further lookups wait for a free one.
constexpr std::size_t MaxResolverThreads = 4;

// Starts the asynchronous lookup; false (with the last socket error set) when no thread can start.
bool StartHostLookup(const std::shared_ptr<TLookupRelay> &Relay, uint64_t Task,
                     const std::string &Host);

} // namespace tarn
