#pragma once

// TTarnPlayer is the script player without its window: the loaded script, the log, the run state
// that the commands share, the dispatch table from keyword to operation and the run loop. A view
// (window, console or test) is told of every change through PlayerView.
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
    using Operation = std::function<void(const std::string &argument)>;

    explicit TTarnPlayer(PlayerView &view);
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
    const std::vector<std::string> &Script() const { return m_Script; }
    void SetScriptText(std::string_view text);
    // Reads a script file; throws std::runtime_error with a message for the user when the file
    // cannot be read, leaving the current script unchanged.
    void LoadScript(const std::string &fileName);

    // The log: an ordered list of lines, appended to at the end.
    const std::vector<std::string> &Log() const { return m_Log; }
    void AppendLog(const std::string &line);
    void ClearLog();
    // Writes every log line followed by CR LF, replacing the file. Throws std::runtime_error when
    // the file cannot be created or written.
    void SaveLogTo(const std::string &fileName) const;

    void SetStatusText(const std::string &text);

    // The dispatch table: `keyword` (upper case, as in the keyword table) now runs `operation`
    // with the line's argument, replacing any earlier one. A keyword without an operation is
    // skipped like an unknown word.
    void AddOperation(const std::string &keyword, Operation operation);

    // Start-up from the command line's positions (script, "/R", "/X", "/D"), as the window does
    // when it is first activated. Any error, also one escaping the run, is discarded silently:
    // an unreadable script leaves the player idle, its file neither deleted nor run.
    void StartUp(const PlayerCommandLine &line);

    // Play: runs the whole script (steps 1 to 9). An exception thrown by a command ends the run
    // at once and propagates to the caller; steps 6 to 9 are then skipped.
    void ExecuteButtonClick();
    // Stop: takes effect before the next line.
    void StopButtonClick();
    // True while ExecuteButtonClick is on the stack (also after an escaped error: false again).
    bool Busy() const { return m_Busy; }

    // A command failed: the run stops only when ONERROR STOP is in force.
    void Fail();
    // A syntax error or a failure that stops the run whatever ONERROR says.
    void FailAndStop();
    // Splits a two-name argument; on a syntax error logs "ERROR: Syntax error on <what>
    // command." and stops the run, giving no names.
    std::optional<NamePair> NamePairOrStop(const std::string &argument, const std::string &what);

    // Operations of the run loop's own keywords.
    void SetErrorAction(const std::string &argument);

    // Local operations.
    void LocalChangeDir(const std::string &argument);
    void LocalMakeDir(const std::string &argument);
    void LocalRemoveDir(const std::string &argument);
    void LocalDeleteFile(const std::string &argument);
    void LocalFileOperation(const std::string &argument, TFileOp operation);
    void SaveLog(const std::string &argument);

    // Remote operations (remote_commands.cpp).
    void ReadProfile(const std::string &argument);
    void ConnectToServer(const std::string &argument);
    void ChangeDirectory(const std::string &argument);
    void ChangeParent(const std::string &argument);
    void MakeDirectory(const std::string &argument);
    void RemoveDirectory(const std::string &argument);
    void DeleteFile(const std::string &argument);
    void RenameFile(const std::string &argument);
    void SendFile(const std::string &argument);
    void ReceiveFile(const std::string &argument);
    void ListDirectory(const std::string &argument);
    void SetTransferType(const std::string &type);
    void RunCommand(const std::string &argument);
    void SetTimeOut(const std::string &argument);
    void QuitSession(const std::string &argument);
    void HangUpLine(const std::string &argument);

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
    bool Transfer(bool (TFtpClient::*call)(), int64_t total);
    void RunLine(const std::string &line);

    PlayerView &m_View;
    std::vector<std::string> m_Script;
    std::vector<std::string> m_Log;
    std::unordered_map<std::string, Operation> m_Operations;
    bool m_Busy = false;
    int64_t m_TransferTotal = -1;
};

} // namespace tarn
