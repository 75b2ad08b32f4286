#include "net/host_lookup.h"

#include "net/socket_error.h"
#include "net/wsocket.h"

#include <QMetaObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <netdb.h>
#include <system_error>
#include <thread>
#include <vector>

namespace tarn {

TLookupResult LookupHostAddresses(const std::string &Host)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    TLookupResult result;
    const int code = getaddrinfo(Host.c_str(), nullptr, &hints, &list);
    if (code != 0) {
        result.Error = WinSockErrorFromResolver(code);
        return result;
    }
    for (const addrinfo *entry = list; entry; entry = entry->ai_next) {
        const auto *address = reinterpret_cast<const sockaddr_in *>(entry->ai_addr);
        result.Addresses.push_back(address->sin_addr.s_addr);
    }
    freeaddrinfo(list);
    return result;
}

void TLookupRelay::Detach()
{
    std::lock_guard guard(FLock);
    FTarget = nullptr;
}

void TLookupRelay::Deliver(uint64_t Task, TLookupResult Result)
{
    // Held while posting: the socket cannot finish its destructor in between, and once it is
    // destroyed Qt discards whatever was already queued for it.
    std::lock_guard guard(FLock);
    if (!FTarget)
        return;
    TCustomWSocket *target = FTarget;
    QMetaObject::invokeMethod(
        target,
        [target, Task, result = std::move(Result)] {
            try {
                target->HandleLookupDone(Task, result.Error, result.Addresses);
            } catch (...) {
                // An exception must not unwind into the event loop.
            }
        },
        Qt::QueuedConnection);
}

namespace {

// The resolver threads: at most MaxResolverThreads, started as lookups need them and kept for
// the next ones. The pool lives until the program's exit, where it drops the lookups still
// waiting, lets the running ones finish and joins every thread, so none outlives the program.
class TResolverPool
{
public:
    ~TResolverPool()
    {
        {
            std::lock_guard guard(FLock);
            FStopping = true;
            FJobs.clear();
        }
        FWake.notify_all();
        for (std::thread &thread : FThreads)
            thread.join();
    }

    // Queues a lookup; false when no thread runs and none can be started.
    bool Submit(std::function<void()> Job)
    {
        std::lock_guard guard(FLock);
        if (FIdle == 0 && FThreads.size() < MaxResolverThreads) {
            try {
                FThreads.emplace_back([this] { Work(); });
            } catch (const std::system_error &) {
                if (FThreads.empty())
                    return false;
            }
        }
        FJobs.push_back(std::move(Job));
        FWake.notify_one();
        return true;
    }

private:
    void Work()
    {
        std::unique_lock lock(FLock);
        for (;;) {
            ++FIdle;
            FWake.wait(lock, [this] { return FStopping || !FJobs.empty(); });
            --FIdle;
            if (FStopping)
                return;
            std::function<void()> job = std::move(FJobs.front());
            FJobs.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex FLock;
    std::condition_variable FWake;
    std::deque<std::function<void()>> FJobs;
    std::vector<std::thread> FThreads;
    std::size_t FIdle = 0;
    bool FStopping = false;
};

TResolverPool &ResolverPool()
{
    static TResolverPool pool;
    return pool;
}

} // namespace

bool StartHostLookup(const std::shared_ptr<TLookupRelay> &Relay, uint64_t Task,
                     const std::string &Host)
{
    try {
        if (ResolverPool().Submit(
                [Relay, Task, Host] { Relay->Deliver(Task, LookupHostAddresses(Host)); }))
            return true;
    } catch (const std::bad_alloc &) {
    }
    WSASetLastError(WSAENOBUFS);
    return false;
}

} // namespace tarn
