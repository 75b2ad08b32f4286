#include "player/file_operation.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fnmatch.h>
#include <stdlib.h>
#include <unistd.h>

namespace tarn {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> SplitList(const std::string &Text)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= Text.size()) {
        const std::size_t end = std::min(Text.find(';', start), Text.size());
        if (end > start)
            names.push_back(Text.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

bool HasWildcard(const std::string &Name)
{
    return Name.find_first_of("*?") != std::string::npos;
}

// Only "*" and "?" are wildcards; brackets and backslashes in a name are matched literally, since
// scripts name files with them.
std::string FnmatchPattern(const std::string &Name)
{
    std::string pattern;
    for (char c : Name) {
        if (c == '[' || c == ']' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

bool Exists(const fs::path &Path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(Path, ec));
}

bool IsFolder(const fs::path &Path)
{
    std::error_code ec;
    return fs::is_directory(fs::status(Path, ec));
}

bool SameObject(const fs::path &A, const fs::path &B)
{
    std::error_code ec;
    return fs::equivalent(A, B, ec);
}

// True when `Inner` is `Outer` or lies somewhere below it.
bool IsWithin(const fs::path &Inner, const fs::path &Outer)
{
    std::error_code ec;
    const fs::path in = fs::weakly_canonical(Inner, ec);
    if (ec)
        return false;
    const fs::path out = fs::weakly_canonical(Outer, ec);
    if (ec)
        return false;
    auto i = in.begin();
    for (auto o = out.begin(); o != out.end(); ++o, ++i) {
        if (o->empty())
            continue; // the empty element after a trailing separator
        if (i == in.end() || *i != *o)
            return false;
    }
    return true;
}

struct TMatches
{
    std::vector<fs::path> Items;
    bool Wildcard = false;
};

bool Expand(std::string Source, bool FilesOnly, TMatches &Matches)
{
    while (Source.size() > 1 && Source.back() == '/')
        Source.pop_back();
    const fs::path path(Source);
    const std::string name = path.filename().string();
    if (!HasWildcard(name)) {
        if (!Exists(path))
            return false;
        Matches.Items.push_back(path);
        return true;
    }
    Matches.Wildcard = true;
    const std::string pattern = FnmatchPattern(name);
    std::error_code ec;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (::fnmatch(pattern.c_str(), entry.c_str(), FNM_PERIOD) != 0)
            continue;
        std::error_code typeError;
        if (FilesOnly && !it->is_regular_file(typeError))
            continue;
        Matches.Items.push_back(path.parent_path() / entry);
    }
    std::sort(Matches.Items.begin(), Matches.Items.end());
    return !ec && !Matches.Items.empty();
}

bool MakeParentFolders(const fs::path &Target)
{
    const fs::path parent = Target.parent_path();
    if (parent.empty())
        return true;
    std::error_code ec;
    fs::create_directories(parent, ec);
    return !ec && IsFolder(parent);
}

bool CopyItem(const fs::path &Source, const fs::path &Target);

// The new file is written under a hidden temporary name beside the target and renamed over it
// only when complete, so a failed copy never leaves a half-written file in the target's place.
bool CopyRegularFile(const fs::path &Source, const fs::path &Target)
{
    if (IsFolder(Target) || !MakeParentFolders(Target))
        return false;
    fs::path temporary = Target.parent_path() / ("." + Target.filename().string() + ".XXXXXX");
    std::string name = temporary.string();
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return false;
    ::close(fd);
    temporary = name;
    std::error_code ec;
    fs::copy_file(Source, temporary, fs::copy_options::overwrite_existing, ec);
    if (!ec)
        fs::rename(temporary, Target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
}

bool CopyFolder(const fs::path &Source, const fs::path &Target)
{
    if (IsWithin(Target, Source))
        return false;
    std::error_code ec;
    if (Exists(Target) && !IsFolder(Target))
        return false;
    fs::create_directories(Target, ec);
    if (ec)
        return false;
    for (fs::directory_iterator it(Source, ec), end; it != end; it.increment(ec)) {
        if (ec || !CopyItem(it->path(), Target / it->path().filename()))
            return false;
    }
    return !ec;
}

bool CopyItem(const fs::path &Source, const fs::path &Target)
{
    if (SameObject(Source, Target))
        return false;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(Source, ec);
    if (ec)
        return false;
    if (fs::is_symlink(status) && IsFolder(Source)) {
        // A link inside a copied tree stays a link, so a loop of links cannot recurse forever.
        if (Exists(Target) || !MakeParentFolders(Target))
            return false;
        fs::copy_symlink(Source, Target, ec);
        return !ec;
    }
    if (fs::is_directory(status))
        return CopyFolder(Source, Target);
    return CopyRegularFile(Source, Target);
}

bool MoveItem(const fs::path &Source, const fs::path &Target)
{
    if (SameObject(Source, Target))
        return false;
    const bool sourceIsFolder = IsFolder(Source);
    if (sourceIsFolder && IsWithin(Target, Source))
        return false;
    if (Exists(Target)) {
        const bool targetIsFolder = IsFolder(Target);
        if (sourceIsFolder != targetIsFolder)
            return false;
        if (sourceIsFolder) {
            // Moving a folder onto an existing one merges the two, as the shell does.
            std::error_code ec;
            for (fs::directory_iterator it(Source, ec), end; it != end; it.increment(ec)) {
                if (ec || !MoveItem(it->path(), Target / it->path().filename()))
                    return false;
            }
            fs::remove(Source, ec);
            return !ec;
        }
    }
    if (!MakeParentFolders(Target))
        return false;
    if (::rename(Source.c_str(), Target.c_str()) == 0)
        return true;
    if (errno != EXDEV)
        return false;
    // Across file systems: copy first, and remove the source only once the copy is whole.
    if (!CopyItem(Source, Target))
        return false;
    std::error_code ec;
    fs::remove_all(Source, ec);
    return !ec;
}

// The system refuses to replace an existing target in the same step as the rename, so an
// object that appears under the new name meanwhile is never lost. Only where the file system
// cannot do that (EINVAL) is the target checked first and then renamed to.
bool RenameItem(const fs::path &Source, const fs::path &Target)
{
    if (SameObject(Source, Target))
        return ::rename(Source.c_str(), Target.c_str()) == 0;
    if (::renameat2(AT_FDCWD, Source.c_str(), AT_FDCWD, Target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    if (Exists(Target))
        return false;
    return ::rename(Source.c_str(), Target.c_str()) == 0;
}

} // namespace

void TFileOperation::SetActive(bool Active)
{
    FActive = Active;
    if (Active)
        Execute();
}

bool TFileOperation::Execute()
{
    FOperationAborted = false;
    const std::vector<std::string> sources = SplitList(FilesFrom);
    const std::vector<std::string> targets = SplitList(FilesTo);
    if (sources.empty())
        return false;
    const bool filesOnly = Flags.count(fofFilesOnly) != 0;

    if (Operation == foDelete) {
        for (const std::string &source : sources) {
            TMatches matches;
            if (!Expand(source, filesOnly, matches))
                return false;
            for (const fs::path &item : matches.Items) {
                std::error_code ec;
                fs::remove_all(item, ec);
                if (ec)
                    return false;
            }
        }
        return true;
    }

    const bool multiDest = Flags.count(fofMultiDestFiles) != 0;
    if (targets.empty() || (multiDest && targets.size() != sources.size()))
        return false;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        TMatches matches;
        if (!Expand(sources[i], filesOnly, matches))
            return false;
        const std::string &target = multiDest ? targets[i] : targets.front();
        if (Operation == foRename) {
            if (matches.Items.size() != 1 || !RenameItem(matches.Items.front(), target))
                return false;
            continue;
        }
        const bool intoFolder = matches.Wildcard || (!multiDest && sources.size() > 1) ||
                                target.back() == '/' || IsFolder(target);
        for (const fs::path &item : matches.Items) {
            const fs::path destination =
                intoFolder ? fs::path(target) / item.filename() : fs::path(target);
            const bool done =
                Operation == foCopy ? CopyItem(item, destination) : MoveItem(item, destination);
            if (!done)
                return false;
        }
    }
    return true;
}

} // namespace tarn
