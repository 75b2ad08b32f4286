#include "player/file_operation.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fnmatch.h>
#include <stdlib.h>
#include <unistd.h>

namespace tarn {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> SplitList(const std::string &text)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        if (end > start)
            names.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

bool HasWildcard(const std::string &name)
{
    return name.find_first_of("*?") != std::string::npos;
}

// Only "*" and "?" are wildcards, as in the Windows shell; brackets and backslashes in a name
// are matched literally.
std::string FnmatchPattern(const std::string &name)
{
    std::string pattern;
    for (char c : name) {
        if (c == '[' || c == ']' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

bool Exists(const fs::path &path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

bool IsFolder(const fs::path &path)
{
    std::error_code ec;
    return fs::is_directory(fs::status(path, ec));
}

bool SameObject(const fs::path &a, const fs::path &b)
{
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

// True when `inner` is `outer` or lies somewhere below it.
bool IsWithin(const fs::path &inner, const fs::path &outer)
{
    std::error_code ec;
    const fs::path in = fs::weakly_canonical(inner, ec);
    if (ec)
        return false;
    const fs::path out = fs::weakly_canonical(outer, ec);
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

struct Matches
{
    std::vector<fs::path> Items;
    bool Wildcard = false;
};

bool Expand(std::string source, bool filesOnly, Matches &matches)
{
    while (source.size() > 1 && source.back() == '/')
        source.pop_back();
    const fs::path path(source);
    const std::string name = path.filename().string();
    if (!HasWildcard(name)) {
        if (!Exists(path))
            return false;
        matches.Items.push_back(path);
        return true;
    }
    matches.Wildcard = true;
    const std::string pattern = FnmatchPattern(name);
    std::error_code ec;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (::fnmatch(pattern.c_str(), entry.c_str(), FNM_PERIOD) != 0)
            continue;
        std::error_code typeError;
        if (filesOnly && !it->is_regular_file(typeError))
            continue;
        matches.Items.push_back(path.parent_path() / entry);
    }
    std::sort(matches.Items.begin(), matches.Items.end());
    return !ec && !matches.Items.empty();
}

bool MakeParentFolders(const fs::path &target)
{
    const fs::path parent = target.parent_path();
    if (parent.empty())
        return true;
    std::error_code ec;
    fs::create_directories(parent, ec);
    return !ec && IsFolder(parent);
}

bool CopyItem(const fs::path &source, const fs::path &target);

// The new file is written under a hidden temporary name beside the target and renamed over it
// only when complete, so a failed copy never leaves a half-written file in the target's place.
bool CopyRegularFile(const fs::path &source, const fs::path &target)
{
    if (IsFolder(target) || !MakeParentFolders(target))
        return false;
    fs::path temporary = target.parent_path() / ("." + target.filename().string() + ".XXXXXX");
    std::string name = temporary.string();
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return false;
    ::close(fd);
    temporary = name;
    std::error_code ec;
    fs::copy_file(source, temporary, fs::copy_options::overwrite_existing, ec);
    if (!ec)
        fs::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
}

bool CopyFolder(const fs::path &source, const fs::path &target)
{
    if (IsWithin(target, source))
        return false;
    std::error_code ec;
    if (Exists(target) && !IsFolder(target))
        return false;
    fs::create_directories(target, ec);
    if (ec)
        return false;
    for (fs::directory_iterator it(source, ec), end; it != end; it.increment(ec)) {
        if (ec || !CopyItem(it->path(), target / it->path().filename()))
            return false;
    }
    return !ec;
}

bool CopyItem(const fs::path &source, const fs::path &target)
{
    if (SameObject(source, target))
        return false;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(source, ec);
    if (ec)
        return false;
    if (fs::is_symlink(status) && IsFolder(source)) {
        // A link inside a copied tree stays a link, so a loop of links cannot recurse forever.
        if (Exists(target) || !MakeParentFolders(target))
            return false;
        fs::copy_symlink(source, target, ec);
        return !ec;
    }
    if (fs::is_directory(status))
        return CopyFolder(source, target);
    return CopyRegularFile(source, target);
}

bool MoveItem(const fs::path &source, const fs::path &target)
{
    if (SameObject(source, target))
        return false;
    const bool sourceIsFolder = IsFolder(source);
    if (sourceIsFolder && IsWithin(target, source))
        return false;
    if (Exists(target)) {
        const bool targetIsFolder = IsFolder(target);
        if (sourceIsFolder != targetIsFolder)
            return false;
        if (sourceIsFolder) {
            // Moving a folder onto an existing one merges the two, as the shell does.
            std::error_code ec;
            for (fs::directory_iterator it(source, ec), end; it != end; it.increment(ec)) {
                if (ec || !MoveItem(it->path(), target / it->path().filename()))
                    return false;
            }
            fs::remove(source, ec);
            return !ec;
        }
    }
    if (!MakeParentFolders(target))
        return false;
    if (::rename(source.c_str(), target.c_str()) == 0)
        return true;
    if (errno != EXDEV)
        return false;
    // Across file systems: copy first, and remove the source only once the copy is whole.
    if (!CopyItem(source, target))
        return false;
    std::error_code ec;
    fs::remove_all(source, ec);
    return !ec;
}

bool RenameItem(const fs::path &source, const fs::path &target)
{
    if (Exists(target) && !SameObject(source, target))
        return false;
    return ::rename(source.c_str(), target.c_str()) == 0;
}

} // namespace

void TFileOperation::SetActive(bool active)
{
    m_Active = active;
    if (active)
        Execute();
}

bool TFileOperation::Execute()
{
    m_OperationAborted = false;
    const std::vector<std::string> sources = SplitList(FilesFrom);
    const std::vector<std::string> targets = SplitList(FilesTo);
    if (sources.empty())
        return false;
    const bool filesOnly = Flags.count(fofFilesOnly) != 0;

    if (Operation == foDelete) {
        for (const std::string &source : sources) {
            Matches matches;
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
        Matches matches;
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
