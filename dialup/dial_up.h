#pragma once

#include "dialup/dialup_backend.h"

#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QTimer;

namespace tarn {

enum TDialMode { dmAsync, dmSync };
enum TLanguage { English, Czech };

// Lists, dials, finds and hangs up dial-up networking connections ("LAN" needs none of it).
// On Linux the phone book is NetworkManager: entries are its dial-up kinds of connection
// (mobile broadband, PPPoE, VPN, ...), dialling activates one and waits for it, hanging up
// deactivates it (see network_manager_backend.h). Where NetworkManager is absent there are no
// entries and Dial fails with rrNoService and a text that says so.
//
//     TDialUp RasDial;                       // the machine's backend
//     RasDial.DialMode = dmSync;
//     RasDial.OnNotConnected = [](TDialUp *, int code, const std::string &text) { ... };
//     RasDial.Entry = "Office VPN";
//     if (RasDial.Dial() == rrSuccess) { ...; RasDial.HangUp(); }
//
// Every operation returns a TRasResult (dialup/ras_codes.h), 0 for success, and never throws.
// Events without a handler are not called.
//
// Dial first hangs up the line of the previous Dial, then checks the entry (unknown: OnError
// "GetEntryDialParams failed", nothing dialled). In dmSync it fires OnDialing, blocks until the
// line is up (OnConnect) or has failed (the half-made line is hung up, OnNotConnected with the
// reason). In dmAsync it fires OnDialing and returns at once; progress arrives later as
// OnAsyncEvent on the thread that owns the TDialUp, handed over from the backend's thread through
// a one-slot mailbox and a timer; a dial that cannot start fires OnError. One asynchronous dial at
// a time.
//
// The component never hangs up by itself, not even when it is destroyed.
class TDialUp : public QObject
{
public:
    using TOnEntryGet = std::function<void(TDialUp *Sender, const std::string &EntryName)>;
    using TStandartEv = std::function<void(TDialUp *Sender)>;
    using TOnNotConn =
        std::function<void(TDialUp *Sender, int ErrorCode, const std::string &ErrorMessage)>;
    using TOnAsyncEvent =
        std::function<void(TDialUp *Sender, int State, int Error, const std::string &MessageText)>;
    using TOnError = TOnNotConn;
    using TOnActiveConn =
        std::function<void(TDialUp *Sender, THRasConn Handle, const TRasConnStatusA &Status,
                           const std::string &StatusString, const std::string &EntryName,
                           const std::string &DeviceType, const std::string &DeviceName)>;

    explicit TDialUp(std::unique_ptr<TDialUpBackend> Backend = CreateDialUpBackend(),
                     QObject *Parent = nullptr);
    ~TDialUp() override;

    TDialMode DialMode = dmAsync;
    std::vector<std::string> Entries; // filled by GetEntries
    std::string Entry;                // what Dial dials
    TLanguage Language = English;

    TOnEntryGet OnEntryGet;
    TStandartEv OnDialing;
    TStandartEv OnConnect;
    TOnNotConn OnNotConnected;
    TOnAsyncEvent OnAsyncEvent;
    TOnError OnError;
    TOnActiveConn OnActiveConnection;

    // Fills Entries with the phone book and fires OnEntryGet per entry. Entries is left empty
    // on an error, and by a phone book of more than 100 entries (rrBufferTooSmall).
    int GetEntries();
    int Dial();
    // Hangs up the line of the last Dial (handle 0 before any: rrInvalidHandle). Does not wait
    // for the line to drop.
    int HangUp();
    // Hangs up any connection, by the handle that OnActiveConnection gave.
    int HangUpConnection(THRasConn Handle);
    // Fires OnActiveConnection once per active connection; none active: nothing, 0.
    int GetConnections();

    // The handle of the last Dial, 0 before the first.
    THRasConn Handle() const { return FHandle; }

    // The text of a connection state or, when `Error` is not 0, of the error: state texts in
    // `Language`, "" for a state with no text.
    std::string StatusText(int State, int Error) const;

private:
    void Notify(int State, int Error);
    void DeliverNotification();

    // The mailbox between the backend's thread and the owner's thread.
    std::mutex FMailboxMutex;
    std::condition_variable FMailboxFree;
    bool FPending = false;
    bool FClosing = false;
    int FState = 0;
    int FError = 0;

    QTimer *FTimer;
    THRasConn FHandle = 0;
    std::unique_ptr<TDialUpBackend> FBackend;
};

} // namespace tarn
