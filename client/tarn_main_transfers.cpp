// Transfers: receiving the selected files (or the one the name fields name), sending the file
// the name fields name, and sending files dropped on the window.

#include "client/tarn_main.h"
#include "support/text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn {

namespace {

// The text after the last "/" of a local path.
std::string FileNamePart(const std::string &Path)
{
    const std::size_t slash = Path.rfind('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

bool IsLibrary(const std::string &Directory)
{
    return UpperCaseAscii(Directory).find(".LIB") != std::string::npos;
}

// A file name as an object of an IBM i library: at most 10 upper-case characters and ".FILE".
// A name that has its ".FILE" within its first 11 characters is taken as it is.
std::string LibraryObjectName(const std::string &Name)
{
    const std::size_t file = UpperCaseAscii(Name).find(".FILE");
    if (file == std::string::npos) {
        std::string object = Name;
        if (const std::size_t dot = object.find('.'); dot != std::string::npos)
            object.erase(dot, 1);
        return UpperCaseAscii(Trim(object.substr(0, 10), tsControls)) + ".FILE";
    }
    if (file > 10)
        return UpperCaseAscii(Trim(Name.substr(0, 10), tsControls)) + ".FILE";
    return Name;
}

// The Size column of a file entry as a byte count; 0 when it does not hold a number.
int64_t SizeOfColumn(const std::string &Text)
{
    const std::string digits = Trim(Text, tsControls);
    if (digits.empty() || digits.size() > 18 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoll(digits);
}

} // namespace

int64_t TTarnMain::FileSizeOf(const std::string &Path)
{
    // Without blocking: a pipe or a device under the name must not hold the window.
    const int fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("Unable to open local file " + Path + ": " + std::strerror(errno));
    struct stat info = {};
    const int status = ::fstat(fd, &info);
    const int error = errno;
    ::close(fd);
    if (status != 0)
        throw std::runtime_error("Unable to open local file " + Path + ": " + std::strerror(error));
    if (S_ISDIR(info.st_mode))
        throw std::runtime_error("Unable to open local file " + Path + ": is a folder");
    if (!S_ISREG(info.st_mode))
        throw std::runtime_error("Unable to open local file " + Path + ": not a regular file");
    return info.st_size;
}

std::string TTarnMain::RetryRemoteName(const std::string &Path) const
{
    const std::string name = FileNamePart(Path);
    const std::string folder = Path.substr(0, Path.size() - name.size());
    // The server refuses names that are not object names in a library. Linux file names have
    // no short form, so outside a library the name is tried as it is.
    if (IsLibrary(folder.empty() ? CurrentDir : folder) || IsLibrary(CurrentDir))
        return LibraryObjectName(name);
    return name;
}

void TTarnMain::SetTransferType()
{
    ControlFtp.SetBinary(Binary1Checked);
    Call(&TFtpClient::TypeSet);
}

bool TTarnMain::TryThreeTimes(const std::function<void(int Attempt)> &Prepare,
                              bool (TFtpClient::*Request)())
{
    for (int attempt = 1; attempt <= 3; ++attempt) {
        Prepare(attempt);
        // After Abort no new transfer starts: the one running failed, and the user wants the
        // operation over.
        if (AbortRequested || FClosing)
            return false;
        if (ControlFtp.Connected() && Call(Request))
            return true;
    }
    return false;
}

void TTarnMain::ReceiveClick()
{
    if (!CanStart())
        return;
    const TOperation operation(*this);
    RunGuarded([this] {
        int failures = 0;
        StateOnlineBusy();
        StartAnimation(acCopying);
        SetTransferType();
        do {
            const int row = FileView.FirstSelectedRow();
            if (row >= 0)
                FileViewDblClick(); // the name fields of the first selected file
            ControlFtp.HostFileName = Field(cfAS400File);
            int64_t size = 0;
            if (Call(&TFtpClient::Size))
                size = ControlFtp.SizeResult();
            else if (row >= 0)
                size = SizeOfColumn(FileView.Model.Entry(row).Size);
            if (size > 0)
                StartProgress(size);
            const bool received = TryThreeTimes(
                [this](int) {
                    ControlFtp.HostFileName = Field(cfAS400File);
                    ControlFtp.LocalFileName = Field(cfPCFile);
                    SetPanel(1, "Receiving " + FileNamePart(ControlFtp.LocalFileName));
                },
                &TFtpClient::Get);
            Record("RECEIVE " + QuotedPair(ControlFtp.LocalFileName, ControlFtp.HostFileName));
            if (row >= 0)
                Deselect(FileView, row);
            if (!received)
                ++failures;
            // A lost session or Abort leaves the files not yet received selected.
        } while (FileView.FirstSelectedRow() >= 0 && ControlFtp.Connected() && !AbortRequested &&
                 !FClosing);
        StateOnlineReady();
        if (failures > 0)
            Inform("Errors during operation, check log.");
    });
}

void TTarnMain::SendClick()
{
    if (!CanStart())
        return;
    const TOperation operation(*this);
    RunGuarded([this] {
        StateOnlineBusy();
        StartAnimation(acCopying);
        SetTransferType();
        ControlFtp.HostFileName = Field(cfAS400File);
        ControlFtp.LocalFileName = Field(cfPCFile);
        StartProgress(FileSizeOf(ControlFtp.LocalFileName));
        SetPanel(1, "Sending " + ControlFtp.HostFileName);
        const bool sent = !AbortRequested && Call(&TFtpClient::Put);
        Record("SEND " + QuotedPair(ControlFtp.LocalFileName, ControlFtp.HostFileName));
        StateOnlineReady();
        if (!sent)
            Inform("Error during operation, check log.");
    });
}

void TTarnMain::FileDrag1Drop(const std::vector<std::string> &Files)
{
    if (Files.empty() || !CanStart())
        return;
    const TOperation operation(*this);
    RunGuarded([this, &Files] {
        int failures = 0;
        StateOnlineBusy();
        StartAnimation(acCopying);
        SetTransferType();
        for (auto path = Files.rbegin(); path != Files.rend(); ++path) {
            if (AbortRequested || FClosing)
                break;
            const bool sent = TryThreeTimes(
                [this, &path](int Attempt) {
                    ControlFtp.LocalFileName = *path;
                    StartProgress(FileSizeOf(*path));
                    // The file's own name first; a name the server refused, as it may take it.
                    ControlFtp.HostFileName =
                        Attempt == 1 ? FileNamePart(*path) : RetryRemoteName(*path);
                    SetPanel(1, "Sending " + ControlFtp.HostFileName);
                },
                &TFtpClient::Put);
            Record("SEND " + QuotedPair(ControlFtp.LocalFileName, ControlFtp.HostFileName));
            if (!sent)
                ++failures;
        }
        DirectoryList();
        StateOnlineReady();
        if (failures > 0)
            Inform("Errors during operation, check log.");
    });
}

} // namespace tarn
