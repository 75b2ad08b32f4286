#include "support/file_lines.h"

#include <cstring>
#include <fstream>
#include <vector>

namespace tarn {

void ForEachFileLine(const std::string &Name, const std::function<void(std::string_view)> &Line,
                     std::size_t BlockSize)
{
    std::ifstream file(Name, std::ios::binary);
    std::vector<char> block(BlockSize);
    std::string pieces; // a line that began in an earlier block
    const auto take = [&](std::string_view Text) {
        if (!Text.empty() && Text.back() == '\r')
            Text.remove_suffix(1);
        Line(Text);
    };
    while (file.read(block.data(), std::streamsize(block.size())) || file.gcount() > 0) {
        const char *at = block.data();
        const char *end = at + file.gcount();
        while (const void *found = std::memchr(at, '\n', std::size_t(end - at))) {
            const auto *stop = static_cast<const char *>(found);
            if (pieces.empty()) {
                take(std::string_view(at, std::size_t(stop - at)));
            } else {
                pieces.append(at, stop);
                take(pieces);
                pieces.clear();
            }
            at = stop + 1;
        }
        pieces.append(at, end);
    }
    if (!pieces.empty())
        take(pieces);
}

} // namespace tarn
