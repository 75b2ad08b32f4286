#include "player/tarn_player.h"

#include "dialup/dial_up.h"
#include "ftp/ftp_client.h"
#include "player/script_language.h"
#include "support/text.h"
#include "support/temp_generator.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn {

namespace {

std::string SystemErrorText(int code)
{
    return std::strerror(code);
}

// Closes a descriptor on every way out of the function that opened it.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_Fd(fd) {}
    ~FileDescriptor()
    {
        if (m_Fd >= 0)
            ::close(m_Fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int Get() const { return m_Fd; }
    int Release()
    {
        const int fd = m_Fd;
        m_Fd = -1;
        return fd;
    }

private:
    int m_Fd;
};

bool WriteAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

TTarnPlayer::TTarnPlayer(PlayerView &view)
    : LocalOperation(std::make_unique<TFileOperation>()), m_View(view)
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
    AddOperation("USERNAME", [this](const std::string &a) { LoginName = a; });
    AddOperation("PASSWORD", [this](const std::string &a) { LoginPassword = a; });
    AddOperation("SERVER", [this](const std::string &a) { ServerName = a; });
    AddOperation("CONNECTION", [this](const std::string &a) { ConnectionName = a; });
    AddOperation("PORT", [this](const std::string &a) { ServerPort = a; });
    AddOperation("LOGFILE", [this](const std::string &a) { LogFileName = a; });
    AddOperation("EXIT", [this](const std::string &) {
        Stopped = true;
        ExitWhenDone = true;
    });
    AddOperation("ONERROR", [this](const std::string &a) { SetErrorAction(a); });
}

void TTarnPlayer::SetScriptText(std::string_view text)
{
    m_Script = SplitScriptText(text);
    m_View.ScriptChanged();
}

void TTarnPlayer::LoadScript(const std::string &fileName)
{
    FileDescriptor fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info
    {
    };
    if (fd.Get() < 0 || ::fstat(fd.Get(), &info) != 0 || S_ISDIR(info.st_mode)) {
        const int code = fd.Get() < 0 ? errno : (S_ISDIR(info.st_mode) ? EISDIR : errno);
        throw std::runtime_error("Cannot open file \"" + fileName + "\". " + SystemErrorText(code));
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
            throw std::runtime_error("Cannot read file \"" + fileName + "\". " +
                                     SystemErrorText(errno));
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    SetScriptText(text);
}

void TTarnPlayer::AppendLog(const std::string &line)
{
    m_Log.push_back(line);
    m_View.LogLineAppended(m_Log.back());
}

void TTarnPlayer::ClearLog()
{
    m_Log.clear();
    m_View.LogCleared();
}

void TTarnPlayer::SaveLogTo(const std::string &fileName) const
{
    FileDescriptor fd(::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (fd.Get() < 0)
        throw std::runtime_error("Cannot create file \"" + fileName + "\". " +
                                 SystemErrorText(errno));
    std::string text;
    for (const std::string &line : m_Log) {
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
        throw std::runtime_error("Cannot write file \"" + fileName + "\". " +
                                 SystemErrorText(errno));
}

void TTarnPlayer::SetStatusText(const std::string &text)
{
    m_View.StatusChanged(text);
}

void TTarnPlayer::AddOperation(const std::string &keyword, Operation operation)
{
    m_Operations[keyword] = std::move(operation);
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

std::optional<NamePair> TTarnPlayer::NamePairOrStop(const std::string &argument,
                                                    const std::string &what)
{
    std::optional<NamePair> names = SplitNamePair(argument);
    if (!names) {
        AppendLog("ERROR: Syntax error on " + what + " command.");
        FailAndStop();
    }
    return names;
}

void TTarnPlayer::SetErrorAction(const std::string &argument)
{
    StopOnError = UpperCaseAscii(Trim(argument, tsControls)) == "STOP";
    AppendLog(StopOnError ? "Error action set to STOP." : "Error action set to CONTINUE.");
}

void TTarnPlayer::RunLine(const std::string &line)
{
    const ScriptCommand command = SplitScriptLine(line);
    const auto found = m_Operations.find(command.Keyword);
    if (found != m_Operations.end())
        found->second(command.Argument);
}

void TTarnPlayer::ExecuteButtonClick()
{
    if (m_Busy)
        return;
    struct BusyGuard
    {
        bool &Flag;
        explicit BusyGuard(bool &flag) : Flag(flag) { Flag = true; }
        ~BusyGuard() { Flag = false; }
    } busy(m_Busy);

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

    m_View.RunningChanged(true);
    const std::size_t count = m_Script.size();
    if (RunStartHook)
        RunStartHook();
    for (std::size_t index = 0; index < count && !Stopped; ++index) {
        // The script may have been replaced while the window kept its events turning; a line
        // that no longer exists is an empty one.
        RunLine(index < m_Script.size() ? m_Script[index] : std::string());
        m_View.BetweenLines();
    }
    if (RunEndHook)
        RunEndHook();
    if (!LogFileName.empty())
        SaveLogTo(LogFileName);
    m_View.RunningChanged(false);
    if (ExitWhenDone)
        m_View.CloseRequested();
}

void TTarnPlayer::StartUp(const PlayerCommandLine &line)
{
    ExitWhenDone = false;
    m_View.RunningChanged(false);
    if (line.Positional.empty())
        return;
    try {
        LoadScript(line.At(1));
        if (line.DeleteSwitch())
            ::unlink(line.At(1).c_str());
        if (line.ExitSwitch())
            ExitWhenDone = true;
        if (line.RunSwitch())
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
