#pragma once

// TWSocket: a non-blocking IPv4 socket component driven by the owning thread's Qt event loop.
//
// Nothing here waits on the network. Operations start a step and return; the outcome arrives
// later as an event, delivered by the event loop of the thread that created the socket, one at a
// time and never inside the call that started it (except where noted: DnsLookup of a dotted
// address, and OnSessionClosed fired by Close itself).
//
// Readiness follows WinSock's asynchronous-select contract:
//  - FD_READ is signalled when data arrives and again only after the owner has called Receive
//    (or ReceiveFrom); FD_ACCEPT again only after Accept; FD_CONNECT and FD_CLOSE once.
//  - FD_WRITE comes once after a connect succeeds and then only after a send was refused with
//    would-block; a Send that goes out at once posts FD_WRITE to the socket itself, so that
//    OnDataSent fires later from the event loop, never inside Send.
//  - The bits of one notification are handled in the order CONNECT, READ, WRITE, ACCEPT, CLOSE;
//    FD_CLOSE is ignored while connecting; data that arrives with the peer's close is delivered
//    through OnDataAvailable before OnSessionClosed.
//
// Every error code stored, passed or printed is a WinSock number (socket_error.h).
//
// Failures of operations go through RaiseException: OnError when assigned (the operation then
// takes its own failure path), else an ESocketException carrying the message text. Errors that
// arrive with notifications are not raised; they are the Error argument of the events.
//
// Ownership: the socket belongs to the thread that created it. An owner that holds it by
// std::unique_ptr calls Destroying() in its own destructor first, so that tearing down fires no
// OnSessionClosed and no OnDnsLookupDone; a socket created with a QObject owner is marked the
// same way automatically when that owner is destroyed.

#include "net/socket_buffer.h"
#include "net/socket_error.h"
#include "net/socket_exception.h"

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <vector>

class QSocketNotifier;
struct ssl_st;
struct ssl_ctx_st;
struct ssl_session_st;

namespace tarn {

class TCustomWait;
class TCustomWSocket;
struct TLookupRelay;

// A socket handle; INVALID_SOCKET (all bits set) when there is none.
using TSocket = int;
constexpr TSocket INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

enum TSocketState : uint8_t {
    wsInvalidState = 0, // never set; in WaitedState: no wait in progress
    wsOpened = 1,
    wsBound = 2,
    wsConnecting = 3,
    wsConnected = 4,
    wsAccepting = 5, // never set
    wsListening = 6,
    wsClosed = 7,
};

enum TSocketSendFlags : uint8_t {
    wsSendNormal = 0,
    wsSendUrgent = 1, // out-of-band data (MSG_OOB)
};

// Notification bits, as WinSock numbers them.
constexpr uint16_t FD_READ = 0x01;
constexpr uint16_t FD_WRITE = 0x02;
constexpr uint16_t FD_OOB = 0x04;
constexpr uint16_t FD_ACCEPT = 0x08;
constexpr uint16_t FD_CONNECT = 0x10;
constexpr uint16_t FD_CLOSE = 0x20;

// Seconds and microseconds, for the time-value helpers.
struct TTimeValue
{
    int32_t Sec = 0;
    int32_t USec = 0;
};

// Events. Error is a WinSock code, 0 for success. An unassigned event is not called.
using TDataAvailable = std::function<void(TCustomWSocket *Sender, uint16_t Error)>;
using TDataSent = std::function<void(TCustomWSocket *Sender, uint16_t Error)>;
using TSessionClosed = std::function<void(TCustomWSocket *Sender, uint16_t Error)>;
using TSessionAvailable = std::function<void(TCustomWSocket *Sender, uint16_t Error)>;
using TSessionConnected = std::function<void(TCustomWSocket *Sender, uint16_t Error)>;
using TDnsLookupDone = std::function<void(TCustomWSocket *Sender, uint16_t Error)>;
using TChangeState =
    std::function<void(TCustomWSocket *Sender, TSocketState OldState, TSocketState NewState)>;
using TSocketNotify = std::function<void(TCustomWSocket *Sender)>;
using TTlsDone = std::function<void(TCustomWSocket *Sender, uint16_t Error)>;

class TCustomWSocket : public QObject
{
    Q_OBJECT

public:
    // The size of every block of the send queue.
    static constexpr int32_t SendBlockSize = TBuffer::DefaultSize;

    explicit TCustomWSocket(QObject *Owner = nullptr);
    ~TCustomWSocket() override;

    // Marks the socket as being destroyed with its owner: from now on neither Close nor
    // CancelDnsLookup fires an event. Call it first in the owner's destructor.
    void Destroying();
    bool IsDestroying() const { return FDestroying; }

    // ---- Connection operations -----------------------------------------------------------
    // Opens the socket and starts connecting to Addr:Port. A stream socket is wsConnecting until
    // FD_CONNECT brings OnSessionConnected(Error); a datagram socket is connected at once.
    virtual void Connect();
    // Shuts both directions down, then closes. Fires OnSessionClosed(0) inside the call when
    // assigned and not yet fired for this connection. The object is reset afterwards: Addr and
    // Port must be set again before the next Connect or Listen.
    virtual void Close();
    // Closes without the shutdown.
    virtual void Abort();
    // Blocks until the send queue is empty or the socket is gone (multi-threaded mode), or until
    // FlushTimeout seconds pass (wait-control mode, needs WaitCtrl).
    virtual void Flush();
    // Runs the event loop, delivering received data, until the socket is closed.
    virtual void WaitForClose();
    // Binds to Addr:Port and listens (backlog 5). 0, or -1 on failure.
    virtual int Listen();
    // Accepts one pending connection: the new handle, or INVALID_SOCKET. The peer's address is
    // left in SockAddr(). The listening socket's state does not change.
    virtual TSocket Accept();
    // Adopts a connected handle (from Accept): closes the current one first if any, then
    // wsConnected. Neither resets the object nor fires OnSessionConnected.
    virtual void Dup(TSocket NewHSocket);
    // shutdown(How) when a handle exists (0 receive, 1 send, 2 both); the result is ignored.
    virtual void Shutdown(int How);
    // Stops all notifications / starts them again. 0, or -1 on failure.
    virtual int Pause();
    virtual int Resume();

    // ---- Data ----------------------------------------------------------------------------
    // One recv: bytes read, 0 when the peer has closed, or -1 with the code in LastError().
    virtual int Receive(void *Buffer, int BufferSize);
    // One recvfrom, with the sender's address.
    virtual int ReceiveFrom(void *Buffer, int BufferSize, sockaddr_in &From, int &FromLen);
    // Queues the bytes and starts sending; never blocks. Returns Len (0 for Len <= 0), or -1
    // when not connected (reported as "Send"). OnDataSent fires when the queue has drained.
    virtual int Send(const void *Data, int Len);
    virtual int SendStr(const std::string &Str);
    // Sends as much of Data as the system takes now, without copying it into the send queue
    // (whatever Send queued goes first): the count taken, 0 when there is no room now, or -1
    // when the connection failed (LastError; a reset or closed connection closes the socket,
    // as Send does). When it takes less than Len, OnDataSent fires once there is room again;
    // the caller keeps the rest and offers it then.
    virtual int SendDirect(const void *Data, int Len);
    // Blocking read of one line (CR dropped, LF ends it, cut at 254 characters with
    // OnLineTooLong). A line left unfinished by a time-out is continued by the next call.
    virtual void ReadLine(int Timeout, std::string &Buffer);
    // Blocking wait until State equals WantedState or Timeout seconds pass; the result tells
    // whether State equals WantedState.
    virtual bool Wait(int Timeout, TSocketState WantedState);

    // ---- TLS -----------------------------------------------------------------------------
    // Starts a client TLS handshake on the connected stream with Context (tls_context.h). Host
    // is the peer's name (sent for SNI and checked against the certificate) or dotted address
    // (checked against it); Resume, when given, is a session of the same server to resume.
    // The handshake runs from the event loop; until OnTlsDone(Error) no FD_READ, FD_WRITE or
    // FD_CLOSE reaches the owner. Error is 0 when it succeeded, else a WinSock code (TlsError
    // says more); the socket stays open either way and the owner closes it. From then on
    // Receive, Send and SendDirect carry plaintext, and Shutdown(1 or 2) and Close send
    // close_notify first. The certificate is not judged here: see SSL_get_verify_result.
    void StartTls(ssl_ctx_st *Context, const std::string &Host, ssl_session_st *Resume);
    // The TLS connection (null without TLS), for its certificate, version, cipher, session.
    ssl_st *TlsHandle() const { return FTls; }
    // The peer ended its stream with TLS close_notify. An end without it (Receive returning 0
    // while this is false) may be a cut made by someone else.
    bool TlsPeerClosed() const { return FTlsPeerClosed; }
    const std::string &TlsError() const { return FTlsError; }

    // ---- Names ---------------------------------------------------------------------------
    // Asynchronous lookup of a host name, ending with OnDnsLookupDone. A dotted address
    // completes inside the call. A pending lookup is replaced silently.
    virtual void DnsLookup(const std::string &HostName);
    // Cancels a pending lookup: OnDnsLookupDone(10004).
    virtual void CancelDnsLookup();
    // Peer address as dotted text; "error" unless connected.
    virtual std::string GetPeerAddr();
    virtual int GetPeerName(sockaddr_in &Name, int &NameLen);
    // Local port as decimal text; "error" unless bound, connected or listening.
    virtual std::string GetLocalPort();
    // getsockname(): 0, or -1 with the code in WSAGetLastError().
    virtual int GetSockName(sockaddr_in &Name, int &NameLen);

    // Dispatches everything queued for the calling thread's event loop, then returns.
    void ProcessMessages();

    // ---- Properties ----------------------------------------------------------------------
    // Remote host (Connect) or local address (Listen): dotted text or a host name, resolved
    // when set. Only while closed; otherwise "Cannot change Addr if not closed" is raised and
    // the text is kept but not used.
    std::string Addr() const { return FAddrStr; }
    void SetAddr(const std::string &Value);
    // Port number as decimal text (leading digits are used), or a service name.
    std::string Port() const { return FPortStr; }
    void SetPort(const std::string &Value);
    // Protocol number or name; 17 (udp) makes a datagram socket, anything else a stream socket.
    std::string Proto() const { return FProtoStr; }
    void SetProto(const std::string &Value);
    TSocketSendFlags SendFlags();
    void SetSendFlags(TSocketSendFlags Value);

    std::string DnsResult() const { return FDnsResult; }
    const std::vector<std::string> &DnsResultList() const { return FDnsResultList; }
    TSocketState State() const { return FState; }
    int32_t ReadCount() const { return FReadCount; }
    // Bytes waiting in the system's receive buffer now; -1 on failure.
    int32_t RcvdCount();
    int32_t LastError() const { return FLastError; }
    bool AllSent() const { return FAllSent; }
    TSocket HSocket() const { return FHSocket; }
    // The IPv4 address used by connect, bind, sendto and accept (network byte order).
    const sockaddr_in &SockAddr() const { return FSockAddr; }
    // The send queue, front block first.
    const std::deque<std::unique_ptr<TBuffer>> &SendQueue() const { return FBufList; }

    // Selects how blocking waits keep events flowing: true runs this thread's own event loop
    // (for a socket living in a worker thread), false uses WaitCtrl's count-down.
    bool MultiThreaded = false;
    // Seconds that Flush waits in wait-control mode.
    int32_t FlushTimeout = 60;
    // The count-down used by the blocking waits in wait-control mode; not owned. Becomes empty
    // when the control is destroyed.
    TCustomWait *WaitCtrl() const;
    void SetWaitCtrl(TCustomWait *Value);

    TSessionAvailable OnSessionAvailable;
    TSessionConnected OnSessionConnected;
    TSessionClosed OnSessionClosed;
    TChangeState OnChangeState;
    TDataAvailable OnDataAvailable;
    TDataSent OnDataSent;
    TSocketNotify OnLineTooLong;
    TDnsLookupDone OnDnsLookupDone;
    TSocketNotify OnError;
    TTlsDone OnTlsDone;

    // ---- Process-wide --------------------------------------------------------------------
    static bool SocketLibraryStarted();
    static int LiveSocketCount();

protected:
    virtual void BindSocket();
    virtual void RaiseExceptionFmt(const char *Fmt, ...) __attribute__((format(printf, 2, 3)));
    virtual void RaiseException(const std::string &Msg);
    virtual bool TriggerDataAvailable(uint16_t Error);
    virtual void TriggerSessionAvailable(uint16_t Error);
    virtual void TriggerSessionConnected(uint16_t Error);
    virtual void TriggerSessionClosed(uint16_t Error);
    virtual void TriggerDataSent(uint16_t Error);
    virtual void TriggerChangeState(TSocketState OldState, TSocketState NewState);
    virtual void TriggerDnsLookupDone(uint16_t Error);
    virtual void TriggerError();
    virtual bool TimeValueIsSet(const TTimeValue &Tv);
    virtual void TimeValueClear(TTimeValue &Tv);
    virtual bool TimeValueCompare(const TTimeValue &A, const TTimeValue &B, bool WantEqual);

    void ResetSocket();
    // Sets State and fires OnChangeState; false when a handler destroyed the socket, which the
    // caller must then leave alone.
    bool ChangeState(TSocketState NewState);
    void SocketError(const std::string &FuncName);
    void CloseSocket(bool WithShutdown);
    // Resets the object, then fires OnChangeState to wsClosed and, when asked, OnSessionClosed.
    void ResetAndClose(bool NotifyClosed);
    void TryToSend();
    void AppendToSendBuffer(const void *Data, int Len);
    void ReceiveAvailable(uint16_t Error);
    void ReadLineStep();

private:
    friend struct TLookupRelay;

    // Notification machinery (WSAAsyncSelect emulation).
    int AsyncSelect(uint16_t Mask);
    void ReenableRead();
    void WatchForWrite();
    void ReenableAccept();
    void OnReadReady();
    void OnWriteReady();
    void PostNotification(uint16_t Events, uint16_t Error);
    void DeliverNow(uint16_t Events, uint16_t Error);
    void RetireNotifiers();
    void HandleNotification(uint64_t Serial, uint16_t Events, uint16_t Error);
    void DispatchNotification(uint16_t Events, uint16_t Error);
    int RecvRaw(void *Buffer, int Size, int Flags, sockaddr_in *From, int *FromLen);
    // TLS (wsocket_tls.cpp).
    void TlsHandshakeStep();
    int TlsReceive(void *Buffer, int Size);
    void TlsSendQueued();
    int TlsSendDirect(const void *Data, int Len);
    // Sends close_notify once; false while the system has no room for it (it goes, and the
    // shutdown of the stream with it, at the next FD_WRITE).
    bool TlsShutdown();
    void TlsRelease();
    int TlsFailure(int SslCode, const char *What);
    // Bytes waiting to be received: in the system's buffer and, with TLS, decrypted already.
    int WaitingBytes();

    void HandleLookupDone(uint64_t Task, int Error, const std::vector<uint32_t> &Addresses);
    void StopWaitCtrl();
    // Shows the wait control with Timeout as its count and runs its modal wait.
    void RunWaitCtrl(int Timeout);
    uint32_t ResolveHost(const std::string &Host);
    void AdoptHandle(TSocket NewHandle);
    // Closes and forgets the handle without events; 0, or the close's error code.
    int AbandonHandle();
    void DropQueuedBytes();

    TSocket FHSocket = INVALID_SOCKET;
    bool FPortAssigned = false;
    bool FAddrAssigned = false;
    bool FProtoAssigned = true;
    std::string FProtoStr = "tcp";
    std::string FAddrStr;
    std::string FPortStr;
    int32_t FProto = 6;
    int32_t FType = 1;
    std::string FDnsResult;
    std::vector<std::string> FDnsResultList;
    TSocketState FState = wsClosed;
    std::deque<std::unique_ptr<TBuffer>> FBufList;
    int32_t FBufSize = SendBlockSize;
    int32_t FSendFlags = 0;
    QPointer<QObject> FWaitGuard;
    TCustomWait *FWaitCtrl = nullptr;
    TSocketState FWaitedState = wsInvalidState;
    int32_t FLastError = 0;
    bool FPaused = false;
    bool FAllSent = true;
    std::string FLineBuffer;
    bool FReadLineActive = false;
    int32_t FReadCount = 0;
    bool FCloseNotified = false;
    bool FDestroying = false;
    sockaddr_in FSockAddr{};

    // Current notification mask and the armed state of each kind of readiness.
    uint16_t FSelectMask = 0;
    bool FConnectPending = false;
    bool FWritePending = false;
    bool FCloseDelivered = false;
    // A receive call was made since the last read notice.
    bool FReadSinceNotice = false;
    // Counts the handles this object has had; posted notifications carry it so that one meant
    // for an earlier connection (whose descriptor number the system may have reused) is dropped.
    uint64_t FSerial = 0;
    // The receive calls made so far; tells ReceiveAvailable whether a handler read anything.
    uint64_t FRecvCalls = 0;
    // The last receive call filled its whole buffer: more may be waiting.
    bool FLastRecvFilled = false;
    // Notifier activations in progress on the stack (their notifiers must not be deleted).
    int FNotifierDepth = 0;
    std::unique_ptr<QSocketNotifier> FReadNotifier;
    std::unique_ptr<QSocketNotifier> FWriteNotifier;
    uint64_t FDnsTask = 0;
    uint64_t FLastDnsTask = 0;
    std::shared_ptr<TLookupRelay> FRelay;
    ssl_st *FTls = nullptr;
    bool FTlsHandshaking = false;
    bool FTlsPeerClosed = false;
    bool FTlsCloseSent = false;
    int FTlsShutdownPending = -1; // the shutdown(How) that waits for close_notify to go out
    std::string FTlsError;
};

// The published socket component; adds nothing to TCustomWSocket.
class TWSocket : public TCustomWSocket
{
    Q_OBJECT

public:
    using TCustomWSocket::TCustomWSocket;
};

} // namespace tarn
