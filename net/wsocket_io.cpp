// TCustomWSocket: the notification machinery (WinSock's asynchronous select emulated on the
// owning thread's Qt event loop), receiving, line mode, sending and the blocking waits.

#include "net/event_pump.h"
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
    int Count = 0;
    if (::ioctl(Handle, FIONREAD, &Count) != 0) {
        WSASetLastErrorFromErrno();
        return -1;
    }
    return Count;
}

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineAfter(int Seconds)
{
    return Clock::now() + std::chrono::seconds(std::max(Seconds, 0));
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
    const bool Reading = (Mask & (FD_READ | FD_ACCEPT | FD_CLOSE)) != 0;
    FReadNotifier->setEnabled(Reading && !FConnectPending && !FCloseDelivered);
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
    pollfd Probe{FHSocket, POLLIN | POLLRDHUP, 0};
    ::poll(&Probe, 1, 0);
    uint16_t Events = 0;
    uint16_t Error = 0;
    if (PendingBytes(FHSocket) > 0 || FType == SOCK_DGRAM)
        Events |= FD_READ;
    if (FType != SOCK_DGRAM && (Probe.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
        Events |= FD_CLOSE;
        FCloseDelivered = true;
        int SoError = 0;
        socklen_t Len = sizeof SoError;
        if ((Probe.revents & POLLERR) &&
            ::getsockopt(FHSocket, SOL_SOCKET, SO_ERROR, &SoError, &Len) == 0)
            Error = static_cast<uint16_t>(WinSockErrorFromErrno(SoError));
    }
    if (Events == 0)
        Events = FD_READ;
    // The notifier stays on while the handlers read (switching it costs a wake-up of the loop
    // each time); a notice that nobody read from switches it off, or the loop would spin.
    QPointer<TCustomWSocket> Self(this);
    const uint64_t Serial = FSerial;
    FReadSinceNotice = false;
    DeliverNow(Events, Error);
    if (Self && FSerial == Serial && FReadNotifier && (!FReadSinceNotice || FCloseDelivered))
        FReadNotifier->setEnabled(false);
}

void TCustomWSocket::OnWriteReady()
{
    FWriteNotifier->setEnabled(false);
    if (FConnectPending) {
        FConnectPending = false;
        int SoError = 0;
        socklen_t Len = sizeof SoError;
        ::getsockopt(FHSocket, SOL_SOCKET, SO_ERROR, &SoError, &Len);
        const auto Error = static_cast<uint16_t>(WinSockErrorFromErrno(SoError));
        // A connection that is up may be written to: FD_WRITE follows FD_CONNECT once.
        if (Error == 0) {
            ReenableRead();
            DeliverNow(FD_CONNECT | FD_WRITE, 0);
        } else {
            DeliverNow(FD_CONNECT, Error);
        }
        return;
    }
    FWritePending = false;
    DeliverNow(FD_WRITE, 0);
}

void TCustomWSocket::DeliverNow(uint16_t Events, uint16_t Error)
{
    // The handlers may close the socket or destroy it while its notifier is still emitting.
    QPointer<TCustomWSocket> Self(this);
    ++FNotifierDepth;
    HandleNotification(FSerial, Events, Error);
    if (Self)
        --FNotifierDepth;
}

void TCustomWSocket::RetireNotifiers()
{
    for (auto *Notifier : {&FReadNotifier, &FWriteNotifier}) {
        if (!*Notifier)
            continue;
        (*Notifier)->setEnabled(false);
        // A notifier inside one of its own activations is deleted once that has returned.
        if (FNotifierDepth > 0) {
            (*Notifier)->disconnect();
            Notifier->release()->deleteLater();
        } else {
            Notifier->reset();
        }
    }
}

void TCustomWSocket::PostNotification(uint16_t Events, uint16_t Error)
{
    QMetaObject::invokeMethod(
        this,
        [this, Serial = FSerial, Events, Error] { HandleNotification(Serial, Events, Error); },
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
    } catch (const std::exception &E) {
        qWarning("TWSocket: exception in a socket event: %s", E.what());
    } catch (...) {
        qWarning("TWSocket: exception in a socket event");
    }
}

void TCustomWSocket::DispatchNotification(uint16_t Events, uint16_t Error)
{
    QPointer<TCustomWSocket> Self(this);
    const uint64_t Serial = FSerial;
    // Each step may close the socket (or destroy it); the later bits then belong to nothing.
    const auto Gone = [&] { return !Self || FSerial != Serial; };

    if (Events & FD_CONNECT) {
        ChangeState(wsConnected);
        TriggerSessionConnected(Error);
        if (!Self)
            return;
        if (Error != 0 && FState != wsClosed)
            Close();
        if (Gone())
            return;
    }
    if (Events & FD_READ) {
        ReceiveAvailable(Error);
        if (Gone())
            return;
    }
    if (Events & FD_WRITE) {
        TryToSend();
        if (Gone())
            return;
        if (FAllSent && OnDataSent)
            TriggerDataSent(Error);
        if (Gone())
            return;
    }
    if (Events & FD_ACCEPT) {
        TriggerSessionAvailable(Error);
        if (Gone())
            return;
    }
    if ((Events & FD_CLOSE) && FState != wsConnecting) {
        ReceiveAvailable(Error);
        if (Gone())
            return;
        if (FReadLineActive) {
            FReadLineActive = false;
            StopWaitCtrl();
        }
        if (OnSessionClosed && !FCloseNotified) {
            FCloseNotified = true;
            TriggerSessionClosed(Error);
            if (Gone())
                return;
        }
        if (FState != wsClosed)
            Close();
    }
}

// ---- Receiving -----------------------------------------------------------------------------

int TCustomWSocket::RecvRaw(void *Buffer, int Size, int Flags, sockaddr_in *From, int *FromLen)
{
    ssize_t Result;
    if (From) {
        socklen_t Len = static_cast<socklen_t>(FromLen ? std::max(*FromLen, 0) : 0);
        Result = ::recvfrom(FHSocket, Buffer, static_cast<size_t>(std::max(Size, 0)), Flags,
                            reinterpret_cast<sockaddr *>(From), &Len);
        if (FromLen)
            *FromLen = static_cast<int>(Len);
    } else {
        Result = ::recv(FHSocket, Buffer, static_cast<size_t>(std::max(Size, 0)), Flags);
    }
    if (Result < 0)
        WSASetLastErrorFromErrno();
    ++FRecvCalls;
    ReenableRead();
    return static_cast<int>(Result);
}

int TCustomWSocket::Receive(void *Buffer, int BufferSize)
{
    const int Result = RecvRaw(Buffer, BufferSize, 0, nullptr, nullptr);
    if (Result < 0)
        FLastError = WSAGetLastError();
    else
        FReadCount += Result;
    return Result;
}

int TCustomWSocket::ReceiveFrom(void *Buffer, int BufferSize, sockaddr_in &From, int &FromLen)
{
    const int Result = RecvRaw(Buffer, BufferSize, 0, &From, &FromLen);
    if (Result < 0)
        FLastError = WSAGetLastError();
    else
        FReadCount += Result;
    return Result;
}

int32_t TCustomWSocket::RcvdCount()
{
    const int Count = PendingBytes(FHSocket);
    if (Count < 0) {
        SocketError("ioctlSocket");
        return -1;
    }
    return Count;
}

void TCustomWSocket::ReceiveAvailable(uint16_t Error)
{
    QPointer<TCustomWSocket> Self(this);
    for (;;) {
        FLastError = 0;
        const uint64_t CallsBefore = FRecvCalls;
        const bool LineMode = FReadLineActive;
        try {
            if (LineMode)
                ReadLineStep();
            else if (!TriggerDataAvailable(Error))
                break;
        } catch (...) {
            // A handler's exception ends this round of reading and goes no further.
            break;
        }
        if (!Self || FLastError != 0 || FHSocket == INVALID_SOCKET)
            break;
        // A handler that read nothing would be called again without end while the bytes wait;
        // the next FD_READ comes once it (or anyone) reads.
        if (!LineMode && FRecvCalls == CallsBefore)
            break;
        const int Waiting = PendingBytes(FHSocket);
        if (Waiting < 0) {
            FLastError = WSAGetLastError();
            break;
        }
        if (Waiting == 0)
            break;
    }
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
        const int Waiting = PendingBytes(FHSocket);
        if (Waiting < 0) {
            FReadLineActive = false;
            SocketError("ioctlSocket");
            return;
        }
        if (Waiting == 0)
            return;
        char Byte = 0;
        const int Got = RecvRaw(&Byte, 1, 0, nullptr, nullptr);
        if (Got == 1) {
            ++FReadCount;
            bool EndOfLine = Byte == '\n';
            if (Byte != '\n' && Byte != '\r') {
                FLineBuffer.push_back(Byte);
                if (FLineBuffer.size() >= LineLimit) {
                    EndOfLine = true;
                    if (OnLineTooLong)
                        OnLineTooLong(this);
                }
            }
            if (EndOfLine) {
                FReadLineActive = false;
                StopWaitCtrl();
                return;
            }
            continue;
        }
        const int Code = Got == 0 ? 0 : WSAGetLastError();
        if (Code == WSAEWOULDBLOCK)
            continue;
        if (Code == 0 || Code == WSAECONNRESET) {
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
            const auto Deadline = DeadlineAfter(Timeout);
            TEventPump Pump;
            while (FReadLineActive && Clock::now() < Deadline)
                Pump.Pass();
        } else {
            RunWaitCtrl(Timeout);
        }
    }
    Buffer = FLineBuffer;
}

// ---- Waits ---------------------------------------------------------------------------------

void TCustomWSocket::RunWaitCtrl(int Timeout)
{
    TCustomWait *Ctrl = WaitCtrl();
    Ctrl->Caption = std::to_string(Timeout);
    Ctrl->SetVisible(true);
    Ctrl->WaitModal();
    // Handlers run during the wait may have destroyed the control.
    if (TCustomWait *Still = WaitCtrl())
        Still->SetVisible(false);
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
    } Restore{this};
    if (MultiThreaded) {
        const auto Deadline = DeadlineAfter(Timeout);
        TEventPump Pump;
        while (FState != WantedState && Clock::now() < Deadline)
            Pump.Pass();
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
    TEventPump Pump;
    while (FHSocket != INVALID_SOCKET && FState != wsClosed) {
        Pump.Pass();
        if (FHSocket == INVALID_SOCKET)
            break;
        const int Waiting = PendingBytes(FHSocket);
        if (Waiting < 0)
            break;
        if (Waiting > 0) {
            if (FReadLineActive)
                ReadLineStep();
            else
                TriggerDataAvailable(0);
        }
        if (FHSocket == INVALID_SOCKET)
            break;
        // The end of the connection shows as a peek that finds end of stream (or an error).
        char Byte;
        const ssize_t Probe = ::recv(FHSocket, &Byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (Probe == 0) {
            FLastError = 0;
            break;
        }
        if (Probe < 0 && WSASetLastErrorFromErrno() != WSAEWOULDBLOCK) {
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

int TCustomWSocket::SendStr(const std::string &Str)
{
    return Send(Str.data(), static_cast<int>(Str.size()));
}

void TCustomWSocket::AppendToSendBuffer(const void *Data, int Len)
{
    const char *Bytes = static_cast<const char *>(Data);
    if (FBufList.empty())
        FBufList.push_back(std::make_unique<TBuffer>(FBufSize));
    while (Len > 0) {
        const int32_t Written = FBufList.back()->Write(Bytes, Len);
        Bytes += Written;
        Len -= Written;
        if (Len > 0)
            FBufList.push_back(std::make_unique<TBuffer>(FBufSize));
    }
}

void TCustomWSocket::TryToSend()
{
    if (FHSocket == INVALID_SOCKET)
        return;
    // An empty queue holds no unsent byte: without this a zero-length Send would leave AllSent
    // false for good, and Flush would never return.
    if (FBufList.empty()) {
        FAllSent = true;
        return;
    }
    for (;;) {
        while (FBufList.size() > 1 && FBufList.front()->WritePos() == FBufList.front()->ReadPos())
            FBufList.pop_front();
        int32_t Len = 0;
        const char *Bytes = FBufList.front()->Peek(Len);
        if (Len == 0) {
            FAllSent = true;
            return;
        }
        const int Flags = FSendFlags | MSG_NOSIGNAL;
        size_t Offered = static_cast<size_t>(Len);
        ssize_t Sent;
        if (FType == SOCK_DGRAM) {
            // One block, one datagram.
            Sent = ::sendto(FHSocket, Bytes, Offered, Flags,
                            reinterpret_cast<const sockaddr *>(&FSockAddr), sizeof FSockAddr);
        } else if (FSendFlags != 0) {
            Sent = ::send(FHSocket, Bytes, Offered, Flags);
        } else {
            // A stream takes the queued blocks in one gathering call, straight from the blocks:
            // the same bytes in the same order as block by block, with far fewer system calls.
            iovec Parts[64];
            size_t Count = 0;
            Offered = 0;
            for (const auto &Block : FBufList) {
                int32_t PartLen = 0;
                const char *Part = Block->Peek(PartLen);
                if (PartLen == 0)
                    continue;
                Parts[Count++] = iovec{const_cast<char *>(Part), static_cast<size_t>(PartLen)};
                Offered += static_cast<size_t>(PartLen);
                if (Count == std::size(Parts))
                    break;
            }
            msghdr Message{};
            Message.msg_iov = Parts;
            Message.msg_iovlen = Count;
            Sent = ::sendmsg(FHSocket, &Message, Flags);
        }
        if (Sent == 0)
            return;
        if (Sent < 0) {
            const int Code = WSASetLastErrorFromErrno();
            // EPIPE is how Linux reports a send on a connection the peer has reset or closed,
            // where WinSock reports 10054: the connection is over either way.
            if (Code == WSAECONNRESET || Code == WSAENOTSOCK || Code == WSAENOTCONN ||
                Code == WSAEINVAL || Code == WSAESHUTDOWN) {
                Close();
                return;
            }
            if (Code == WSAEWOULDBLOCK) {
                WatchForWrite();
                return;
            }
            SocketError("TryToSend failed");
            return;
        }
        auto Left = static_cast<int32_t>(Sent);
        for (auto It = FBufList.begin(); It != FBufList.end() && Left > 0; ++It)
            Left -= (*It)->Remove(Left);
        if (static_cast<size_t>(Sent) < Offered) {
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
    TEventPump Pump;
    if (MultiThreaded) {
        while (FHSocket != INVALID_SOCKET && !FAllSent) {
            TryToSend();
            Pump.Pass();
        }
        return;
    }
    TCustomWait *Ctrl = WaitCtrl();
    if (!Ctrl) {
        RaiseException("No wait object assigned");
        return;
    }
    Ctrl->Caption = std::to_string(FlushTimeout);
    Ctrl->SetVisible(true);
    Ctrl->Start();
    struct TFinish
    {
        TCustomWSocket *Socket;
        ~TFinish()
        {
            if (TCustomWait *Still = Socket->WaitCtrl()) {
                Still->Stop();
                Still->SetVisible(false);
            }
        }
    } Finish{this};
    while (WaitCtrl() && WaitCtrl()->Running() && FHSocket != INVALID_SOCKET && !FAllSent) {
        TryToSend();
        Pump.Pass();
    }
}

} // namespace tarn
