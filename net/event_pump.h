#pragma once

#include <QTimer>

namespace tarn {

// Passes of the calling thread's event loop for a blocking wait. Each Pass dispatches whatever is
// pending; when nothing is, it sleeps until something arrives, at most one heartbeat period, so
// that a wait loop neither spins nor misses its deadline by more than that.
class TEventPump
{
public:
    explicit TEventPump(int HeartbeatMs = 20);
    void Pass();

private:
    QTimer FHeartbeat;
};

} // namespace tarn
