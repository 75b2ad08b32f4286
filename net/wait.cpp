#include "net/wait.h"

#include "net/event_pump.h"

#include <QCoreApplication>

namespace tarn {

int32_t ParseLeadingNumber(const std::string &Text)
{
    size_t i = 0;
    while (i < Text.size() && Text[i] == ' ')
        ++i;
    int64_t n = 0;
    for (; i < Text.size() && Text[i] >= '0' && Text[i] <= '9'; ++i) {
        // A long run of digits saturates instead of overflowing.
        if (n < INT32_MAX)
            n = n * 10 + (Text[i] - '0');
    }
    return static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX));
}

TCustomWait::TCustomWait()
{
    FTimer.setInterval(1000);
    QObject::connect(&FTimer, &QTimer::timeout, &FLifeGuard, [this] { Tick(); });
}

TCustomWait::~TCustomWait() = default;

uint16_t TCustomWait::Interval() const
{
    return static_cast<uint16_t>(FTimer.interval());
}

void TCustomWait::SetInterval(uint16_t Milliseconds)
{
    FTimer.setInterval(Milliseconds);
}

bool TCustomWait::Running() const
{
    return FTimer.isActive();
}

void TCustomWait::Start()
{
    StartCount = ParseLeadingNumber(Caption);
    if (StartCount == 0) {
        StartCount = 15;
        Caption = "15";
    }
    FTimer.start();
    if (OnWaitStart)
        OnWaitStart(this);
}

void TCustomWait::Stop()
{
    ModalResult = mrStopped;
    FTimer.stop();
    Caption = std::to_string(StartCount);
    if (OnWaitStop)
        OnWaitStop(this);
    Changed();
}

void TCustomWait::Reset()
{
    Caption = std::to_string(StartCount);
    Changed();
}

void TCustomWait::Tick()
{
    const int32_t n = ParseLeadingNumber(Caption) - 1;
    if (OnWait)
        OnWait(this, n);
    if (n > 0) {
        Caption = std::to_string(n);
    } else {
        FTimer.stop();
        ModalResult = mrTimedOut;
        // Ready for the next wait with the same count.
        Caption = std::to_string(StartCount);
        if (OnTimeout)
            OnTimeout(this);
    }
    Changed();
}

void TCustomWait::WaitModal()
{
    // Installed last, the filter sees input first; removing it restores whatever filtered before.
    const std::unique_ptr<QObject> filter = CreateInputFilter();
    if (filter)
        QCoreApplication::instance()->installEventFilter(filter.get());
    ModalResult = mrNone;
    Start();
    TEventPump pump;
    while (Running()) {
        if (OnWaiting)
            OnWaiting(this);
        pump.Pass();
    }
    if (filter)
        QCoreApplication::instance()->removeEventFilter(filter.get());
}

} // namespace tarn
