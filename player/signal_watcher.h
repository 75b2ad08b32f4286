#pragma once

// Turns SIGINT and SIGTERM into calls on the owning thread, never inside the signal handler:
// the handler only writes the signal's number to a pipe, whose reading end a QSocketNotifier
// watches, so the call comes from the Qt event loop (which every waiting engine call keeps
// turning). Poll() takes in what has arrived without the loop, for code between two waits.
// SIGPIPE is ignored while a watcher lives, so that a reader of standard output that goes
// away turns writes into errors instead of ending the program.
//
// One watcher at a time; the destructor restores the previous handlers.

#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace tarn {

class TSignalWatcher
{
public:
    using TOnSignal = std::function<void(int Signal)>;

    explicit TSignalWatcher(TOnSignal OnSignal);
    ~TSignalWatcher();
    TSignalWatcher(const TSignalWatcher &) = delete;
    TSignalWatcher &operator=(const TSignalWatcher &) = delete;

    // Calls OnSignal for every signal that arrived since the last call, in order.
    void Poll();

private:
    TOnSignal FOnSignal;
    int FPipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> FNotifier;
    struct sigaction FOldInt = {};
    struct sigaction FOldTerm = {};
    struct sigaction FOldPipe = {};
};

} // namespace tarn
