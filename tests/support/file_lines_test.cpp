// Reading a file line by line in blocks: the same lines whatever the block size.

#include "support/file_lines.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace tarn {
namespace {

std::vector<std::string> LinesOf(const std::string &Name, std::size_t BlockSize)
{
    std::vector<std::string> lines;
    ForEachFileLine(
        Name, [&](std::string_view Line) { lines.emplace_back(Line); }, BlockSize);
    return lines;
}

TEST(FileLines, EveryBlockSizeGivesTheSameLines)
{
    // A block edge may fall anywhere: inside a line, between CR and LF, right after either.
    const std::string longLine(150, 'x');
    const struct
    {
        std::string Text;
        std::vector<std::string> Lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\r\nbc\r\n", {"a", "bc"}},
        {"a\r\nb", {"a", "b"}},
        {"\n\r\n\n", {"", "", ""}},
        {"in\rside\r\nend\r", {"in\rside", "end"}},
        {"one\nlong " + longLine + "\r\nthree\n", {"one", "long " + longLine, "three"}},
        {std::string("nul\0byte\n", 9), {std::string("nul\0byte", 8)}},
    };
    char pattern[] = "/tmp/tarn-file-lines-XXXXXX";
    const int fd = mkstemp(pattern);
    ASSERT_GE(fd, 0);
    ::close(fd);
    for (const auto &c : cases) {
        std::ofstream(pattern, std::ios::binary | std::ios::trunc) << c.Text;
        for (const std::size_t block : {1, 2, 3, 4, 5, 7, 64 * 1024})
            EXPECT_EQ(LinesOf(pattern, block), c.Lines) << "block " << block << ": " << c.Text;
    }
    std::remove(pattern);
    EXPECT_TRUE(LinesOf(pattern, 16).empty()) << "a missing file gives no line";
}

} // namespace
} // namespace tarn
