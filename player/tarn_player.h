#pragma once

// TTarnPlayer is the script player without its window: the loaded script, the log, the run state
// that the commands share, the dispatch table from keyword to operation and the run loop. A view
// (window, console or test) is told of every change through TPlayerView.
//
// Extending it: a group of keywords lives in a .cpp of its own that defines the operations as
// members and registers them with AddOperation from a member called by the constructor, as
// AddControlOperations and AddLocalOperations do. Steps 4 and 6 of the run call RunStartHook and
// RunEndHook when they are set. The run loop never changes for new keywords.

#include "player/command_line.h"
#include "player/file_operation.h"
#include "player/log_store.h"
#include "player/player_view.h"
#include "player/script_language.h"
#include "profile/connection_profile.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tarn {

class TCustomFtpCli;
class TDialUp;
class TFtpClient;
class TTempGenerator;

class TTarnPlayer
{
public:
    using TOperation = std::function<void(const std::string &Argument)>;

    explicit TTarnPlayer(TPlayerView &View);
    ~TTarnPlayer();
    TTarnPlayer(const TTarnPlayer &) = delete;
    TTarnPlayer &operator=(const TTarnPlayer &) = delete;

    // Run state. The connection fields and the flags are reset at the start of every run;
    // ProfileTimeout, LocalDir, HostDir, StopOnError and ExitWhenDone last for the program's life.
    std::string ConnectionName = "LAN";
    std::string ServerName;
    std::string LoginName;
    std::string LoginPassword;
    // Set by a PROFILE whose password is in the desktop keyring (cleared by a PASSWORD line):
    // CONNECT then reads it from there, for ServerName, ServerPort and LoginName as they stand.
    bool PasswordInKeyring = false;
    std::string ProfileFile; // the last PROFILE line's file, for the keyring's messages
    std::string ServerPort = "21";
    // The last PROFILE's PASSIVE, SECURITY and TLSFINGERPRINT; a Problem there makes CONNECT
    // fail rather than open a session the profile did not ask for.
    TConnectionSecurity Transport;
    int ProfileTimeout = 0;
    std::string LocalDir;
    std::string HostDir;
    std::string LogFileName;
    bool StopOnError = false;
    bool Stopped = false;
    bool ExitWhenDone = false;
    bool Dialed = false;
    bool HangUpRequested = false;
    // How the last run went, for its exit status: stopped by a failing command or a syntax
    // error, stopped by the user's Stop, and how many commands failed in all (also those that
    // ONERROR CONTINUE let pass).
    bool StoppedByFailure = false;
    bool StoppedByUser = false;
    int FailedCommands = 0;

    // The largest script LoadScript reads: a bigger file (or an endless one) is refused.
    static constexpr std::size_t MaxScriptSize = std::size_t(256) << 20;
    // The time-out CONNECT uses when the profile gives none (no PROFILE, or TIMEOUT 0).
    static constexpr int DefaultTimeout = 30;

    // The shell file operation behind LOCALCOPY, LOCALMOVE and LOCALREN.
    std::unique_ptr<TFileOperation> LocalOperation;
    // The remote side (remote_commands.cpp): the FTP session of a run, dial-up networking and
    // the temporary names of LIST.
    std::unique_ptr<TFtpClient> ControlFtp;
    std::unique_ptr<TDialUp> RasDial;
    std::unique_ptr<TTempGenerator> TempFile;

    // Steps 4 and 6 of the run, owned by the remote side; nothing happens while they are unset.
    std::function<void()> RunStartHook;
    std::function<void()> RunEndHook;

    // The script: replaced by a load, read line by line by the run.
    const std::vector<std::string> &Script() const { return FScript; }
    void SetScriptText(std::string_view Text);
    // Reads a script file; throws std::runtime_error with a message for the user when the file
    // cannot be read, is not a regular file or is larger than MaxScriptSize, leaving the
    // current script unchanged.
    void LoadScript(const std::string &FileName);
    // The file the script was loaded from; empty after SetScriptText.
    const std::string &ScriptFileName() const { return FScriptFileName; }

    // The log: an ordered list of lines, appended to at the end. Log() copies every line.
    std::vector<std::string> Log() const { return FLog.Lines(); }
    void AppendLog(const std::string &Line);
    void ClearLog();
    // Writes every log line followed by CR LF, replacing the file. Throws std::runtime_error when
    // the file cannot be created or written, or is not a regular file (a FIFO or a device would
    // block the run or never hold the log).
    void SaveLogTo(const std::string &FileName) const;

    void SetStatusText(const std::string &Text);

    // The dispatch table: `Keyword` (upper case, as in the keyword table) now runs `Operation`
    // with the line's argument, replacing any earlier one. A keyword without an operation is
    // skipped like an unknown word.
    void AddOperation(const std::string &Keyword, TOperation Operation);

    // Start-up from the command line's positions (script, "/R", "/X", "/D"), as the window does
    // when it is first activated. An unreadable script leaves the player idle, its file neither
    // deleted nor run; that error, and one escaping the run, propagate to the caller.
    void StartUp(const TPlayerCommandLine &Line);

    // Play: runs the whole script (steps 1 to 9). An exception thrown by a command ends the run
    // at once: the log gets "! " and its message, the run-end steps (QUIT, hang-up, LOGFILE)
    // still run, and then the exception propagates to the caller without steps 8 and 9.
    void ExecuteButtonClick();
    // Stop: takes effect before the next line; a failure of the line in progress cannot undo it.
    void StopButtonClick();
    // SIGINT or SIGTERM: like Stop, but a waiting engine call ends at once (a download it cut
    // short is removed) and the run's exit status becomes 128 + Signal. Also before a run: that
    // run then executes no line.
    void Interrupt(int Signal);
    int InterruptSignal() const { return FInterruptSignal; }

    // The exit status of the last run: 128 + the signal that ended it; 1 when a failure, a
    // syntax error or Stop ended it; 3 when it reached its end (or EXIT) with failed commands;
    // 0 when every command succeeded. An error that escaped the run is the caller's (2).
    int ExitStatus() const;
    // True while ExecuteButtonClick is on the stack (also after an escaped error: false again).
    bool Busy() const { return FBusy; }

    // A command failed for `Reason`: the log gets "! " + Reason unless the reason is empty or
    // `Shown` (the log shows it already), the failure is counted and reported to the view, and
    // the run stops when ONERROR STOP is in force. A stop asked for earlier always holds.
    void Fail(const std::string &Reason = {}, bool Shown = false);
    // A failure that stops the run whatever ONERROR says (a failed CONNECT).
    void FailAndStop(const std::string &Reason = {}, bool Shown = false);
    // A syntax error: logs `Message` and stops the run.
    void SyntaxErrorAndStop(const std::string &Message);
    // Splits a two-name argument; on a syntax error (also a name left empty by the quotes) logs
    // "ERROR: Syntax error on <what> command." and stops the run, giving no names.
    std::optional<TNamePair> NamePairOrStop(const std::string &Argument, const std::string &What);

    // Operations of the run loop's own keywords.
    void SetErrorAction(const std::string &Argument);

    // Local operations.
    void LocalChangeDir(const std::string &Argument);
    void LocalMakeDir(const std::string &Argument);
    void LocalRemoveDir(const std::string &Argument);
    void LocalDeleteFile(const std::string &Argument);
    void LocalFileOperation(const std::string &Argument, TFileOp Operation);
    void SaveLog(const std::string &Argument);

    // Remote operations (remote_commands.cpp).
    void ReadProfile(const std::string &Argument);
    void ConnectToServer(const std::string &Argument);
    bool ReadKeyringPassword();
    void ChangeDirectory(const std::string &Argument);
    void ChangeParent(const std::string &Argument);
    void MakeDirectory(const std::string &Argument);
    void RemoveDirectory(const std::string &Argument);
    void DeleteFile(const std::string &Argument);
    void RenameFile(const std::string &Argument);
    void SendFile(const std::string &Argument);
    void ReceiveFile(const std::string &Argument);
    void ListDirectory(const std::string &Argument);
    void SetTransferType(const std::string &Type);
    void RunCommand(const std::string &Argument);
    void SetTimeOut(const std::string &Argument);
    void QuitSession(const std::string &Argument);
    void HangUpLine(const std::string &Argument);

    // Handlers of the engine's events.
    void ControlFtpDisplay(TCustomFtpCli *Sender, std::string &Msg);
    void ControlFtpProgress(TCustomFtpCli *Sender, int64_t Count, bool &Abort);
    // A certificate that neither verifies nor matches the profile's pin: accepted only when the
    // user's trusted-certificates file holds it. The player asks nobody: a refusal is logged
    // with the fingerprint and the profile line that would pin it.
    void ControlFtpCertificateCheck(TCustomFtpCli *Sender, const TTlsCertificateInfo &Info,
                                    bool &Accept);

private:
    // Why the last engine call failed, and whether the log shows it already.
    struct TEngineFailure
    {
        std::string Reason;
        bool Shown = false;
        bool Interrupted = false; // a signal ended the call
    };

    void AddControlOperations();
    void AddLocalOperations();
    void AddRemoteOperations();
    void RunStartStep();
    void RunEndStep();
    void RunLines();
    void FinishRun(std::exception_ptr Escaped);
    void CountFailure(const std::string &Reason);
    // Runs one synchronous engine call; on failure FEngineFailure tells why.
    bool CallEngine(bool (TFtpClient::*Call)());
    // Fails the command with the reason of the last engine call (nothing when a signal ended
    // it: the run stops anyway).
    void FailEngine();
    // Runs a transfer call with the size of the whole when it is known beforehand (an upload's
    // local file), so that the view can show progress against it; -1 when unknown.
    bool Transfer(bool (TFtpClient::*Call)(), int64_t Total);

    TPlayerView &FView;
    std::vector<std::string> FScript;
    std::string FScriptFileName;
    TLogStore FLog; // memory stays flat however long the log grows
    std::unordered_map<std::string, TOperation> FOperations;
    bool FBusy = false;
    int64_t FTransferTotal = -1;
    // The line being run (counted from 1) and its keyword, for failure reports.
    std::size_t FLineNumber = 0;
    std::string FKeyword;
    int FInterruptSignal = 0;
    bool FInEngineCall = false;
    std::string FShownFailure; // the last failure line the engine displayed during a call
    TEngineFailure FEngineFailure;
};

} // namespace tarn
