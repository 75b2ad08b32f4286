#include "player/tarn_player.h"

#include "dialup/dial_up.h"
#include "ftp/ftp_client.h"
#include "player/script_language.h"
#include "support/temp_generator.h"
#include "support/text.h"

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tarn {

namespace {

std::string SystemErrorText(int Code)
{
    // strerror may share one buffer between threads; the error category's text does not.
    return std::generic_category().message(Code);
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
    RasDial->OnActiveConnection = nullptr;
}

void TTarnPlayer::AddControlOperations()
{
    AddOperation("USERNAME", [this](const std::string &A) { LoginName = A; });
    AddOperation("PASSWORD", [this](const std::string &A) { LoginPassword = A; });
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
    FView.ScriptChanged();
}

void TTarnPlayer::LoadScript(const std::string &FileName)
{
    TFileDescriptor fd(::open(FileName.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info
    {
    };
    if (fd.Get() < 0 || ::fstat(fd.Get(), &info) != 0 || S_ISDIR(info.st_mode)) {
        const int code = fd.Get() < 0 ? errno : (S_ISDIR(info.st_mode) ? EISDIR : errno);
        throw std::runtime_error("Cannot open file \"" + FileName + "\". " + SystemErrorText(code));
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("Cannot read file \"" + FileName + "\". " +
                                     SystemErrorText(errno));
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    SetScriptText(text);
}

void TTarnPlayer::AppendLog(const std::string &Line)
{
    FLog.push_back(Line);
    FView.LogLineAppended(FLog.back());
}

void TTarnPlayer::ClearLog()
{
    FLog.clear();
    FView.LogCleared();
}

void TTarnPlayer::SaveLogTo(const std::string &FileName) const
{
    TFileDescriptor fd(::open(FileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (fd.Get() < 0)
        throw std::runtime_error("Cannot create file \"" + FileName + "\". " +
                                 SystemErrorText(errno));
    std::string text;
    for (const std::string &line : FLog) {
        text += line;
        text += "\r\n";
        if (text.size() >= 65536) {
            if (!WriteAll(fd.Get(), text.data(), text.size()))
                break;
            text.clear();
        }
    }
    const bool written = WriteAll(fd.Get(), text.data(), text.size());
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

void TTarnPlayer::Fail()
{
    Stopped = StopOnError;
    if (Stopped)
        StoppedByFailure = true;
}

void TTarnPlayer::FailAndStop()
{
    Stopped = true;
    StoppedByFailure = true;
}

std::optional<TNamePair> TTarnPlayer::NamePairOrStop(const std::string &Argument,
                                                     const std::string &What)
{
    std::optional<TNamePair> names = SplitNamePair(Argument);
    if (!names) {
        AppendLog("ERROR: Syntax error on " + What + " command.");
        FailAndStop();
    }
    return names;
}

void TTarnPlayer::SetErrorAction(const std::string &Argument)
{
    StopOnError = UpperCaseAscii(Trim(Argument, tsControls)) == "STOP";
    AppendLog(StopOnError ? "Error action set to STOP." : "Error action set to CONTINUE.");
}

void TTarnPlayer::RunLine(const std::string &Line)
{
    const TScriptCommand command = SplitScriptLine(Line);
    const auto found = FOperations.find(command.Keyword);
    if (found != FOperations.end())
        found->second(command.Argument);
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
    ServerName.clear();
    LogFileName.clear();
    ServerPort = "21";
    ConnectionName = "LAN";
    Dialed = false;
    Stopped = false;
    HangUpRequested = false;
    StoppedByFailure = false;

    FView.RunningChanged(true);
    const std::size_t count = FScript.size();
    if (RunStartHook)
        RunStartHook();
    for (std::size_t index = 0; index < count && !Stopped; ++index) {
        // The script may have been replaced while the window kept its events turning; a line
        // that no longer exists is an empty one.
        RunLine(index < FScript.size() ? FScript[index] : std::string());
        FView.BetweenLines();
    }
    if (RunEndHook)
        RunEndHook();
    if (!LogFileName.empty())
        SaveLogTo(LogFileName);
    FView.RunningChanged(false);
    if (ExitWhenDone)
        FView.CloseRequested();
}

void TTarnPlayer::StartUp(const TPlayerCommandLine &Line)
{
    ExitWhenDone = false;
    FView.RunningChanged(false);
    if (Line.Positional.empty())
        return;
    try {
        LoadScript(Line.At(1));
        if (Line.DeleteSwitch())
            ::unlink(Line.At(1).c_str());
        if (Line.ExitSwitch())
            ExitWhenDone = true;
        if (Line.RunSwitch())
            ExecuteButtonClick();
    } catch (...) {
    }
}

void TTarnPlayer::StopButtonClick()
{
    Stopped = true;
    AppendLog("Script stopped by user.");
}

} // namespace tarn
