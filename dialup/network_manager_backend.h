#pragma once

#include "dialup/dialup_backend.h"

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarn {

// Dial-up networking through NetworkManager, driven by its command-line client `nmcli`
// (found on PATH) in terse mode:
// - entries: the connection profiles of dial-up kinds (gsm, cdma, pppoe, adsl, bluetooth, vpn,
//   wireguard), in nmcli's order, named by their connection name;
// - dial: `nmcli --wait N connection up uuid U`, which returns when the connection is activated
//   or has failed; a time-out leaves a half-made line that the caller hangs up;
// - hang up: `nmcli connection down uuid U`;
// - active connections: the active profiles of those kinds, with their type and device.
// Handles are small numbers given out per connection (by UUID) for the life of the backend.
//
// nmcli's exit statuses map onto the result codes: 8 (NetworkManager not running) and a
// missing nmcli give rrNoService, 10 (no such connection) rrNoSuchEntry (rrInvalidHandle for a
// hang-up), anything else rrDialFailed; ErrorString then gives nmcli's own first line of
// complaint. Enumerations without NetworkManager succeed with nothing found.
class TNetworkManagerBackend : public TDialUpBackend
{
public:
    explicit TNetworkManagerBackend(int WaitSeconds = 90);
    ~TNetworkManagerBackend() override;

    int EnumEntries(std::vector<std::string> &Entries) override;
    int GetEntryDialParams(const std::string &Entry) override;
    int Dial(const std::string &Entry, THRasConn &Handle, TNotifier Notifier) override;
    int HangUp(THRasConn Handle) override;
    int EnumConnections(std::vector<TRasConn> &Connections) override;
    int GetConnectStatus(THRasConn Handle, TRasConnStatusA &Status) override;
    std::string ErrorString(int Code) override;

private:
    struct TProfile
    {
        std::string Name;
        std::string Uuid;
        std::string Type;
        std::string Device;
        std::string State;
    };
    struct TOutcome
    {
        int Code;         // a TRasResult
        std::string Text; // nmcli's complaint when Code is not 0
    };

    TOutcome Run(const std::vector<std::string> &Arguments, int TimeoutSeconds,
                 std::string *Output = nullptr) const;
    // The dial-up profiles, all of them or only the active ones.
    TOutcome List(bool Active, std::vector<TProfile> &Profiles) const;
    // List, for the enumerations: no NetworkManager is an empty list, more than 100 an error.
    int Enumerate(bool Active, std::vector<TProfile> &Profiles);
    // The dial-up profile of an entry name; rrNoSuchEntry when there is none.
    int FindEntry(const std::string &Entry, TProfile &Found);
    TOutcome Activate(const std::string &Uuid) const;
    int Failed(const TOutcome &Outcome);
    THRasConn HandleOf(const std::string &Uuid);
    std::string UuidOf(THRasConn Handle);

    const int FWaitSeconds;
    std::mutex FMutex; // the handle table and the last error, shared with the dial thread
    std::map<THRasConn, std::string> FHandles;
    THRasConn FNextHandle = 1;
    int FLastCode = 0;
    std::string FLastText;
    std::thread FDialThread;
};

} // namespace tarn
