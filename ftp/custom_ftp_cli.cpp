// The control connection: sending commands, assembling and judging replies, completing
// requests, opening, losing and aborting the connection.
#include "ftp/custom_ftp_cli.h"

#include "ftp/ftp_parse.h"
#include "net/wsocket.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <chrono>
#include <climits>

namespace tarn {

namespace {

// Result of a final reply line that carries no leading code: a broken server's garbage must
// never read as success.
constexpr int NoCodeResult = 500;
// Result of a request whose control connection was lost before its final reply.
constexpr int ConnectionLostResult = 421;

std::string WinsockFailureText(int Code, uint16_t Error)
{
    return std::to_string(Code) + " " + SocketErrorText(Error) + " (Winsock error #" +
           std::to_string(Error) + ")";
}

} // namespace

int64_t FtpTickCount()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

TCustomFtpCli::TCustomFtpCli()
    : ControlSocket(std::make_unique<TWSocket>()), DataSocket(std::make_unique<TWSocket>()),
      FReceiver(std::make_unique<QObject>())
{
    ControlSocket->OnDnsLookupDone = [this](auto &&, uint16_t Error) {
        ControlDnsLookupDone(Error);
    };
    ControlSocket->OnSessionConnected = [this](auto &&, uint16_t Error) {
        ControlSessionConnected(Error);
    };
    ControlSocket->OnDataAvailable = [this](auto &&, uint16_t Error) {
        ControlDataAvailable(Error);
    };
    ControlSocket->OnSessionClosed = [this](auto &&, uint16_t Error) {
        ControlSessionClosed(Error);
    };
}

TCustomFtpCli::~TCustomFtpCli()
{
    // The sockets go with the engine and must not call back into it while it is torn down.
    ControlSocket->Destroying();
    DataSocket->Destroying();
    if (LocalStream)
        std::fclose(LocalStream);
}

bool TCustomFtpCli::Connected() const
{
    return ControlSocket->State() != wsClosed;
}

void TCustomFtpCli::SendCommand(const std::string &Cmd)
{
    std::string command = Cmd;
    if (OnCommand)
        OnCommand(this, command);
    TriggerDisplay("> " + command);
    ControlSocket->SendStr(command + "\r\n");
}

void TCustomFtpCli::TriggerDisplay(const std::string &Msg)
{
    if (OnDisplay) {
        std::string copy = Msg;
        OnDisplay(this, copy);
    }
}

void TCustomFtpCli::ShowReply()
{
    TriggerDisplay("< " + FLastResponse);
}

void TCustomFtpCli::KeepError()
{
    if (FErrorMessage.empty())
        FErrorMessage = FLastResponse;
}

void TCustomFtpCli::SetState(TFtpState NewState)
{
    if (NewState == FState)
        return;
    FState = NewState;
    if (OnStateChange)
        OnStateChange(this);
}

void TCustomFtpCli::CheckReady() const
{
    if (FState != fsReady && FState != fsStepReady)
        throw FtpException("FTP component not ready");
}

int TCustomFtpCli::ReadStatusCode()
{
    const int64_t value = ParseInteger(FLastResponse).Value;
    FStatusCode = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : int(value);
    return FStatusCode;
}

void TCustomFtpCli::StartCommand(TFtpRequest Request, const std::string &Cmd,
                                 std::vector<int> Codes, std::function<void()> After)
{
    CheckReady();
    if (!ControlOpen)
        throw FtpException("FTP component not connected");
    if (!ChainActive)
        FRequestType = Request;
    if (Codes.size() > 15)
        Codes.resize(15);
    AcceptedCodes = std::move(Codes);
    DoneSignalled = false;
    ReplyHandler = &TCustomFtpCli::HandleReply;
    AfterReply = std::move(After);
    const TFtpState before = FState;
    SetState(fsAwaitReply);
    FAwaitingFinal = true;
    try {
        SendCommand(Cmd);
    } catch (...) {
        FAwaitingFinal = false;
        SetState(before);
        throw;
    }
}

void TCustomFtpCli::OpenAsync()
{
    CheckReady();
    if (ControlOpen)
        throw FtpException("FTP component already connected");
    if (!ChainActive)
        FRequestType = rqOpen;
    DoneSignalled = false;
    FAssembler.Reset();
    StepResult = 0;
    const TFtpState before = FState;
    SetState(fsLookup);
    FAwaitingFinal = true;
    try {
        ControlSocket->DnsLookup(HostName);
    } catch (...) {
        if (FState == fsLookup) {
            FAwaitingFinal = false;
            SetState(before);
        }
        throw;
    }
}

void TCustomFtpCli::FailOpen(uint16_t Error)
{
    FLastResponse = WinsockFailureText(500, Error);
    FStatusCode = StepResult = 500;
    KeepError();
    ChainContinue = false;
    TriggerRequestDone(Error);
}

void TCustomFtpCli::ControlDnsLookupDone(uint16_t Error)
{
    if (FState != fsLookup && FState != fsAborting)
        return; // a lookup we no longer wait for
    if (Error != 0) {
        FailOpen(Error);
        return;
    }
    try {
        ControlSocket->SetAddr(ControlSocket->DnsResult());
        ControlSocket->SetProto("tcp");
        ControlSocket->SetPort(Port);
        SetState(fsAwaitBanner);
        ControlSocket->Connect();
    } catch (const std::exception &) {
        // A port the system cannot convert, or a connect refused on the spot: the request
        // fails like a connection that could not be made.
        const int code = ControlSocket->LastError();
        FailOpen(uint16_t(code > 0 && code <= 0xffff ? code : 10022));
        if (ControlSocket->State() != wsClosed)
            ControlSocket->Close();
        SetState(fsReady);
    }
}

void TCustomFtpCli::ControlSessionConnected(uint16_t Error)
{
    if (Error == 0) {
        ControlOpen = true;
        return;
    }
    FailOpen(Error);
    ControlSocket->Close();
    SetState(fsReady);
}

void TCustomFtpCli::ControlDataAvailable(uint16_t Error)
{
    char *space = FAssembler.Space(); // first: it makes room for SpaceLen()
    const int received = ControlSocket->Receive(space, int(FAssembler.SpaceLen()));
    if (received == 0) {
        ControlSocket->Close();
        return;
    }
    if (received < 0)
        return;
    FAssembler.Commit(std::size_t(received));
    TFtpReplyLine line;
    while (FAssembler.NextLine(line)) {
        FLastResponse = line.Text;
        if (OnResponse)
            OnResponse(this);
        if (!JudgeLine(line, Error))
            return;
    }
}

// Acts on one reply line by state; false stops the reading of held lines.
bool TCustomFtpCli::JudgeLine(const TFtpReplyLine &Line, uint16_t Error)
{
    switch (FState) {
    case fsAwaitBanner:
        ShowReply();
        ReadStatusCode();
        if (!Line.Final)
            return true;
        if (FStatusCode != 220) {
            // 421 and friends: the server refuses the session and the connection is closed;
            // the loss handler completes the request with this code.
            KeepError();
            StepResult = FStatusCode > 0 ? FStatusCode : NoCodeResult;
            FAwaitingFinal = false;
            ControlSocket->Close();
            return false;
        }
        SetState(fsConnected); // 220 Service ready
        if (OnSessionConnected)
            OnSessionConnected(this, Error);
        TriggerRequestDone(0);
        return true;
    case fsAwaitReply:
        if (!ReplyHandler)
            throw FtpException("Program error: a reply came with no request to take it");
        (this->*ReplyHandler)(Line);
        return true;
    default:
        ShowReply(); // unsolicited: logged, otherwise ignored
        return true;
    }
}

void TCustomFtpCli::HandleReply(const TFtpReplyLine &Line)
{
    ShowReply();
    ReadStatusCode();
    if (!Line.Final)
        return; // inside a multi-line reply: only "nnn " with the opening code ends it
    FAwaitingFinal = false;
    if (FStatusCode <= 0) {
        StepResult = NoCodeResult;
    } else if (AcceptedCodes.empty()) {
        StepResult = FStatusCode < 500 ? 0 : FStatusCode;
    } else {
        StepResult = FStatusCode;
        for (int code : AcceptedCodes)
            if (code == FStatusCode)
                StepResult = 0;
    }
    if (StepResult != 0)
        KeepError();
    else if (CurrentStep == stSize) // 213 <size>
        FSizeResult = ParseInteger(FLastResponse, ParseInteger(FLastResponse).Next).Value;
    if (AfterReply) {
        const std::function<void()> after = AfterReply;
        after();
    } else {
        TriggerRequestDone(uint16_t(StepResult));
    }
}

void TCustomFtpCli::TriggerRequestDone(uint16_t Error)
{
    FAwaitingFinal = false;
    if (DoneSignalled)
        return;
    DoneSignalled = true;
    if (ChainContinue) {
        if (FState != fsAborting)
            SetState(fsStepReady);
        NextStep();
        return;
    }
    SetState(fsReady);
    FDoneResult = StepResult;
    if (DataSocket->State() != wsClosed)
        DataSocket->Close();
    if (ChainActive && SavedStatusCode >= 0) {
        FLastResponse = SavedResponse;
        FStatusCode = SavedStatusCode;
    }
    ChainActive = false;
    ++FRequestsDone;
    PostRequestDone(Error);
}

void TCustomFtpCli::PostRequestDone(uint16_t Error)
{
    QMetaObject::invokeMethod(
        FReceiver.get(),
        [this, Error] {
            if (OnRequestDone)
                OnRequestDone(this, FRequestType, Error);
        },
        Qt::QueuedConnection);
}

void TCustomFtpCli::ControlSessionClosed(uint16_t Error)
{
    const bool lost = FAwaitingFinal;
    FAwaitingFinal = false;
    if (ControlOpen) {
        ControlOpen = false;
        if (FState != fsAborting)
            SetState(fsOffline);
        if (OnSessionClosed)
            OnSessionClosed(this, Error);
    }
    if (lost) {
        // The reply never came: the request fails, whatever the previous request left. A
        // download that had not started lets go of its file, untouched.
        CloseUnstartedDownload();
        if (FState == fsAborting) {
            StepResult = 426;
        } else {
            FLastResponse =
                Error != 0 ? WinsockFailureText(ConnectionLostResult, Error)
                           : std::to_string(ConnectionLostResult) + " Connection closed by server";
            FStatusCode = StepResult = ConnectionLostResult;
            KeepError();
            TriggerDisplay("! " + FLastResponse);
        }
    }
    if (FState != fsAborting)
        SetState(fsStepReady);
    TriggerRequestDone(uint16_t(StepResult));
}

void TCustomFtpCli::Abort()
{
    const TFtpState before = FState;
    SetState(fsAborting);
    if (before == fsLookup)
        ControlSocket->CancelDnsLookup();
    if (ControlSocket->State() != wsClosed)
        ControlSocket->Close();
    if (DataSocket->State() != wsClosed)
        DataSocket->Close();
    CloseLocalStream();
    ControlOpen = false;
    SetState(fsReady);
}

} // namespace tarn
