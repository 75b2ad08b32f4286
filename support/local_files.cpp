#include "support/local_files.h"

#include <sys/stat.h>

namespace tarn {

int64_t LocalFileSize(const std::string &Name)
{
    struct stat info = {};
    if (::stat(Name.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return info.st_size;
}

std::string PlaceInFolder(const std::string &Folder, const std::string &Name)
{
    if (Name.find('/') != std::string::npos)
        return Name;
    if (!Folder.empty() && Folder.back() == '/')
        return Folder + Name;
    return Folder + "/" + Name;
}

} // namespace tarn
