#include "name_rules.h"

#include "script_language.h"

#include <charconv>

namespace tarn {

std::string NormalizeLibraryPath(const std::string &path)
{
    const std::string upper = UpperCaseAscii(path);
    if (upper.find(".LIB") != std::string::npos && upper.find("QSYS.LIB") == std::string::npos)
        return "/QSYS.LIB/" + upper;
    return path;
}

std::string PathFromPwdReply(const std::string &reply)
{
    const std::size_t open = reply.find('"');
    if (open == std::string::npos)
        return {};
    const std::string span = reply.substr(open + 1, 128);
    const std::size_t close = span.find('"');
    if (close == std::string::npos)
        return {};
    return NormalizeLibraryPath(span.substr(0, close));
}

std::string RemoteFileName(const std::string &name)
{
    const std::size_t cut = name.find_last_of("\\:");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

std::string PlaceInFolder(const std::string &folder, const std::string &name)
{
    if (name.find('/') != std::string::npos)
        return name;
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::optional<int> ParseWholeNumber(const std::string &text)
{
    const char *first = text.data();
    const char *last = text.data() + text.size();
    // from_chars takes a minus sign but not a plus sign.
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-')
        ++first;
    int value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last)
        return std::nullopt;
    return value;
}

} // namespace tarn
