#pragma once

// The count-down behind blocking socket waits: counts Caption down once per Interval and runs a
// modal wait that keeps the thread's event loop going until Stop is called or the count runs out.
// This class holds the whole logic and needs no display; the painted control (TWait, in the
// tarn_net_ui library) derives from it and only adds the drawing.

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tarn {

class TCustomWait;

using TWaitEvent = std::function<void(TCustomWait *Sender, int32_t Count)>;
using TWaitNotify = std::function<void(TCustomWait *Sender)>;

// Blanks (spaces only) are skipped, then decimal digits are read up to the first other
// character; no digit gives 0. A sign is not recognised.
int32_t ParseLeadingNumber(const std::string &Text);

class TCustomWait
{
public:
    // How the last wait ended (ModalResult).
    static constexpr int32_t mrNone = 0;
    static constexpr int32_t mrStopped = 1;
    static constexpr int32_t mrTimedOut = 2;

    TCustomWait();
    virtual ~TCustomWait();
    TCustomWait(const TCustomWait &) = delete;
    TCustomWait &operator=(const TCustomWait &) = delete;

    // Count taken from Caption (15 when it holds no number); enables the timer; OnWaitStart.
    virtual void Start();
    // ModalResult 1, timer off, Caption back to StartCount, OnWaitStop; also when idle.
    virtual void Stop();
    // Blocks, running the event loop, until Stop or the time-out. While it runs, the filter of
    // CreateInputFilter sees every event of the application first (TWait's swallows key
    // presses and left or right button presses and double clicks with a beep).
    virtual void WaitModal();
    // Caption back to StartCount.
    virtual void Reset();

    std::string Caption = "60";
    int32_t ModalResult = mrNone;
    int32_t StartCount = 60;

    uint16_t Interval() const;
    void SetInterval(uint16_t Milliseconds);
    bool Running() const;
    bool Visible() const { return FVisible; }
    virtual void SetVisible(bool Value) { FVisible = Value; }

    TWaitEvent OnWait;
    TWaitNotify OnWaiting;
    TWaitNotify OnWaitStart;
    TWaitNotify OnWaitStop;
    TWaitNotify OnTimeout;

    // A guard object that lives exactly as long as this control, so that a socket referring to
    // it sees the reference become empty when the control is destroyed.
    QObject *LifeGuard() { return &FLifeGuard; }

protected:
    // One count-down step (the timer's tick).
    void Tick();
    // The count changed: a painted control repaints here.
    virtual void Changed() {}
    // The application-wide event filter installed for the time of WaitModal; none here, since
    // without a window there is no input to hold back.
    virtual std::unique_ptr<QObject> CreateInputFilter() { return nullptr; }

private:
    QObject FLifeGuard;
    QTimer FTimer;
    bool FVisible = true;
};

} // namespace tarn
