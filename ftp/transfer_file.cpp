#include "ftp/transfer_file.h"

#include "support/text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn {

namespace {

// Small pieces of a download (text mode, small network reads) are gathered in a buffer of this
// size before they are written, and a text upload is read in blocks of it; larger binary
// blocks go to and come from the file directly. The memory stays the same whatever the file
// size.
constexpr std::size_t LocalBufferSize = std::size_t(64) * 1024;

// ".NAME.XXXXXX.part": the base name is shortened so that the whole stays a valid file name.
constexpr std::size_t MaxNameLength = 255;
constexpr const char TemporarySuffix[] = ".part";

// The permission bits a new file gets from this process: 0666 less the umask, read without
// changing it (the umask call would change it for every thread for a moment).
mode_t DefaultFileMode()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return 0666 & ~mode_t(std::strtoul(line.c_str() + 6, nullptr, 8));
    return 0644;
}

// Opens Name without blocking (a pipe or a device would block an ordinary open) and accepts
// only a regular file; on failure sets Reason and returns -1.
int OpenRegular(const std::string &Name, int Flags, std::string &Reason)
{
    const int fd = ::open(Name.c_str(), Flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        Reason =
            errno == ELOOP && (Flags & O_NOFOLLOW) ? "is a symbolic link" : SystemErrorText(errno);
        return -1;
    }
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        Reason = S_ISDIR(info.st_mode) ? "is a folder" : "not a regular file";
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

void SeekTo(int Fd, int64_t Offset, std::string &Reason)
{
    if (Offset > 0 && ::lseek(Fd, off_t(Offset), SEEK_SET) < 0)
        Reason = SystemErrorText(errno);
}

} // namespace

TTransferFile::~TTransferFile()
{
    Discard();
}

bool TTransferFile::Fail(const std::string &Reason)
{
    FError = Reason;
    return false;
}

bool TTransferFile::Adopt(int Fd, const std::string &Name, bool Text)
{
    FFd = Fd;
    FName = Name;
    FText = Text;
    FHeldCr = FLastLocalCr = false;
    FError.clear();
    FBuffer.clear();
    FReadBlock.clear();
    FReadPos = 0;
    return true;
}

bool TTransferFile::OpenSource(const std::string &Name, int64_t Offset, bool Text)
{
    return OpenNamed(Name, O_RDONLY, Offset, Text, false);
}

// A link under the name is refused, dangling or not: a link planted there (in a shared folder,
// say) must not make a resumed download write, or create, a file somewhere else.
bool TTransferFile::OpenInPlace(const std::string &Name, int64_t Offset, bool Text)
{
    return OpenNamed(Name, O_WRONLY | O_CREAT | O_NOFOLLOW, Offset, Text, true);
}

bool TTransferFile::OpenInPlaceAtEnd(const std::string &Name, bool Text)
{
    struct stat info = {};
    if (::lstat(Name.c_str(), &info) != 0 && errno == ENOENT) {
        Discard();
        return true;
    }
    return OpenNamed(Name, O_WRONLY | O_NOFOLLOW, -1, Text, true);
}

bool TTransferFile::OpenNamed(const std::string &Name, int Flags, int64_t Offset, bool Text,
                              bool Download)
{
    Discard();
    std::string reason;
    const int fd = OpenRegular(Name, Flags, reason);
    // A download in place: whatever lies past the offset is not the remote file's, so it goes
    // before the first byte arrives. At the end (Offset -1) there is nothing past it.
    if (fd >= 0 && Download && Offset < 0)
        Offset = ::lseek(fd, 0, SEEK_END);
    if (fd >= 0 && Download && (Offset < 0 || ::ftruncate(fd, off_t(Offset)) != 0))
        reason = SystemErrorText(errno);
    if (fd >= 0 && reason.empty())
        SeekTo(fd, Offset, reason);
    if (!reason.empty()) {
        if (fd >= 0)
            ::close(fd);
        return Fail(reason);
    }
    FDownload = Download;
    FOffset = Offset;
    FTemporary.clear();
    return Adopt(fd, Name, Text);
}

bool TTransferFile::OpenReplacement(const std::string &Name, bool Text)
{
    Discard();
    const std::size_t slash = Name.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : Name.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? Name : Name.substr(slash + 1);
    struct stat info = {};
    if (base.empty() || base == "." || base == "..")
        return Fail("is a folder");
    if (::lstat(Name.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return Fail("is a folder");
        if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode))
            return Fail("not a regular file");
    }
    const std::size_t room = MaxNameLength - 1 - 7 - (sizeof TemporarySuffix - 1);
    std::string pattern = (slash == std::string::npos ? std::string() : folder) + "." +
                          base.substr(0, room) + ".XXXXXX" + TemporarySuffix;
    // Created exclusively (a link planted under the name is refused, not followed), 0600.
    const int fd = ::mkostemps(pattern.data(), int(sizeof TemporarySuffix - 1), O_CLOEXEC);
    if (fd < 0)
        return Fail(SystemErrorText(errno));
    FDownload = true;
    FOffset = 0;
    FTemporary = pattern;
    return Adopt(fd, Name, Text);
}

bool TTransferFile::WriteAll(const char *Data, std::size_t Len)
{
    std::size_t done = 0;
    while (done < Len) {
        const ssize_t written = ::write(FFd, Data + done, Len - done);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return Fail(SystemErrorText(errno));
        }
        done += std::size_t(written);
    }
    return true;
}

bool TTransferFile::Flush()
{
    if (FBuffer.empty())
        return true;
    const bool written = WriteAll(FBuffer.data(), FBuffer.size());
    FBuffer.clear();
    return written;
}

bool TTransferFile::Emit(const char *Data, std::size_t Len)
{
    // A large block goes to the file as it is, after what waits before it.
    if (Len >= LocalBufferSize)
        return Flush() && WriteAll(Data, Len);
    FBuffer.insert(FBuffer.end(), Data, Data + Len);
    return FBuffer.size() < LocalBufferSize || Flush();
}

bool TTransferFile::Write(const char *Data, std::size_t Len)
{
    if (FFd < 0)
        return Fail("not open");
    if (!FText)
        return Emit(Data, Len);
    std::size_t at = 0;
    if (FHeldCr && Len > 0) {
        FHeldCr = false;
        if (Data[0] == '\n')
            ++at; // the LF of a CR LF cut between two blocks
        if (!Emit(Data[0] == '\n' ? "\n" : "\r", 1))
            return false;
    }
    while (at < Len) {
        const void *found = std::memchr(Data + at, '\r', Len - at);
        const std::size_t cr = found ? std::size_t(static_cast<const char *>(found) - Data) : Len;
        if (!Emit(Data + at, cr - at))
            return false;
        if (cr == Len)
            break;
        if (cr + 1 == Len) {
            FHeldCr = true; // decided by the next block
            break;
        }
        const bool pair = Data[cr + 1] == '\n';
        if (!Emit(pair ? "\n" : "\r", 1))
            return false;
        at = cr + (pair ? 2 : 1);
    }
    return true;
}

bool TTransferFile::ReadLocal(char *Buffer, std::size_t Room, std::size_t &Len)
{
    ssize_t got;
    do
        got = ::read(FFd, Buffer, Room);
    while (got < 0 && errno == EINTR);
    Len = got > 0 ? std::size_t(got) : 0;
    return got >= 0 || Fail(SystemErrorText(errno));
}

bool TTransferFile::Read(char *Wire, std::size_t Room, std::size_t &Len)
{
    Len = 0;
    if (FFd < 0)
        return Fail("not open");
    if (!FText)
        return ReadLocal(Wire, Room, Len);
    // Runs of bytes without LF are copied as they are; each LF that does not follow a CR gets
    // one. The block always keeps room for a CR LF pair.
    while (Len + 2 <= Room) {
        if (FReadPos == FReadBlock.size()) {
            FReadBlock.resize(LocalBufferSize);
            std::size_t got = 0;
            const bool read = ReadLocal(FReadBlock.data(), FReadBlock.size(), got);
            FReadBlock.resize(got);
            FReadPos = 0;
            if (!read)
                return false;
            if (got == 0)
                break;
        }
        const char *local = FReadBlock.data() + FReadPos;
        const std::size_t run = std::min(FReadBlock.size() - FReadPos, Room - Len - 1);
        const void *found = std::memchr(local, '\n', run);
        const std::size_t plain =
            found ? std::size_t(static_cast<const char *>(found) - local) : run;
        std::memcpy(Wire + Len, local, plain);
        Len += plain;
        FReadPos += plain;
        if (plain > 0)
            FLastLocalCr = local[plain - 1] == '\r';
        if (!found)
            continue;
        if (!FLastLocalCr)
            Wire[Len++] = '\r';
        Wire[Len++] = '\n';
        ++FReadPos;
        FLastLocalCr = false;
    }
    return true;
}

bool TTransferFile::Commit()
{
    if (FFd < 0)
        return Fail("not open");
    if (!FDownload) {
        ::close(FFd);
        FFd = -1;
        return true;
    }
    if (FHeldCr) {
        FHeldCr = false;
        FBuffer.push_back('\r'); // a lone CR at the very end
    }
    bool written = Flush();
    if (written && !FTemporary.empty()) {
        struct stat target = {};
        const bool replaced = ::lstat(FName.c_str(), &target) == 0 && S_ISREG(target.st_mode);
        // On the disk before it takes the place of a file with content, so that a crash never
        // leaves an empty or partial file where the complete old one was. A new name (or an
        // empty file) has nothing to lose, and the sync is the dearest step of a small
        // download: a script receiving many new files, or a listing, goes without it.
        if (replaced && target.st_size > 0 && ::fsync(FFd) != 0)
            written = Fail(SystemErrorText(errno));
        ::fchmod(FFd, replaced ? target.st_mode & 07777 : DefaultFileMode());
    }
    if (::close(FFd) != 0 && written)
        written = Fail(SystemErrorText(errno));
    FFd = -1;
    if (!FTemporary.empty()) {
        if (written && ::rename(FTemporary.c_str(), FName.c_str()) != 0)
            written = Fail(SystemErrorText(errno));
        if (!written)
            ::unlink(FTemporary.c_str());
        FTemporary.clear();
    }
    return written;
}

void TTransferFile::Discard()
{
    if (FFd < 0)
        return;
    if (FDownload && FTemporary.empty()) {
        // A download in place keeps what arrived, so that the next resume goes on from there.
        if (FHeldCr)
            FBuffer.push_back('\r');
        Flush();
    }
    ::close(FFd);
    FFd = -1;
    if (!FTemporary.empty()) {
        ::unlink(FTemporary.c_str());
        FTemporary.clear();
    }
    FBuffer.clear();
}

} // namespace tarn
