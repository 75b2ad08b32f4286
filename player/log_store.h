#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarn {

// The lines of a run's log, in order. The first few MiB stay in memory; the lines after them
// go to an unnamed temporary file (in TMPDIR, else /tmp), so that a log of any length, such as a
// listing of millions of lines, costs the same memory. Should that file not be available, the
// lines stay in memory. Iterating reads every line back in order.
class TLogStore
{
public:
    // Memory the lines in memory may take (their text and their string objects) before the
    // lines go to the file: small enough that a long listing leaves a console run's peak
    // memory near that of a short one.
    static constexpr std::size_t MemoryLimit = 1 << 20;

    TLogStore() = default;
    ~TLogStore();
    TLogStore(const TLogStore &) = delete;
    TLogStore &operator=(const TLogStore &) = delete;

    void Append(const std::string &Line);
    void Clear();
    std::size_t Count() const { return FCount; }
    bool Empty() const { return FCount == 0; }
    // Every line, in memory at once: for small logs (tests).
    std::vector<std::string> Lines() const;

    // An input iterator over the lines: for (const std::string &Line : Store). The store must not
    // change while one is in use.
    class TIterator
    {
    public:
        TIterator(const TLogStore *Store, std::size_t Index);
        const std::string &operator*() const { return FLine; }
        TIterator &operator++();
        bool operator!=(const TIterator &Other) const { return FIndex != Other.FIndex; }

    private:
        void Load();

        const TLogStore *FStore;
        std::size_t FIndex;
        std::string FLine;
        uint64_t FOffset = 0;       // where the next line is read in the file
        std::vector<char> FBuffer;  // file bytes read ahead
        std::size_t FBufferPos = 0; // the first of them not yet used
    };
    TIterator begin() const;
    TIterator end() const { return TIterator(this, FCount); }

private:
    bool OpenFile();
    void FlushFile() const;

    // The lines in order: FHead (the first ones, in memory), then FFileCount lines in the file,
    // then FTail (in memory, once the file could not be used).
    std::vector<std::string> FHead;
    std::size_t FHeadBytes = 0;
    std::size_t FCount = 0;
    int FFd = -1;
    mutable uint64_t FFileBytes = 0; // whole records written
    mutable std::size_t FFileCount = 0;
    mutable std::string FPending; // records not yet written
    mutable std::size_t FPendingCount = 0;
    mutable bool FFileFailed = false;
    mutable std::vector<std::string> FTail;
};

} // namespace tarn
