#pragma once

// Rules for local file names and files, shared by the engine and the programs. Local paths use
// "/"; a name holding one is a path.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tarn {

// The size of a local file, -1 when it cannot be found or is not a regular file. A relative
// name is taken from the current directory.
int64_t LocalFileSize(const std::string &Name);

// A local name holding a "/" is a path and stays as written; a bare name goes into `Folder`.
// An empty folder is the current directory: the name is returned as it is.
std::string PlaceInFolder(const std::string &Folder, const std::string &Name);

// Why a local file could not be read or written: an errno value (ENOENT, EACCES, ...) or one of
// the two refusals below, and a sentence for the user. Code 0 means no error.
struct TLocalFileError
{
    int Code = 0;
    std::string Text;
    explicit operator bool() const { return Code != 0; }
};

// Refusals of the checked reads and writes: the name is a FIFO, a device, a socket or a folder,
// which could block the program or never end; or the file is larger than its reader allows.
inline constexpr int NotRegularFile = -1;
inline constexpr int FileTooLarge = -2;

// Reads a whole regular file of at most `MaxSize` bytes into `Content`. Never blocks on a FIFO
// or a device: anything but a regular file is refused, and so is a file that is (or grows)
// larger than `MaxSize`.
TLocalFileError ReadRegularFile(const std::string &Name, std::size_t MaxSize, std::string &Content);

// Opens a file for writing from its start, creating it (mode 0666 less the umask) or emptying
// it. Anything that exists and is not a regular file is refused without being opened for
// writing or emptied. On success `Fd` is the open descriptor (close-on-exec), else -1.
TLocalFileError OpenRegularFileForWriting(const std::string &Name, int &Fd);

// Replaces the file `Name` with `Data` in one step: the bytes go to a new temporary file beside
// it (created exclusively, never through a link), which is flushed to disk and renamed over
// `Name`. A reader, or a crash, sees the old file or the new one, never a part of one; on
// failure `Name` is untouched and the temporary file is removed. The new file gets `Mode`
// less the umask, or exactly `Mode` when `ExactMode` is set. A symbolic link `Name` is
// replaced by the file, not followed (callers that mean its target resolve it first).
TLocalFileError ReplaceFileContents(const std::string &Name, std::string_view Data, mode_t Mode,
                                    bool ExactMode);

} // namespace tarn
