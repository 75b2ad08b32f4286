#pragma once

#include "dialup/ras_codes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarn {

// A handle of a dial-up connection, 0 for none.
using THRasConn = std::int64_t;

// The state of one connection, as TDialUp's OnActiveConnection reports it.
struct TRasConnStatusA
{
    int State = 0; // a state number of TDialUp::StateText, 8192 connected
    int Error = 0; // 0, or a TRasResult when the connection failed
    std::string DeviceType;
    std::string DeviceName;
};

// One active connection found by EnumConnections.
struct TRasConn
{
    THRasConn Handle = 0;
    std::string EntryName;
    std::string DeviceType;
    std::string DeviceName;
};

// The platform side of TDialUp: the phone book, dialling and hanging up. Every call returns a
// TRasResult. Backends are used from the thread that owns the TDialUp, except the notifier of
// an asynchronous Dial, which a backend may call from a thread of its own.
class TDialUpBackend
{
public:
    // Called with a connection state (TDialUp::StateText numbers) and an error code; the last
    // call of a dial carries 8192 (connected) or an error.
    using TNotifier = std::function<void(int State, int Error)>;

    virtual ~TDialUpBackend() = default;

    // The phone-book entry names, in the backend's order.
    virtual int EnumEntries(std::vector<std::string> &Entries) = 0;
    // Checks that an entry exists and can be dialled.
    virtual int GetEntryDialParams(const std::string &Entry) = 0;
    // Dials an entry. Without a notifier the call returns when the line is up or has failed;
    // with one it returns at once (0, or an error when the dial could not start) and reports
    // progress through the notifier. `Handle` receives the connection's handle, also on a
    // failure that may have left the line half up, so that it can be hung up.
    virtual int Dial(const std::string &Entry, THRasConn &Handle, TNotifier Notifier) = 0;
    virtual int HangUp(THRasConn Handle) = 0;
    virtual int EnumConnections(std::vector<TRasConn> &Connections) = 0;
    virtual int GetConnectStatus(THRasConn Handle, TRasConnStatusA &Status) = 0;
    // The text of a result code; for the code of the backend's last failure, its own words.
    virtual std::string ErrorString(int Code) = 0;
};

// The backend for this machine: NetworkManager through nmcli (network_manager_backend.h). When
// NetworkManager is absent it has no entries and every dial fails with rrNoService.
std::unique_ptr<TDialUpBackend> CreateDialUpBackend();

} // namespace tarn
