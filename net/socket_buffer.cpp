#include "net/socket_buffer.h"

#include <algorithm>
#include <cstring>

namespace tarn {

TBuffer::TBuffer(int32_t Size)
{
    SetCapacity(Size);
}

void TBuffer::SetCapacity(int32_t Size)
{
    if (Size <= 0)
        Size = DefaultSize;
    if (Size == FCapacity)
        return;
    auto newStorage = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(Size));
    // Unsent bytes survive a resize; a shrink below them keeps as many as fit.
    if (FWritePos > FReadPos) {
        FWritePos = std::min(FWritePos, Size);
        FReadPos = std::min(FReadPos, FWritePos);
        std::memcpy(newStorage.get(), FStorage.get(), static_cast<size_t>(FWritePos));
    } else {
        FWritePos = FReadPos = 0;
    }
    FStorage = std::move(newStorage);
    FCapacity = Size;
}

int32_t TBuffer::Write(const void *Data, int32_t Len)
{
    const int32_t room = FCapacity - FWritePos;
    if (room <= 0 || Len <= 0)
        return 0;
    const int32_t count = std::min(room, Len);
    std::memcpy(FStorage.get() + FWritePos, Data, static_cast<size_t>(count));
    FWritePos += count;
    return count;
}

const char *TBuffer::Peek(int32_t &Len) const
{
    Len = FWritePos - FReadPos;
    if (Len > 0)
        return FStorage.get() + FReadPos;
    Len = 0;
    return nullptr;
}

int32_t TBuffer::Remove(int32_t N)
{
    const int32_t avail = FWritePos - FReadPos;
    if (avail <= 0 || N <= 0)
        return 0;
    N = std::min(N, avail);
    FReadPos += N;
    if (FReadPos == FWritePos)
        FReadPos = FWritePos = 0;
    return N;
}

} // namespace tarn
