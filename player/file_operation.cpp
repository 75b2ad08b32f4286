#include "player/file_operation.h"

#include "support/text.h"

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

// A folder itself, not a symbolic link to one: what a move carries with its contents.
bool IsRealFolder(const fs::path &Path)
{
    std::error_code ec;
    return fs::is_directory(fs::symlink_status(Path, ec));
}

bool IsLink(const fs::path &Path)
{
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(Path, ec));
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

// Keeps the first reason for a failure and gives false.
bool Refuse(std::string &Why, const std::string &Text)
{
    if (Why.empty())
        Why = Text;
    return false;
}

std::string Quoted(const fs::path &Path)
{
    return "\"" + Path.string() + "\"";
}

struct TMatches
{
    std::vector<fs::path> Items;
    bool Wildcard = false;
};

bool Expand(std::string Source, bool FilesOnly, TMatches &Matches, std::string &Why)
{
    while (Source.size() > 1 && Source.back() == '/')
        Source.pop_back();
    const fs::path path(Source);
    const std::string name = path.filename().string();
    if (!HasWildcard(name)) {
        if (!Exists(path))
            return Refuse(Why, Quoted(path) + " does not exist");
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
    if (ec)
        return Refuse(Why, Quoted(folder) + ": " + ec.message());
    if (Matches.Items.empty())
        return Refuse(Why, "nothing matches " + Quoted(path));
    return true;
}

bool MakeParentFolders(const fs::path &Target, std::string &Why)
{
    const fs::path parent = Target.parent_path();
    if (parent.empty())
        return true;
    std::error_code ec;
    fs::create_directories(parent, ec);
    if (ec || !IsFolder(parent))
        return Refuse(Why, "cannot create the folder " + Quoted(parent) +
                               (ec ? ": " + ec.message() : std::string()));
    return true;
}

// The checks a copy or move of `Source` to `Target` must pass before anything is changed, so
// that one bad match (a folder into itself, a file onto a folder) fails the whole operation
// instead of leaving it half done. Folders that would merge are checked entry by entry.
bool CheckTransfer(const fs::path &Source, const fs::path &Target, bool Move, std::string &Why)
{
    if (SameObject(Source, Target))
        return Refuse(Why, Quoted(Source) + " and " + Quoted(Target) + " are the same file");
    const bool sourceIsFolder = IsRealFolder(Source);
    if (sourceIsFolder && IsWithin(Target, Source))
        return Refuse(Why, "cannot put the folder " + Quoted(Source) + " into itself (" +
                               Quoted(Target) + ")");
    if (!Exists(Target)) {
        // The nearest existing folder above the target must be one, or it cannot be made.
        for (fs::path above = Target.parent_path(); !above.empty() && above != above.root_path();
             above = above.parent_path()) {
            if (Exists(above)) {
                if (!IsFolder(above))
                    return Refuse(Why, Quoted(above) + " is not a folder");
                break;
            }
        }
        return true;
    }
    // A copy keeps a link to a folder as a link, which replaces nothing.
    if (!Move && IsLink(Source) && IsFolder(Source))
        return Refuse(Why, "cannot replace " + Quoted(Target) + " with the link " + Quoted(Source));
    if (sourceIsFolder != IsFolder(Target))
        return Refuse(Why, "cannot replace " + Quoted(Target) + " with " + Quoted(Source));
    if (!sourceIsFolder)
        return true;
    std::error_code ec;
    for (fs::directory_iterator it(Source, ec), end; !ec && it != end; it.increment(ec)) {
        if (!CheckTransfer(it->path(), Target / it->path().filename(), Move, Why))
            return false;
    }
    return !ec || Refuse(Why, Quoted(Source) + ": " + ec.message());
}

bool CopyItem(const fs::path &Source, const fs::path &Target, bool KeepLinks, std::string &Why);

// The new file is written under a hidden temporary name beside the target and renamed over it
// only when complete, so a failed copy never leaves a half-written file in the target's place.
bool CopyRegularFile(const fs::path &Source, const fs::path &Target, std::string &Why)
{
    if (IsFolder(Target))
        return Refuse(Why, "cannot replace the folder " + Quoted(Target) + " with a file");
    if (!MakeParentFolders(Target, Why))
        return false;
    fs::path temporary = Target.parent_path() / ("." + Target.filename().string() + ".XXXXXX");
    std::string name = temporary.string();
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return Refuse(Why, "cannot write into " + Quoted(Target.parent_path()) + ": " +
                               SystemErrorText(errno));
    ::close(fd);
    temporary = name;
    std::error_code ec;
    fs::copy_file(Source, temporary, fs::copy_options::overwrite_existing, ec);
    if (!ec)
        fs::rename(temporary, Target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return Refuse(Why, "cannot copy " + Quoted(Source) + " to " + Quoted(Target) + ": " +
                               ec.message());
    }
    return true;
}

bool CopyFolder(const fs::path &Source, const fs::path &Target, bool KeepLinks, std::string &Why)
{
    if (IsWithin(Target, Source))
        return Refuse(Why, "cannot put the folder " + Quoted(Source) + " into itself");
    std::error_code ec;
    if (Exists(Target) && !IsFolder(Target))
        return Refuse(Why, "cannot replace " + Quoted(Target) + " with a folder");
    fs::create_directories(Target, ec);
    if (ec)
        return Refuse(Why, "cannot create the folder " + Quoted(Target) + ": " + ec.message());
    for (fs::directory_iterator it(Source, ec), end; !ec && it != end; it.increment(ec)) {
        if (!CopyItem(it->path(), Target / it->path().filename(), KeepLinks, Why))
            return false;
    }
    return !ec || Refuse(Why, Quoted(Source) + ": " + ec.message());
}

// With KeepLinks (a move to another file system) every symbolic link is copied as a link;
// otherwise a link to a folder stays a link, so that a loop of links cannot recurse for ever,
// and a link to a file is copied as the file.
bool CopyItem(const fs::path &Source, const fs::path &Target, bool KeepLinks, std::string &Why)
{
    if (SameObject(Source, Target))
        return Refuse(Why, Quoted(Source) + " and " + Quoted(Target) + " are the same file");
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(Source, ec);
    if (ec)
        return Refuse(Why, Quoted(Source) + ": " + ec.message());
    if (fs::is_symlink(status) && (KeepLinks || IsFolder(Source))) {
        // A moved link replaces a file as a renamed one would; a folder is never replaced.
        const bool replaceable = KeepLinks && Exists(Target) && !IsRealFolder(Target);
        if (Exists(Target) && !(replaceable && fs::remove(Target, ec)))
            return Refuse(Why, "cannot replace " + Quoted(Target) + " with a link");
        if (!MakeParentFolders(Target, Why))
            return false;
        fs::copy_symlink(Source, Target, ec);
        return !ec || Refuse(Why, "cannot copy the link " + Quoted(Source) + ": " + ec.message());
    }
    if (fs::is_directory(status))
        return CopyFolder(Source, Target, KeepLinks, Why);
    return CopyRegularFile(Source, Target, Why);
}

// A folder moves with everything in it; a symbolic link moves as the link, never what it
// names, also when a folder merges into an existing one.
bool MoveItem(const fs::path &Source, const fs::path &Target, std::string &Why)
{
    if (SameObject(Source, Target))
        return Refuse(Why, Quoted(Source) + " and " + Quoted(Target) + " are the same file");
    const bool sourceIsFolder = IsRealFolder(Source);
    if (sourceIsFolder && IsWithin(Target, Source))
        return Refuse(Why, "cannot put the folder " + Quoted(Source) + " into itself");
    if (Exists(Target)) {
        const bool targetIsFolder = IsFolder(Target);
        if (sourceIsFolder != targetIsFolder)
            return Refuse(Why, "cannot replace " + Quoted(Target) + " with " + Quoted(Source));
        if (sourceIsFolder) {
            // Moving a folder onto an existing one merges the two, as the shell does.
            std::error_code ec;
            for (fs::directory_iterator it(Source, ec), end; !ec && it != end; it.increment(ec)) {
                if (!MoveItem(it->path(), Target / it->path().filename(), Why))
                    return false;
            }
            if (!ec)
                fs::remove(Source, ec);
            return !ec || Refuse(Why, Quoted(Source) + ": " + ec.message());
        }
    }
    if (!MakeParentFolders(Target, Why))
        return false;
    if (::rename(Source.c_str(), Target.c_str()) == 0)
        return true;
    if (errno != EXDEV)
        return Refuse(Why, "cannot move " + Quoted(Source) + " to " + Quoted(Target) + ": " +
                               SystemErrorText(errno));
    // Across file systems: copy first, links as links, and remove the source only once the
    // copy is whole.
    if (!CopyItem(Source, Target, true, Why))
        return false;
    std::error_code ec;
    fs::remove_all(Source, ec);
    return !ec || Refuse(Why, "cannot remove " + Quoted(Source) + ": " + ec.message());
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
    FErrorText.clear();
    std::string &why = FErrorText;
    const std::vector<std::string> sources = SplitList(FilesFrom);
    const std::vector<std::string> targets = SplitList(FilesTo);
    if (sources.empty())
        return Refuse(why, "no source name");
    const bool filesOnly = Flags.count(fofFilesOnly) != 0;

    if (Operation == foDelete) {
        for (const std::string &source : sources) {
            TMatches matches;
            if (!Expand(source, filesOnly, matches, why))
                return false;
            for (const fs::path &item : matches.Items) {
                std::error_code ec;
                fs::remove_all(item, ec);
                if (ec)
                    return Refuse(why, "cannot delete " + Quoted(item) + ": " + ec.message());
            }
        }
        return true;
    }

    const bool multiDest = Flags.count(fofMultiDestFiles) != 0;
    if (targets.empty())
        return Refuse(why, "no destination name");
    if (multiDest && targets.size() != sources.size())
        return Refuse(why, "the numbers of source and destination names differ");
    // Every source is expanded and every pair checked before the first one is changed.
    std::vector<std::pair<fs::path, fs::path>> pairs;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        TMatches matches;
        if (!Expand(sources[i], filesOnly, matches, why))
            return false;
        const std::string &target = multiDest ? targets[i] : targets.front();
        if (Operation == foRename) {
            if (matches.Items.size() != 1)
                return Refuse(why, "a rename needs exactly one source");
            pairs.emplace_back(matches.Items.front(), target);
            continue;
        }
        const bool intoFolder = matches.Wildcard || (!multiDest && sources.size() > 1) ||
                                target.back() == '/' || IsFolder(target);
        for (const fs::path &item : matches.Items) {
            const fs::path destination =
                intoFolder ? fs::path(target) / item.filename() : fs::path(target);
            if (!CheckTransfer(item, destination, Operation == foMove, why))
                return false;
            pairs.emplace_back(item, destination);
        }
    }
    for (const auto &[item, destination] : pairs) {
        if (Operation == foRename) {
            if (!RenameItem(item, destination)) {
                const int code = errno; // before Exists may change it
                return Refuse(
                    why, "cannot rename " + Quoted(item) + " to " + Quoted(destination) + ": " +
                             (Exists(destination) ? "the name is taken" : SystemErrorText(code)));
            }
            continue;
        }
        const bool done = Operation == foCopy ? CopyItem(item, destination, false, why)
                                              : MoveItem(item, destination, why);
        if (!done)
            return false;
    }
    return true;
}

} // namespace tarn
