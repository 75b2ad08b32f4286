// TCustomWSocket: lifetime, properties, connection operations, names and error reporting.
// Notifications, receiving, sending and the blocking waits live in wsocket_io.cpp.

#include "net/wsocket.h"

#include "net/host_lookup.h"
#include "net/wait.h"
#include "support/text.h"

#include <QSocketNotifier>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <fcntl.h>
#include <netdb.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarn {

namespace {

// Process-wide: the live socket objects. The socket library counts as started while there is
// one; a single counter keeps the two from disagreeing when threads make and destroy sockets.
std::atomic<int> SocketObjectCount{0};

// The longest host text that is resolved, and the longest service or protocol name.
constexpr size_t MaxHostText = 256;
constexpr size_t MaxServiceName = 31;

bool StartsWithDigit(const std::string &Text)
{
    return !Text.empty() && Text[0] >= '0' && Text[0] <= '9';
}

} // namespace

TCustomWSocket::TCustomWSocket(QObject *Owner) : QObject(Owner)
{
    // An owner being destroyed tears its children down after it has announced it: from then on
    // this socket fires no close or lookup events.
    if (Owner)
        connect(Owner, &QObject::destroyed, this, [this] { FDestroying = true; });
    FRelay = std::make_shared<TLookupRelay>(this);
    ResetSocket();
    // Linux needs no start-up for its sockets: the count only records that the layer is in use.
    SocketObjectCount.fetch_add(1);
}

TCustomWSocket::~TCustomWSocket()
{
    // A destructor must not throw: a failure of the last close is dropped here.
    try {
        CancelDnsLookup();
        if (FState != wsClosed)
            Close();
    } catch (...) {
    }
    FRelay->Detach();
    AbandonHandle();
    SocketObjectCount.fetch_sub(1);
}

void TCustomWSocket::Destroying()
{
    FDestroying = true;
}

bool TCustomWSocket::SocketLibraryStarted()
{
    return SocketObjectCount.load() > 0;
}

int TCustomWSocket::LiveSocketCount()
{
    return SocketObjectCount.load();
}

TCustomWait *TCustomWSocket::WaitCtrl() const
{
    return FWaitGuard ? FWaitCtrl : nullptr;
}

void TCustomWSocket::SetWaitCtrl(TCustomWait *Value)
{
    FWaitCtrl = Value;
    FWaitGuard = Value ? Value->LifeGuard() : nullptr;
}

void TCustomWSocket::ResetSocket()
{
    FSockAddr = sockaddr_in{};
    FSockAddr.sin_family = AF_INET;
    FPortAssigned = false;
    FAddrAssigned = false;
    FProtoAssigned = true;
    FProto = IPPROTO_TCP;
    FProtoStr = "tcp";
    FType = SOCK_STREAM;
    FHSocket = INVALID_SOCKET;
    FState = wsClosed;
    FWaitedState = wsInvalidState;
    FAllSent = true;
    // The line collected so far stays for ReadLine to return: a last line that the peer's close
    // cut short is data too. The next ReadLine starts a new line anyway.
    FReadLineActive = false;
    FPaused = false;
    FReadCount = 0;
    FCloseNotified = false;
    FlushTimeout = 60;
    FSelectMask = 0;
    FConnectPending = false;
    FWritePending = false;
    FCloseDelivered = false;
}

bool TCustomWSocket::ChangeState(TSocketState NewState)
{
    const TSocketState oldState = FState;
    FState = NewState;
    // A wait for a connection also ends when the attempt fails.
    if (NewState == FWaitedState || (FWaitedState == wsConnected && NewState == wsClosed))
        StopWaitCtrl();
    // Torn down with its owner, the socket calls into nothing: the handlers' objects may be gone.
    if (FDestroying)
        return true;
    const QPointer<TCustomWSocket> self(this);
    TriggerChangeState(oldState, NewState);
    return !self.isNull();
}

void TCustomWSocket::StopWaitCtrl()
{
    if (!MultiThreaded && WaitCtrl())
        WaitCtrl()->Stop();
}

// ---- Errors --------------------------------------------------------------------------------

void TCustomWSocket::SocketError(const std::string &FuncName)
{
    const int code = WSAGetLastError();
    const std::string text = "Error " + std::to_string(code) + " in function " + FuncName + "\r\n" +
                             SocketErrorText(code);
    if (code == WSAECONNRESET || code == WSAENOTCONN) {
        AbandonHandle();
        if (!ChangeState(wsClosed))
            return;
    }
    RaiseException(text);
}

void TCustomWSocket::RaiseException(const std::string &Msg)
{
    if (OnError) {
        TriggerError();
        return;
    }
    throw ESocketException(Msg);
}

void TCustomWSocket::RaiseExceptionFmt(const char *Fmt, ...)
{
    va_list args;
    va_start(args, Fmt);
    va_list copy;
    va_copy(copy, args);
    const int len = std::vsnprintf(nullptr, 0, Fmt, copy);
    va_end(copy);
    std::string text(static_cast<size_t>(std::max(len, 0)), '\0');
    std::vsnprintf(text.data(), text.size() + 1, Fmt, args);
    va_end(args);
    RaiseException(text);
}

// ---- Triggers ------------------------------------------------------------------------------

// Each trigger calls a copy of its handler: a handler that replaces or clears itself, or
// destroys the socket, must not destroy the closure that is running.

bool TCustomWSocket::TriggerDataAvailable(uint16_t Error)
{
    const TDataAvailable handler = OnDataAvailable;
    if (!handler)
        return false;
    handler(this, Error);
    return true;
}

void TCustomWSocket::TriggerSessionAvailable(uint16_t Error)
{
    if (const TSessionAvailable handler = OnSessionAvailable)
        handler(this, Error);
}

void TCustomWSocket::TriggerSessionConnected(uint16_t Error)
{
    if (const TSessionConnected handler = OnSessionConnected)
        handler(this, Error);
}

void TCustomWSocket::TriggerSessionClosed(uint16_t Error)
{
    if (const TSessionClosed handler = OnSessionClosed)
        handler(this, Error);
}

void TCustomWSocket::TriggerDataSent(uint16_t Error)
{
    if (const TDataSent handler = OnDataSent)
        handler(this, Error);
}

void TCustomWSocket::TriggerChangeState(TSocketState OldState, TSocketState NewState)
{
    if (const TChangeState handler = OnChangeState)
        handler(this, OldState, NewState);
}

void TCustomWSocket::TriggerDnsLookupDone(uint16_t Error)
{
    if (const TDnsLookupDone handler = OnDnsLookupDone)
        handler(this, Error);
}

void TCustomWSocket::TriggerError()
{
    if (const TSocketNotify handler = OnError)
        handler(this);
}

bool TCustomWSocket::TimeValueIsSet(const TTimeValue &Tv)
{
    return Tv.Sec != 0 || Tv.USec != 0;
}

void TCustomWSocket::TimeValueClear(TTimeValue &Tv)
{
    Tv = TTimeValue{};
}

bool TCustomWSocket::TimeValueCompare(const TTimeValue &A, const TTimeValue &B, bool WantEqual)
{
    const bool equal = A.Sec == B.Sec && A.USec == B.USec;
    return equal == WantEqual;
}

// ---- Addr, Port, Proto ---------------------------------------------------------------------

uint32_t TCustomWSocket::ResolveHost(const std::string &Host)
{
    const std::string text = Trim(Host, tsBlanks);
    if (text.size() <= MaxHostText) {
        const in_addr_t dotted = inet_addr(text.c_str());
        if (dotted != INADDR_NONE || text == "255.255.255.255")
            return dotted;
        if (const auto found = LookupHostAddresses(text); !found.Addresses.empty())
            return found.Addresses.front();
    }
    // Not interceptable by OnError: the caller gets no usable address without it.
    char msg[MaxHostText + 64];
    std::snprintf(msg, sizeof msg, "SetAddr: Cannot convert host address '%s'",
                  Host.substr(0, MaxHostText).c_str());
    throw ESocketException(msg);
}

void TCustomWSocket::SetAddr(const std::string &Value)
{
    if (FAddrAssigned && Value == FAddrStr)
        return;
    FAddrStr = Value;
    if (FState != wsClosed) {
        RaiseException("Cannot change Addr if not closed");
        return;
    }
    FAddrAssigned = false;
    FSockAddr.sin_addr.s_addr = ResolveHost(Value);
    FAddrAssigned = true;
}

void TCustomWSocket::SetPort(const std::string &Value)
{
    if (FPortAssigned && Value == FPortStr)
        return;
    FPortStr = Value;
    if (FState != wsClosed) {
        RaiseException("Cannot change Port if not closed");
        return;
    }
    FPortAssigned = true;
    const std::string text = Trim(Value, tsBlanks);
    if (StartsWithDigit(text)) {
        FSockAddr.sin_port = htons(static_cast<uint16_t>(ParseLeadingNumber(text) & 0xFFFF));
        return;
    }
    // An empty text or an over-long service name is refused before any lookup.
    int code = WSAEINVAL;
    if (!text.empty() && text.size() <= MaxServiceName) {
        const std::string protoName = Trim(FProtoStr, tsBlanks);
        servent entry{};
        servent *result = nullptr;
        char work[1024];
        getservbyname_r(text.c_str(), protoName.empty() ? nullptr : protoName.c_str(), &entry, work,
                        sizeof work, &result);
        if (result) {
            FSockAddr.sin_port = static_cast<in_port_t>(result->s_port);
            return;
        }
        code = WSANO_DATA;
    }
    FPortAssigned = false;
    WSASetLastError(code);
    SocketError("SetPort: Cannot convert port '" + text + "'");
}

void TCustomWSocket::SetProto(const std::string &Value)
{
    if (FProtoAssigned && Value == FProtoStr)
        return;
    FProtoStr = Value;
    if (FState != wsClosed) {
        RaiseException("Cannot change Proto if not closed");
        return;
    }
    const std::string text = Trim(Value, tsBlanks);
    if (text == "not found")
        return;
    FProtoAssigned = true;
    int code = 0;
    if (StartsWithDigit(text)) {
        FProto = ParseLeadingNumber(text);
    } else if (text.empty() || text.size() > MaxServiceName) {
        code = WSAEINVAL;
    } else {
        protoent entry{};
        protoent *result = nullptr;
        char work[1024];
        getprotobyname_r(text.c_str(), &entry, work, sizeof work, &result);
        if (result)
            FProto = result->p_proto;
        // A system without a protocols database still knows the two the layer needs.
        else if (text == "tcp")
            FProto = IPPROTO_TCP;
        else if (text == "udp")
            FProto = IPPROTO_UDP;
        else
            code = WSANO_DATA;
    }
    if (code != 0) {
        FProtoAssigned = false;
        WSASetLastError(code);
        SocketError("SetProto: Cannot convert protocol '" + text + "'");
        return;
    }
    FType = FProto == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
}

TSocketSendFlags TCustomWSocket::SendFlags()
{
    if (FSendFlags == 0)
        return wsSendNormal;
    if (FSendFlags == MSG_OOB)
        return wsSendUrgent;
    RaiseException("Invalid internal SendFlags");
    return wsSendNormal;
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags Value)
{
    switch (Value) {
    case wsSendNormal:
        FSendFlags = 0;
        break;
    case wsSendUrgent:
        FSendFlags = MSG_OOB;
        break;
    default:
        RaiseException("Invalid SendFlags");
    }
}

// ---- Connection operations -----------------------------------------------------------------

void TCustomWSocket::AdoptHandle(TSocket NewHandle)
{
    AbandonHandle();
    FHSocket = NewHandle;
    ++FSerial;
    FCloseDelivered = false;
    FReadNotifier = std::make_unique<QSocketNotifier>(NewHandle, QSocketNotifier::Read);
    FReadNotifier->setEnabled(false);
    connect(FReadNotifier.get(), &QSocketNotifier::activated, this, [this] { OnReadReady(); });
    FWriteNotifier = std::make_unique<QSocketNotifier>(NewHandle, QSocketNotifier::Write);
    FWriteNotifier->setEnabled(false);
    connect(FWriteNotifier.get(), &QSocketNotifier::activated, this, [this] { OnWriteReady(); });
}

int TCustomWSocket::AbandonHandle()
{
    RetireNotifiers();
    TlsRelease();
    if (FHSocket == INVALID_SOCKET)
        return 0;
    const TSocket old = FHSocket;
    FHSocket = INVALID_SOCKET;
    ++FSerial;
    DropQueuedBytes();
    return ::close(old) == 0 ? 0 : WSASetLastErrorFromErrno();
}

void TCustomWSocket::DropQueuedBytes()
{
    // What the last connection left unsent must never go out on the next one.
    while (FBufList.size() > 1)
        FBufList.pop_back();
    if (!FBufList.empty())
        FBufList.front()->Remove(FBufList.front()->WritePos());
    FAllSent = true;
}

void TCustomWSocket::Connect()
{
    if (FHSocket != INVALID_SOCKET && FState != wsClosed) {
        RaiseException("Connect: Socket already in use");
        return;
    }
    if (!FPortAssigned) {
        RaiseException("Connect: No Port Specified");
        return;
    }
    if (!FAddrAssigned) {
        RaiseException("Connect: No IP Address Specified");
        return;
    }
    if (!FProtoAssigned) {
        RaiseException("Connect: No Protocol Specified");
        return;
    }
    const TSocket handle = ::socket(AF_INET, FType | SOCK_NONBLOCK | SOCK_CLOEXEC, FProto);
    if (handle < 0) {
        WSASetLastErrorFromErrno();
        SocketError("Connect (socket)");
        return;
    }
    AdoptHandle(handle);
    if (!ChangeState(wsOpened))
        return;

    const auto setOption = [this](int Option, const void *Value, socklen_t Len, const char *Name) {
        if (::setsockopt(FHSocket, SOL_SOCKET, Option, Value, Len) == 0)
            return true;
        WSASetLastErrorFromErrno();
        SocketError(Name);
        return false;
    };
    if (FType == SOCK_DGRAM) {
        BindSocket();
        const int on = 1;
        if (FSockAddr.sin_addr.s_addr == INADDR_BROADCAST &&
            !setOption(SO_BROADCAST, &on, sizeof on, "setsockopt(SO_BROADCAST)"))
            return;
    } else {
        // Linger on with time 0: closing resets the connection at once instead of lingering.
        const linger linger{1, 0};
        const int on = 1;
        if (!setOption(SO_LINGER, &linger, sizeof linger, "setsockopt(SO_LINGER)") ||
            !setOption(SO_KEEPALIVE, &on, sizeof on, "setsockopt(SO_KEEPALIVE)") ||
            !setOption(SO_REUSEADDR, &on, sizeof on, "setsockopt(SO_REUSEADDR)"))
            return;
    }
    if (FType != SOCK_DGRAM)
        FConnectPending = true;
    if (AsyncSelect(FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE) != 0) {
        SocketError("WSAAsyncSelect");
        return;
    }
    if (FType == SOCK_DGRAM) {
        if (ChangeState(wsConnected))
            TriggerSessionConnected(0);
        return;
    }
    if (::connect(FHSocket, reinterpret_cast<const sockaddr *>(&FSockAddr), sizeof FSockAddr) ==
        0) {
        ChangeState(wsConnecting);
        return;
    }
    const int code = WSASetLastErrorFromErrno();
    if (code == WSAEWOULDBLOCK) {
        ChangeState(wsConnecting);
        return;
    }
    // Loopback refuses inside connect() itself; the caller still learns the outcome the
    // asynchronous way, through FD_CONNECT, as for any other host.
    if (code == WSAECONNREFUSED || code == WSAENETUNREACH || code == WSAEHOSTUNREACH ||
        code == WSAETIMEDOUT) {
        FConnectPending = false;
        FWriteNotifier->setEnabled(false);
        PostNotification(FD_CONNECT, static_cast<uint16_t>(code));
        ChangeState(wsConnecting);
        return;
    }
    FLastError = code;
    SocketError("Connect");
}

void TCustomWSocket::BindSocket()
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (::bind(FHSocket, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        RaiseExceptionFmt("winsock.bind failed, error #%d", WSASetLastErrorFromErrno());
        return;
    }
    socklen_t len = sizeof local;
    if (::getsockname(FHSocket, reinterpret_cast<sockaddr *>(&local), &len) != 0)
        RaiseExceptionFmt("winsock.getsockname failed, error #%d", WSASetLastErrorFromErrno());
}

void TCustomWSocket::Close()
{
    CloseSocket(true);
}

void TCustomWSocket::Abort()
{
    CloseSocket(false);
}

void TCustomWSocket::CloseSocket(bool WithShutdown)
{
    if (FHSocket == INVALID_SOCKET) {
        if (FState != wsClosed)
            ResetAndClose(false);
        return;
    }
    if (FState == wsClosed)
        return;
    if (WithShutdown)
        Shutdown(SHUT_RDWR);
    const int code = AbandonHandle();
    if (code != 0) {
        FLastError = code;
        if (code == WSAEWOULDBLOCK) {
            ProcessMessages();
        } else {
            SocketError("Disconnect (closesocket)");
            return;
        }
    }
    ResetAndClose(!FDestroying && !FCloseNotified && OnSessionClosed);
}

void TCustomWSocket::ResetAndClose(bool NotifyClosed)
{
    // The object is reset before the events: a handler may destroy the socket or start its
    // next connection, and nothing here touches the socket after them. The state changes with
    // the event, and a running Wait clears its wanted state itself.
    const TSocketState state = FState;
    const TSocketState waited = FWaitedState;
    ResetSocket();
    FState = state;
    FWaitedState = waited;
    if (ChangeState(wsClosed) && NotifyClosed)
        TriggerSessionClosed(0);
}

int TCustomWSocket::Listen()
{
    const auto refuse = [this](const char *Msg) {
        WSASetLastError(WSAEINVAL);
        SocketError(Msg);
        return -1;
    };
    if (!FPortAssigned)
        return refuse("listen: port not assigned");
    if (!FProtoAssigned)
        return refuse("listen: protocol not assigned");
    if (!FAddrAssigned)
        return refuse("listen: address not assigned");

    const TSocket handle = ::socket(AF_INET, FType | SOCK_NONBLOCK | SOCK_CLOEXEC, FProto);
    if (handle < 0) {
        WSASetLastErrorFromErrno();
        SocketError("socket");
        return -1;
    }
    if (::bind(handle, reinterpret_cast<const sockaddr *>(&FSockAddr), sizeof FSockAddr) != 0) {
        WSASetLastErrorFromErrno();
        // Closed before the report, which may raise: the handle must not leak either way.
        ::close(handle);
        SocketError("Bind");
        return -1;
    }
    AdoptHandle(handle);
    if (!ChangeState(wsBound))
        return 0;
    if (FType != SOCK_DGRAM && ::listen(FHSocket, 5) != 0) {
        WSASetLastErrorFromErrno();
        SocketError("Listen");
        return -1;
    }
    // Notifications are on before the events, which may close or destroy the socket.
    if (AsyncSelect(FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE) != 0) {
        SocketError("WSAASyncSelect");
        return -1;
    }
    if (FType == SOCK_DGRAM) {
        if (ChangeState(wsListening) && ChangeState(wsConnected))
            TriggerSessionConnected(0);
    } else {
        ChangeState(wsListening);
    }
    return 0;
}

TSocket TCustomWSocket::Accept()
{
    if (FState != wsListening) {
        WSASetLastError(WSAEINVAL);
        SocketError("not a listening socket");
        return INVALID_SOCKET;
    }
    socklen_t len = sizeof FSockAddr;
    const TSocket newHandle = ::accept4(FHSocket, reinterpret_cast<sockaddr *>(&FSockAddr), &len,
                                        SOCK_NONBLOCK | SOCK_CLOEXEC);
    const int code = newHandle < 0 ? WSASetLastErrorFromErrno() : 0;
    ReenableAccept();
    if (newHandle < 0) {
        WSASetLastError(code);
        SocketError("Accept");
        return INVALID_SOCKET;
    }
    return newHandle;
}

void TCustomWSocket::Dup(TSocket NewHSocket)
{
    if (NewHSocket == 0 || NewHSocket == INVALID_SOCKET) {
        WSASetLastError(WSAEINVAL);
        SocketError("Dup");
        return;
    }
    if (FState != wsClosed) {
        if (AbandonHandle() != 0) {
            SocketError("Dup (closesocket)");
            return;
        }
        if (!ChangeState(wsClosed)) {
            // The handler destroyed the socket: the new handle belongs to nobody now.
            ::close(NewHSocket);
            return;
        }
    }
    // A handle from elsewhere may be blocking; the layer never waits on the network.
    const int flags = ::fcntl(NewHSocket, F_GETFL);
    if (flags >= 0)
        ::fcntl(NewHSocket, F_SETFL, flags | O_NONBLOCK);
    AdoptHandle(NewHSocket);
    if (AsyncSelect(FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE) != 0) {
        SocketError("WSAAsyncSelect");
        return;
    }
    ChangeState(wsConnected);
}

void TCustomWSocket::Shutdown(int How)
{
    if (How != 0 && !TlsShutdown() && FHSocket != INVALID_SOCKET) {
        FTlsShutdownPending = How;
        return;
    }
    if (FHSocket != INVALID_SOCKET)
        ::shutdown(FHSocket, How);
}

int TCustomWSocket::Pause()
{
    FPaused = true;
    return AsyncSelect(0);
}

int TCustomWSocket::Resume()
{
    FPaused = false;
    return AsyncSelect(FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE);
}

// ---- Names ---------------------------------------------------------------------------------

std::string TCustomWSocket::GetPeerAddr()
{
    if (FState != wsConnected)
        return "error";
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    if (::getpeername(FHSocket, reinterpret_cast<sockaddr *>(&peer), &len) != 0) {
        WSASetLastErrorFromErrno();
        SocketError("GetPeerName");
        return "error";
    }
    char text[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
}

int TCustomWSocket::GetPeerName(sockaddr_in &Name, int &NameLen)
{
    if (FState != wsConnected)
        return -1;
    socklen_t len = static_cast<socklen_t>(std::max(NameLen, 0));
    const int result = ::getpeername(FHSocket, reinterpret_cast<sockaddr *>(&Name), &len);
    if (result != 0)
        WSASetLastErrorFromErrno();
    NameLen = static_cast<int>(len);
    return result;
}

std::string TCustomWSocket::GetLocalPort()
{
    if (FState != wsBound && FState != wsConnected && FState != wsListening)
        return "error";
    sockaddr_in local{};
    int len = sizeof local;
    if (GetSockName(local, len) != 0)
        return "error";
    return std::to_string(ntohs(local.sin_port));
}

int TCustomWSocket::GetSockName(sockaddr_in &Name, int &NameLen)
{
    socklen_t len = static_cast<socklen_t>(std::max(NameLen, 0));
    const int result = ::getsockname(FHSocket, reinterpret_cast<sockaddr *>(&Name), &len);
    if (result != 0)
        WSASetLastErrorFromErrno();
    NameLen = static_cast<int>(len);
    return result;
}

void TCustomWSocket::DnsLookup(const std::string &HostName)
{
    if (HostName.empty() || HostName.size() > MaxHostText) {
        // Also an over-long name is refused here, before any buffer or resolver sees it.
        const QPointer<TCustomWSocket> self(this);
        RaiseException(HostName.empty() ? "DNS lookup: invalid host name."
                                        : "DNS lookup: invalid host name (too long).");
        if (self)
            TriggerDnsLookupDone(WSAEINVAL);
        return;
    }
    // A pending lookup is replaced silently: its result will no longer match FDnsTask.
    FDnsTask = 0;
    FDnsResult.clear();
    FDnsResultList.clear();
    const in_addr_t dotted = inet_addr(HostName.c_str());
    if (dotted != INADDR_NONE || HostName == "255.255.255.255") {
        in_addr addr{};
        addr.s_addr = dotted;
        char text[INET_ADDRSTRLEN];
        FDnsResult = inet_ntop(AF_INET, &addr, text, sizeof text);
        TriggerDnsLookupDone(0);
        return;
    }
    const uint64_t task = ++FLastDnsTask;
    if (!StartHostLookup(FRelay, task, HostName)) {
        RaiseExceptionFmt("%s: can't start DNS lookup, error #%d", HostName.c_str(),
                          WSAGetLastError());
        return;
    }
    FDnsTask = task;
}

void TCustomWSocket::HandleLookupDone(uint64_t Task, int Error,
                                      const std::vector<uint32_t> &Addresses)
{
    if (Task == 0 || Task != FDnsTask)
        return;
    FDnsTask = 0;
    if (Error == 0) {
        for (const uint32_t address : Addresses) {
            in_addr addr{};
            addr.s_addr = address;
            char text[INET_ADDRSTRLEN];
            FDnsResultList.emplace_back(inet_ntop(AF_INET, &addr, text, sizeof text));
        }
        if (FDnsResultList.empty())
            Error = WSANO_DATA;
        else
            FDnsResult = FDnsResultList.front();
    }
    TriggerDnsLookupDone(static_cast<uint16_t>(Error));
}

void TCustomWSocket::CancelDnsLookup()
{
    if (FDnsTask == 0)
        return;
    FDnsTask = 0;
    if (!FDestroying)
        TriggerDnsLookupDone(WSAEINTR);
}

} // namespace tarn
