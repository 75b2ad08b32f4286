#pragma once

#include <cstdint>
#include <memory>

namespace tarn {

// One block of a socket's send queue. Bytes are written at WritePos and taken off the front at
// ReadPos; 0 <= ReadPos <= WritePos <= Capacity always holds. When the last unsent byte is
// removed both positions return to 0, so a drained block is reused from its start.
class TBuffer
{
public:
    // The block size the socket uses for every block of its queue.
    static constexpr int32_t DefaultSize = 1514;

    explicit TBuffer(int32_t Size);

    // A size of 0 or less means DefaultSize. Unsent bytes are kept when the block is resized.
    void SetCapacity(int32_t Size);
    // Copies as many bytes as fit; returns the count copied (0 when the block is full).
    int32_t Write(const void *Data, int32_t Len);
    // The unsent bytes: their address and count, or nullptr and 0 when there are none.
    const char *Peek(int32_t &Len) const;
    // Takes up to N bytes off the front; returns the count taken.
    int32_t Remove(int32_t N);

    int32_t Capacity() const { return FCapacity; }
    int32_t WritePos() const { return FWritePos; }
    int32_t ReadPos() const { return FReadPos; }
    const char *Storage() const { return FStorage.get(); }

private:
    std::unique_ptr<char[]> FStorage;
    int32_t FCapacity = 0;
    int32_t FWritePos = 0;
    int32_t FReadPos = 0;
};

} // namespace tarn
