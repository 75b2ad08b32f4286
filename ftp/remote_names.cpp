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
    return NormalizeLibraryPath(span.substr(0, close));
}

std::string RemoteFileName(const std::string &Name)
{
    const std::size_t cut = Name.find_last_of("\\:");
    return cut == std::string::npos ? Name : Name.substr(cut + 1);
}

} // namespace tarn
