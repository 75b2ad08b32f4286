// Streams 1 GiB over loopback twice: through a pair of TWSocket objects (sender paced by
// OnDataSent in a worker thread, receiver reading in OnDataAvailable on the main thread), and
// through a plain blocking TCP pair (one thread each), the machine's limit. Prints both
// throughputs, their ratio and the peak memory, measured after the first quarter and at the end.
//
// Usage: tarn_net_bench [MiB]   (default 1024)

#include "net/wsocket.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tarn;

namespace {

constexpr size_t Chunk = size_t(64) * 1024;

double Seconds(std::chrono::steady_clock::time_point Since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Since).count();
}

long PeakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A listening socket on 127.0.0.1 with a port of the system's choice.
int LoopbackListener(uint16_t &Port)
{
    const int handle = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    (void)::bind(handle, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    ::listen(handle, 1);
    socklen_t len = sizeof addr;
    ::getsockname(handle, reinterpret_cast<sockaddr *>(&addr), &len);
    Port = ntohs(addr.sin_port);
    return handle;
}

struct TResult
{
    double MiBPerSecond = 0;
    long RssQuarterKiB = 0;
};

TResult RunWSocket(uint64_t Total)
{
    uint16_t port = 0;
    const int listener = LoopbackListener(port);
    const std::vector<char> data(Chunk, 'w');

    // The sender lives in a worker thread with its own event loop.
    QThread *sender = QThread::create([&] {
        TWSocket s;
        uint64_t queued = 0;
        const auto sendMore = [&](TCustomWSocket *Sock) {
            if (queued >= Total) {
                Sock->Shutdown(SHUT_WR);
                return;
            }
            const size_t len = std::min<uint64_t>(Chunk, Total - queued);
            queued += len;
            Sock->Send(data.data(), static_cast<int>(len));
        };
        s.OnDataSent = [&](TCustomWSocket *Sock, uint16_t) { sendMore(Sock); };
        QEventLoop loop;
        s.OnSessionClosed = [&](TCustomWSocket *, uint16_t) { loop.quit(); };
        s.SetAddr("127.0.0.1");
        s.SetPort(std::to_string(port));
        s.Connect();
        loop.exec();
    });

    TWSocket receiver;
    uint64_t received = 0;
    TResult result;
    std::vector<char> buffer(Chunk);
    receiver.OnDataAvailable = [&](TCustomWSocket *Sock, uint16_t) {
        const int got = Sock->Receive(buffer.data(), static_cast<int>(buffer.size()));
        if (got > 0) {
            const uint64_t before = received;
            received += static_cast<uint64_t>(got);
            if (before < Total / 4 && received >= Total / 4)
                result.RssQuarterKiB = PeakRssKiB();
        }
    };
    bool done = false;
    receiver.OnSessionClosed = [&](TCustomWSocket *, uint16_t) { done = true; };

    const auto start = std::chrono::steady_clock::now();
    sender->start();
    const int conn = ::accept(listener, nullptr, nullptr);
    receiver.Dup(conn);
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double elapsed = Seconds(start);
    sender->wait();
    delete sender;
    ::close(listener);
    if (received != Total)
        std::fprintf(stderr, "TWSocket: received %llu of %llu bytes\n",
                     static_cast<unsigned long long>(received),
                     static_cast<unsigned long long>(Total));
    result.MiBPerSecond = static_cast<double>(received) / (1024.0 * 1024.0) / elapsed;
    return result;
}

TResult RunPlain(uint64_t Total)
{
    uint16_t port = 0;
    const int listener = LoopbackListener(port);
    const auto start = std::chrono::steady_clock::now();
    std::thread sender([&] {
        const int handle = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        (void)::connect(handle, reinterpret_cast<sockaddr *>(&to), sizeof to);
        const std::vector<char> data(Chunk, 'p');
        uint64_t sent = 0;
        while (sent < Total) {
            const ssize_t n =
                ::send(handle, data.data(), std::min<uint64_t>(Chunk, Total - sent), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<uint64_t>(n);
        }
        ::close(handle);
    });
    const int conn = ::accept(listener, nullptr, nullptr);
    std::vector<char> buf(Chunk);
    uint64_t received = 0;
    TResult r;
    for (;;) {
        const ssize_t n = ::recv(conn, buf.data(), buf.size(), 0);
        if (n <= 0)
            break;
        received += static_cast<uint64_t>(n);
    }
    const double elapsed = Seconds(start);
    sender.join();
    ::close(conn);
    ::close(listener);
    r.MiBPerSecond = static_cast<double>(received) / (1024.0 * 1024.0) / elapsed;
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const uint64_t miB = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const uint64_t total = miB * 1024 * 1024;
    const long rssStart = PeakRssKiB();
    const TResult w = RunWSocket(total);
    const long rssAfterWSocket = PeakRssKiB();
    const TResult p = RunPlain(total);
    std::printf("bytes per run          %llu (%llu MiB)\n", static_cast<unsigned long long>(total),
                static_cast<unsigned long long>(miB));
    std::printf("TWSocket               %8.1f MiB/s\n", w.MiBPerSecond);
    std::printf("plain blocking socket  %8.1f MiB/s\n", p.MiBPerSecond);
    std::printf("ratio TWSocket/plain   %8.2f (target 0.50 or better)\n",
                w.MiBPerSecond / p.MiBPerSecond);
    std::printf("peak RSS: at start %ld KiB, after 1/4 of the TWSocket run %ld KiB, after it %ld "
                "KiB, at the end %ld KiB\n",
                rssStart, w.RssQuarterKiB, rssAfterWSocket, PeakRssKiB());
    return w.MiBPerSecond >= 0.5 * p.MiBPerSecond ? 0 : 1;
}
