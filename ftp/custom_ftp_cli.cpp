// The control connection: sending commands, assembling and judging replies, completing
// requests, opening, losing and aborting the connection.
#include "ftp/custom_ftp_cli.h"

#include "ftp/ftp_parse.h"
#include "net/tls_context.h"
#include "net/wsocket.h"
#include "support/text.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <chrono>
#include <climits>
#include <netdb.h>

namespace tarn {

namespace {

// Result of a final reply line that carries no leading code: a broken server's garbage must
// never read as success.
constexpr int NoCodeResult = 500;
// Result of a request whose control connection was lost before its final reply.
constexpr int ConnectionLostResult = 421;

// What replaces the password wherever it would be shown.
constexpr const char PasswordMask[] = "*******";

std::string WinsockFailureText(int Code, uint16_t Error)
{
    return std::to_string(Code) + " " + SocketErrorText(Error) + " (Winsock error #" +
           std::to_string(Error) + ")";
}

bool SameLetters(char A, char B)
{
    const auto lower = [](char C) { return C >= 'A' && C <= 'Z' ? char(C - 'A' + 'a') : C; };
    return lower(A) == lower(B);
}

// The port to connect to: a decimal number from 1 to 65535 or the name of a TCP service.
// Anything else is refused rather than cut to 16 bits or read up to its first non-digit.
int ServicePort(const std::string &Text)
{
    const std::string text = Trim(Text, tsBlanks);
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
        long value = 0;
        for (const char c : text)
            value = std::min(value * 10 + (c - '0'), 65536L);
        if (value >= 1 && value <= 65535)
            return int(value);
    } else if (!text.empty() && text.size() < 64) {
        servent entry{};
        servent *result = nullptr;
        char work[1024];
        ::getservbyname_r(text.c_str(), "tcp", &entry, work, sizeof work, &result);
        if (result)
            return ntohs(uint16_t(result->s_port));
    }
    throw FtpException("Port \"" + PrintableText(Text) +
                       "\" is neither a number from 1 to 65535 nor a known service name");
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
    *FAlive = false;
    ControlSocket->Destroying();
    DataSocket->Destroying();
    // FLocal goes with the engine: a download's temporary file is removed.
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
    // A line break inside the text would make the server read a second command of the text's
    // choosing ("secret\r\nDELE x"), hidden behind the masked PASS line.
    CheckCommandText(command, "The command");
    TakeStrayReplies();
    const bool password = UpperCaseAscii(command.substr(0, 5)) == "PASS ";
    TriggerDisplay(password ? std::string("> PASS ") + PasswordMask : "> " + command);
    ControlSocket->SendStr(command + "\r\n");
}

void TCustomFtpCli::TriggerDisplay(const std::string &Msg)
{
    if (OnDisplay) {
        std::string copy = PrintableText(HidePassword(Msg));
        OnDisplay(this, copy);
    }
}

// The password, in any letter case, becomes asterisks where it stands as a word of its own (a
// server that repeats it: "530 Login incorrect for password secret."); inside a longer word it
// is left, so that a short password does not blot out the log.
std::string TCustomFtpCli::HidePassword(std::string Text) const
{
    const std::size_t length = PassWord.size();
    if (length == 0)
        return Text;
    const auto wordChar = [](char C) {
        return (C >= '0' && C <= '9') || (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z');
    };
    for (std::size_t at = 0; at + length <= Text.size(); ++at) {
        bool same = (at == 0 || !wordChar(Text[at - 1])) &&
                    (at + length == Text.size() || !wordChar(Text[at + length]));
        for (std::size_t i = 0; same && i < length; ++i)
            same = SameLetters(Text[at + i], PassWord[i]);
        if (same) {
            Text.replace(at, length, PasswordMask);
            at += sizeof PasswordMask - 2;
        }
    }
    return Text;
}

void TCustomFtpCli::CheckCommandText(const std::string &Text, const std::string &What)
{
    if (Text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        throw FtpException(What + " holds CR, LF or NUL: nothing was sent");
}

void TCustomFtpCli::ShowReply()
{
    TriggerDisplay("< " + FLastResponse);
}

void TCustomFtpCli::KeepError()
{
    if (FErrorMessage.empty())
        FErrorMessage = PrintableText(FLastResponse);
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
    FStatusCode = ReplyCode(FLastResponse);
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

void TCustomFtpCli::FollowUp(const std::string &Cmd, std::vector<int> Codes,
                             std::function<void()> After)
{
    AcceptedCodes = std::move(Codes);
    ReplyHandler = &TCustomFtpCli::HandleReply;
    AfterReply = std::move(After);
    FAwaitingFinal = true;
    SendCommand(Cmd);
}

void TCustomFtpCli::OpenAsync()
{
    CheckReady();
    if (ControlOpen)
        throw FtpException("FTP component already connected");
    const std::string service = Trim(Port, tsBlanks);
    const bool implicit = Security == TFtpSecurity::scImplicit;
    const int port = implicit && (service.empty() || UpperCaseAscii(service) == "FTP")
                         ? 990 // the port of FTP over TLS from the first byte
                         : ServicePort(Port);
    if (!ChainActive)
        FRequestType = rqOpen;
    ++FConnectSerial;
    FTlsReady = FHoldControl = false;
    FPortNumber = port;
    DoneSignalled = false;
    FAssembler.Reset();
    FStrayPending = false;
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
        ControlSocket->SetPort(std::to_string(FPortNumber));
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
        if (Security == TFtpSecurity::scImplicit)
            StartControlTls();
        return;
    }
    FailOpen(Error);
    ControlSocket->Close();
    SetState(fsReady);
}

void TCustomFtpCli::ControlDataAvailable(uint16_t Error)
{
    if (FHoldControl)
        return;                       // read once the certificate is accepted
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
        // A transfer whose final reply came waits for its data connection only.
        const bool awaited =
            FState == fsAwaitBanner || (FState == fsAwaitReply && ReplyHandler != nullptr);
        if (FStrayPending || !awaited) {
            ShowUnsolicited(line);
            continue;
        }
        FLastResponse = HidePassword(line.Text);
        if (OnResponse)
            OnResponse(this);
        if (!JudgeLine(line, Error))
            return;
    }
}

// A reply that no command waits for: shown, and never taken for the reply of a later command,
// which would put every reply after it out of step (a DELE judged by the reply to the command
// before it, and so on).
void TCustomFtpCli::ShowUnsolicited(const TFtpReplyLine &Line)
{
    if (Line.Final)
        FStrayPending = false;
    TriggerDisplay("! Unsolicited reply: " + Line.Text);
}

// Right before a command goes out, everything the server sent so far is read: none of it can
// answer this command. A line begun but not complete yet, or a multi-line reply still open,
// belongs to such a reply too, and is shown as unsolicited when it is complete.
void TCustomFtpCli::TakeStrayReplies()
{
    TFtpReplyLine line;
    for (;;) {
        while (FAssembler.NextLine(line))
            ShowUnsolicited(line);
        if (ControlSocket->State() != wsConnected)
            break;
        char *space = FAssembler.Space();
        const int received = ControlSocket->Receive(space, int(FAssembler.SpaceLen()));
        if (received <= 0)
            break; // nothing more now; a close or an error comes with its own notification
        FAssembler.Commit(std::size_t(received));
    }
    FStrayPending = FAssembler.Held() > 0 || FAssembler.InsideReply();
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
        if (Security == TFtpSecurity::scExplicit && !FTlsReady) {
            SetState(fsAwaitReply);
            FollowUp("AUTH TLS", {234}, [this] { AuthTlsReplied(); });
            return true;
        }
        TriggerRequestDone(0);
        return true;
    case fsAwaitReply: // with a handler: lines no handler waits for are unsolicited
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
    if (CurrentStep == stSize)
        FSizeName.clear();
    if (StepResult != 0) {
        KeepError();
    } else if (CurrentStep == stSize) { // 213 <size>
        FSizeResult = ParseInteger(FLastResponse, 3).Value;
        // A binary download of this name right after must bring that many bytes.
        if (TypeChar == 'I')
            FSizeName = HostFileName;
    }
    if (AfterReply) {
        const std::function<void()> after = AfterReply;
        after();
    } else {
        TriggerRequestDone(StepResult);
    }
}

void TCustomFtpCli::TriggerRequestDone(int Error)
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
    // A local file still open here belongs to a transfer that did not complete.
    FLocal.Discard();
    if (ChainActive && SavedStatusCode >= 0) {
        FLastResponse = SavedResponse;
        FStatusCode = SavedStatusCode;
    }
    ChainActive = false;
    ++FRequestsDone;
    PostRequestDone(Error);
}

void TCustomFtpCli::PostRequestDone(int Error)
{
    // The event carries 16 bits: a failure whose code does not fit is still reported as one,
    // never cut to 0.
    const uint16_t code = Error == 0                     ? 0
                          : Error > 0 && Error <= 0xffff ? uint16_t(Error)
                                                         : uint16_t(NoCodeResult);
    QMetaObject::invokeMethod(
        FReceiver.get(),
        [this, code] {
            if (OnRequestDone)
                OnRequestDone(this, FRequestType, code);
        },
        Qt::QueuedConnection);
}

void TCustomFtpCli::ControlSessionClosed(uint16_t Error)
{
    const bool lost = FAwaitingFinal;
    FAwaitingFinal = false;
    FTlsReady = FHoldControl = false;
    if (ControlOpen) {
        ControlOpen = false;
        if (FState != fsAborting)
            SetState(fsOffline);
        if (OnSessionClosed)
            OnSessionClosed(this, Error);
    }
    if (lost) {
        // The reply never came: the request fails, whatever the previous request left; its
        // completion lets go of a transfer's local file.
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
    TriggerRequestDone(StepResult);
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
    FLocal.Discard();
    ControlOpen = false;
    FTlsReady = FHoldControl = false;
    // A request ended here says why, also one that was no chain.
    if (before != fsReady && before != fsStepReady && before != fsOffline) {
        FLastResponse = "426 Operation aborted.";
        FStatusCode = 426;
        if (FErrorMessage.empty())
            FErrorMessage = FLastResponse;
    }
    SetState(fsReady);
}

} // namespace tarn
