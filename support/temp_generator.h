#pragma once

#include <string>
#include <vector>

namespace tarn {

// Hands out unique temporary file names and creates each file, empty, so that the name stays
// taken.
//
//     TTempGenerator TempFile;
//     TempFile.AutoDelete = false;        // both programs keep their files after they end
//     std::string name = TempFile.NewName();   // "/tmp/~TG1.TMP", or "" when none is left
//
// Names are the directory, "~TG", a number and ".TMP"; the number is the lowest from 1 up whose
// file does not exist yet. The directory is TempDirectory() when `UseTempDir` is true, else
// none (the current directory). Each file is created atomically with mode 0600 and without
// following links, so a name that someone else holds, or a symbolic link planted under a
// candidate name, is skipped and never written through.
//
// One generator holds at most 50 names at a time: once it holds 50, NewName returns "" and
// creates nothing. FreeName gives a name back (deleting its file), which makes room for
// another, so a caller that frees each name after use (a listing file read and done with)
// never runs out. With `AutoDelete` true, destroying the generator deletes every file it still
// holds; failures to delete are ignored.
//
// Use a generator from one thread only.
class TTempGenerator
{
public:
    static constexpr size_t MaxNames = 50;

    TTempGenerator() = default;
    ~TTempGenerator();
    TTempGenerator(const TTempGenerator &) = delete;
    TTempGenerator &operator=(const TTempGenerator &) = delete;

    bool UseTempDir = true;
    bool AutoDelete = true;

    // A new temporary name, its file created empty; "" when 50 names are held already, when
    // every number up to 65535 is taken, or when the file cannot be created.
    std::string NewName();

    // Deletes the file of a name this generator handed out and forgets the name. Returns false,
    // and touches nothing, for a name it does not hold.
    bool FreeName(const std::string &Name);

    // The names held, in the order they were handed out.
    const std::vector<std::string> &Names() const { return FNames; }

    // The temporary directory with a trailing "/": $TMPDIR when it is 1 to 255 characters
    // long, else "/tmp/". Read once, on first use, for the life of the program.
    static const std::string &TempDirectory();

private:
    std::vector<std::string> FNames;
};

} // namespace tarn
