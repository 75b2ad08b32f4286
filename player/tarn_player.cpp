#include "player/tarn_player.h"

#include "dialup/dial_up.h"
#include "ftp/ftp_client.h"
#include "player/script_language.h"
#include "support/local_files.h"
#include "support/temp_generator.h"
#include "support/text.h"

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <unistd.h>

namespace tarn {

namespace {

std::string SignalName(int Signal)
{
    switch (Signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    default:
        return "signal " + std::to_string(Signal);
    }
}

// Closes a descriptor on every way out of the function that opened it.
class TFileDescriptor
{
public:
    explicit TFileDescriptor(int Fd) : FFd(Fd) {}
    ~TFileDescriptor()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFileDescriptor(const TFileDescriptor &) = delete;
    TFileDescriptor &operator=(const TFileDescriptor &) = delete;
    int Get() const { return FFd; }
    int Release()
    {
        const int fd = FFd;
        FFd = -1;
        return fd;
    }

private:
    int FFd;
};

bool WriteAll(int Fd, const char *Data, std::size_t Size)
{
    while (Size > 0) {
        const ssize_t written = ::write(Fd, Data, Size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        Data += written;
        Size -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

TTarnPlayer::TTarnPlayer(TPlayerView &View)
    : LocalOperation(std::make_unique<TFileOperation>()), FView(View)
{
    LocalOperation->Flags = {fofNoConfirmation};
    AddControlOperations();
    AddLocalOperations();
    AddRemoteOperations();
}

TTarnPlayer::~TTarnPlayer()
{
    // The engine and the dial-up component may still report while they close; the view may be
    // gone already, so nobody listens any more.
    ControlFtp->OnDisplay = nullptr;
    ControlFtp->OnProgress = nullptr;
    ControlFtp->OnCertificateCheck = nullptr;
    RasDial->OnActiveConnection = nullptr;
}

void TTarnPlayer::AddControlOperations()
{
    AddOperation("USERNAME", [this](const std::string &A) { LoginName = A; });
    AddOperation("PASSWORD", [this](const std::string &A) {
        LoginPassword = A;
        PasswordInKeyring = false;
    });
    AddOperation("SERVER", [this](const std::string &A) { ServerName = A; });
    AddOperation("CONNECTION", [this](const std::string &A) { ConnectionName = A; });
    AddOperation("PORT", [this](const std::string &A) { ServerPort = A; });
    AddOperation("LOGFILE", [this](const std::string &A) { LogFileName = A; });
    AddOperation("EXIT", [this](const std::string &) {
        Stopped = true;
        ExitWhenDone = true;
    });
    AddOperation("ONERROR", [this](const std::string &A) { SetErrorAction(A); });
}

void TTarnPlayer::SetScriptText(std::string_view Text)
{
    FScript = SplitScriptText(Text);
    FScriptFileName.clear();
    FView.ScriptChanged();
}

void TTarnPlayer::LoadScript(const std::string &FileName)
{
    std::string text;
    if (const TLocalFileError error = ReadRegularFile(FileName, MaxScriptSize, text))
        throw std::runtime_error("Cannot open file \"" + FileName + "\". " + error.Text);
    FScript = SplitScriptText(text);
    FScriptFileName = FileName;
    FView.ScriptChanged();
}

void TTarnPlayer::AppendLog(const std::string &Line)
{
    FLog.Append(Line);
    FView.LogLineAppended(Line);
}

void TTarnPlayer::ClearLog()
{
    FLog.Clear();
    FView.LogCleared();
}

void TTarnPlayer::SaveLogTo(const std::string &FileName) const
{
    int opened = -1;
    if (const TLocalFileError error = OpenRegularFileForWriting(FileName, opened))
        throw std::runtime_error("Cannot create file \"" + FileName + "\". " + error.Text);
    TFileDescriptor fd(opened);
    std::string text;
    bool written = true;
    for (const std::string &line : FLog) {
        text += line;
        text += "\r\n";
        if (text.size() >= 65536) {
            written = WriteAll(fd.Get(), text.data(), text.size());
            if (!written)
                break;
            text.clear();
        }
    }
    written = written && WriteAll(fd.Get(), text.data(), text.size());
    // A full disk must not pass for a saved log.
    if (!written || ::close(fd.Release()) != 0)
        throw std::runtime_error("Cannot write file \"" + FileName + "\". " +
                                 SystemErrorText(errno));
}

void TTarnPlayer::SetStatusText(const std::string &Text)
{
    FView.StatusChanged(Text);
}

void TTarnPlayer::AddOperation(const std::string &Keyword, TOperation Operation)
{
    FOperations[Keyword] = std::move(Operation);
}

void TTarnPlayer::CountFailure(const std::string &Reason)
{
    ++FailedCommands;
    FView.CommandFailed(FLineNumber, FKeyword, Reason);
}

void TTarnPlayer::Fail(const std::string &Reason, bool Shown)
{
    if (!Reason.empty() && !Shown)
        AppendLog("! " + Reason);
    CountFailure(Reason);
    // Stop, the window's close or a signal may have asked for the end during this command: its
    // failure must not take that back.
    if (StopOnError && !Stopped) {
        Stopped = true;
        StoppedByFailure = true;
    }
}

void TTarnPlayer::FailAndStop(const std::string &Reason, bool Shown)
{
    if (!Reason.empty() && !Shown)
        AppendLog("! " + Reason);
    CountFailure(Reason);
    Stopped = true;
    StoppedByFailure = true;
}

void TTarnPlayer::SyntaxErrorAndStop(const std::string &Message)
{
    AppendLog(Message);
    ++FailedCommands;
    FView.SyntaxError(FLineNumber, Message);
    Stopped = true;
    StoppedByFailure = true;
}

std::optional<TNamePair> TTarnPlayer::NamePairOrStop(const std::string &Argument,
                                                     const std::string &What)
{
    std::optional<TNamePair> names = SplitNamePair(Argument);
    // A name left empty by the quotes ('RECEIVE "a.csv "b.csv"') would send a bare command or
    // write to a folder's name: it is as much a syntax error as a missing quote.
    if (names && (names->First.empty() || names->Second.empty()))
        names.reset();
    if (!names)
        SyntaxErrorAndStop("ERROR: Syntax error on " + What + " command.");
    return names;
}

void TTarnPlayer::SetErrorAction(const std::string &Argument)
{
    StopOnError = UpperCaseAscii(Trim(Argument, tsControls)) == "STOP";
    AppendLog(StopOnError ? "Error action set to STOP." : "Error action set to CONTINUE.");
}

void TTarnPlayer::RunLines()
{
    const std::size_t count = FScript.size();
    for (std::size_t index = 0; index < count && !Stopped; ++index) {
        // The script may have been replaced while the window kept its events turning; a line
        // that no longer exists is an empty one.
        const TScriptCommand command =
            SplitScriptLine(index < FScript.size() ? FScript[index] : std::string());
        FLineNumber = index + 1;
        FKeyword = command.Keyword;
        const auto found = FOperations.find(command.Keyword);
        if (found != FOperations.end())
            found->second(command.Argument);
        FView.BetweenLines();
    }
    FLineNumber = 0;
    FKeyword.clear();
}

void TTarnPlayer::ExecuteButtonClick()
{
    if (FBusy)
        return;
    struct TBusyGuard
    {
        bool &Flag;
        explicit TBusyGuard(bool &Flag) : Flag(Flag) { Flag = true; }
        ~TBusyGuard() { Flag = false; }
    } busy(FBusy);

    LoginName.clear();
    LoginPassword.clear();
    PasswordInKeyring = false;
    ProfileFile.clear();
    ServerName.clear();
    LogFileName.clear();
    ServerPort = "21";
    Transport = {};
    ConnectionName = "LAN";
    Dialed = false;
    // A signal that came before the run lets no line run.
    Stopped = FInterruptSignal != 0;
    HangUpRequested = false;
    StoppedByFailure = false;
    StoppedByUser = false;
    FailedCommands = 0;

    FView.RunningChanged(true);
    std::exception_ptr escaped;
    try {
        if (RunStartHook)
            RunStartHook();
        RunLines();
    } catch (const std::exception &error) {
        // The saved log must say why the run ended.
        AppendLog(std::string("! ") + error.what());
        escaped = std::current_exception();
    }
    FinishRun(escaped);
    FView.RunningChanged(false);
    if (ExitWhenDone)
        FView.CloseRequested();
}

// Steps 6 and 7, in every case: an open session is quit, a line the run dialled is hung up and
// the log is saved, also after an error escaped a command; that error is raised again after.
void TTarnPlayer::FinishRun(std::exception_ptr Escaped)
{
    if (RunEndHook)
        RunEndHook();
    std::string saveError;
    if (!LogFileName.empty()) {
        try {
            SaveLogTo(LogFileName);
        } catch (const std::exception &error) {
            if (!Escaped)
                throw;
            saveError = error.what();
        }
    }
    if (!Escaped)
        return;
    if (saveError.empty())
        std::rethrow_exception(Escaped);
    try {
        std::rethrow_exception(Escaped);
    } catch (const std::exception &error) {
        throw std::runtime_error(std::string(error.what()) + "\n" + saveError);
    }
}

void TTarnPlayer::StartUp(const TPlayerCommandLine &Line)
{
    ExitWhenDone = false;
    FView.RunningChanged(false);
    if (Line.Positional.empty())
        return;
    LoadScript(Line.At(1));
    if (Line.DeleteSwitch())
        ::unlink(Line.At(1).c_str());
    if (Line.ExitSwitch())
        ExitWhenDone = true;
    if (Line.RunSwitch())
        ExecuteButtonClick();
}

void TTarnPlayer::StopButtonClick()
{
    Stopped = true;
    StoppedByUser = true;
    AppendLog("Script stopped by user.");
}

void TTarnPlayer::Interrupt(int Signal)
{
    if (FInterruptSignal == 0) {
        FInterruptSignal = Signal;
        AppendLog("Script stopped by " + SignalName(Signal) + ".");
    }
    Stopped = true;
    if (FInEngineCall) {
        FEngineFailure.Interrupted = true;
        ControlFtp->Abort();
    }
}

int TTarnPlayer::ExitStatus() const
{
    if (FInterruptSignal != 0)
        return 128 + FInterruptSignal;
    if (StoppedByFailure || StoppedByUser)
        return 1;
    return FailedCommands > 0 ? 3 : 0;
}

} // namespace tarn
