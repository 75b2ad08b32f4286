#include "net/host_lookup.h"

#include "net/socket_error.h"
#include "net/wsocket.h"

#include <QMetaObject>
#include <netdb.h>
#include <system_error>
#include <thread>

namespace tarn {

TLookupResult LookupHostAddresses(const std::string &Host)
{
    addrinfo Hints{};
    Hints.ai_family = AF_INET;
    Hints.ai_socktype = SOCK_STREAM;
    addrinfo *List = nullptr;
    TLookupResult Result;
    const int Code = getaddrinfo(Host.c_str(), nullptr, &Hints, &List);
    if (Code != 0) {
        Result.Error = WinSockErrorFromResolver(Code);
        return Result;
    }
    for (const addrinfo *Entry = List; Entry; Entry = Entry->ai_next) {
        const auto *Address = reinterpret_cast<const sockaddr_in *>(Entry->ai_addr);
        Result.Addresses.push_back(Address->sin_addr.s_addr);
    }
    freeaddrinfo(List);
    return Result;
}

void TLookupRelay::Detach()
{
    std::lock_guard Guard(FLock);
    FTarget = nullptr;
}

void TLookupRelay::Deliver(uint64_t Task, TLookupResult Result)
{
    // Held while posting: the socket cannot finish its destructor in between, and once it is
    // destroyed Qt discards whatever was already queued for it.
    std::lock_guard Guard(FLock);
    if (!FTarget)
        return;
    TCustomWSocket *Target = FTarget;
    QMetaObject::invokeMethod(
        Target,
        [Target, Task, Result = std::move(Result)] {
            try {
                Target->HandleLookupDone(Task, Result.Error, Result.Addresses);
            } catch (...) {
                // An exception must not unwind into the event loop.
            }
        },
        Qt::QueuedConnection);
}

bool StartHostLookup(const std::shared_ptr<TLookupRelay> &Relay, uint64_t Task,
                     const std::string &Host)
{
    try {
        std::thread([Relay, Task, Host] {
            Relay->Deliver(Task, LookupHostAddresses(Host));
        }).detach();
    } catch (const std::system_error &) {
        WSASetLastError(WSAENOBUFS);
        return false;
    }
    return true;
}

} // namespace tarn
