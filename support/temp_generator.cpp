#include "support/temp_generator.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace tarn {

namespace {

std::string TempDirectoryFromEnvironment()
{
    const char *value = std::getenv("TMPDIR");
    std::string directory = value ? value : "";
    if (directory.empty() || directory.size() > 255)
        return "/tmp/";
    if (directory.back() != '/')
        directory += '/';
    return directory;
}

} // namespace

const std::string &TTempGenerator::TempDirectory()
{
    static const std::string Directory = TempDirectoryFromEnvironment();
    return Directory;
}

TTempGenerator::~TTempGenerator()
{
    if (!AutoDelete)
        return;
    for (const std::string &name : FNames)
        unlink(name.c_str());
}

std::string TTempGenerator::NewName()
{
    if (FNames.size() >= MaxNames)
        return {};
    const std::string directory = UseTempDir ? TempDirectory() : std::string();
    for (unsigned n = 1; n <= 65535; ++n) {
        std::string candidate = directory + "~TG" + std::to_string(n) + ".TMP";
        // O_EXCL fails with EEXIST for any existing entry, a dangling symbolic link included,
        // and never follows a link.
        const int fd =
            open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        // A name is handed out only with its file made: a name whose file could not be created
        // (a folder that cannot be written or does not exist) could be taken by someone else.
        if (fd < 0)
            return {};
        close(fd);
        FNames.push_back(candidate);
        return candidate;
    }
    return {};
}

bool TTempGenerator::FreeName(const std::string &Name)
{
    const auto it = std::find(FNames.begin(), FNames.end(), Name);
    if (it == FNames.end())
        return false;
    unlink(Name.c_str());
    FNames.erase(it);
    return true;
}

} // namespace tarn
