#include "tests/net/loopback_peer.h"

#include "net/wsocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace tarn {

bool RunUntil(const std::function<bool()> &Done, int TimeoutMs)
{
    QElapsedTimer Timer;
    Timer.start();
    while (!Done()) {
        if (Timer.elapsed() > TimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::usleep(200);
    }
    return true;
}

void RunFor(int Milliseconds)
{
    RunUntil([] { return false; }, Milliseconds);
}

namespace {

int BoundLoopbackSocket(uint16_t &Port)
{
    const int Handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in Addr{};
    Addr.sin_family = AF_INET;
    Addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (Handle < 0 || ::bind(Handle, reinterpret_cast<sockaddr *>(&Addr), sizeof Addr) != 0)
        throw std::runtime_error("cannot bind a loopback socket");
    socklen_t Len = sizeof Addr;
    ::getsockname(Handle, reinterpret_cast<sockaddr *>(&Addr), &Len);
    Port = ntohs(Addr.sin_port);
    return Handle;
}

} // namespace

RawListener::RawListener()
{
    FHandle = BoundLoopbackSocket(FPort);
    ::listen(FHandle, 5);
}

RawListener::~RawListener()
{
    ::close(FHandle);
}

int RawListener::Accept(int TimeoutMs)
{
    pollfd Probe{FHandle, POLLIN, 0};
    if (!RunUntil([&] { return ::poll(&Probe, 1, 0) > 0; }, TimeoutMs))
        return -1;
    return ::accept4(FHandle, nullptr, nullptr, SOCK_CLOEXEC);
}

uint16_t ClosedPort()
{
    uint16_t Port = 0;
    ::close(BoundLoopbackSocket(Port));
    return Port;
}

std::string ReadExactly(int Handle, size_t Count, int TimeoutMs)
{
    std::string Bytes;
    std::vector<char> Chunk(65536);
    RunUntil(
        [&] {
            pollfd Probe{Handle, POLLIN, 0};
            while (Bytes.size() < Count && ::poll(&Probe, 1, 0) > 0) {
                const ssize_t Got =
                    ::recv(Handle, Chunk.data(), std::min(Chunk.size(), Count - Bytes.size()), 0);
                if (Got <= 0)
                    return true;
                Bytes.append(Chunk.data(), static_cast<size_t>(Got));
            }
            return Bytes.size() >= Count;
        },
        TimeoutMs);
    return Bytes;
}

void WriteAll(int Handle, const std::string &Bytes)
{
    size_t Done = 0;
    while (Done < Bytes.size()) {
        const ssize_t Sent = ::send(Handle, Bytes.data() + Done, Bytes.size() - Done, MSG_NOSIGNAL);
        if (Sent <= 0)
            throw std::runtime_error("peer write failed");
        Done += static_cast<size_t>(Sent);
    }
}

size_t FillSendBuffer(int Handle)
{
    std::vector<char> Chunk(65536, 'f');
    size_t Total = 0;
    // Smaller and smaller writes, so that not even one byte of room is left.
    for (const size_t Size : {size_t{65536}, size_t{1024}, size_t{1}}) {
        for (;;) {
            const ssize_t Sent = ::send(Handle, Chunk.data(), Size, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (Sent <= 0)
                break;
            Total += static_cast<size_t>(Sent);
        }
    }
    return Total;
}

int ConnectAndAccept(TWSocket &S, RawListener &Listener)
{
    S.SetAddr("127.0.0.1");
    S.SetPort(Listener.PortText());
    S.Connect();
    const int Peer = Listener.Accept();
    if (Peer >= 0 && RunUntil([&] { return S.State() == wsConnected; }))
        return Peer;
    if (Peer >= 0)
        ::close(Peer);
    return -1;
}

void ReceiveInto(TCustomWSocket *S, std::string &Into)
{
    char Buf[4096];
    const int Got = S->Receive(Buf, sizeof Buf);
    if (Got > 0)
        Into.append(Buf, static_cast<size_t>(Got));
}

} // namespace tarn
