#pragma once

// What the fuzz targets share: a check that stops the run with the broken invariant, so that
// libFuzzer keeps the input that broke it, and a scratch folder for targets that need files.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace tarn {

// Stops the process (libFuzzer saves the input as a crash) when Condition is false.
#define FUZZ_CHECK(Condition)                                                                      \
    do {                                                                                           \
        if (!(Condition))                                                                          \
            ::tarn::FuzzFailed(#Condition, __FILE__, __LINE__);                                    \
    } while (false)

[[noreturn]] inline void FuzzFailed(const char *What, const char *File, int Line)
{
    std::fprintf(stderr, "invariant broken at %s:%d: %s\n", File, Line, What);
    std::abort();
}

// A control character: a code below 32, or 127.
inline bool HasControl(const std::string &Text, bool TabAllowed = false)
{
    for (const char c : Text) {
        const auto code = static_cast<unsigned char>(c);
        if ((code < 32 && !(TabAllowed && c == '\t')) || code == 127)
            return true;
    }
    return false;
}

// A folder of the process's own for scratch files, in memory when /dev/shm is there: the code
// under test syncs what it writes. It is removed when the process exits normally (a corpus
// replay, or the end of a fuzzing run); a crash leaves it for the post-mortem.
inline const std::string &ScratchFolder()
{
    struct Folder
    {
        std::string Path;
        Folder()
        {
            Path = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
            Path += "/tarn-fuzz-XXXXXX";
            if (!mkdtemp(Path.data()))
                std::abort();
        }
        ~Folder()
        {
            std::error_code ignored;
            std::filesystem::remove_all(Path, ignored);
        }
        Folder(const Folder &) = delete;
        Folder &operator=(const Folder &) = delete;
    };
    static const Folder folder;
    return folder.Path;
}

inline std::string ReadFile(const std::string &Name)
{
    std::ifstream in(Name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace tarn
