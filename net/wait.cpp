#include "net/wait.h"

#include "net/event_pump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMouseEvent>

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

// Swallows, application-wide, the input that could start a second operation during a modal
// wait: key presses and left or right button presses and double clicks. Key releases and the
// middle button pass.
class TCustomWait::TInputFilter : public QObject
{
public:
    explicit TInputFilter(TCustomWait *Owner) : FOwner(Owner) {}

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        switch (Event->type()) {
        case QEvent::KeyPress:
        case QEvent::Shortcut:
            FOwner->Beep();
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonDblClick: {
            const auto Button = static_cast<QMouseEvent *>(Event)->button();
            if (Button == Qt::LeftButton || Button == Qt::RightButton) {
                FOwner->Beep();
                return true;
            }
            break;
        }
        default:
            break;
        }
        return QObject::eventFilter(Watched, Event);
    }

private:
    TCustomWait *FOwner;
};

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
    TInputFilter Filter(this);
    QCoreApplication::instance()->installEventFilter(&Filter);
    ModalResult = mrNone;
    Start();
    TEventPump Pump;
    while (Running()) {
        if (OnWaiting)
            OnWaiting(this);
        Pump.Pass();
    }
    QCoreApplication::instance()->removeEventFilter(&Filter);
}
