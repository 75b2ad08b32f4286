#include "net/event_pump.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace tarn {

TEventPump::TEventPump(int HeartbeatMs)
{
    FHeartbeat.setInterval(HeartbeatMs);
    FHeartbeat.start();
}

void TEventPump::Pass()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace tarn
