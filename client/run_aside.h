#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <future>

namespace tarn {

// Runs Work on a thread of its own while the calling thread's event loop keeps running, and
// returns Work's result (or throws what it threw) once it is done. For long pure computations
// (sorting a listing of 100,000 entries) that must not hold the window still: Work shares
// nothing with the handlers that run meanwhile, so it takes what it needs by value.
template <typename TWork> auto RunAside(TWork Work) -> decltype(Work())
{
    QObject waker; // lives on this thread: the worker's notice arrives through its event loop
    bool done = false;
    // Posts the notice however Work ends, so that the wait below always ends.
    struct TNotice
    {
        QObject *Waker;
        bool *Done;
        ~TNotice()
        {
            QMetaObject::invokeMethod(
                Waker, [Done = Done] { *Done = true; }, Qt::QueuedConnection);
        }
    };
    auto result = std::async(std::launch::async, [&waker, &done, Work = std::move(Work)] {
        const TNotice notice{&waker, &done};
        return Work();
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return result.get();
}

} // namespace tarn
