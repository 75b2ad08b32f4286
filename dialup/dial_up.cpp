#include "dialup/dial_up.h"

#include <QTimer>

namespace tarn {

namespace {

struct TStateText
{
    int State;
    const char *English;
    const char *Czech;
};

// The connection states and their texts (the Czech ones in UTF-8).
const TStateText StateTexts[] = {
    {0, "Opening port", "Otevírá se port"},
    {1, "Port opened", "Port otevřen"},
    {2, "Connecting device", "Probíhá spojování"},
    {3, "Device connected", "Navázáno spojení"},
    {4, "All devices connected", "Všechna zařízení spojena"},
    {5, "Start authenticating", "Začínají se ověřovat uživatelské informace"},
    {6, "Authentication: notify", "Ověření: oznámení"},
    {7, "Authentication: retry", "Ověření: opakování"},
    {8, "Authentication: callback", "Ověření: zpětné volání"},
    {9, "Authentication: change password", "Ověření: změna hesla"},
    {10, "Authentication: projecting", "Ověření: návrh"},
    {11, "Authentication: link speed", "Ověření: spojovací rychlost"},
    {12, "Authentication: acknowledge", "Ověření: potvrzení"},
    {13, "Authentication: reauthenticate", "Ověření: znovuověření"},
    {14, "Authenticated", "Ověřeno"},
    {15, "Preparing for callback", "Příprava na zpetné volání"},
    {16, "Waiting for modem reset", "Čeká se na reset modemu"},
    {17, "Waiting for callback", "Čeká se na zpětné volání"},
    {18, "Projected", "Navrhnuto"},
    {19, "Start authentication", "Ověřování uživatelských informací"},
    {20, "Callback complete", "Zpetné volání hotovo"},
    {21, "Logging on network", "Připojuje se na síť"},
    {4096, "Interactive", "Interakce"},
    {4097, "Retry Authentication", "Opakování oveření"},
    {4098, "Callback set by caller", "Zpeětné volání zvoleno uživatelem"},
    {4099, "Password expired", "Platnost hesla vypršela"},
    {8192, "Connected", "Spojeno"},
    {8193, "Disconnected", "Rozpojeno"},
};

} // namespace

TDialUp::TDialUp(std::unique_ptr<TDialUpBackend> Backend, QObject *Parent)
    : QObject(Parent), FTimer(new QTimer(this)), FBackend(std::move(Backend))
{
    FTimer->setSingleShot(true);
    FTimer->setInterval(0);
    connect(FTimer, &QTimer::timeout, this, [this] { DeliverNotification(); });
}

TDialUp::~TDialUp()
{
    {
        std::lock_guard lock(FMailboxMutex);
        FClosing = true;
    }
    FMailboxFree.notify_all();
    // The backend stops its own threads; their notifications are dropped from here on.
    FBackend.reset();
}

int TDialUp::GetEntries()
{
    Entries.clear();
    std::vector<std::string> names;
    const int result = FBackend->EnumEntries(names);
    if (result != rrSuccess)
        return result;
    for (const std::string &name : names) {
        Entries.push_back(name);
        if (OnEntryGet)
            OnEntryGet(this, name);
    }
    return rrSuccess;
}

int TDialUp::Dial()
{
    HangUp();
    int result = FBackend->GetEntryDialParams(Entry);
    if (result != rrSuccess) {
        if (OnError)
            OnError(this, result, "GetEntryDialParams failed");
        return result;
    }
    FHandle = 0;
    if (OnDialing)
        OnDialing(this);
    if (DialMode == dmSync) {
        result = FBackend->Dial(Entry, FHandle, {});
        if (result == rrSuccess) {
            if (OnConnect)
                OnConnect(this);
            return result;
        }
        const std::string text = FBackend->ErrorString(result);
        if (FHandle != 0)
            FBackend->HangUp(FHandle);
        if (OnNotConnected)
            OnNotConnected(this, result, text);
        return result;
    }
    result = FBackend->Dial(Entry, FHandle, [this](int State, int Error) { Notify(State, Error); });
    if (result != rrSuccess && OnError)
        OnError(this, result, FBackend->ErrorString(result));
    return result;
}

int TDialUp::HangUp()
{
    return FBackend->HangUp(FHandle);
}

int TDialUp::HangUpConnection(THRasConn Handle)
{
    return FBackend->HangUp(Handle);
}

int TDialUp::GetConnections()
{
    std::vector<TRasConn> connections;
    const int result = FBackend->EnumConnections(connections);
    if (result != rrSuccess)
        return result;
    for (const TRasConn &connection : connections) {
        TRasConnStatusA status;
        FBackend->GetConnectStatus(connection.Handle, status);
        const std::string text = StatusText(status.State, status.Error);
        if (OnActiveConnection)
            OnActiveConnection(this, connection.Handle, status, text, connection.EntryName,
                               connection.DeviceType, connection.DeviceName);
    }
    return rrSuccess;
}

std::string TDialUp::StatusText(int State, int Error) const
{
    if (Error != 0)
        return FBackend->ErrorString(Error);
    for (const TStateText &text : StateTexts) {
        if (text.State == State)
            return Language == Czech ? text.Czech : text.English;
    }
    return {};
}

// Runs on the backend's thread: waits until the slot is free, fills it and wakes the owner's
// thread through the timer.
void TDialUp::Notify(int State, int Error)
{
    // The backend's thread sleeps until the owner's thread has taken the previous notification
    // (or the component is going), then posts this one.
    std::unique_lock lock(FMailboxMutex);
    FMailboxFree.wait(lock, [this] { return FClosing || !FPending; });
    if (FClosing)
        return;
    FState = State;
    FError = Error;
    FPending = true;
    QMetaObject::invokeMethod(FTimer, qOverload<>(&QTimer::start), Qt::QueuedConnection);
}

void TDialUp::DeliverNotification()
{
    FTimer->stop();
    int state, error;
    {
        std::lock_guard lock(FMailboxMutex);
        if (!FPending)
            return;
        state = FState;
        error = FError;
        // Free the slot before the handler runs: a handler that dials again would otherwise
        // wait for the previous dial's thread while that thread waits for the slot.
        FPending = false;
    }
    FMailboxFree.notify_all();
    if (OnAsyncEvent)
        OnAsyncEvent(this, state, error, StatusText(state, error));
}

} // namespace tarn
