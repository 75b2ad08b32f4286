#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarn {

// The local side of one transfer: the file an upload reads or a download writes.
//
// Only regular files take part. Every name is opened without blocking and its type checked
// before a byte moves, so a pipe, a device or a folder is refused with a reason instead of
// hanging the transfer.
//
// A download that starts from the beginning never writes to its target: it writes to a new
// temporary file beside it (same folder, ".NAME.XXXXXX.part", created exclusively with mode
// 0600, no link followed), and Commit replaces the target with it only once everything is
// written, flushed to the disk and closed. The replaced file keeps the target's permission
// bits, a new one gets the usual ones of the user (0666 less the umask); a symbolic link under
// the target's name is replaced, not followed. Discard removes the temporary file and leaves
// the target exactly as it was. A resumable download writes on its target in place (created
// when missing) from the restart offset, and keeps what it wrote when it fails, ready for the
// next resume; a symbolic link under its name is refused ("is a symbolic link"), never
// followed.
//
// With Text set the file holds Linux text and the wire CR LF: a download turns CR LF into LF
// (also when a block ends between the two; a lone CR stays), an upload sends every LF that does
// not already follow a CR as CR LF.
class TTransferFile
{
public:
    TTransferFile() = default;
    ~TTransferFile(); // discards an open file
    TTransferFile(const TTransferFile &) = delete;
    TTransferFile &operator=(const TTransferFile &) = delete;

    // Each Open returns false with the reason in Error() ("not a regular file", "is a folder",
    // or the system's text).
    bool OpenSource(const std::string &Name, int64_t Offset, bool Text);
    bool OpenReplacement(const std::string &Name, bool Text);
    bool OpenInPlace(const std::string &Name, int64_t Offset, bool Text);
    // As OpenInPlace, for a file that exists, at the end of what it holds: nothing is cut off,
    // and Offset() is the file's size. A missing file is no failure: nothing is opened (and
    // nothing created), since there is nothing to resume.
    bool OpenInPlaceAtEnd(const std::string &Name, bool Text);

    bool IsOpen() const { return FFd >= 0; }
    bool IsDownload() const { return FDownload; }
    // Where the transfer starts in the file: the offset it was opened at, 0 for a replacement.
    int64_t Offset() const { return FOffset; }
    const std::string &Error() const { return FError; }
    // The temporary file of a replacing download, empty otherwise.
    const std::string &TemporaryName() const { return FTemporary; }

    // A download's block from the wire; false when the file cannot take it.
    bool Write(const char *Data, std::size_t Len);
    // The next block of an upload for the wire: at most Room bytes (Room is at least 2) into
    // Wire, their count in Len; 0 at the end of the file; false when reading fails.
    bool Read(char *Wire, std::size_t Room, std::size_t &Len);

    // Ends a download that succeeded: the data reaches the disk and the target; false (and the
    // temporary file removed) when that fails. An upload's file is just closed.
    bool Commit();
    // Ends a transfer that failed or was stopped (see above). Nothing happens when none is open.
    void Discard();

private:
    bool Fail(const std::string &Reason);
    bool OpenNamed(const std::string &Name, int Flags, int64_t Offset, bool Text, bool Download);
    bool Adopt(int Fd, const std::string &Name, bool Text);
    bool Flush();
    bool WriteAll(const char *Data, std::size_t Len);
    bool ReadLocal(char *Buffer, std::size_t Room, std::size_t &Len);
    bool Emit(const char *Data, std::size_t Len);

    int FFd = -1;
    bool FDownload = false;
    int64_t FOffset = 0;
    bool FText = false;
    bool FHeldCr = false;      // a download's block ended with CR: its LF may come next
    bool FLastLocalCr = false; // an upload's last byte read was CR
    std::string FName;         // the target, or the upload's source
    std::string FTemporary;    // a replacing download's temporary file
    std::string FError;
    std::vector<char> FBuffer;    // a download's bytes not yet written
    std::vector<char> FReadBlock; // a text upload's bytes as read from the file
    std::size_t FReadPos = 0;     // the first of them not yet handed out
};

} // namespace tarn
