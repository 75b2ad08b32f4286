#include "net/socket_error.h"

#include <cerrno>
#include <netdb.h>
#include <unordered_map>

namespace tarn {

namespace {

thread_local int LastSocketError = 0;

} // namespace

std::string SocketErrorText(int ErrCode)
{
    static const std::unordered_map<int, const char *> Texts = {
        {0, "No Error"},
        {WSAEINTR, "Interrupted system call"},
        {WSAEBADF, "Bad file number"},
        {WSAEACCES, "Permission denied"},
        {WSAEFAULT, "Bad address"},
        {WSAEINVAL, "Invalid argument"},
        {WSAEMFILE, "Too many open files"},
        {WSAEWOULDBLOCK, "Operation would block"},
        {WSAEINPROGRESS, "Operation now in progress"},
        {WSAEALREADY, "Operation already in progress"},
        {WSAENOTSOCK, "Socket operation on non-socket"},
        {WSAEDESTADDRREQ, "Destination address required"},
        {WSAEMSGSIZE, "Message too long"},
        {WSAEPROTOTYPE, "Protocol wrong type for socket"},
        {WSAENOPROTOOPT, "Protocol not available"},
        {WSAEPROTONOSUPPORT, "Protocol not supported"},
        {WSAESOCKTNOSUPPORT, "Socket type not supported"},
        {WSAEOPNOTSUPP, "Operation not supported on socket"},
        {WSAEPFNOSUPPORT, "Protocol family not supported"},
        {WSAEAFNOSUPPORT, "Address family not supported by protocol family"},
        {WSAEADDRINUSE, "Address already in use"},
        {WSAEADDRNOTAVAIL, "Address not available"},
        {WSAENETDOWN, "Network is down"},
        {WSAENETUNREACH, "Network is unreachable"},
        {WSAENETRESET, "Network dropped connection on reset"},
        {WSAECONNABORTED, "Connection aborted"},
        {WSAECONNRESET, "Connection reset by peer"},
        {WSAENOBUFS, "No buffer space available"},
        {WSAEISCONN, "Socket is already connected"},
        {WSAENOTCONN, "Socket is not connected"},
        {WSAESHUTDOWN, "Can't send after socket shutdown"},
        {WSAETOOMANYREFS, "Too many references: can't splice"},
        {WSAETIMEDOUT, "Connection timed out"},
        {WSAECONNREFUSED, "Connection refused"},
        {WSAELOOP, "Too many levels of symbolic links"},
        {WSAENAMETOOLONG, "File name too long"},
        {WSAEHOSTDOWN, "Host is down"},
        {WSAEHOSTUNREACH, "No route to host"},
        {WSAENOTEMPTY, "Directory not empty"},
        {WSAEPROCLIM, "Too many processes"},
        {WSAEUSERS, "Too many users"},
        {WSAEDQUOT, "Disc quota exceeded"},
        {WSAESTALE, "Stale NFS file handle"},
        {WSAEREMOTE, "Too many levels of remote in path"},
        {WSASYSNOTREADY, "Network sub-system is unusable"},
        {WSAVERNOTSUPPORTED, "WinSock DLL cannot support this application"},
        {WSANOTINITIALISED, "WinSock not initialized"},
        {WSAHOST_NOT_FOUND, "Host not found"},
        {WSATRY_AGAIN, "Non-authoritative host not found"},
        {WSANO_RECOVERY, "Non-recoverable error"},
        {WSANO_DATA, "No Data"},
    };
    const auto it = Texts.find(ErrCode);
    return it == Texts.end() ? "Not a WinSock error" : it->second;
}

int WinSockErrorFromErrno(int Errno)
{
    switch (Errno) {
    case 0:
        return 0;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS:
        return WSAEWOULDBLOCK;
    case EALREADY:
        return WSAEALREADY;
    case EINTR:
        return WSAEINTR;
    case EBADF:
        return WSAEBADF;
    case EACCES:
    case EPERM:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EINVAL:
        return WSAEINVAL;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case ENOTSOCK:
        return WSAENOTSOCK;
    case EDESTADDRREQ:
        return WSAEDESTADDRREQ;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EPROTOTYPE:
        return WSAEPROTOTYPE;
    case ENOPROTOOPT:
        return WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
        return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
        return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
        return WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
        return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
        return WSAEAFNOSUPPORT;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ENETRESET:
        return WSAENETRESET;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
        return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case EISCONN:
        return WSAEISCONN;
    case ENOTCONN:
        return WSAENOTCONN;
    case EPIPE:
    case ESHUTDOWN:
        return WSAESHUTDOWN;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case EHOSTDOWN:
        return WSAEHOSTDOWN;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    default:
        return Errno;
    }
}

int WinSockErrorFromResolver(int EaiCode)
{
    switch (EaiCode) {
    case 0:
        return 0;
    case EAI_AGAIN:
        return WSATRY_AGAIN;
    case EAI_FAIL:
        return WSANO_RECOVERY;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
        return WSANO_DATA;
    default:
        return WSAHOST_NOT_FOUND;
    }
}

int WSAGetLastError()
{
    return LastSocketError;
}

void WSASetLastError(int ErrCode)
{
    LastSocketError = ErrCode;
}

int WSASetLastErrorFromErrno()
{
    const int code = WinSockErrorFromErrno(errno);
    WSASetLastError(code);
    return code;
}

} // namespace tarn
