#pragma once

#include "ftp/ftp_exception.h"
#include "ftp/ftp_security.h"
#include "ftp/ftp_types.h"
#include "ftp/reply_assembler.h"
#include "ftp/transfer_file.h"
#include "net/tls_context.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QObject;

namespace tarn {

class TWSocket;
class TCustomFtpCli;

// Event types. A handler receives the engine as Sender; an unassigned event is not called.
using TFtpDisplay = std::function<void(TCustomFtpCli *Sender, std::string &Msg)>;
using TFtpCommand = std::function<void(TCustomFtpCli *Sender, std::string &Cmd)>;
using TFtpProgress = std::function<void(TCustomFtpCli *Sender, int64_t Count, bool &Abort)>;
using TFtpRequestDone =
    std::function<void(TCustomFtpCli *Sender, TFtpRequest RqType, uint16_t Error)>;
using TFtpSessionEvent = std::function<void(TCustomFtpCli *Sender, uint16_t Error)>;
using TFtpNotifyEvent = std::function<void(TCustomFtpCli *Sender)>;

// The asynchronous FTP engine: one control connection (RFC 959) and active- or passive-mode
// data connections, in clear text or protected by TLS (RFC 4217), driven by the owning thread's
// event loop. Every operation sends its command and
// returns; the request completes later from socket notifications, sets State back to fsReady
// and posts OnRequestDone, which the event loop delivers after the current handler returns.
//
// Operations are configured through the public fields (HostName, HostFileName, ...) and raise
// FtpException for misuse before anything is sent. Chained operations (ConnectAsync, GetAsync,
// the Full* family) run their steps in a fixed order and report once; a failing step skips
// everything but a pending QUIT. After a request, StatusCode and LastResponse hold the reply
// that decided it and ErrorMessage the first failure since the last chained request started.
//
// A transfer succeeds only when the server confirms it, its data connection ended cleanly,
// the local file took every byte and nobody aborted it; a download replaces its local file
// only then (ftp/README.md). A reply line that no command waits for is shown as unsolicited
// and answers nothing. Text holding CR, LF or NUL is never sent. What OnDisplay shows has its
// control characters in caret notation and the password masked.
//
// Counts and offsets are 64-bit, so files past 2 GiB transfer, resume and report correctly.
class TCustomFtpCli
{
public:
    // Block sizes of the data connection. A download reads at most DownloadBlockSize bytes
    // per read, straight into the engine's one data buffer; an upload reads blocks of at most
    // UploadBlockSize bytes of the file and keeps the data connection fed until the system has
    // no room (each block after a progress event, at most UploadBlocksPerPass blocks before the
    // event loop runs again). Memory stays flat whatever the file size: one buffer per engine,
    // allocated once. A build may set both sizes with TARN_FTP_BLOCK_SIZE to measure their
    // effect (bench/ftp/README.md).
#ifdef TARN_FTP_BLOCK_SIZE
    static constexpr std::size_t DownloadBlockSize = TARN_FTP_BLOCK_SIZE;
    static constexpr std::size_t UploadBlockSize = TARN_FTP_BLOCK_SIZE;
#else
    static constexpr std::size_t DownloadBlockSize = std::size_t(256) * 1024;
    static constexpr std::size_t UploadBlockSize = std::size_t(64) * 1024;
#endif
    static constexpr int UploadBlocksPerPass = 16;

    TCustomFtpCli();
    virtual ~TCustomFtpCli();
    TCustomFtpCli(const TCustomFtpCli &) = delete;
    TCustomFtpCli &operator=(const TCustomFtpCli &) = delete;

    // Properties.
    std::string HostName;
    std::string Port = "ftp"; // service name or decimal number
    std::string UserName;
    std::string PassWord;
    std::string HostDirName;   // CWD
    std::string HostFileName;  // SIZE, MKD, RMD, DELE, RNFR, RETR, STOR, APPE; LIST/NLST argument
    std::string LocalFileName; // transfer file; new name for RNTO; raw text for Quote
    bool DisplayFlag = false;  // also show received data lines through OnDisplay
    bool Binary() const
    {
        return TypeChar == 'I';
    }
    void SetBinary(bool Value)
    {
        TypeChar = Value ? 'I' : 'A';
    }
    const std::string &ErrorMessage() const
    {
        return FErrorMessage;
    }

    // Events.
    TFtpDisplay OnDisplay;               // log text: "> " command, "< " reply, "! " engine notice
    TFtpCommand OnCommand;               // a command is about to be sent; may rewrite it
    TFtpNotifyEvent OnResponse;          // a reply line arrived (in LastResponse)
    TFtpProgress OnProgress;             // before each data block; set Abort to stop the transfer
    TFtpSessionEvent OnSessionConnected; // greeting 220 accepted
    TFtpSessionEvent OnSessionClosed;    // control connection lost
    TFtpRequestDone OnRequestDone;       // a request finished (posted; RqType current at delivery)
    TFtpNotifyEvent OnStateChange;       // State changed

    // Passive mode and TLS. Under scImplicit a Port that is empty or "ftp" means 990. A refused
    // AUTH TLS, a failed handshake or a refused certificate fails the connect request (no USER
    // is ever sent in clear text when Security is not scNone), with ErrorMessage saying why.
    // Once per connect OnDisplay shows one "! " line with the TLS version, cipher, certificate
    // subject and fingerprint.
    bool Passive = false;                         // PASV (EPSV when PASV is refused)
    TFtpSecurity Security = TFtpSecurity::scNone; // none / AUTH TLS / TLS from the first byte
    std::string TlsFingerprint;                   // a pinned certificate (any form above)
    TFtpCertificateCheck OnCertificateCheck;      // an unverified, unpinned certificate

    // Read-only values.
    TFtpState State() const
    {
        return FState;
    }
    const std::string &LastResponse() const
    {
        return FLastResponse;
    }
    int StatusCode() const
    {
        return FStatusCode;
    }
    int64_t SizeResult() const
    {
        return FSizeResult;
    }
    TFtpRequest RequestType() const
    {
        return FRequestType;
    }
    bool Connected() const;

    // Single-command operations.
    virtual void PortAsync();
    virtual void OpenAsync();
    virtual void UserAsync();
    virtual void PassAsync();
    virtual void QuitAsync();
    virtual void Abort();
    virtual void RetrAsync();
    virtual void StorAsync();
    virtual void AppeAsync();
    virtual void ListAsync();
    virtual void NlstAsync();
    virtual void TypeSetAsync();
    virtual void PwdAsync();
    virtual void CwdAsync();
    virtual void CDupAsync();
    virtual void SystAsync();
    virtual void SizeAsync();
    virtual void MkdAsync();
    virtual void RmdAsync();
    virtual void DeleAsync();
    virtual void RenameFromAsync();
    virtual void RenameToAsync();
    virtual void QuoteAsync();
    virtual void RestAsync();

    // Chained operations.
    virtual void ConnectAsync();
    virtual void GetAsync();
    virtual void FullGetAsync();
    virtual void PutAsync();
    virtual void FullPutAsync();
    virtual void AppendAsync();
    virtual void FullAppendAsync();
    virtual void DirAsync();
    virtual void LsAsync();
    virtual void FullDirAsync();
    virtual void FullLsAsync();
    virtual void FullSystAsync();
    virtual void FullSizeAsync();
    virtual void FullMkdAsync();
    virtual void FullRmdAsync();
    virtual void FullDeleAsync();
    virtual void RenameAsync();
    virtual void FullRenameAsync();
    virtual void FullQuoteAsync();
    virtual void RestGetAsync();
    virtual void FullRestGetAsync();

protected:
    // Building blocks shared by the operations.
    virtual void SendCommand(const std::string &Cmd);
    virtual void TriggerDisplay(const std::string &Msg);
    virtual bool TriggerProgress();
    // A person answered a question of the engine (the certificate): the time they took is no
    // silence of the server.
    virtual void RestartTimeout() {}
    void ShowReply();
    void KeepError();
    void SetState(TFtpState NewState);
    void CheckReady() const;
    void StartCommand(TFtpRequest Request, const std::string &Cmd, std::vector<int> Codes,
                      std::function<void()> After = {});
    // Error 0 is success; any other value reports a failure, also one that does not fit in 16 bits.
    void TriggerRequestDone(int Error);
    void StartChain(TFtpRequest Request, TFtpSteps Steps);
    void NextStep();
    void TransferStats();

    std::unique_ptr<TWSocket> ControlSocket;
    std::unique_ptr<TWSocket> DataSocket;
    int StepResult = 0;
    std::string FLastResponse;
    int FStatusCode = 0;
    std::string FErrorMessage;
    // Requests completed so far, and the result of the last one. A server that closes the
    // connection right after its final reply moves State on to fsStepReady in the same pass
    // of the event loop; a waiter learns of the completion from these, not from State.
    uint64_t FRequestsDone = 0;
    int FDoneResult = 0;

private:
    using TReplyHandler = void (TCustomFtpCli::*)(const TFtpReplyLine &Line);

    // Control connection (custom_ftp_cli.cpp).
    void ControlDnsLookupDone(uint16_t Error);
    void ControlSessionConnected(uint16_t Error);
    void ControlDataAvailable(uint16_t Error);
    void ControlSessionClosed(uint16_t Error);
    bool JudgeLine(const TFtpReplyLine &Line, uint16_t Error);
    void TakeStrayReplies();
    // Raises FtpException, naming What, when Text holds CR, LF or NUL.
    static void CheckCommandText(const std::string &Text, const std::string &What);
    void ShowUnsolicited(const TFtpReplyLine &Line);
    std::string HidePassword(std::string Text) const;
    void HandleReply(const TFtpReplyLine &Line);
    void FailOpen(uint16_t Error);
    int ReadStatusCode();
    void PostRequestDone(int Error);

    // Sends a further command for the running request (the reply to the last one is in):
    // its reply goes through HandleReply to After.
    void FollowUp(const std::string &Cmd, std::vector<int> Codes, std::function<void()> After);

    // TLS (ftp_tls.cpp).
    void StartControlTls();
    void AuthTlsReplied();
    void ControlTlsDone(uint16_t Error);
    void AskCertificate(const TTlsCertificateInfo &Info);
    void ControlTlsAccepted(const TTlsCertificateInfo &Info);
    void FailTls(int Code, const std::string &Reason);
    void CheckLoginProtected() const;
    void LoginReplied();
    void StartDataTls();

    // Passive mode (ftp_passive.cpp).
    void PassiveAsync();
    void PassiveReplied(bool Extended);
    void PassiveConnected(uint16_t Error);
    void FailPassive(int Code, const std::string &Reason);

    // Requests (ftp_requests.cpp).
    void StartStep(TFtpStep Step);
    void FailStep(const std::string &Reason);
    void CheckChainText(TFtpSteps Steps) const;

    // Data connection (ftp_transfer.cpp).
    void StartDownload(const char *Word, TFtpRequest Request, TFtpStep Step);
    void StartUpload();
    void BeginTransfer();
    bool OpenLocalFile(TFtpStep Step);
    bool OpenChainLocalFile(TFtpSteps Steps);
    void LocalFileRefused();
    void AcceptData();
    void DataConnected();
    void DataReady();
    void DownloadData();
    void DownloadClosed(uint16_t Error);
    void UploadSend();
    bool SendUploadBlock();
    char *DataBuffer();
    void UploadClosed(uint16_t Error);
    void DiscardData();
    void ProbeUploadEnd();
    void DropDataConnection();
    void TransferFirstReply(const TFtpReplyLine &Line);
    void TransferFinalReply(const TFtpReplyLine &Line);
    void TransferFailed(int Code);
    void FailTransfer(int Code, const std::string &Reason);
    void TransferCheck();
    void ShowDataLines(const char *Data, std::size_t Len);

    std::unique_ptr<QObject> FReceiver; // target of the posted completion notices
    // Cleared when the engine is destroyed: a handler that runs a nested event loop (the
    // certificate question) learns from it that the engine went meanwhile.
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);

    TFtpState FState = fsReady;
    int64_t FSizeResult = 0;

    char TypeChar = 'I';
    bool AppendMode = false;
    bool ControlOpen = false;
    int FPortNumber = 21; // Port as checked by the last OpenAsync
    // TLS: the context of this engine's connections (made at the first protected connect), the
    // control connection protected and its certificate accepted, control replies held back
    // while a person is asked about the certificate, and the connect attempt they belong to.
    TTlsContext FTlsContext;
    bool FTlsReady = false;
    bool FHoldControl = false;
    uint64_t FConnectSerial = 0;
    std::string FErrorBeforePasv; // ErrorMessage before a PASV that EPSV may stand in for
    TFtpRequest FRequestType = rqNone;
    std::vector<int> AcceptedCodes;
    TReplyHandler ReplyHandler = nullptr;
    std::function<void()> AfterReply;
    bool DoneSignalled = false;
    // A request is running that needs more than the control connection closing: its reply (or
    // greeting, or transfer) is still awaited. Losing the connection then fails the request.
    bool FAwaitingFinal = false;

    TFtpSteps PendingSteps = 0;
    TFtpStep CurrentStep = stNone;
    int ChainResult = 0;
    bool ChainActive = false;
    bool ChainContinue = false;
    bool FChainStarting = false; // the first step runs inside the caller's call
    std::string SavedResponse;
    int SavedStatusCode = -1;

    TFtpReplyAssembler FAssembler;
    bool FStrayPending = false; // the reply being received began before the command was sent

    // The local file of the running transfer, opened for the data step FLocalStep (a chain
    // opens it before its first command, so that a file that cannot be used fails at once).
    TTransferFile FLocal;
    TFtpStep FLocalStep = stNone;
    bool FResumable = false; // the running chain resumes: its download writes in place
    std::string DataCommand;
    bool Uploading = false;
    bool FAcceptWaiting = false; // the server connected before the data step began
    bool FUploadEnded = false;   // the whole file was sent and the sending side shut down
    bool FDataTls = false;       // the data connection of this transfer is protected
    bool FDataReady = false;     // ... and is up (TCP and, with TLS, the handshake)
    int FTransferError = 0;      // the first failure seen during the transfer (its code)...
    std::string FTransferReason; // ... and its text; the transfer fails whatever the server says
    int64_t FExpected = -1;      // the length a binary download must reach, -1 when unknown
    std::string FSizeName;       // the name a binary SIZE was last answered for
    std::unique_ptr<char[]> FDataBuffer; // the block in hand, allocated at the first transfer
    std::size_t FSendPos = 0;            // an upload block: the first byte not yet sent...
    std::size_t FSendLen = 0;            // ... and its end
    int64_t ByteCount = 0;
    int64_t RestartAt = 0;
    bool ServerDone = false;
    bool FDataClosed = false;
    int64_t StartTime = 0;
    int64_t StopTime = 0;
};

// Milliseconds of a monotonic clock.
int64_t FtpTickCount();

} // namespace tarn
