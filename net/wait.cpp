#include "net/wait.h"

#include "net/event_pump.h"

#include <QCoreApplication>

namespace tarn {

int32_t ParseLeadingNumber(const std::string &Text)
{
    size_t I = 0;
    while (I < Text.size() && Text[I] == ' ')
        ++I;
    int64_t N = 0;
    for (; I < Text.size() && Text[I] >= '0' && Text[I] <= '9'; ++I) {
        // A long run of digits saturates instead of overflowing.
        if (N < INT32_MAX)
            N = N * 10 + (Text[I] - '0');
    }
    return static_cast<int32_t>(std::min<int64_t>(N, INT32_MAX));
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
    const int32_t N = ParseLeadingNumber(Caption) - 1;
    if (OnWait)
        OnWait(this, N);
    if (N > 0) {
        Caption = std::to_string(N);
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
    const std::unique_ptr<QObject> Filter = CreateInputFilter();
    if (Filter)
        QCoreApplication::instance()->installEventFilter(Filter.get());
    ModalResult = mrNone;
    Start();
    TEventPump Pump;
    while (Running()) {
        if (OnWaiting)
            OnWaiting(this);
        Pump.Pass();
    }
    if (Filter)
        QCoreApplication::instance()->removeEventFilter(Filter.get());
}

} // namespace tarn
