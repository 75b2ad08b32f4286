// TCustomWSocket: the notification machinery (WinSock's asynchronous select emulated on the
// owning thread's Qt event loop), receiving, line mode, sending and the blocking waits.

#include "net/event_pump.h"
#include "net/openssl_library.h"
#include "net/wait.h"
#include "net/wsocket.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QtGlobal>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>

namespace tarn {

namespace {

// Bytes waiting in the receive buffer, or -1 with the last socket error set.
int PendingBytes(TSocket Handle)
{
    int count = 0;
    if (::ioctl(Handle, FIONREAD, &count) != 0) {
        WSASetLastErrorFromErrno();
        return -1;
    }
    return count;
}

// A send failed because the connection is over. EPIPE is how Linux reports a send on a
// connection the peer has reset or closed, where WinSock reports 10054.
bool ConnectionGone(int Code)
{
    return Code == WSAECONNRESET || Code == WSAENOTSOCK || Code == WSAENOTCONN ||
           Code == WSAEINVAL || Code == WSAESHUTDOWN;
}

using TClock = std::chrono::steady_clock;

TClock::time_point DeadlineAfter(int Seconds)
{
    return TClock::now() + std::chrono::seconds(std::max(Seconds, 0));
}

} // namespace

// ---- Notification machinery ----------------------------------------------------------------
//
// Qt's socket notifiers are level-triggered; WinSock's notifications are not. A notifier is
// therefore switched off when its notice was not followed by the call that re-enables that kind
// of notice in WinSock (recv for FD_READ, accept for FD_ACCEPT, a would-block send for FD_WRITE),
// and switched on again by that call. A notifier's activation is delivered at once (it comes from
// the event loop already); what the socket tells itself (Send's FD_WRITE, a refusal inside connect)
// is posted, so that it arrives from the loop and never inside the call.

int TCustomWSocket::AsyncSelect(uint16_t Mask)
{
    if (FHSocket == INVALID_SOCKET || !FReadNotifier) {
        WSASetLastError(WSAENOTSOCK);
        return SOCKET_ERROR;
    }
    FSelectMask = Mask;
    const bool reading = (Mask & (FD_READ | FD_ACCEPT | FD_CLOSE)) != 0;
    FReadNotifier->setEnabled(reading && !FConnectPending && !FCloseDelivered);
    FWriteNotifier->setEnabled(FConnectPending || (FWritePending && (Mask & FD_WRITE)));
    return 0;
}

void TCustomWSocket::ReenableRead()
{
    FReadSinceNotice = true;
    if (FReadNotifier && !FPaused && !FCloseDelivered && !FConnectPending &&
        (FSelectMask & (FD_READ | FD_CLOSE)))
        FReadNotifier->setEnabled(true);
}

void TCustomWSocket::ReenableAccept()
{
    if (FReadNotifier && !FPaused && (FSelectMask & FD_ACCEPT))
        FReadNotifier->setEnabled(true);
}

void TCustomWSocket::OnReadReady()
{
    if (FState == wsListening) {
        FReadNotifier->setEnabled(false);
        DeliverNow(FD_ACCEPT, 0);
        return;
    }
    // POLLRDHUP tells that the peer has closed even while unread data is still queued, which is
    // when WinSock posts FD_CLOSE; the data goes out first (READ is handled before CLOSE).
    pollfd probe{FHSocket, POLLIN | POLLRDHUP, 0};
    ::poll(&probe, 1, 0);
    uint16_t events = 0;
    uint16_t error = 0;
    const bool closing =
        FType != SOCK_DGRAM && (probe.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
    // Readable means data unless the peer has closed: only then are the bytes counted, since a
    // stream at its end is readable too.
    if (FType == SOCK_DGRAM || (closing ? PendingBytes(FHSocket) > 0 : (probe.revents & POLLIN)))
        events |= FD_READ;
    if (closing) {
        events |= FD_CLOSE;
        FCloseDelivered = true;
        int soError = 0;
        socklen_t len = sizeof soError;
        if ((probe.revents & POLLERR) &&
            ::getsockopt(FHSocket, SOL_SOCKET, SO_ERROR, &soError, &len) == 0)
            error = static_cast<uint16_t>(WinSockErrorFromErrno(soError));
        // After the peer's TLS close_notify the stream is complete: a reset that our answering
        // close_notify provoked from a peer that had closed already means nothing.
        if (FTls && FTlsPeerClosed)
            error = 0;
    }
    if (events == 0)
        events = FD_READ;
    // The notifier stays on while the handlers read (switching it costs a wake-up of the loop
    // each time); a notice that nobody read from switches it off, or the loop would spin.
    QPointer<TCustomWSocket> self(this);
    const uint64_t serial = FSerial;
    FReadSinceNotice = false;
    DeliverNow(events, error);
    if (self && FSerial == serial && FReadNotifier && (!FReadSinceNotice || FCloseDelivered))
        FReadNotifier->setEnabled(false);
}

void TCustomWSocket::OnWriteReady()
{
    FWriteNotifier->setEnabled(false);
    if (FConnectPending) {
        FConnectPending = false;
        int soError = 0;
        socklen_t len = sizeof soError;
        ::getsockopt(FHSocket, SOL_SOCKET, SO_ERROR, &soError, &len);
        const auto error = static_cast<uint16_t>(WinSockErrorFromErrno(soError));
        // A connection that is up may be written to: FD_WRITE follows FD_CONNECT once.
        if (error == 0) {
            ReenableRead();
            DeliverNow(FD_CONNECT | FD_WRITE, 0);
        } else {
            DeliverNow(FD_CONNECT, error);
        }
        return;
    }
    FWritePending = false;
    DeliverNow(FD_WRITE, 0);
}

void TCustomWSocket::DeliverNow(uint16_t Events, uint16_t Error)
{
    // The handlers may close the socket or destroy it while its notifier is still emitting.
    QPointer<TCustomWSocket> self(this);
    ++FNotifierDepth;
    HandleNotification(FSerial, Events, Error);
    if (self)
        --FNotifierDepth;
}

void TCustomWSocket::RetireNotifiers()
{
    for (auto *notifier : {&FReadNotifier, &FWriteNotifier}) {
        if (!*notifier)
            continue;
        (*notifier)->setEnabled(false);
        // A notifier inside one of its own activations is deleted once that has returned.
        if (FNotifierDepth > 0) {
            (*notifier)->disconnect();
            notifier->release()->deleteLater();
        } else {
            notifier->reset();
        }
    }
}

void TCustomWSocket::PostNotification(uint16_t Events, uint16_t Error)
{
    QMetaObject::invokeMethod(
        this,
        [this, serial = FSerial, Events, Error] { HandleNotification(serial, Events, Error); },
        Qt::QueuedConnection);
}

void TCustomWSocket::HandleNotification(uint64_t Serial, uint16_t Events, uint16_t Error)
{
    // A notice for an earlier handle (the descriptor number may be reused) or while paused.
    if (Serial != FSerial || FHSocket == INVALID_SOCKET || FPaused)
        return;
    // Nothing may unwind into the event loop, which cannot carry exceptions.
    try {
        DispatchNotification(Events & FSelectMask, Error);
    } catch (const std::exception &e) {
        qWarning("TWSocket: exception in a socket event: %s", e.what());
    } catch (...) {
        qWarning("TWSocket: exception in a socket event");
    }
}

void TCustomWSocket::DispatchNotification(uint16_t Events, uint16_t Error)
{
    const QPointer<TCustomWSocket> self(this);
    const uint64_t serial = FSerial;
    // Each step may close the socket (or destroy it); the later bits then belong to nothing.
    const auto gone = [&] { return !self || FSerial != serial; };

    if (Events & FD_CONNECT) {
        if (!ChangeState(wsConnected))
            return;
        TriggerSessionConnected(Error);
        if (!self)
            return;
        if (Error != 0 && FState != wsClosed)
            Close();
        if (gone())
            return;
    }
    if (FTlsHandshaking) {
        // Every notice is the handshake's until it is done. The step that completes it may
        // have come with the first data, or with the peer's close: those go on to the owner.
        if (Events & (FD_READ | FD_WRITE | FD_CLOSE))
            TlsHandshakeStep();
        if (gone() || FTlsHandshaking || !FTls)
            return;
        Events &= FD_READ | FD_CLOSE;
    }
    if (Events & FD_READ) {
        ReceiveAvailable(Error);
        if (gone())
            return;
    }
    if (Events & FD_WRITE) {
        TryToSend();
        if (gone())
            return;
        if (FAllSent && OnDataSent)
            TriggerDataSent(Error);
        if (gone())
            return;
    }
    if (Events & FD_ACCEPT) {
        TriggerSessionAvailable(Error);
        if (gone())
            return;
    }
    if ((Events & FD_CLOSE) && FState != wsConnecting) {
        ReceiveAvailable(Error);
        if (gone())
            return;
        if (FReadLineActive) {
            FReadLineActive = false;
            StopWaitCtrl();
        }
        if (OnSessionClosed && !FCloseNotified) {
            FCloseNotified = true;
            TriggerSessionClosed(Error);
            if (gone())
                return;
        }
        if (FState != wsClosed)
            Close();
    }
}

// ---- Receiving -----------------------------------------------------------------------------

int TCustomWSocket::RecvRaw(void *Buffer, int Size, int Flags, sockaddr_in *From, int *FromLen)
{
    ssize_t result;
    if (FTls && !From) {
        result = TlsReceive(Buffer, Size); // sets the last error itself
    } else if (From) {
        socklen_t len = static_cast<socklen_t>(FromLen ? std::max(*FromLen, 0) : 0);
        result = ::recvfrom(FHSocket, Buffer, static_cast<size_t>(std::max(Size, 0)), Flags,
                            reinterpret_cast<sockaddr *>(From), &len);
        if (FromLen)
            *FromLen = static_cast<int>(len);
    } else {
        result = ::recv(FHSocket, Buffer, static_cast<size_t>(std::max(Size, 0)), Flags);
    }
    if (result < 0 && !FTls)
        WSASetLastErrorFromErrno();
    ++FRecvCalls;
    FLastRecvFilled = result >= Size && Size > 0;
    ReenableRead();
    return static_cast<int>(result);
}

int TCustomWSocket::Receive(void *Buffer, int BufferSize)
{
    const int result = RecvRaw(Buffer, BufferSize, 0, nullptr, nullptr);
    if (result < 0)
        FLastError = WSAGetLastError();
    else
        FReadCount += result;
    return result;
}

int TCustomWSocket::ReceiveFrom(void *Buffer, int BufferSize, sockaddr_in &From, int &FromLen)
{
    const int result = RecvRaw(Buffer, BufferSize, 0, &From, &FromLen);
    if (result < 0)
        FLastError = WSAGetLastError();
    else
        FReadCount += result;
    return result;
}

int32_t TCustomWSocket::RcvdCount()
{
    const int count = PendingBytes(FHSocket);
    if (count < 0) {
        SocketError("ioctlSocket");
        return -1;
    }
    return count;
}

void TCustomWSocket::ReceiveAvailable(uint16_t Error)
{
    QPointer<TCustomWSocket> self(this);
    for (;;) {
        FLastError = 0;
        const uint64_t callsBefore = FRecvCalls;
        const bool lineMode = FReadLineActive;
        try {
            if (lineMode)
                ReadLineStep();
            else if (!TriggerDataAvailable(Error))
                break;
        } catch (...) {
            // A handler's exception ends this round of reading and goes no further.
            break;
        }
        if (!self || FLastError != 0 || FHSocket == INVALID_SOCKET)
            break;
        // A handler that read nothing would be called again without end while the bytes wait;
        // the next FD_READ comes once it (or anyone) reads.
        if (!lineMode && FRecvCalls == callsBefore)
            break;
        // A read that did not fill its buffer emptied the system's: nothing waits now, and
        // whatever comes later brings a notice of its own.
        if (!lineMode && !FLastRecvFilled)
            break;
        const int waiting = WaitingBytes();
        if (waiting < 0) {
            FLastError = WSAGetLastError();
            break;
        }
        if (waiting == 0)
            break;
    }
}

int TCustomWSocket::WaitingBytes()
{
    const int count = PendingBytes(FHSocket);
    return count >= 0 && FTls && !FTlsHandshaking ? count + OpenSsl().SSL_pending(FTls) : count;
}

// ---- Line mode -----------------------------------------------------------------------------

void TCustomWSocket::ReadLineStep()
{
    // 254 characters make a line; the rest of a longer one starts the next line.
    constexpr size_t LineLimit = 254;
    for (;;) {
        if (FHSocket == INVALID_SOCKET) {
            FReadLineActive = false;
            StopWaitCtrl();
            return;
        }
        if (FState != wsConnected)
            return;
        const int waiting = PendingBytes(FHSocket);
        if (waiting < 0) {
            FReadLineActive = false;
            SocketError("ioctlSocket");
            return;
        }
        if (waiting == 0)
            return;
        char byte = 0;
        const int got = RecvRaw(&byte, 1, 0, nullptr, nullptr);
        if (got == 1) {
            ++FReadCount;
            bool endOfLine = byte == '\n';
            if (byte != '\n' && byte != '\r') {
                FLineBuffer.push_back(byte);
                if (FLineBuffer.size() >= LineLimit) {
                    endOfLine = true;
                    if (OnLineTooLong)
                        OnLineTooLong(this);
                }
            }
            if (endOfLine) {
                FReadLineActive = false;
                StopWaitCtrl();
                return;
            }
            continue;
        }
        const int code = got == 0 ? 0 : WSAGetLastError();
        if (code == WSAEWOULDBLOCK)
            continue;
        if (code == 0 || code == WSAECONNRESET) {
            FReadLineActive = false;
            StopWaitCtrl();
            Close();
            return;
        }
        SocketError("ReadLine");
        return;
    }
}

void TCustomWSocket::ReadLine(int Timeout, std::string &Buffer)
{
    if (!MultiThreaded && !WaitCtrl()) {
        RaiseException("No wait object assigned");
        return;
    }
    if (!FReadLineActive) {
        FLineBuffer.clear();
        FReadLineActive = true;
    }
    ReadLineStep();
    if (FReadLineActive) {
        if (MultiThreaded) {
            const auto deadline = DeadlineAfter(Timeout);
            TEventPump pump;
            while (FReadLineActive && TClock::now() < deadline)
                pump.Pass();
        } else {
            RunWaitCtrl(Timeout);
        }
    }
    Buffer = FLineBuffer;
}

// ---- Waits ---------------------------------------------------------------------------------

void TCustomWSocket::RunWaitCtrl(int Timeout)
{
    TCustomWait *ctrl = WaitCtrl();
    ctrl->Caption = std::to_string(Timeout);
    ctrl->SetVisible(true);
    ctrl->WaitModal();
    // Handlers run during the wait may have destroyed the control.
    if (TCustomWait *still = WaitCtrl())
        still->SetVisible(false);
}

void TCustomWSocket::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool TCustomWSocket::Wait(int Timeout, TSocketState WantedState)
{
    if (FState == WantedState)
        return true;
    FWaitedState = WantedState;
    struct TRestore
    {
        TCustomWSocket *Socket;
        ~TRestore() { Socket->FWaitedState = wsInvalidState; }
    } restore{this};
    if (MultiThreaded) {
        const auto deadline = DeadlineAfter(Timeout);
        TEventPump pump;
        while (FState != WantedState && TClock::now() < deadline)
            pump.Pass();
    } else if (WaitCtrl()) {
        RunWaitCtrl(Timeout);
    } else {
        WSASetLastError(WSANO_DATA);
        SocketError("TWSocket.Wait");
    }
    return FState == WantedState;
}

void TCustomWSocket::WaitForClose()
{
    TEventPump pump;
    while (FHSocket != INVALID_SOCKET && FState != wsClosed) {
        pump.Pass();
        if (FHSocket == INVALID_SOCKET)
            break;
        const int waiting = PendingBytes(FHSocket);
        if (waiting < 0)
            break;
        if (waiting > 0) {
            if (FReadLineActive)
                ReadLineStep();
            else
                TriggerDataAvailable(0);
        }
        if (FHSocket == INVALID_SOCKET)
            break;
        // The end of the connection shows as a peek that finds end of stream (or an error).
        char byte;
        const ssize_t probe = ::recv(FHSocket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (probe == 0) {
            FLastError = 0;
            break;
        }
        if (probe < 0 && WSASetLastErrorFromErrno() != WSAEWOULDBLOCK) {
            FLastError = WSAGetLastError();
            break;
        }
    }
}

// ---- Sending -------------------------------------------------------------------------------

int TCustomWSocket::Send(const void *Data, int Len)
{
    if (FState != wsConnected) {
        WSASetLastError(WSAENOTCONN);
        SocketError("Send");
        return -1;
    }
    FAllSent = false;
    if (Len <= 0)
        Len = 0;
    else
        AppendToSendBuffer(Data, Len);
    TryToSend();
    // OnDataSent must come from the event loop, never from inside Send.
    if (FAllSent && FHSocket != INVALID_SOCKET)
        PostNotification(FD_WRITE, 0);
    return Len;
}

int TCustomWSocket::SendDirect(const void *Data, int Len)
{
    if (FState != wsConnected) {
        WSASetLastError(WSAENOTCONN);
        SocketError("Send");
        return -1;
    }
    // Bytes queued by Send go out first.
    TryToSend();
    if (FHSocket == INVALID_SOCKET)
        return -1;
    if (!FAllSent || Len <= 0)
        return 0;
    if (FTls)
        return TlsSendDirect(Data, Len);
    ssize_t sent;
    do
        sent = ::send(FHSocket, Data, static_cast<size_t>(Len), FSendFlags | MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        const int code = WSASetLastErrorFromErrno();
        if (code == WSAEWOULDBLOCK) {
            WatchForWrite();
            return 0;
        }
        FLastError = code;
        if (ConnectionGone(code))
            Close();
        else
            SocketError("Send");
        return -1;
    }
    if (sent < Len)
        WatchForWrite(); // the system has no room for the rest now, and says when it has
    return static_cast<int>(sent);
}

int TCustomWSocket::SendStr(const std::string &Str)
{
    return Send(Str.data(), static_cast<int>(Str.size()));
}

void TCustomWSocket::AppendToSendBuffer(const void *Data, int Len)
{
    const char *bytes = static_cast<const char *>(Data);
    if (FBufList.empty())
        FBufList.push_back(std::make_unique<TBuffer>(FBufSize));
    while (Len > 0) {
        const int32_t written = FBufList.back()->Write(bytes, Len);
        bytes += written;
        Len -= written;
        if (Len > 0)
            FBufList.push_back(std::make_unique<TBuffer>(FBufSize));
    }
}

void TCustomWSocket::TryToSend()
{
    if (FHSocket == INVALID_SOCKET)
        return;
    if (FTls) {
        TlsSendQueued();
        return;
    }
    // An empty queue holds no unsent byte: without this a zero-length Send would leave AllSent
    // false for good, and Flush would never return.
    if (FBufList.empty()) {
        FAllSent = true;
        return;
    }
    for (;;) {
        while (FBufList.size() > 1 && FBufList.front()->WritePos() == FBufList.front()->ReadPos())
            FBufList.pop_front();
        int32_t len = 0;
        const char *bytes = FBufList.front()->Peek(len);
        if (len == 0) {
            FAllSent = true;
            return;
        }
        const int flags = FSendFlags | MSG_NOSIGNAL;
        size_t offered = static_cast<size_t>(len);
        ssize_t sent;
        if (FType == SOCK_DGRAM) {
            // One block, one datagram.
            sent = ::sendto(FHSocket, bytes, offered, flags,
                            reinterpret_cast<const sockaddr *>(&FSockAddr), sizeof FSockAddr);
        } else if (FSendFlags != 0) {
            sent = ::send(FHSocket, bytes, offered, flags);
        } else {
            // A stream takes the queued blocks in one gathering call, straight from the blocks:
            // the same bytes in the same order as block by block, with far fewer system calls.
            iovec parts[64];
            size_t count = 0;
            offered = 0;
            for (const auto &block : FBufList) {
                int32_t partLen = 0;
                const char *part = block->Peek(partLen);
                if (partLen == 0)
                    continue;
                parts[count++] = iovec{const_cast<char *>(part), static_cast<size_t>(partLen)};
                offered += static_cast<size_t>(partLen);
                if (count == std::size(parts))
                    break;
            }
            msghdr message{};
            message.msg_iov = parts;
            message.msg_iovlen = count;
            sent = ::sendmsg(FHSocket, &message, flags);
        }
        if (sent == 0)
            return;
        if (sent < 0) {
            const int code = WSASetLastErrorFromErrno();
            if (ConnectionGone(code)) {
                Close();
                return;
            }
            if (code == WSAEWOULDBLOCK) {
                WatchForWrite();
                return;
            }
            SocketError("TryToSend failed");
            return;
        }
        auto left = static_cast<int32_t>(sent);
        for (auto it = FBufList.begin(); it != FBufList.end() && left > 0; ++it)
            left -= (*it)->Remove(left);
        if (static_cast<size_t>(sent) < offered) {
            // The system took part: it has no room now, and says so when it has.
            WatchForWrite();
            return;
        }
    }
}

void TCustomWSocket::WatchForWrite()
{
    FWritePending = true;
    if (FWriteNotifier && !FPaused && (FSelectMask & FD_WRITE))
        FWriteNotifier->setEnabled(true);
}

void TCustomWSocket::Flush()
{
    TEventPump pump;
    if (MultiThreaded) {
        while (FHSocket != INVALID_SOCKET && !FAllSent) {
            TryToSend();
            pump.Pass();
        }
        return;
    }
    TCustomWait *ctrl = WaitCtrl();
    if (!ctrl) {
        RaiseException("No wait object assigned");
        return;
    }
    ctrl->Caption = std::to_string(FlushTimeout);
    ctrl->SetVisible(true);
    ctrl->Start();
    struct TFinish
    {
        TCustomWSocket *Socket;
        ~TFinish()
        {
            if (TCustomWait *still = Socket->WaitCtrl()) {
                still->Stop();
                still->SetVisible(false);
            }
        }
    } finish{this};
    while (WaitCtrl() && WaitCtrl()->Running() && FHSocket != INVALID_SOCKET && !FAllSent) {
        TryToSend();
        pump.Pass();
    }
}

} // namespace tarn
