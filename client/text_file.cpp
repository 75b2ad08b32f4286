#include "client/text_file.h"

#include <cstdio>

namespace tarn {

std::optional<std::string> ReadWholeFile(const std::string &FileName)
{
    std::FILE *file = std::fopen(FileName.c_str(), "rb");
    if (!file)
        return std::nullopt;
    std::string content;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        content.append(buffer, got);
    std::fclose(file);
    return content;
}

} // namespace tarn
