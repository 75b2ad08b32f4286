#include "player/log_store.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tarn {

namespace {

// Each line in the file is its length (4 bytes, host order) and its bytes: a line may hold any
// byte, a line end too.
constexpr std::size_t LengthBytes = 4;
constexpr std::size_t FileBlock = std::size_t(64) * 1024;

bool WriteAll(int Fd, const char *Data, std::size_t Size)
{
    while (Size > 0) {
        const ssize_t written = ::write(Fd, Data, Size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        Data += written;
        Size -= std::size_t(written);
    }
    return true;
}

} // namespace

TLogStore::~TLogStore()
{
    if (FFd >= 0)
        ::close(FFd);
}

bool TLogStore::OpenFile()
{
    if (FFd >= 0)
        return true;
    const char *folder = std::getenv("TMPDIR");
    const std::string where = folder && *folder ? folder : "/tmp";
    FFd = ::open(where.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (FFd < 0) { // a file system without unnamed files: a named one, removed at once
        std::string pattern = where + "/tarnsp-log.XXXXXX";
        FFd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (FFd >= 0)
            ::unlink(pattern.c_str());
    }
    FFileFailed = FFd < 0;
    return !FFileFailed;
}

// Writes the pending records. Should the file fail, they go back to memory, behind what the file
// holds, and so do all later lines.
void TLogStore::FlushFile() const
{
    if (FPending.empty())
        return;
    if (WriteAll(FFd, FPending.data(), FPending.size())) {
        FFileBytes += FPending.size();
        FFileCount += FPendingCount;
    } else {
        // What the file holds past its whole records is never read: lines are read by count.
        FFileFailed = true;
        for (std::size_t at = 0; at + LengthBytes <= FPending.size();) {
            uint32_t length = 0;
            std::memcpy(&length, FPending.data() + at, LengthBytes);
            FTail.emplace_back(FPending, at + LengthBytes, length);
            at += LengthBytes + length;
        }
    }
    FPending.clear();
    FPendingCount = 0;
}

void TLogStore::Append(const std::string &Line)
{
    ++FCount;
    const bool headOnly = FFileCount == 0 && FPendingCount == 0 && FTail.empty();
    const std::size_t cost = sizeof(std::string) + Line.size();
    if (headOnly && FHeadBytes + cost <= MemoryLimit) {
        FHead.push_back(Line);
        FHeadBytes += cost;
        return;
    }
    if (FFileFailed || !OpenFile()) {
        FTail.push_back(Line); // a line is never lost
        return;
    }
    const auto length = uint32_t(Line.size());
    FPending.append(reinterpret_cast<const char *>(&length), LengthBytes);
    FPending.append(Line);
    ++FPendingCount;
    if (FPending.size() >= FileBlock)
        FlushFile();
}

void TLogStore::Clear()
{
    FHead.clear();
    FHeadBytes = 0;
    FCount = 0;
    FPending.clear();
    FPendingCount = 0;
    FFileBytes = 0;
    FFileCount = 0;
    FTail.clear();
    FFileFailed = false;
    if (FFd >= 0 && (::ftruncate(FFd, 0) != 0 || ::lseek(FFd, 0, SEEK_SET) != 0)) {
        ::close(FFd);
        FFd = -1;
    }
}

std::vector<std::string> TLogStore::Lines() const
{
    std::vector<std::string> lines;
    lines.reserve(FCount);
    for (const std::string &line : *this)
        lines.push_back(line);
    return lines;
}

TLogStore::TIterator TLogStore::begin() const
{
    FlushFile();
    return TIterator(this, 0);
}

TLogStore::TIterator::TIterator(const TLogStore *Store, std::size_t Index)
    : FStore(Store), FIndex(Index)
{
    if (FIndex < FStore->FCount)
        Load();
}

TLogStore::TIterator &TLogStore::TIterator::operator++()
{
    ++FIndex;
    if (FIndex < FStore->FCount)
        Load();
    return *this;
}

void TLogStore::TIterator::Load()
{
    const std::size_t head = FStore->FHead.size();
    if (FIndex < head) {
        FLine = FStore->FHead[FIndex];
        return;
    }
    if (FIndex >= head + FStore->FFileCount) {
        FLine = FStore->FTail[FIndex - head - FStore->FFileCount];
        return;
    }
    const auto fill = [this](std::size_t Need) {
        while (FBuffer.size() - FBufferPos < Need) {
            FBuffer.erase(FBuffer.begin(), FBuffer.begin() + std::ptrdiff_t(FBufferPos));
            FBufferPos = 0;
            const std::size_t old = FBuffer.size();
            FBuffer.resize(old + std::max(Need, FileBlock));
            const ssize_t got =
                ::pread(FStore->FFd, FBuffer.data() + old, FBuffer.size() - old, off_t(FOffset));
            FBuffer.resize(old + std::size_t(got > 0 ? got : 0));
            if (got <= 0)
                return false;
            FOffset += uint64_t(got);
        }
        return true;
    };
    uint32_t length = 0;
    if (!fill(LengthBytes)) {
        FLine.clear();
        return;
    }
    std::memcpy(&length, FBuffer.data() + FBufferPos, LengthBytes);
    FBufferPos += LengthBytes;
    if (!fill(length)) {
        FLine.clear();
        return;
    }
    FLine.assign(FBuffer.data() + FBufferPos, length);
    FBufferPos += length;
}

} // namespace tarn
