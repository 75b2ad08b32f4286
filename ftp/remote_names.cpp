#include "ftp/remote_names.h"

#include "support/text.h"

namespace tarn {

std::string NormalizeLibraryPath(const std::string &Path)
{
    const std::string upper = UpperCaseAscii(Path);
    if (upper.find(".LIB") != std::string::npos && upper.find("QSYS.LIB") == std::string::npos)
        return "/QSYS.LIB/" + upper;
    return Path;
}

std::string PathFromPwdReply(const std::string &Reply)
{
    const std::size_t open = Reply.find('"');
    if (open == std::string::npos)
        return {};
    const std::string span = Reply.substr(open + 1, 128);
    const std::size_t close = span.find('"');
    if (close == std::string::npos)
        return {};
    // The path goes into later commands (CWD, LIST): a control character from the server must
    // never ride along, so such a path is no path.
    const std::string path = span.substr(0, close);
    for (const char c : path)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            return {};
    return NormalizeLibraryPath(path);
}

std::string RemoteFileName(const std::string &Name)
{
    const std::size_t cut = Name.find_last_of("\\:");
    return cut == std::string::npos ? Name : Name.substr(cut + 1);
}

} // namespace tarn
