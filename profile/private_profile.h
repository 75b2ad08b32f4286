#pragma once

#include "support/local_files.h"

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace tarn {

// A private profile ("ini") file: [Section] headers and KEY=value lines.
//
//     TPrivateProfile ini("host.tnc");
//     std::string port = ini.ReadString("Connection", "PORT", "21");
//     ini.WriteString("Connection", "PORT", "2121");
//     if (!ini.Save()) ...
//
// Loading refuses, without blocking, a name that is not a regular file (a FIFO, a device) and a
// file larger than MaxFileSize; the profile is then empty and LoadError() says why.
//
// Reading: section and key names match without regard to (ASCII) case; blanks around names and
// values are dropped; a value is at most MaxValue characters (the rest is cut off); a key
// present with an empty value reads as "", an absent key, section or file as the default. When
// a section or a key appears twice, the first occurrence counts, for reading and for writing.
// Lines that are neither a header nor hold an "=" are ignored. CR LF, LF and CR all end a line.
//
// Writing replaces the line of an existing key, adds a missing key after the
// last line of its section that holds a key, and a missing section at the end of the file;
// every other line keeps its bytes and its line end. New and replaced lines end in CR LF.
// Save writes a temporary file beside the profile and renames it over the profile, so a
// failed write never leaves a truncated file behind.
class TPrivateProfile
{
public:
    static constexpr size_t MaxValue = 1023;
    static constexpr size_t MaxFileSize = size_t(1) << 20;

    // Loads the file; a file that does not exist or cannot be read is an empty profile.
    explicit TPrivateProfile(std::string FileName);

    // The profile that the file FileName would be if it held Data (nothing is read).
    TPrivateProfile(std::string FileName, std::string_view Data);

    // Why the file could not be loaded (ENOENT for a file that does not exist); no error when
    // it was loaded.
    const TLocalFileError &LoadError() const { return FLoadError; }

    std::string ReadString(const std::string &Section, const std::string &Key,
                           const std::string &DefaultValue) const;

    // Sets a value in memory; ReadString then gives it back with its blanks trimmed and cut
    // to MaxValue. What could not be read back is refused (false) and the profile is left as it
    // was: a CR or LF anywhere, a section name holding "]", a key holding "=" or starting
    // with "[" (it would read as a section header), and a name with blanks at either end.
    bool WriteString(const std::string &Section, const std::string &Key, const std::string &Value);

    // Removes a key's line (its first occurrence) from a section; nothing when it is absent.
    void DeleteKey(const std::string &Section, const std::string &Key);

    // Writes the profile to its file. Fails (false) without touching the file when it exists
    // but could not be loaded (its other lines would be lost), when the file or its folder
    // cannot be written, or when the file is marked read-only (no write permission
    // bit at all, which holds even for root). Symbolic links are followed: the file they point
    // to is replaced, the link stays. The file keeps its permission bits; a new file gets
    // `NewFileMode` less the umask.
    bool Save(mode_t NewFileMode = 0666) const;

    const std::string &FileName() const { return FFileName; }
    // The bytes that Save writes.
    std::string Text() const;

private:
    struct TLine
    {
        std::string Text;   // without its line end
        std::string Ending; // "\r\n", "\n", "\r" or "" for a last line without one
    };
    struct TKeyLocation
    {
        size_t SectionLine; // index of the header line, or npos when the section is missing
        size_t KeyLine;     // index of the key line, or npos when the key is missing
        size_t LastKeyLine; // the section's last key line, or its header when it has none
    };

    void Parse(std::string_view Data);
    TKeyLocation Find(const std::string &Section, const std::string &Key) const;

    std::string FFileName;
    std::vector<TLine> FLines;
    TLocalFileError FLoadError;
};

} // namespace tarn
