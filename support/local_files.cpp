#include "support/local_files.h"

#include "support/text.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn {

namespace {

TLocalFileError SystemError(int Code)
{
    return {Code, SystemErrorText(Code)};
}

TLocalFileError NotRegular()
{
    return {NotRegularFile, "not a regular file (a FIFO, a device or a folder)"};
}

std::string SizeText(std::size_t Bytes)
{
    if (Bytes >= (std::size_t(1) << 20) && Bytes % (std::size_t(1) << 20) == 0)
        return std::to_string(Bytes >> 20) + " MiB";
    return std::to_string(Bytes) + " bytes";
}

// Creates a new file named .tarn-XXXXXX in Folder, with `Mode` less the umask, without following
// a link; its descriptor, or -1 with errno set.
int CreateTemporary(const std::string &Folder, mode_t Mode, std::string &Name)
{
    static constexpr char Letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof Letters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        Name = Folder + "/.tarn-";
        for (int i = 0; i < 6; ++i)
            Name += Letters[pick(random)];
        const int fd =
            ::open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, Mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

std::string Directory(const std::string &Path)
{
    const std::size_t slash = Path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : Path.substr(0, slash);
}

} // namespace

int64_t LocalFileSize(const std::string &Name)
{
    struct stat info = {};
    if (::stat(Name.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return info.st_size;
}

std::string PlaceInFolder(const std::string &Folder, const std::string &Name)
{
    if (Name.find('/') != std::string::npos || Folder.empty())
        return Name;
    if (Folder.back() == '/')
        return Folder + Name;
    return Folder + "/" + Name;
}

TLocalFileError ReadRegularFile(const std::string &Name, std::size_t MaxSize, std::string &Content)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer; fstat then refuses it.
    const int fd = ::open(Name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return SystemError(errno);
    struct stat info = {};
    TLocalFileError error;
    if (::fstat(fd, &info) != 0)
        error = SystemError(errno);
    else if (!S_ISREG(info.st_mode))
        error = NotRegular();
    else if (static_cast<uint64_t>(info.st_size) > MaxSize)
        error = {FileTooLarge, "larger than " + SizeText(MaxSize)};
    std::string text;
    if (!error)
        text.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    while (!error) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno != EINTR)
                error = SystemError(errno);
            continue;
        }
        // A file that grows while it is read is held to the same limit.
        if (text.size() + static_cast<std::size_t>(got) > MaxSize)
            error = {FileTooLarge, "larger than " + SizeText(MaxSize)};
        else
            text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (!error)
        Content = std::move(text);
    return error;
}

TLocalFileError OpenRegularFileForWriting(const std::string &Name, int &Fd)
{
    Fd = -1;
    struct stat info = {};
    if (::stat(Name.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        return NotRegular();
    // Not O_TRUNC: the file is emptied only once it is known to be a regular file. A FIFO that
    // appeared meanwhile fails to open (ENXIO, no reader) or is refused by fstat.
    const int fd =
        ::open(Name.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return errno == ENXIO ? NotRegular() : SystemError(errno);
    TLocalFileError error;
    const bool described = ::fstat(fd, &info) == 0;
    if (described && !S_ISREG(info.st_mode))
        error = NotRegular();
    else if (!described || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
             ::ftruncate(fd, 0) != 0)
        error = SystemError(errno);
    if (error) {
        ::close(fd);
        return error;
    }
    Fd = fd;
    return error;
}

TLocalFileError ReplaceFileContents(const std::string &Name, std::string_view Data, mode_t Mode,
                                    bool ExactMode)
{
    // The process-wide umask is never changed to get the mode: a program started meanwhile by
    // another thread would inherit the changed one.
    std::string temporary;
    const int fd = CreateTemporary(Directory(Name), Mode, temporary);
    if (fd < 0)
        return SystemError(errno);
    int failure = ExactMode && ::fchmod(fd, Mode) != 0 ? errno : 0;
    for (std::size_t done = 0; failure == 0 && done < Data.size();) {
        const ssize_t n = ::write(fd, Data.data() + done, Data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            failure = n < 0 ? errno : EIO;
        else
            done += static_cast<std::size_t>(n);
    }
    if (failure == 0 && ::fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::rename(temporary.c_str(), Name.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temporary.c_str());
        return SystemError(failure);
    }
    return {};
}

} // namespace tarn
