// The passive-mode data step: PASV (EPSV when the server refuses PASV), then a connection to
// the port the reply names. The step completes once that connection is up; the transfer that
// follows uses it exactly as an accepted active-mode connection.
//
// The address inside a 227 reply is not used: the data connection always goes to the control
// connection's peer. A server behind NAT names an address we cannot reach, and a hostile one
// could otherwise make us send a file to, or take data from, another host.
#include "ftp/custom_ftp_cli.h"
#include "ftp/ftp_parse.h"
#include "net/wsocket.h"

#include <arpa/inet.h>

namespace tarn {

namespace {

// Result of a passive step whose data connection could not be made (RFC 959: can't open).
constexpr int NoDataConnectionResult = 425;

} // namespace

void TCustomFtpCli::PassiveAsync()
{
    if (DataSocket->State() != wsClosed)
        DataSocket->Close();
    FAcceptWaiting = false;
    DataSocket->OnSessionAvailable = nullptr;
    DataSocket->OnSessionConnected = nullptr;
    DataSocket->OnSessionClosed = nullptr;
    DataSocket->OnDataAvailable = nullptr;
    DataSocket->OnDataSent = nullptr;
    DataSocket->OnTlsDone = nullptr;
    FErrorBeforePasv = FErrorMessage;
    CurrentStep = stPort;
    StartCommand(rqPort, "PASV", {227}, [this] { PassiveReplied(false); });
}

void TCustomFtpCli::PassiveReplied(bool Extended)
{
    if (StepResult != 0) {
        if (!Extended && FStatusCode >= 500 && FStatusCode <= 599) {
            // A server that speaks only EPSV (or sits behind a NAT that cannot rewrite 227).
            FErrorMessage = FErrorBeforePasv;
            FollowUp("EPSV", {229}, [this] { PassiveReplied(true); });
            return;
        }
        TriggerRequestDone(StepResult);
        return;
    }
    const sockaddr_in control = ControlSocket->SockAddr();
    char peer[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &control.sin_addr, peer, sizeof peer);
    int port = 0;
    if (Extended) {
        port = ExtendedPassivePort(FLastResponse);
    } else {
        const TPassiveTarget target = PassiveTarget(FLastResponse);
        port = target.Port;
        if (port != 0 && target.Address != peer)
            TriggerDisplay("! PASV reply names " + target.Address + "; connecting to " + peer +
                           ", the server's address, instead");
    }
    if (port == 0) {
        FailPassive(500, "500 No data port in the reply: " + FLastResponse);
        return;
    }
    DataSocket->OnSessionConnected = [this](auto &&, uint16_t Error) { PassiveConnected(Error); };
    FAwaitingFinal = true;
    try {
        DataSocket->SetProto("tcp");
        DataSocket->SetAddr(peer);
        DataSocket->SetPort(std::to_string(port));
        DataSocket->Connect();
    } catch (const std::exception &e) {
        FailPassive(NoDataConnectionResult, std::to_string(NoDataConnectionResult) +
                                                " Cannot open data connection: " + e.what());
    }
}

void TCustomFtpCli::PassiveConnected(uint16_t Error)
{
    DataSocket->OnSessionConnected = nullptr;
    if (Error != 0) {
        FailPassive(NoDataConnectionResult,
                    std::to_string(NoDataConnectionResult) + " Cannot open data connection: " +
                        SocketErrorText(Error) + " (Winsock error #" + std::to_string(Error) + ")");
        return;
    }
    StepResult = 0;
    TriggerRequestDone(0);
}

void TCustomFtpCli::FailPassive(int Code, const std::string &Reason)
{
    FLastResponse = Reason;
    FStatusCode = StepResult = Code;
    KeepError();
    TriggerDisplay("! " + Reason);
    if (DataSocket->State() != wsClosed)
        DataSocket->Close();
    TriggerRequestDone(Code);
}

} // namespace tarn
