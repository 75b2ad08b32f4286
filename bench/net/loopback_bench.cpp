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

constexpr size_t Chunk = 64 * 1024;

double Seconds(std::chrono::steady_clock::time_point Since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Since).count();
}

long PeakRssKiB()
{
    rusage Usage{};
    getrusage(RUSAGE_SELF, &Usage);
    return Usage.ru_maxrss;
}

// A listening socket on 127.0.0.1 with a port of the system's choice.
int LoopbackListener(uint16_t &Port)
{
    const int Handle = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in Addr{};
    Addr.sin_family = AF_INET;
    Addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(Handle, reinterpret_cast<sockaddr *>(&Addr), sizeof Addr);
    ::listen(Handle, 1);
    socklen_t Len = sizeof Addr;
    ::getsockname(Handle, reinterpret_cast<sockaddr *>(&Addr), &Len);
    Port = ntohs(Addr.sin_port);
    return Handle;
}

struct Result
{
    double MiBPerSecond = 0;
    long RssQuarterKiB = 0;
};

Result RunWSocket(uint64_t Total)
{
    uint16_t Port = 0;
    const int Listener = LoopbackListener(Port);
    const std::vector<char> Data(Chunk, 'w');

    // The sender lives in a worker thread with its own event loop.
    QThread *Sender = QThread::create([&] {
        TWSocket S;
        uint64_t Queued = 0;
        const auto SendMore = [&](TCustomWSocket *Sock) {
            if (Queued >= Total) {
                Sock->Shutdown(SHUT_WR);
                return;
            }
            const size_t Len = std::min<uint64_t>(Chunk, Total - Queued);
            Queued += Len;
            Sock->Send(Data.data(), static_cast<int>(Len));
        };
        S.OnDataSent = [&](TCustomWSocket *Sock, uint16_t) { SendMore(Sock); };
        QEventLoop Loop;
        S.OnSessionClosed = [&](TCustomWSocket *, uint16_t) { Loop.quit(); };
        S.SetAddr("127.0.0.1");
        S.SetPort(std::to_string(Port));
        S.Connect();
        Loop.exec();
    });

    TWSocket Receiver;
    uint64_t Received = 0;
    Result R;
    std::vector<char> Buf(Chunk);
    Receiver.OnDataAvailable = [&](TCustomWSocket *Sock, uint16_t) {
        const int Got = Sock->Receive(Buf.data(), static_cast<int>(Buf.size()));
        if (Got > 0) {
            const uint64_t Before = Received;
            Received += static_cast<uint64_t>(Got);
            if (Before < Total / 4 && Received >= Total / 4)
                R.RssQuarterKiB = PeakRssKiB();
        }
    };
    bool Done = false;
    Receiver.OnSessionClosed = [&](TCustomWSocket *, uint16_t) { Done = true; };

    const auto Start = std::chrono::steady_clock::now();
    Sender->start();
    const int Conn = ::accept(Listener, nullptr, nullptr);
    Receiver.Dup(Conn);
    while (!Done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double Elapsed = Seconds(Start);
    Sender->wait();
    delete Sender;
    ::close(Listener);
    if (Received != Total)
        std::fprintf(stderr, "TWSocket: received %llu of %llu bytes\n",
                     static_cast<unsigned long long>(Received),
                     static_cast<unsigned long long>(Total));
    R.MiBPerSecond = static_cast<double>(Received) / (1024.0 * 1024.0) / Elapsed;
    return R;
}

Result RunPlain(uint64_t Total)
{
    uint16_t Port = 0;
    const int Listener = LoopbackListener(Port);
    const auto Start = std::chrono::steady_clock::now();
    std::thread Sender([&] {
        const int Handle = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in To{};
        To.sin_family = AF_INET;
        To.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        To.sin_port = htons(Port);
        ::connect(Handle, reinterpret_cast<sockaddr *>(&To), sizeof To);
        const std::vector<char> Data(Chunk, 'p');
        uint64_t Sent = 0;
        while (Sent < Total) {
            const ssize_t N =
                ::send(Handle, Data.data(), std::min<uint64_t>(Chunk, Total - Sent), MSG_NOSIGNAL);
            if (N <= 0)
                break;
            Sent += static_cast<uint64_t>(N);
        }
        ::close(Handle);
    });
    const int Conn = ::accept(Listener, nullptr, nullptr);
    std::vector<char> Buf(Chunk);
    uint64_t Received = 0;
    Result R;
    for (;;) {
        const ssize_t N = ::recv(Conn, Buf.data(), Buf.size(), 0);
        if (N <= 0)
            break;
        Received += static_cast<uint64_t>(N);
    }
    const double Elapsed = Seconds(Start);
    Sender.join();
    ::close(Conn);
    ::close(Listener);
    R.MiBPerSecond = static_cast<double>(Received) / (1024.0 * 1024.0) / Elapsed;
    return R;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    const uint64_t MiB = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const uint64_t Total = MiB * 1024 * 1024;
    const long RssStart = PeakRssKiB();
    const Result W = RunWSocket(Total);
    const long RssAfterWSocket = PeakRssKiB();
    const Result P = RunPlain(Total);
    std::printf("bytes per run          %llu (%llu MiB)\n", static_cast<unsigned long long>(Total),
                static_cast<unsigned long long>(MiB));
    std::printf("TWSocket               %8.1f MiB/s\n", W.MiBPerSecond);
    std::printf("plain blocking socket  %8.1f MiB/s\n", P.MiBPerSecond);
    std::printf("ratio TWSocket/plain   %8.2f (target 0.50 or better)\n",
                W.MiBPerSecond / P.MiBPerSecond);
    std::printf("peak RSS: at start %ld KiB, after 1/4 of the TWSocket run %ld KiB, after it %ld "
                "KiB, at the end %ld KiB\n",
                RssStart, W.RssQuarterKiB, RssAfterWSocket, PeakRssKiB());
    return W.MiBPerSecond >= 0.5 * P.MiBPerSecond ? 0 : 1;
}
