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
    QElapsedTimer timer;
    timer.start();
    while (!Done()) {
        if (timer.elapsed() > TimeoutMs)
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
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (handle < 0 || ::bind(handle, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        throw std::runtime_error("cannot bind a loopback socket");
    socklen_t len = sizeof addr;
    ::getsockname(handle, reinterpret_cast<sockaddr *>(&addr), &len);
    Port = ntohs(addr.sin_port);
    return handle;
}

} // namespace

TRawListener::TRawListener()
{
    FHandle = BoundLoopbackSocket(FPort);
    ::listen(FHandle, 5);
}

TRawListener::~TRawListener()
{
    ::close(FHandle);
}

int TRawListener::Accept(int TimeoutMs)
{
    pollfd probe{FHandle, POLLIN, 0};
    if (!RunUntil([&] { return ::poll(&probe, 1, 0) > 0; }, TimeoutMs))
        return -1;
    return ::accept4(FHandle, nullptr, nullptr, SOCK_CLOEXEC);
}

uint16_t ClosedPort()
{
    uint16_t port = 0;
    ::close(BoundLoopbackSocket(port));
    return port;
}

std::string ReadExactly(int Handle, size_t Count, int TimeoutMs)
{
    std::string bytes;
    std::vector<char> Chunk(65536);
    RunUntil(
        [&] {
            pollfd probe{Handle, POLLIN, 0};
            while (bytes.size() < Count && ::poll(&probe, 1, 0) > 0) {
                const ssize_t got =
                    ::recv(Handle, Chunk.data(), std::min(Chunk.size(), Count - bytes.size()), 0);
                if (got <= 0)
                    return true;
                bytes.append(Chunk.data(), static_cast<size_t>(got));
            }
            return bytes.size() >= Count;
        },
        TimeoutMs);
    return bytes;
}

void WriteAll(int Handle, const std::string &Bytes)
{
    size_t done = 0;
    while (done < Bytes.size()) {
        const ssize_t sent = ::send(Handle, Bytes.data() + done, Bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0)
            throw std::runtime_error("peer write failed");
        done += static_cast<size_t>(sent);
    }
}

size_t FillSendBuffer(int Handle)
{
    std::vector<char> chunk(65536, 'f');
    size_t total = 0;
    // Smaller and smaller writes, so that not even one byte of room is left.
    for (const size_t size : {size_t{65536}, size_t{1024}, size_t{1}}) {
        for (;;) {
            const ssize_t sent = ::send(Handle, chunk.data(), size, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent <= 0)
                break;
            total += static_cast<size_t>(sent);
        }
    }
    return total;
}

int ConnectAndAccept(TWSocket &S, TRawListener &Listener)
{
    S.SetAddr("127.0.0.1");
    S.SetPort(Listener.PortText());
    S.Connect();
    const int peer = Listener.Accept();
    if (peer >= 0 && RunUntil([&] { return S.State() == wsConnected; }))
        return peer;
    if (peer >= 0)
        ::close(peer);
    return -1;
}

void ReceiveInto(TCustomWSocket *S, std::string &Into)
{
    char buf[4096];
    const int got = S->Receive(buf, sizeof buf);
    if (got > 0)
        Into.append(buf, static_cast<size_t>(got));
}

} // namespace tarn
