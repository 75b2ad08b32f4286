#include "client/library_list.h"

#include "client/text_file.h"

namespace tarn {

std::optional<std::vector<std::string>> ReadLibraryList(const std::string &FileName)
{
    const std::optional<std::string> content = ReadWholeFile(FileName);
    if (!content)
        return std::nullopt;
    std::vector<std::string> entries;
    ForEachLine(*content, [&](std::string_view Line) { entries.emplace_back(Line); });
    return entries;
}

bool WriteLibraryList(const std::string &FileName, const std::vector<std::string> &Entries)
{
    return !WriteLines(FileName, Entries);
}

} // namespace tarn
