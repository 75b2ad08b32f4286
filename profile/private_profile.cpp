#include "profile/private_profile.h"

#include "support/text.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn {

namespace {

constexpr size_t Npos = std::string::npos;

bool SameName(const std::string &A, const std::string &B)
{
    if (A.size() != B.size())
        return false;
    for (size_t i = 0; i < A.size(); ++i) {
        char x = A[i], y = B[i];
        if (x >= 'a' && x <= 'z')
            x = char(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = char(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

// The name of a "[Name]" header line, or nothing for another line. A header whose "]" is
// missing names everything after the "[".
bool HeaderName(const std::string &Line, std::string &Name)
{
    const std::string text = Trim(Line, tsBlanks);
    if (text.empty() || text[0] != '[')
        return false;
    const size_t close = text.find(']');
    Name = Trim(std::string_view(text).substr(1, close == Npos ? Npos : close - 1), tsBlanks);
    return true;
}

// The key of a "KEY=value" line, or false for a line without "=".
bool KeyName(const std::string &Line, std::string &Key)
{
    const size_t equals = Line.find('=');
    if (equals == Npos)
        return false;
    Key = Trim(std::string_view(Line).substr(0, equals), tsBlanks);
    return true;
}

// A value holding a line end would break the file apart.
bool WritableValue(const std::string &Value)
{
    return Value.find_first_of("\r\n") == Npos;
}

// A name that reads back as written: no line end, none of the bytes that end it in its line
// (Stops), and no blank at either end, which reading drops.
bool WritableName(const std::string &Name, const char *Stops)
{
    return Name.find_first_of(std::string("\r\n") + Stops) == Npos &&
           Trim(Name, tsBlanks).size() == Name.size();
}

} // namespace

TPrivateProfile::TPrivateProfile(std::string FileName) : FFileName(std::move(FileName))
{
    std::string data;
    FLoadError = ReadRegularFile(FFileName, MaxFileSize, data);
    if (!FLoadError)
        Parse(data);
}

TPrivateProfile::TPrivateProfile(std::string FileName, std::string_view Data)
    : FFileName(std::move(FileName))
{
    Parse(Data);
}

void TPrivateProfile::Parse(std::string_view Data)
{
    const std::string data(Data);
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find_first_of("\r\n", start);
        TLine line;
        if (end == Npos) {
            line.Text = data.substr(start);
            start = data.size();
        } else {
            line.Text = data.substr(start, end - start);
            const size_t endingLength = data.compare(end, 2, "\r\n") == 0 ? 2 : 1;
            line.Ending = data.substr(end, endingLength);
            start = end + endingLength;
        }
        FLines.push_back(std::move(line));
    }
}

TPrivateProfile::TKeyLocation TPrivateProfile::Find(const std::string &Section,
                                                    const std::string &Key) const
{
    TKeyLocation location{Npos, Npos, Npos};
    bool inSection = false; // in a section of the name
    bool inFirst = false;   // in the first section of the name, the one that new keys go to
    for (size_t i = 0; i < FLines.size(); ++i) {
        std::string name;
        if (HeaderName(FLines[i].Text, name)) {
            inSection = SameName(name, Section);
            inFirst = inSection && location.SectionLine == Npos;
            if (inFirst)
                location.SectionLine = location.LastKeyLine = i;
            continue;
        }
        if (!inSection || !KeyName(FLines[i].Text, name))
            continue;
        if (inFirst)
            location.LastKeyLine = i;
        if (location.KeyLine == Npos && SameName(name, Key))
            location.KeyLine = i;
    }
    return location;
}

std::string TPrivateProfile::ReadString(const std::string &Section, const std::string &Key,
                                        const std::string &DefaultValue) const
{
    const TKeyLocation location = Find(Section, Key);
    if (location.KeyLine == Npos)
        return DefaultValue;
    const std::string &text = FLines[location.KeyLine].Text;
    std::string value = Trim(std::string_view(text).substr(text.find('=') + 1), tsBlanks);
    if (value.size() > MaxValue)
        value.resize(MaxValue);
    return value;
}

bool TPrivateProfile::WriteString(const std::string &Section, const std::string &Key,
                                  const std::string &Value)
{
    if (!WritableValue(Value) || !WritableName(Section, "]") || !WritableName(Key, "=") ||
        Key.starts_with('['))
        return false;
    const TKeyLocation location = Find(Section, Key);
    TLine line{Key + "=" + Value, "\r\n"};
    if (location.KeyLine != Npos) {
        FLines[location.KeyLine] = std::move(line);
        return true;
    }
    // The line before the new one must end, or the two would run together.
    auto terminate = [this](size_t Index) {
        if (FLines[Index].Ending.empty())
            FLines[Index].Ending = "\r\n";
    };
    if (location.SectionLine == Npos) {
        if (!FLines.empty())
            terminate(FLines.size() - 1);
        FLines.push_back({"[" + Section + "]", "\r\n"});
        FLines.push_back(std::move(line));
        return true;
    }
    terminate(location.LastKeyLine);
    FLines.insert(FLines.begin() + std::ptrdiff_t(location.LastKeyLine) + 1, std::move(line));
    return true;
}

std::string TPrivateProfile::Text() const
{
    std::string data;
    for (const TLine &line : FLines)
        data += line.Text + line.Ending;
    return data;
}

void TPrivateProfile::DeleteKey(const std::string &Section, const std::string &Key)
{
    const TKeyLocation location = Find(Section, Key);
    if (location.KeyLine != Npos)
        FLines.erase(FLines.begin() + std::ptrdiff_t(location.KeyLine));
}

bool TPrivateProfile::Save(mode_t NewFileMode) const
{
    if (FLoadError && FLoadError.Code != ENOENT)
        return false;
    // Write through a symbolic link to the file it names.
    std::string target = FFileName;
    if (char *resolved = realpath(FFileName.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    struct stat info;
    const bool exists = stat(target.c_str(), &info) == 0;
    if (exists &&
        (!S_ISREG(info.st_mode) || (info.st_mode & 0222) == 0 || access(target.c_str(), W_OK)))
        return false;

    // A new profile gets `NewFileMode` less the umask; a replaced one keeps its mode exactly.
    return !ReplaceFileContents(target, Text(), exists ? info.st_mode & 07777 : NewFileMode,
                                exists);
}

} // namespace tarn
