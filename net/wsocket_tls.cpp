// TCustomWSocket: TLS on a connected stream. OpenSSL reads and writes the socket itself (through
// a small BIO that sends with MSG_NOSIGNAL, as the rest of the layer does); its WANT_READ and
// WANT_WRITE map onto the layer's notifications: a handshake step runs on every read or write
// notice until it is done, and a write the system has no room for waits for FD_WRITE as a
// plain send does. Receive reads until its buffer is full or OpenSSL needs more from the
// network, so no decrypted byte is ever left behind without a notice to come for it.

#include "net/openssl_library.h"
#include "net/tls_context.h"
#include "net/wsocket.h"

#include <QPointer>
#include <arpa/inet.h>
#include <cerrno>
#include <sys/socket.h>
#include <utility>

namespace tarn {

namespace {

int SocketOf(BIO *Bio)
{
    return int(reinterpret_cast<intptr_t>(OpenSsl().BIO_get_data(Bio)));
}

int BioWrite(BIO *Bio, const char *Data, int Len)
{
    OpenSsl().ClearRetryFlags(Bio);
    ssize_t sent;
    do
        sent = ::send(SocketOf(Bio), Data, size_t(Len), MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        OpenSsl().SetRetryWrite(Bio);
    return int(sent);
}

int BioRead(BIO *Bio, char *Data, int Len)
{
    OpenSsl().ClearRetryFlags(Bio);
    ssize_t received;
    do
        received = ::recv(SocketOf(Bio), Data, size_t(Len), 0);
    while (received < 0 && errno == EINTR);
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        OpenSsl().SetRetryRead(Bio);
    return int(received);
}

long BioControl(BIO *, int Command, long, void *)
{
    return Command == BIO_CTRL_FLUSH ? 1 : 0;
}

// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE on a connection the peer
// has reset; this one never does.
BIO *NewSocketBio(int Handle)
{
    const TOpenSslLibrary &openSsl = OpenSsl();
    static BIO_METHOD *const Method = [&openSsl] {
        BIO_METHOD *method =
            openSsl.BIO_meth_new(openSsl.BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "tarn socket");
        openSsl.BIO_meth_set_write(method, BioWrite);
        openSsl.BIO_meth_set_read(method, BioRead);
        openSsl.BIO_meth_set_ctrl(method, BioControl);
        return method;
    }();
    BIO *bio = openSsl.BIO_new(Method);
    if (bio) {
        openSsl.BIO_set_data(bio, reinterpret_cast<void *>(intptr_t(Handle)));
        openSsl.BIO_set_init(bio, 1);
    }
    return bio;
}

bool WouldBlock(int SslCode)
{
    return SslCode == SSL_ERROR_WANT_READ || SslCode == SSL_ERROR_WANT_WRITE;
}

// The peer closed the TCP connection without close_notify.
bool UnexpectedEnd(int SslCode)
{
    if (SslCode == SSL_ERROR_SYSCALL && errno == 0)
        return true;
    return SslCode == SSL_ERROR_SSL &&
           ERR_GET_REASON(OpenSsl().ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
}

} // namespace

void TCustomWSocket::StartTls(ssl_ctx_st *Context, const std::string &Host, ssl_session_st *Resume)
{
    const TOpenSslLibrary &openSsl = OpenSsl();
    if (FState != wsConnected || FHSocket == INVALID_SOCKET || FTls) {
        WSASetLastError(WSAEINVAL);
        SocketError("StartTls");
        return;
    }
    SSL *ssl = openSsl.SSL_new(Context);
    BIO *bio = ssl ? NewSocketBio(FHSocket) : nullptr;
    if (!bio) {
        openSsl.SSL_free(ssl);
        FTlsError = TakeTlsErrorText("TLS: out of memory");
        WSASetLastError(WSAENOBUFS);
        SocketError("StartTls");
        return;
    }
    openSsl.SSL_set_bio(ssl, bio, bio);
    openSsl.SSL_set_connect_state(ssl);
    // A write that the system took only in part is offered again from where it stopped, and
    // not necessarily from the same buffer (SendDirect's caller keeps its own).
    openSsl.SetMode(ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    in_addr address{};
    if (::inet_pton(AF_INET, Host.c_str(), &address) == 1) {
        openSsl.X509_VERIFY_PARAM_set1_ip_asc(openSsl.SSL_get0_param(ssl), Host.c_str());
    } else if (!Host.empty()) {
        openSsl.SetTlsextHostName(ssl, Host.c_str());
        openSsl.SSL_set1_host(ssl, Host.c_str());
    }
    openSsl.SSL_set_verify(ssl, SSL_VERIFY_NONE, nullptr);
    if (Resume)
        openSsl.SSL_set_session(ssl, Resume);
    FTls = ssl;
    FTlsHandshaking = true;
    FTlsPeerClosed = FTlsCloseSent = false;
    FTlsError.clear();
    // The first step comes from the event loop, as every event does.
    PostNotification(FD_WRITE, 0);
}

void TCustomWSocket::TlsHandshakeStep()
{
    const TOpenSslLibrary &openSsl = OpenSsl();
    openSsl.ERR_clear_error();
    errno = 0;
    const int result = openSsl.SSL_do_handshake(FTls);
    ReenableRead(); // OpenSSL read from the socket: the next data brings a notice again
    if (result == 1) {
        FTlsHandshaking = false;
        const QPointer<TCustomWSocket> self(this);
        if (const TTlsDone handler = OnTlsDone)
            handler(this, 0);
        // Anything Send queued meanwhile goes now, and OnDataSent follows.
        if (self && FTls && !FBufList.empty())
            Send(nullptr, 0);
        return;
    }
    const int code = openSsl.SSL_get_error(FTls, result);
    if (code == SSL_ERROR_WANT_WRITE)
        WatchForWrite();
    if (WouldBlock(code))
        return;
    FTlsHandshaking = false;
    const int error = TlsFailure(code, "TLS handshake");
    if (const TTlsDone handler = OnTlsDone)
        handler(this, uint16_t(error));
}

// Keeps the reason of a failed TLS call in FTlsError; the WinSock code that stands for it.
int TCustomWSocket::TlsFailure(int SslCode, const char *What)
{
    const int saved = errno;
    if (SslCode == SSL_ERROR_SYSCALL && saved != 0) {
        FTlsError = std::string(What) + ": " + SocketErrorText(WinSockErrorFromErrno(saved));
        return WinSockErrorFromErrno(saved);
    }
    if (UnexpectedEnd(SslCode)) {
        OpenSsl().ERR_clear_error();
        FTlsError = std::string(What) + ": connection closed by the peer";
        return WSAECONNRESET;
    }
    FTlsError = std::string(What) + ": " + TakeTlsErrorText("failed");
    return WSAECONNABORTED;
}

int TCustomWSocket::TlsReceive(void *Buffer, int Size)
{
    const TOpenSslLibrary &openSsl = OpenSsl();
    if (FTlsHandshaking) {
        WSASetLastError(WSAEWOULDBLOCK);
        return -1;
    }
    char *out = static_cast<char *>(Buffer);
    size_t total = 0;
    while (total < size_t(std::max(Size, 0))) {
        size_t got = 0;
        openSsl.ERR_clear_error();
        errno = 0;
        if (openSsl.SSL_read_ex(FTls, out + total, size_t(Size) - total, &got) == 1) {
            total += got;
            continue;
        }
        const int code = openSsl.SSL_get_error(FTls, 0);
        if (code == SSL_ERROR_WANT_WRITE)
            WatchForWrite();
        if (code == SSL_ERROR_ZERO_RETURN) {
            // The peer's close_notify is answered with ours: a server may wait for it before
            // it confirms the transfer (vsftpd does).
            FTlsPeerClosed = true;
            TlsShutdown();
            break;
        }
        if (UnexpectedEnd(code)) {
            openSsl.ERR_clear_error();
            break; // an end like any other; TlsPeerClosed tells it from a clean one
        }
        if (total > 0)
            break; // the data first; the failure shows on the next call
        if (WouldBlock(code)) {
            WSASetLastError(WSAEWOULDBLOCK);
            return -1;
        }
        WSASetLastError(TlsFailure(code, "TLS receive"));
        return -1;
    }
    return int(total);
}

void TCustomWSocket::TlsSendQueued()
{
    if (FTlsHandshaking)
        return; // the queue goes out when the handshake is done
    if (FTlsShutdownPending >= 0) {
        const int how = std::exchange(FTlsShutdownPending, -1);
        Shutdown(how);
        return;
    }
    for (;;) {
        while (FBufList.size() > 1 && FBufList.front()->WritePos() == FBufList.front()->ReadPos())
            FBufList.pop_front();
        if (FBufList.empty()) {
            FAllSent = true;
            return;
        }
        int32_t len = 0;
        const char *bytes = FBufList.front()->Peek(len);
        if (len == 0) {
            FAllSent = true;
            return;
        }
        const int sent = TlsSendDirect(bytes, len);
        if (sent < 0)
            return; // closed
        FBufList.front()->Remove(sent);
        if (sent < len)
            return; // the rest when there is room
    }
}

// Writes as much of Data as the system takes now: the count, or -1 when the connection failed
// (closed then). What is left waits for FD_WRITE.
int TCustomWSocket::TlsSendDirect(const void *Data, int Len)
{
    const TOpenSslLibrary &openSsl = OpenSsl();
    if (FTlsHandshaking)
        return 0;
    const char *bytes = static_cast<const char *>(Data);
    size_t total = 0;
    while (total < size_t(Len)) {
        size_t written = 0;
        openSsl.ERR_clear_error();
        errno = 0;
        if (openSsl.SSL_write_ex(FTls, bytes + total, size_t(Len) - total, &written) == 1) {
            total += written;
            continue;
        }
        const int code = openSsl.SSL_get_error(FTls, 0);
        if (!WouldBlock(code)) {
            FLastError = TlsFailure(code, "TLS send");
            Close();
            return -1;
        }
        WatchForWrite(); // the rest is offered again once there is room
        break;
    }
    return int(total);
}

bool TCustomWSocket::TlsShutdown()
{
    if (!FTls || FTlsHandshaking || FTlsCloseSent)
        return true;
    const TOpenSslLibrary &openSsl = OpenSsl();
    openSsl.ERR_clear_error();
    errno = 0;
    const int result =
        openSsl.SSL_shutdown(FTls); // sends close_notify; the peer's is not waited for
    if (result < 0 && openSsl.SSL_get_error(FTls, result) == SSL_ERROR_WANT_WRITE) {
        openSsl.ERR_clear_error();
        WatchForWrite();
        return false;
    }
    openSsl.ERR_clear_error();
    FTlsCloseSent = true;
    return true;
}

void TCustomWSocket::TlsRelease()
{
    if (!FTls)
        return;
    OpenSsl().SSL_free(FTls);
    FTls = nullptr;
    FTlsHandshaking = false;
    FTlsShutdownPending = -1;
}

} // namespace tarn
