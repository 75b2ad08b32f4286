#include "player/signal_watcher.h"

#include <QSocketNotifier>
#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace tarn {

namespace {

// The write end of the watcher's pipe; the handler may touch nothing else.
volatile sig_atomic_t WriteEnd = -1;

void OnSignalArrived(int Signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(Signal);
    if (WriteEnd >= 0) {
        // A full pipe drops the byte: the signals already in it end the run just as well.
        [[maybe_unused]] const ssize_t ignored = ::write(WriteEnd, &number, 1);
    }
    errno = saved;
}

} // namespace

TSignalWatcher::TSignalWatcher(TOnSignal OnSignal) : FOnSignal(std::move(OnSignal))
{
    if (::pipe2(FPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot create the signal pipe");
    WriteEnd = FPipe[1];
    FNotifier = std::make_unique<QSocketNotifier>(FPipe[0], QSocketNotifier::Read);
    QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [this] { Poll(); });

    struct sigaction action = {};
    action.sa_handler = OnSignalArrived;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &FOldInt);
    ::sigaction(SIGTERM, &action, &FOldTerm);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &FOldPipe);
}

TSignalWatcher::~TSignalWatcher()
{
    ::sigaction(SIGINT, &FOldInt, nullptr);
    ::sigaction(SIGTERM, &FOldTerm, nullptr);
    ::sigaction(SIGPIPE, &FOldPipe, nullptr);
    WriteEnd = -1;
    FNotifier.reset();
    ::close(FPipe[0]);
    ::close(FPipe[1]);
}

void TSignalWatcher::Poll()
{
    unsigned char numbers[16];
    for (;;) {
        const ssize_t got = ::read(FPipe[0], numbers, sizeof numbers);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return;
        for (ssize_t i = 0; i < got; ++i)
            FOnSignal(numbers[i]);
    }
}

} // namespace tarn
