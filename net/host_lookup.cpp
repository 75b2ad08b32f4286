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
