// The player's remote commands: the profile, the FTP session and its operations, dial-up
// networking, and the remote steps at the start and the end of a run. Every engine call is
// synchronous; a failing one stops the run only under ONERROR STOP, except CONNECT, which
// always stops it. The engine's own log lines (commands, replies, notices) tell what failed.

#include "dialup/dial_up.h"
#include "ftp/command_secrets.h"
#include "ftp/ftp_client.h"
#include "ftp/remote_names.h"
#include "player/script_language.h"
#include "player/tarn_player.h"
#include "profile/connection_profile.h"
#include "profile/password_store.h"
#include "profile/trusted_certificates.h"
#include "support/file_lines.h"
#include "support/local_files.h"
#include "support/temp_generator.h"
#include "support/text.h"

#include <cerrno>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn {

namespace {

// Some servers announce the size in the reply that opens a download:
// "150 Opening BINARY mode data connection for a.txt (1024 bytes)." gives 1024, else -1.
int64_t AnnouncedSize(const std::string &Reply)
{
    if (Reply.rfind("150", 0) != 0)
        return -1;
    const std::size_t bytes = Reply.rfind(" bytes)");
    if (bytes == std::string::npos)
        return -1;
    const std::size_t open = Reply.rfind('(', bytes);
    if (open == std::string::npos)
        return -1;
    const std::string digits = Reply.substr(open + 1, bytes - open - 1);
    if (digits.empty() || digits.size() > 18 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stoll(digits);
}

// True for a line of the engine that says why a call failed: a reply with a 4xx or 5xx code,
// or a notice other than the statistics and data lines of a transfer.
bool ShowsFailure(const std::string &Msg)
{
    if (Msg.rfind("< ", 0) == 0)
        return Msg.size() >= 3 && (Msg[2] == '4' || Msg[2] == '5');
    if (Msg.rfind("! ", 0) != 0)
        return false;
    return Msg.find(" bytes received/sent in ") == std::string::npos && Msg.rfind("! Data", 0) != 0;
}

} // namespace

void TTarnPlayer::AddRemoteOperations()
{
    ControlFtp = std::make_unique<TFtpClient>();
    ControlFtp->Timeout = 30;
    ControlFtp->Port = "ftp";
    ControlFtp->SetBinary(true);
    ControlFtp->MultiThreaded = false;
    ControlFtp->DisplayFlag = false;
    ControlFtp->OnDisplay = [this](TCustomFtpCli *Sender, std::string &Msg) {
        ControlFtpDisplay(Sender, Msg);
    };
    ControlFtp->OnProgress = [this](TCustomFtpCli *Sender, int64_t Count, bool &Abort) {
        ControlFtpProgress(Sender, Count, Abort);
    };
    ControlFtp->OnCertificateCheck = [this](TCustomFtpCli *Sender, const TTlsCertificateInfo &Info,
                                            bool &Accept) {
        ControlFtpCertificateCheck(Sender, Info, Accept);
    };

    RasDial = std::make_unique<TDialUp>();
    RasDial->DialMode = dmSync;
    RasDial->Language = English;
    RasDial->OnDialing = [this](TDialUp *Sender) { SetStatusText("Dialing " + Sender->Entry); };
    RasDial->OnConnect = [this](TDialUp *Sender) {
        SetStatusText("Connected to " + Sender->Entry);
    };
    RasDial->OnNotConnected = [this](TDialUp *, int, const std::string &) {
        SetStatusText("Error during RAS connection.");
    };
    RasDial->OnError = [this](TDialUp *, int, const std::string &Message) { AppendLog(Message); };
    RasDial->OnActiveConnection = [this](TDialUp *Sender, THRasConn Handle, const TRasConnStatusA &,
                                         const std::string &, const std::string &,
                                         const std::string &, const std::string &) {
        Dialed = true;
        if (HangUpRequested) {
            Sender->HangUpConnection(Handle);
            Dialed = false;
            HangUpRequested = false;
        }
    };

    TempFile = std::make_unique<TTempGenerator>();
    TempFile->AutoDelete = false;

    AddOperation("PROFILE", [this](const std::string &A) { ReadProfile(A); });
    AddOperation("CONNECT", [this](const std::string &A) { ConnectToServer(A); });
    AddOperation("CHDIR", [this](const std::string &A) { ChangeDirectory(A); });
    AddOperation("CDUP", [this](const std::string &A) { ChangeParent(A); });
    AddOperation("MKDIR", [this](const std::string &A) { MakeDirectory(A); });
    AddOperation("RMDIR", [this](const std::string &A) { RemoveDirectory(A); });
    AddOperation("DELETE", [this](const std::string &A) { DeleteFile(A); });
    AddOperation("RENAME", [this](const std::string &A) { RenameFile(A); });
    AddOperation("SEND", [this](const std::string &A) { SendFile(A); });
    AddOperation("RECEIVE", [this](const std::string &A) { ReceiveFile(A); });
    AddOperation("LIST", [this](const std::string &A) { ListDirectory(A); });
    AddOperation("BINARY", [this](const std::string &) { SetTransferType("B"); });
    AddOperation("ASCII", [this](const std::string &) { SetTransferType("A"); });
    AddOperation("COMMAND", [this](const std::string &A) { RunCommand(A); });
    AddOperation("TIMEOUT", [this](const std::string &A) { SetTimeOut(A); });
    AddOperation("QUIT", [this](const std::string &A) { QuitSession(A); });
    AddOperation("HANGUP", [this](const std::string &A) { HangUpLine(A); });

    RunStartHook = [this] { RunStartStep(); };
    RunEndHook = [this] { RunEndStep(); };
}

void TTarnPlayer::RunStartStep()
{
    // A line that is already up is used, not dialled again.
    RasDial->GetConnections();
}

void TTarnPlayer::RunEndStep()
{
    if (ControlFtp->Connected())
        CallEngine(&TFtpClient::Quit);
    // A line this run dialled is hung up also when its session never came up (a refused
    // login), so that no dial-up line is left open after the run.
    if (Dialed)
        RasDial->HangUp();
}

void TTarnPlayer::ControlFtpDisplay(TCustomFtpCli *, std::string &Msg)
{
    // Masks the password command; any other message holding those four capitals is masked too.
    // Passwords given to IBM i commands (COMMAND RCMD CHGUSRPRF ... PASSWORD(...)) are masked
    // in the commands and in the replies that repeat them.
    if (Msg.find("PASS") != std::string::npos) {
        AppendLog("> PASS *******");
        return;
    }
    const std::string shown = MaskCommandSecrets(Msg);
    AppendLog(shown);
    if (FInEngineCall && ShowsFailure(shown))
        FShownFailure = shown.substr(2);
}

void TTarnPlayer::ControlFtpCertificateCheck(TCustomFtpCli *, const TTlsCertificateInfo &Info,
                                             bool &Accept)
{
    if (TTrustedCertificates().Contains(Info.Host, Info.Port, Info.Fingerprint)) {
        Accept = true;
        return;
    }
    const std::string refusal =
        "The certificate of " + Info.Host + ":" + Info.Port + " (" + Info.Subject +
        ") is not trusted: " + Info.Problem + "; its SHA-256 fingerprint is " + Info.Fingerprint +
        ". To trust it, put this line in the profile" +
        (ProfileFile.empty() ? "" : " " + ProfileFile) + ": TLSFINGERPRINT=" + Info.Fingerprint;
    AppendLog("! " + refusal);
    // The failed CONNECT gives this as its reason, rather than the engine's shorter one.
    if (FInEngineCall)
        FShownFailure = refusal;
}

bool TTarnPlayer::CallEngine(bool (TFtpClient::*Call)())
{
    const bool connecting = Call == &TFtpClient::Connect;
    const bool wasConnected = ControlFtp->Connected();
    const std::string errorBefore = ControlFtp->ErrorMessage();
    const std::string responseBefore = ControlFtp->LastResponse();
    FShownFailure.clear();
    FEngineFailure = {};
    FInEngineCall = true;
    const bool done = (ControlFtp.get()->*Call)();
    FInEngineCall = false;
    if (done || FEngineFailure.Interrupted)
        return done && !FEngineFailure.Interrupted;
    // The engine logs the replies and its notices; when none of them says why the call failed,
    // the reason is worked out here.
    TEngineFailure &failure = FEngineFailure;
    failure.Shown = !FShownFailure.empty();
    if (failure.Shown)
        failure.Reason = FShownFailure;
    else if (connecting && wasConnected)
        failure.Reason = "Already connected: QUIT the open session first.";
    else if (!connecting && !wasConnected)
        failure.Reason = "Not connected to a server (no CONNECT, or the session has ended).";
    else if (ControlFtp->StatusCode() == 426 && ControlFtp->ErrorMessage() == "426 Timeout")
        failure.Reason = "No answer from the server within " + std::to_string(ControlFtp->Timeout) +
                         (ControlFtp->Timeout == 1 ? " second" : " seconds") +
                         "; the session is closed.";
    else if (!ControlFtp->ErrorMessage().empty() && ControlFtp->ErrorMessage() != errorBefore)
        failure.Reason = ControlFtp->ErrorMessage();
    else if (!ControlFtp->LastResponse().empty() && ControlFtp->LastResponse() != responseBefore)
        failure.Reason = ControlFtp->LastResponse();
    else
        failure.Reason = "The command could not be sent to the server.";
    return false;
}

void TTarnPlayer::FailEngine()
{
    if (!FEngineFailure.Interrupted)
        Fail(FEngineFailure.Reason, FEngineFailure.Shown);
}

void TTarnPlayer::ControlFtpProgress(TCustomFtpCli *Sender, int64_t Count, bool &)
{
    SetStatusText(std::to_string(Count));
    // The size the server announced is read once, from its first reply that tells it.
    if (FTransferTotal < 0)
        FTransferTotal = AnnouncedSize(Sender->LastResponse());
    FView.TransferProgress(Count, FTransferTotal);
}

bool TTarnPlayer::Transfer(bool (TFtpClient::*Call)(), int64_t Total)
{
    FTransferTotal = Total;
    const bool done = CallEngine(Call);
    FTransferTotal = -1;
    FView.TransferProgress(-1, -1);
    return done;
}

void TTarnPlayer::ReadProfile(const std::string &Argument)
{
    TLocalFileError error;
    const TConnectionProfile profile = ReadConnectionProfile(Argument, &error);
    if (error && error.Code != ENOENT) {
        Fail("Cannot read profile file " + Argument + ": " + error.Text);
        return;
    }
    if (error)
        AppendLog("! Profile file " + Argument + " not found; using defaults");
    ConnectionName = profile.Connection;
    ServerName = profile.URLOrIP;
    LoginName = profile.UserName;
    LoginPassword = profile.PassWord;
    PasswordInKeyring = profile.PasswordStore == psKeyring;
    ProfileFile = Argument;
    ServerPort = profile.Port;
    Transport = ConnectionSecurity(profile);
    const std::optional<int> timeout = ParseWholeNumber(profile.Timeout);
    if (!timeout)
        throw std::runtime_error("The profile \"" + Argument + "\" holds TIMEOUT=" +
                                 profile.Timeout + ", which is not a whole number of seconds.");
    ProfileTimeout = *timeout;
    LocalDir = profile.LocalDir;
    HostDir = profile.HostDir;
}

void TTarnPlayer::ConnectToServer(const std::string &)
{
    AppendLog("Host:  " + ServerName);
    AppendLog("User:  " + LoginName);
    AppendLog("Port:  " + ServerPort);
    if (!Transport.Problem.empty()) {
        FailAndStop("The profile " + ProfileFile + " cannot be used as it stands: " +
                    Transport.Problem + " No session is opened.");
        return;
    }
    if (PasswordInKeyring && !ReadKeyringPassword())
        return;

    bool dialFailed = false;
    if (ConnectionName != "LAN" && !Dialed) {
        RasDial->GetEntries();
        RasDial->Entry = ConnectionName;
        if (RasDial->Dial() == 0)
            Dialed = true;
        else
            dialFailed = true;
    }

    ControlFtp->HostName = ServerName;
    ControlFtp->Port = ServerPort;
    ControlFtp->UserName = LoginName;
    ControlFtp->PassWord = LoginPassword;
    ControlFtp->Passive = Transport.Passive;
    ControlFtp->Security = Transport.Security;
    ControlFtp->TlsFingerprint = Transport.TlsFingerprint;
    // No time-out at all would let a silent server hold the run for ever.
    ControlFtp->Timeout = ProfileTimeout > 0 ? ProfileTimeout : DefaultTimeout;

    if (dialFailed) {
        AppendLog("RAS Connection Failed.");
        FailAndStop("RAS Connection Failed.", true);
        return;
    }
    if (!CallEngine(&TFtpClient::Connect)) {
        if (!FEngineFailure.Interrupted)
            FailAndStop(FEngineFailure.Reason, FEngineFailure.Shown);
        return;
    }
    // The results of these steps are not used; only a signal ends them early.
    const auto step = [this](bool (TFtpClient::*Call)()) {
        CallEngine(Call);
        return !FEngineFailure.Interrupted;
    };
    if (!step(&TFtpClient::Syst))
        return;
    ControlFtp->HostDirName = "/";
    if (!step(&TFtpClient::Cwd) || !step(&TFtpClient::Pwd))
        return;
    ControlFtp->HostDirName = HostDir;
    if (!step(&TFtpClient::Cwd) || !step(&TFtpClient::Pwd))
        return;
    HostDir = PathFromPwdReply(ControlFtp->LastResponse());
}

// The password of a keyring profile, read when it is needed. A run without a keyring (a cron job
// has no session bus) stops here with one line that says why and what to do instead.
bool TTarnPlayer::ReadKeyringPassword()
{
    const TKeyringResult found = tarn::ReadKeyringPassword(ServerName, ServerPort, LoginName);
    if (found) {
        LoginPassword = found.Password;
        return true;
    }
    const std::string login = LoginName + " on " + ServerName + " port " + ServerPort;
    const std::string instead = "; to keep the password in the profile instead, run \"tarnsp "
                                "--write-profile " +
                                ProfileFile +
                                "\" or untick \"Remember password in the keyring\" in Tarn's "
                                "login dialog and save the profile.";
    const std::string reason =
        found.Status == ksNotFound
            ? "The keyring holds no password for " + login + " (profile " + ProfileFile +
                  "): save the profile with its password in Tarn's login dialog" + instead
            : "No keyring can be reached for the password of " + login + " (" + found.Reason + ")" +
                  instead;
    FailAndStop(reason);
    return false;
}

void TTarnPlayer::ChangeDirectory(const std::string &Argument)
{
    ControlFtp->HostDirName = NormalizeLibraryPath(Argument);
    if (!CallEngine(&TFtpClient::Cwd)) {
        FailEngine();
        return;
    }
    CallEngine(&TFtpClient::Pwd);
    HostDir = PathFromPwdReply(ControlFtp->LastResponse());
}

void TTarnPlayer::ChangeParent(const std::string &)
{
    if (!CallEngine(&TFtpClient::CDup)) {
        FailEngine();
        return;
    }
    CallEngine(&TFtpClient::Pwd);
    HostDir = PathFromPwdReply(ControlFtp->LastResponse());
}

void TTarnPlayer::MakeDirectory(const std::string &Argument)
{
    ControlFtp->HostFileName = Argument;
    if (!CallEngine(&TFtpClient::Mkd))
        FailEngine();
}

void TTarnPlayer::RemoveDirectory(const std::string &Argument)
{
    ControlFtp->HostFileName = Argument;
    if (!CallEngine(&TFtpClient::Rmd))
        FailEngine();
}

void TTarnPlayer::DeleteFile(const std::string &Argument)
{
    ControlFtp->HostFileName = Argument;
    if (!CallEngine(&TFtpClient::Dele))
        FailEngine();
}

void TTarnPlayer::RenameFile(const std::string &Argument)
{
    const std::optional<TNamePair> names = NamePairOrStop(Argument, "RENAME");
    if (!names)
        return;
    ControlFtp->HostFileName = names->First;
    ControlFtp->LocalFileName = names->Second;
    if (!CallEngine(&TFtpClient::Rename))
        FailEngine();
}

void TTarnPlayer::SendFile(const std::string &Argument)
{
    const std::optional<TNamePair> names = NamePairOrStop(Argument, "SEND");
    if (!names)
        return;
    ControlFtp->HostFileName = RemoteFileName(names->Second);
    // Uploads take the local name as written; a relative one is read from the current
    // directory, which LOCALCD changes.
    ControlFtp->LocalFileName = names->First;
    if (!Transfer(&TFtpClient::Put, LocalFileSize(names->First)))
        FailEngine();
}

void TTarnPlayer::ReceiveFile(const std::string &Argument)
{
    const std::optional<TNamePair> names = NamePairOrStop(Argument, "RECEIVE");
    if (!names)
        return;
    ControlFtp->HostFileName = RemoteFileName(names->Second);
    // Downloads put a bare local name into the profile's download directory.
    const std::string local = PlaceInFolder(LocalDir, names->First);
    ControlFtp->LocalFileName = local;
    // The engine writes a download to a temporary file beside the target and removes it when
    // the transfer fails or a signal ends it, so the target is never left half-written; the
    // engine's own lines say why a local file could not be written.
    if (!Transfer(&TFtpClient::Get, -1) && !FEngineFailure.Interrupted)
        FailEngine();
}

void TTarnPlayer::ListDirectory(const std::string &Argument)
{
    // A fresh temporary name for every listing, given back afterwards: a generator holds at
    // most 50 names, and a long scheduled script must be able to list any number of times.
    const std::string listing = TempFile->NewName();
    ControlFtp->HostFileName = Argument.empty() ? HostDir : Argument;
    ControlFtp->LocalFileName = listing;
    if (CallEngine(&TFtpClient::Dir)) {
        std::string shown; // one string for every line: no allocation per line
        ForEachFileLine(listing, [this, &shown](std::string_view Line) {
            PrintableTextInto(Line, shown);
            AppendLog(shown);
        });
    } else {
        FailEngine();
    }
    TempFile->FreeName(listing);
}

void TTarnPlayer::SetTransferType(const std::string &Type)
{
    ControlFtp->SetBinary(Type == "B");
    if (!CallEngine(&TFtpClient::TypeSet))
        FailEngine();
}

void TTarnPlayer::RunCommand(const std::string &Argument)
{
    ControlFtp->LocalFileName = Argument;
    // Only 250 counts as success. A command that never reached the server (no session) fails
    // too, whatever code the request before it left behind.
    if (!CallEngine(&TFtpClient::Quote))
        FailEngine();
    else if (ControlFtp->StatusCode() != 250)
        Fail("The reply code " + std::to_string(ControlFtp->StatusCode()) +
             " is not 250, the only one COMMAND takes for success.");
}

void TTarnPlayer::SetTimeOut(const std::string &Argument)
{
    // Not a whole number: the time-out stays as it was, and nothing is logged.
    if (const std::optional<int> seconds = ParseWholeNumber(Argument))
        ControlFtp->Timeout = *seconds;
}

void TTarnPlayer::QuitSession(const std::string &)
{
    // A failing QUIT does not stop the run.
    CallEngine(&TFtpClient::Quit);
    if (Dialed)
        RasDial->HangUp();
}

void TTarnPlayer::HangUpLine(const std::string &)
{
    // The active-connection handler hangs up the first line it is told of.
    HangUpRequested = true;
    RasDial->GetConnections();
}

} // namespace tarn
