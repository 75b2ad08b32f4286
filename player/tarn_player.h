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
#include "player/player_view.h"
#include "player/script_language.h"

#include <cstdint>
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
    std::string ServerPort = "21";
    int ProfileTimeout = 0;
    std::string LocalDir;
    std::string HostDir;
    std::string LogFileName;
    bool StopOnError = false;
    bool Stopped = false;
    bool ExitWhenDone = false;
    bool Dialed = false;
    bool HangUpRequested = false;
    // True when the last run was stopped by a failing command or a syntax error (not by EXIT
    // or Stop). The console's exit status reports it.
    bool StoppedByFailure = false;

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
    // cannot be read, leaving the current script unchanged.
    void LoadScript(const std::string &FileName);

    // The log: an ordered list of lines, appended to at the end.
    const std::vector<std::string> &Log() const { return FLog; }
    void AppendLog(const std::string &Line);
    void ClearLog();
    // Writes every log line followed by CR LF, replacing the file. Throws std::runtime_error when
    // the file cannot be created or written.
    void SaveLogTo(const std::string &FileName) const;

    void SetStatusText(const std::string &Text);

    // The dispatch table: `Keyword` (upper case, as in the keyword table) now runs `Operation`
    // with the line's argument, replacing any earlier one. A keyword without an operation is
    // skipped like an unknown word.
    void AddOperation(const std::string &Keyword, TOperation Operation);

    // Start-up from the command line's positions (script, "/R", "/X", "/D"), as the window does
    // when it is first activated. Any error, also one escaping the run, is discarded silently:
    // an unreadable script leaves the player idle, its file neither deleted nor run.
    void StartUp(const TPlayerCommandLine &Line);

    // Play: runs the whole script (steps 1 to 9). An exception thrown by a command ends the run
    // at once and propagates to the caller; steps 6 to 9 are then skipped.
    void ExecuteButtonClick();
    // Stop: takes effect before the next line.
    void StopButtonClick();
    // True while ExecuteButtonClick is on the stack (also after an escaped error: false again).
    bool Busy() const { return FBusy; }

    // A command failed: the run stops only when ONERROR STOP is in force.
    void Fail();
    // A syntax error or a failure that stops the run whatever ONERROR says.
    void FailAndStop();
    // Splits a two-name argument; on a syntax error logs "ERROR: Syntax error on <what>
    // command." and stops the run, giving no names.
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

private:
    void AddControlOperations();
    void AddLocalOperations();
    void AddRemoteOperations();
    void RunStartStep();
    void RunEndStep();
    // Runs a transfer call with the size of the whole when it is known beforehand (an upload's
    // local file), so that the view can show progress against it; -1 when unknown.
    bool Transfer(bool (TFtpClient::*Call)(), int64_t Total);
    void RunLine(const std::string &Line);

    TPlayerView &FView;
    std::vector<std::string> FScript;
    std::vector<std::string> FLog;
    std::unordered_map<std::string, TOperation> FOperations;
    bool FBusy = false;
    int64_t FTransferTotal = -1;
};

} // namespace tarn
