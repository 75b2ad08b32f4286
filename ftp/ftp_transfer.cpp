// The active-mode data connection: the PORT step, downloads (RETR, LIST, NLST), uploads
// (STOR, APPE), progress and abort, completion in either order, and the statistics line.
#include "ftp/custom_ftp_cli.h"
#include "ftp/ftp_parse.h"
#include "net/wsocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tarn {

namespace {

constexpr int WouldBlock = 10035;

// The local file is read and written through a buffer of this size, so that the small network
// blocks do not each cost a system call; the memory stays the same whatever the file size.
constexpr std::size_t LocalBufferSize = std::size_t(64) * 1024;

// The file opens in binary mode: TYPE A or I only tells the server how to send the bytes; the
// engine writes them unchanged.
std::FILE *Buffered(std::FILE *File, int64_t Offset, std::vector<char> &Buffer)
{
    if (!File)
        return nullptr;
    Buffer.resize(LocalBufferSize);
    std::setvbuf(File, Buffer.data(), _IOFBF, Buffer.size());
    if (Offset > 0 && ::fseeko(File, off_t(Offset), SEEK_SET) != 0) {
        std::fclose(File);
        return nullptr;
    }
    return File;
}

std::FILE *OpenLocal(const std::string &Name, const char *Mode, int64_t Offset,
                     std::vector<char> &Buffer)
{
    return Buffered(std::fopen(Name.c_str(), Mode), Offset, Buffer);
}

// Opens a download's file for writing, creating it when missing but never truncating it: its
// bytes stay as they are until the server starts sending. Created tells whether this call
// made the file. A name that is a symbolic link is refused, dangling or not: a link planted
// under the name (in a shared folder, say) must not make the download write elsewhere.
std::FILE *OpenUntruncated(const std::string &Name, bool &Created, std::vector<char> &Buffer)
{
    int fd = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    Created = fd >= 0;
    if (fd < 0 && errno == EEXIST)
        fd = ::open(Name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    std::FILE *file = ::fdopen(fd, "wb"); // on a descriptor, "w" does not truncate
    if (!file)
        ::close(fd);
    return Buffered(file, 0, Buffer);
}

// Removes the empty file a download created and never wrote to, provided the name still
// names that file.
void RemoveUnused(const std::string &Name, const struct stat &Opened)
{
    struct stat now = {};
    if (::stat(Name.c_str(), &now) == 0 && now.st_dev == Opened.st_dev &&
        now.st_ino == Opened.st_ino && now.st_size == 0)
        ::unlink(Name.c_str());
}

} // namespace

void TCustomFtpCli::PortAsync()
{
    DataSocket->SetProto("tcp");
    DataSocket->SetAddr("0.0.0.0");
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
    sockaddr_in control{};
    int length = sizeof data;
    DataSocket->GetSockName(data, length);
    length = sizeof control;
    ControlSocket->GetSockName(control, length);
    const unsigned port = ntohs(data.sin_port);
    char command[64];
    if (ControlSocket->SockAddr().sin_addr.s_addr == htonl(INADDR_LOOPBACK)) {
        std::snprintf(command, sizeof command, "PORT 127,0,0,1,%u,%u", port / 256, port % 256);
    } else {
        const auto *a = reinterpret_cast<const unsigned char *>(&control.sin_addr.s_addr);
        std::snprintf(command, sizeof command, "PORT %u,%u,%u,%u,%u,%u", a[0], a[1], a[2], a[3],
                      port / 256, port % 256);
    }
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

void TCustomFtpCli::StartDownload(const char *Word, TFtpRequest Request, TFtpStep Step)
{
    if (!ControlOpen)
        throw FtpException(std::string(Word) + ": not connected");
    if (LocalFileName.empty())
        throw FtpException("LocalFileName empty");
    if (!ChainActive)
        FRequestType = Request;
    // A file an earlier transfer left open (its connection was lost first) is let go here.
    CloseLocalStream();
    CurrentStep = Step;
    DataCommand = Word;
    Uploading = false;
    ServerDone = FDataClosed = DoneSignalled = FLocalFileFailed = false;
    ByteCount = 0;
    DataSocket->OnSessionAvailable = [this](auto &&, uint16_t) { DownloadAccept(); };
    const bool early = std::exchange(FAcceptWaiting, false);
    // A fresh download empties its file only once the transfer starts (StartLocalData), so
    // a refused RETR leaves an existing file as it was.
    FDataStarted = FLocalCreated = false;
    LocalStream = RestartAt > 0 ? OpenLocal(LocalFileName, "r+b", RestartAt, FLocalBuffer)
                                : OpenUntruncated(LocalFileName, FLocalCreated, FLocalBuffer);
    if (!LocalStream) {
        FLastResponse = "Unable to open local file " + LocalFileName;
        FStatusCode = 550;
        KeepError();
        DataSocket->Close();
        StepResult = 550;
        TriggerRequestDone(550);
        return;
    }
    SetState(fsAwaitReply);
    ReplyHandler = &TCustomFtpCli::TransferFirstReply;
    FAwaitingFinal = true;
    SendCommand(HostFileName.empty() ? DataCommand : DataCommand + " " + HostFileName);
    if (early)
        DownloadAccept();
}

void TCustomFtpCli::StartUpload()
{
    if (!ControlOpen)
        throw FtpException("STOR/APPE: not connected");
    if (LocalFileName.empty())
        throw FtpException("LocalFileName empty");
    CloseLocalStream();
    Uploading = true;
    ServerDone = FDataClosed = DoneSignalled = FLocalFileFailed = false;
    ByteCount = 0;
    DataSocket->OnSessionAvailable = [this](auto &&, uint16_t) { UploadAccept(); };
    const bool early = std::exchange(FAcceptWaiting, false);
    LocalStream = OpenLocal(LocalFileName, "rb", RestartAt, FLocalBuffer);
    if (!LocalStream) {
        FErrorMessage = "Unable to open local file " + LocalFileName;
        TriggerDisplay("! " + FErrorMessage);
        DataSocket->Close();
        FStatusCode = StepResult = 550;
        TriggerRequestDone(550);
        return;
    }
    SetState(fsAwaitReply);
    ReplyHandler = &TCustomFtpCli::TransferFirstReply;
    FAwaitingFinal = true;
    SendCommand((AppendMode ? "APPE " : "STOR ") + HostFileName);
    if (early)
        UploadAccept();
}

// Accepts the waiting data connection when it comes from the server we talk to. Anyone else
// on the network could otherwise connect first and inject or steal the file's data, so such a
// connection is closed at once and the listening socket goes on waiting for the server's.
bool TCustomFtpCli::AcceptData()
{
    const auto handle = DataSocket->Accept();
    if (handle == INVALID_SOCKET)
        return false;
    const sockaddr_in peer = DataSocket->SockAddr();
    if (peer.sin_addr.s_addr != ControlSocket->SockAddr().sin_addr.s_addr) {
        ::close(int(handle));
        char address[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, address, sizeof address);
        TriggerDisplay(std::string("! Data connection from ") + address + " refused");
        return false;
    }
    DataSocket->Close(); // ends the listening
    if (Uploading) {
        DataSocket->OnSessionClosed = [this](auto &&, uint16_t) { UploadClosed(); };
        DataSocket->OnDataAvailable = [this](auto &&, uint16_t) { DiscardData(); };
        DataSocket->OnDataSent = [this](auto &&, uint16_t) { UploadSend(); };
    } else {
        DataSocket->OnSessionClosed = [this](auto &&, uint16_t) { DownloadClosed(); };
        DataSocket->OnDataAvailable = [this](auto &&, uint16_t) { DownloadData(); };
        DataSocket->OnDataSent = nullptr;
    }
    DataSocket->Dup(handle);
    StartTime = FtpTickCount();
    return true;
}

void TCustomFtpCli::DownloadAccept()
{
    AcceptData();
}

void TCustomFtpCli::UploadAccept()
{
    if (AcceptData())
        UploadSend();
}

void TCustomFtpCli::DownloadData()
{
    if (!TriggerProgress())
        return;
    FDataBuffer.resize(DownloadBlockSize);
    const int received = DataSocket->Receive(FDataBuffer.data(), int(DownloadBlockSize));
    if (received > 0) {
        ByteCount += received;
        StartLocalData();
        if (LocalStream && std::fwrite(FDataBuffer.data(), 1, std::size_t(received), LocalStream) !=
                               std::size_t(received)) {
            TriggerDisplay("! Error writing local file");
            FLocalFileFailed = true;
            CloseLocalStream();
            DataSocket->Shutdown(2);
            return;
        }
        if (DisplayFlag)
            ShowDataLines(FDataBuffer.data(), std::size_t(received));
    } else if (received < 0 && DataSocket->State() == wsConnected &&
               DataSocket->LastError() != WouldBlock) {
        TriggerDisplay("! Data: Receive error " + std::to_string(DataSocket->LastError()));
        DataSocket->Shutdown(2);
    }
}

void TCustomFtpCli::DiscardData()
{
    char discard[DownloadBlockSize];
    DataSocket->Receive(discard, int(sizeof discard));
}

void TCustomFtpCli::UploadSend()
{
    if (!TriggerProgress())
        return;
    FDataBuffer.resize(UploadBlockSize);
    const std::size_t count =
        LocalStream ? std::fread(FDataBuffer.data(), 1, UploadBlockSize, LocalStream) : 0;
    if (count == 0) {
        if (!LocalStream || std::ferror(LocalStream)) {
            TriggerDisplay("! Error reading file");
            FLocalFileFailed = true;
        }
        DataSocket->Close(); // end of file: the close tells the server the data is complete
        return;
    }
    ByteCount += int64_t(count);
    DataSocket->Send(FDataBuffer.data(), int(count));
}

void TCustomFtpCli::DownloadClosed()
{
    CloseLocalStream();
    FDataClosed = true;
    TransferCheck();
}

void TCustomFtpCli::UploadClosed()
{
    CloseLocalStream();
    FDataClosed = true;
    TransferCheck();
}

// The server starts the transfer (its 125/150 reply or the first data block, whichever comes
// first). Only now does a download without a restart offset empty its file: before writing,
// so a shorter file leaves no stale tail. Devices and pipes are left as they are.
void TCustomFtpCli::StartLocalData()
{
    if (std::exchange(FDataStarted, true) || !LocalStream || RestartAt > 0)
        return;
    struct stat info = {};
    const int fd = ::fileno(LocalStream);
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
        ::ftruncate(fd, 0) != 0) {
        TriggerDisplay("! Error writing local file");
        FLocalFileFailed = true;
        CloseLocalStream();
    }
}

void TCustomFtpCli::CloseUnstartedDownload()
{
    if (!Uploading && !FDataStarted)
        CloseLocalStream();
}

void TCustomFtpCli::CloseLocalStream()
{
    if (!LocalStream)
        return;
    // A download that never started removes the empty file it created itself.
    struct stat opened = {};
    const bool unused = !Uploading && FLocalCreated && !FDataStarted &&
                        ::fstat(::fileno(LocalStream), &opened) == 0 && opened.st_size == 0;
    // Buffered bytes reach the file only here: a failing close is a failed write.
    const bool failed = std::fclose(LocalStream) != 0;
    LocalStream = nullptr;
    if (unused)
        RemoveUnused(LocalFileName, opened);
    if (failed && !Uploading && !FLocalFileFailed) {
        TriggerDisplay("! Error writing local file");
        FLocalFileFailed = true;
    }
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
        if (!Uploading)
            StartLocalData();
        return;
    }
    KeepError();
    ReplyHandler = nullptr;
    DataSocket->Close();
    CloseLocalStream();
    RestartAt = 0;
    StepResult = FStatusCode > 0 ? FStatusCode : 500;
    TriggerRequestDone(uint16_t(StepResult));
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
        TransferCheck();
        return;
    }
    TransferFailed(FStatusCode > 0 ? FStatusCode : 500);
}

void TCustomFtpCli::TransferFailed(int Code)
{
    KeepError();
    CloseLocalStream();
    DataSocket->Close();
    TriggerDisplay(Uploading ? "! STOR Failed" : "! RETR/LIST/NLST Failed");
    StepResult = Code;
    TriggerRequestDone(uint16_t(Code));
}

void TCustomFtpCli::TransferCheck()
{
    // After the request ended otherwise (a lost control connection, an abort), closing the
    // data connection must not turn it into a success.
    if (DoneSignalled || !ServerDone || !FDataClosed)
        return;
    TransferStats();
    RestartAt = 0;
    StepResult = 0;
    if (FLocalFileFailed) {
        // The server saw a complete transfer, but the local file is not: never a success.
        FLastResponse = std::string("550 ") +
                        (Uploading ? "Error reading file " : "Error writing local file ") +
                        LocalFileName;
        FStatusCode = StepResult = 550;
        KeepError();
    }
    TriggerRequestDone(uint16_t(StepResult));
}

bool TCustomFtpCli::TriggerProgress()
{
    bool abort = false;
    if (OnProgress)
        OnProgress(this, ByteCount + RestartAt, abort);
    if (!abort)
        return true;
    TriggerDisplay("! Abort requested");
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
