// The data connection: the active-mode PORT step, downloads (RETR, LIST, NLST), uploads
// (STOR, APPE), progress and abort, completion in either order, and the statistics line.
//
// A transfer succeeds only when the server's final reply is positive, the data connection ended
// cleanly, nothing went wrong locally and nobody aborted it; the first thing that went wrong is
// kept and decides the result, whatever the server says after it.
#include "ftp/custom_ftp_cli.h"
#include "ftp/ftp_parse.h"
#include "net/wsocket.h"
#include "support/text.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>
#include <utility>

namespace tarn {

namespace {

constexpr int WouldBlock = 10035;
// Results of transfers that failed on this side: the local file, or the data connection (and
// an abort).
constexpr int LocalFileResult = 550;
constexpr int DataBrokenResult = 426;

std::string DataBrokenText(int Code)
{
    return std::to_string(DataBrokenResult) + " Data connection broken: " + SocketErrorText(Code) +
           " (Winsock error #" + std::to_string(Code) + ")";
}

// The step a chain opens the local file for before it sends anything.
TFtpStep LocalFileStep(TFtpSteps Steps)
{
    for (const TFtpStep step : {stGet, stPut, stAppend, stDir, stLs})
        if (Steps & StepBit(step))
            return step;
    return stNone;
}

} // namespace

void TCustomFtpCli::PortAsync()
{
    if (Passive) {
        PassiveAsync();
        return;
    }
    // The PORT line announces the control connection's own address (127.0.0.1 to a server on
    // the loopback), and the data socket listens on that address only: nothing else needs to
    // reach it, and a port search on one address is much cheaper for the kernel than one that
    // must be free on every address (noticeable when thousands of earlier data connections of a
    // long script are still in TIME_WAIT).
    sockaddr_in control{};
    int length = sizeof control;
    ControlSocket->GetSockName(control, length);
    if (ControlSocket->SockAddr().sin_addr.s_addr == htonl(INADDR_LOOPBACK))
        control.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    char address[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &control.sin_addr, address, sizeof address);
    DataSocket->SetProto("tcp");
    DataSocket->SetAddr(address);
    DataSocket->SetPort("0");
    // Some servers connect as soon as they have the PORT line, before the transfer command.
    // The notice of that connection comes only once, so it is remembered until the data step
    // binds its accept handler; dropping it would leave the transfer waiting forever.
    FAcceptWaiting = false;
    DataSocket->OnSessionAvailable = [this](auto &&, uint16_t) { FAcceptWaiting = true; };
    DataSocket->OnSessionClosed = nullptr;
    DataSocket->OnDataAvailable = nullptr;
    DataSocket->Listen();

    sockaddr_in data{};
    length = sizeof data;
    DataSocket->GetSockName(data, length);
    const unsigned port = ntohs(data.sin_port);
    const auto *a = reinterpret_cast<const unsigned char *>(&control.sin_addr.s_addr);
    char command[64];
    std::snprintf(command, sizeof command, "PORT %u,%u,%u,%u,%u,%u", a[0], a[1], a[2], a[3],
                  port / 256, port % 256);
    CurrentStep = stPort;
    StartCommand(rqPort, command, {200});
}

void TCustomFtpCli::RetrAsync()
{
    StartDownload("RETR", rqGet, stGet);
}

void TCustomFtpCli::ListAsync()
{
    StartDownload("LIST", rqDir, stDir);
}

void TCustomFtpCli::NlstAsync()
{
    StartDownload("NLST", rqLs, stLs);
}

void TCustomFtpCli::StorAsync()
{
    AppendMode = false;
    if (!ChainActive)
        FRequestType = rqPut;
    CurrentStep = stPut;
    StartUpload();
}

void TCustomFtpCli::AppeAsync()
{
    AppendMode = true;
    if (!ChainActive)
        FRequestType = rqAppend;
    CurrentStep = stAppend;
    StartUpload();
}

// Opens the local file for a data step: a download of a chain with REST (or one that resumes)
// in place, any other through a temporary file. A listing is text whatever the transfer type:
// its lines end in LF on this side.
bool TCustomFtpCli::OpenLocalFile(TFtpStep Step)
{
    FLocalStep = Step;
    const bool text = Step == stDir || Step == stLs || TypeChar == 'A';
    if (Step == stPut || Step == stAppend)
        return FLocal.OpenSource(LocalFileName, RestartAt, text);
    const bool inPlace = (ChainActive && FResumable) || RestartAt > 0;
    return inPlace ? FLocal.OpenInPlace(LocalFileName, RestartAt, text)
                   : FLocal.OpenReplacement(LocalFileName, text);
}

// A chain that resumes a download opens its file in place at its end: the REST offset is the
// size of the very file that will be written, and a file that cannot be written fails the chain
// before REST is sent. (A REST the server accepted would otherwise stay pending and make the
// next plain download skip the head of the remote file.)
bool TCustomFtpCli::OpenChainLocalFile(TFtpSteps Steps)
{
    const TFtpStep step = LocalFileStep(Steps);
    if (step == stNone)
        return true;
    if (step == stGet && FResumable) {
        FLocalStep = step;
        if (FLocal.OpenInPlaceAtEnd(LocalFileName, TypeChar == 'A'))
            return true;
    } else if (OpenLocalFile(step))
        return true;
    LocalFileRefused();
    return false;
}

void TCustomFtpCli::LocalFileRefused()
{
    FLastResponse = "Unable to open local file " + LocalFileName + ": " + FLocal.Error();
    FStatusCode = StepResult = LocalFileResult;
    KeepError();
    TriggerDisplay("! " + FLastResponse);
}

char *TCustomFtpCli::DataBuffer()
{
    if (!FDataBuffer)
        FDataBuffer =
            std::make_unique_for_overwrite<char[]>(std::max(DownloadBlockSize, UploadBlockSize));
    return FDataBuffer.get();
}

void TCustomFtpCli::BeginTransfer()
{
    FSendPos = FSendLen = 0;
    ServerDone = FDataClosed = DoneSignalled = FUploadEnded = FDataTls = FDataReady = false;
    FTransferError = 0;
    FTransferReason.clear();
    FExpected = -1;
    ByteCount = 0;
}

void TCustomFtpCli::StartDownload(const char *Word, TFtpRequest Request, TFtpStep Step)
{
    if (!ControlOpen)
        throw FtpException(std::string(Word) + ": not connected");
    if (LocalFileName.empty())
        throw FtpException("LocalFileName empty");
    const std::string command = HostFileName.empty() ? Word : Word + (" " + HostFileName);
    CheckCommandText(command, "HostFileName");
    if (!ChainActive)
        FRequestType = Request;
    CurrentStep = Step;
    DataCommand = Word;
    Uploading = false;
    BeginTransfer();
    DataSocket->OnSessionAvailable = [this](auto &&, uint16_t) { AcceptData(); };
    const bool early = std::exchange(FAcceptWaiting, false);
    // A resumed download whose REST was refused starts again from 0: the file is opened anew.
    const bool open = FLocal.IsOpen() && FLocalStep == Step && FLocal.Offset() == RestartAt;
    if (!open && !OpenLocalFile(Step)) {
        LocalFileRefused();
        DataSocket->Close();
        TriggerRequestDone(StepResult);
        return;
    }
    if (Step == stGet && TypeChar == 'I' && !FSizeName.empty() && FSizeName == HostFileName)
        FExpected = FSizeResult - RestartAt;
    FSizeName.clear();
    SetState(fsAwaitReply);
    ReplyHandler = &TCustomFtpCli::TransferFirstReply;
    FAwaitingFinal = true;
    SendCommand(command);
    if (Passive)
        DataConnected();
    else if (early)
        AcceptData();
}

void TCustomFtpCli::StartUpload()
{
    if (!ControlOpen)
        throw FtpException("STOR/APPE: not connected");
    if (LocalFileName.empty())
        throw FtpException("LocalFileName empty");
    const std::string command = (AppendMode ? "APPE " : "STOR ") + HostFileName;
    CheckCommandText(command, "HostFileName");
    const TFtpStep step = AppendMode ? stAppend : stPut;
    Uploading = true;
    BeginTransfer();
    DataSocket->OnSessionAvailable = [this](auto &&, uint16_t) { AcceptData(); };
    const bool early = std::exchange(FAcceptWaiting, false);
    if (!(FLocal.IsOpen() && FLocalStep == step) && !OpenLocalFile(step)) {
        LocalFileRefused();
        DataSocket->Close();
        TriggerRequestDone(StepResult);
        return;
    }
    SetState(fsAwaitReply);
    ReplyHandler = &TCustomFtpCli::TransferFirstReply;
    FAwaitingFinal = true;
    SendCommand(command);
    if (Passive)
        DataConnected();
    else if (early)
        AcceptData();
}

// Accepts the waiting data connection when it comes from the server we talk to. Anyone else
// on the network could otherwise connect first and inject or steal the file's data, so such a
// connection is closed at once and the listening socket goes on waiting for the server's.
void TCustomFtpCli::AcceptData()
{
    const auto handle = DataSocket->Accept();
    if (handle == INVALID_SOCKET)
        return;
    const sockaddr_in peer = DataSocket->SockAddr();
    if (peer.sin_addr.s_addr != ControlSocket->SockAddr().sin_addr.s_addr) {
        ::close(int(handle));
        char address[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, address, sizeof address);
        TriggerDisplay(std::string("! Data connection from ") + address + " refused");
        return;
    }
    DataSocket->Close(); // ends the listening
    DataSocket->Dup(handle);
    DataConnected();
}

// The data connection is up (accepted, or connected in passive mode before the data command
// went out): the transfer's handlers take it over, and with TLS the handshake starts.
void TCustomFtpCli::DataConnected()
{
    if (DataSocket->State() != wsConnected) {
        // A passive connection that the server closed before the transfer began.
        FDataClosed = true;
        FailTransfer(DataBrokenResult, std::to_string(DataBrokenResult) +
                                           " Data connection closed before the transfer");
        return;
    }
    if (Uploading) {
        DataSocket->OnSessionClosed = [this](auto &&, uint16_t Error) { UploadClosed(Error); };
        DataSocket->OnDataAvailable = [this](auto &&, uint16_t) { DiscardData(); };
        DataSocket->OnDataSent = [this](auto &&, uint16_t) { UploadSend(); };
    } else {
        DataSocket->OnSessionClosed = [this](auto &&, uint16_t Error) { DownloadClosed(Error); };
        DataSocket->OnDataAvailable = [this](auto &&, uint16_t) { DownloadData(); };
        DataSocket->OnDataSent = nullptr;
    }
    StartTime = FtpTickCount();
    if (FTlsReady)
        StartDataTls();
    else
        DataReady();
}

void TCustomFtpCli::DataReady()
{
    FDataReady = true;
    if (Uploading)
        UploadSend();
}

void TCustomFtpCli::DownloadData()
{
    if (!TriggerProgress() || DataSocket->State() != wsConnected)
        return;
    char *block = DataBuffer();
    const int received = DataSocket->Receive(block, int(DownloadBlockSize));
    if (received > 0) {
        ByteCount += received;
        if (FLocal.IsOpen() && !FLocal.Write(block, std::size_t(received))) {
            TriggerDisplay("! Error writing local file");
            FailTransfer(LocalFileResult, std::to_string(LocalFileResult) +
                                              " Error writing local file " + LocalFileName + ": " +
                                              FLocal.Error());
            FLocal.Discard();
            DataSocket->Shutdown(2);
            return;
        }
        if (DisplayFlag)
            ShowDataLines(block, std::size_t(received));
    } else if (received < 0 && DataSocket->State() == wsConnected &&
               DataSocket->LastError() != WouldBlock) {
        // A reset: what the server still had queued is lost.
        const int code = DataSocket->LastError();
        TriggerDisplay("! Data: Receive error " + std::to_string(code));
        FailTransfer(DataBrokenResult, DataBrokenText(code));
        DataSocket->Shutdown(2);
    }
}

void TCustomFtpCli::DiscardData()
{
    char discard[4096]; // nothing should come here: what does is thrown away
    const int received = DataSocket->Receive(discard, int(sizeof discard));
    if (received < 0 && DataSocket->State() == wsConnected && DataSocket->LastError() != WouldBlock)
        FailTransfer(DataBrokenResult, DataBrokenText(DataSocket->LastError()));
}

// Keeps the data connection fed: each block is read from the file after a progress event and
// sent straight from the data buffer until the system has no room; what it did not take goes
// first when OnDataSent tells that there is room again. After UploadBlocksPerPass blocks the
// event loop runs (the control connection, a Stop, the time-out) before the next pass.
void TCustomFtpCli::UploadSend()
{
    if (!FDataReady)
        return; // the TLS handshake comes first
    for (int blocks = 0;; ++blocks) {
        if (FUploadEnded || DataSocket->State() != wsConnected || !SendUploadBlock())
            return;
        if (blocks == UploadBlocksPerPass) {
            DataSocket->Send(nullptr, 0); // OnDataSent comes back from the event loop
            return;
        }
        if (!TriggerProgress() || DataSocket->State() != wsConnected)
            return;
        char *block = DataBuffer();
        std::size_t length = 0;
        if (!FLocal.Read(block, UploadBlockSize, length)) {
            TriggerDisplay("! Error reading file");
            FailTransfer(LocalFileResult, std::to_string(LocalFileResult) + " Error reading file " +
                                              LocalFileName + ": " + FLocal.Error());
            DataSocket->Close(); // the server's reply ends the step
            return;
        }
        if (length == 0) {
            // The whole file is out. Only our sending side is shut down: the server then
            // closes its side, and a reset instead of that close tells that it did not take
            // everything.
            FUploadEnded = true;
            DataSocket->Shutdown(1);
            return;
        }
        ByteCount += int64_t(length);
        FSendPos = 0;
        FSendLen = length;
    }
}

// Offers the rest of the block in hand; true when all of it is taken (or there was none).
bool TCustomFtpCli::SendUploadBlock()
{
    if (FSendPos == FSendLen)
        return true;
    const int sent = DataSocket->SendDirect(DataBuffer() + FSendPos, int(FSendLen - FSendPos));
    if (sent <= 0)
        return false; // no room (OnDataSent follows), or the connection is gone (closed)
    FSendPos += std::size_t(sent);
    return FSendPos == FSendLen;
}

void TCustomFtpCli::DownloadClosed(uint16_t Error)
{
    if (FDataClosed)
        return;
    FDataClosed = true;
    if (Error != 0) {
        FailTransfer(DataBrokenResult, DataBrokenText(Error));
    } else if (FDataTls && !DataSocket->TlsPeerClosed() && FTransferError == 0) {
        // Without close_notify nothing tells a whole file from one cut by someone in between.
        const std::string reason =
            std::to_string(DataBrokenResult) + " Data connection ended without TLS close_notify";
        TriggerDisplay("! " + reason);
        FailTransfer(DataBrokenResult, reason);
    }
    TransferCheck();
}

void TCustomFtpCli::UploadClosed(uint16_t Error)
{
    if (FDataClosed)
        return;
    FDataClosed = true;
    if (Error != 0) {
        FailTransfer(DataBrokenResult, DataBrokenText(Error));
    } else if (!FUploadEnded && FTransferError == 0) {
        const std::string reason = std::to_string(DataBrokenResult) +
                                   " Data connection closed before the whole file was sent";
        TriggerDisplay("! " + reason);
        FailTransfer(DataBrokenResult, reason);
    }
    TransferCheck();
}

// The server has confirmed an upload whose sending side we shut down, and its own side may still
// be open: a reset already waiting there fails the upload; otherwise the connection is done.
void TCustomFtpCli::ProbeUploadEnd()
{
    char discard[512];
    for (;;) {
        const int received = DataSocket->Receive(discard, int(sizeof discard));
        if (received > 0)
            continue;
        if (received < 0 && DataSocket->LastError() != WouldBlock)
            FailTransfer(DataBrokenResult, DataBrokenText(DataSocket->LastError()));
        break;
    }
    FDataClosed = true;
    DropDataConnection();
}

// Closes the data connection without its handlers: what it would report no longer matters.
void TCustomFtpCli::DropDataConnection()
{
    DataSocket->OnSessionClosed = nullptr;
    DataSocket->OnDataAvailable = nullptr;
    DataSocket->OnDataSent = nullptr;
    DataSocket->OnTlsDone = nullptr;
    if (DataSocket->State() != wsClosed)
        DataSocket->Close();
}

void TCustomFtpCli::TransferFirstReply(const TFtpReplyLine &Line)
{
    ShowReply();
    ReadStatusCode();
    if (!Line.Final)
        return;
    if (FStatusCode == 125 || FStatusCode == 150) {
        // 125 Data connection already open / 150 About to open data connection
        ReplyHandler = &TCustomFtpCli::TransferFinalReply;
        // Servers announce either the whole length or what is left after REST: less the
        // restart offset, the figure is never more than what must arrive.
        const int64_t announced = AnnouncedLength(FLastResponse) - RestartAt;
        if (CurrentStep == stGet && TypeChar == 'I' && announced > FExpected)
            FExpected = announced;
        return;
    }
    KeepError();
    ReplyHandler = nullptr;
    DropDataConnection();
    FLocal.Discard();
    RestartAt = 0;
    StepResult = FStatusCode > 0 ? FStatusCode : 500;
    TriggerRequestDone(StepResult);
}

void TCustomFtpCli::TransferFinalReply(const TFtpReplyLine &Line)
{
    ShowReply();
    ReadStatusCode();
    if (!Line.Final)
        return;
    if (FStatusCode == 226 || FStatusCode == 250) {
        // 226 Closing data connection / 250 Requested file action okay (IBM i)
        ServerDone = true;
        ReplyHandler = nullptr; // the reply is complete: a line after it answers nothing
        if (Uploading && FUploadEnded && !FDataClosed)
            ProbeUploadEnd();
        TransferCheck();
        return;
    }
    TransferFailed(FStatusCode > 0 ? FStatusCode : 500);
}

void TCustomFtpCli::TransferFailed(int Code)
{
    KeepError();
    // A download in place keeps what already arrived, ready for the next resume.
    if (!Uploading && FLocal.IsOpen() && FLocal.TemporaryName().empty())
        while (DataSocket->State() == wsConnected) {
            char *block = DataBuffer();
            const int received = DataSocket->Receive(block, int(DownloadBlockSize));
            if (received <= 0 || !FLocal.Write(block, std::size_t(received)))
                break;
            ByteCount += received;
        }
    DropDataConnection();
    FLocal.Discard();
    TriggerDisplay(Uploading ? "! STOR Failed" : "! RETR/LIST/NLST Failed");
    StepResult = Code;
    if (FTransferError != 0) {
        // What went wrong here first (an abort, the local file) is why the server gave up.
        FLastResponse = FTransferReason;
        FStatusCode = StepResult = FTransferError;
    }
    TriggerRequestDone(StepResult);
}

// Keeps the first failure of the running transfer; ErrorMessage tells it at once.
void TCustomFtpCli::FailTransfer(int Code, const std::string &Reason)
{
    if (FTransferError != 0)
        return;
    FTransferError = Code;
    FTransferReason = Reason;
    if (FErrorMessage.empty())
        FErrorMessage = PrintableText(Reason);
}

void TCustomFtpCli::TransferCheck()
{
    // After the request ended otherwise (a lost control connection, an abort), closing the
    // data connection must not turn it into a success.
    if (DoneSignalled || !ServerDone || !FDataClosed)
        return;
    TransferStats();
    if (FTransferError == 0 && !Uploading && FExpected >= 0 && ByteCount < FExpected) {
        // A binary download shorter than the length the server announced is cut, even when
        // the connection closed cleanly.
        const std::string reason = std::to_string(DataBrokenResult) +
                                   " Download incomplete: " + std::to_string(ByteCount) + " of " +
                                   std::to_string(FExpected) + " bytes received";
        TriggerDisplay("! " + reason);
        FailTransfer(DataBrokenResult, reason);
    }
    if (FTransferError == 0 && !FLocal.Commit()) {
        TriggerDisplay("! Error writing local file");
        FailTransfer(LocalFileResult, std::to_string(LocalFileResult) +
                                          " Error writing local file " + LocalFileName + ": " +
                                          FLocal.Error());
    }
    FLocal.Discard();
    RestartAt = 0;
    StepResult = 0;
    if (FTransferError != 0) {
        FLastResponse = FTransferReason;
        FStatusCode = StepResult = FTransferError;
    }
    TriggerRequestDone(StepResult);
}

bool TCustomFtpCli::TriggerProgress()
{
    bool abort = false;
    if (OnProgress)
        OnProgress(this, ByteCount + RestartAt, abort);
    if (!abort)
        return true;
    // Whatever the server answers now, the transfer is not done.
    TriggerDisplay("! Abort requested");
    FailTransfer(DataBrokenResult, std::to_string(DataBrokenResult) + " Transfer aborted");
    DataSocket->Close();
    return false;
}

void TCustomFtpCli::TransferStats()
{
    StopTime = FtpTickCount();
    TriggerDisplay("! " + TransferStatsText(ByteCount, StopTime - StartTime));
}

void TCustomFtpCli::ShowDataLines(const char *Data, std::size_t Len)
{
    std::size_t i = 0;
    while (i < Len) {
        std::size_t end = i;
        while (end < Len && Data[end] != '\r' && Data[end] != '\n')
            ++end;
        TriggerDisplay("! Data: " + std::string(Data + i, end - i));
        while (end < Len && (Data[end] == '\r' || Data[end] == '\n'))
            ++end;
        i = end;
    }
}

} // namespace tarn
