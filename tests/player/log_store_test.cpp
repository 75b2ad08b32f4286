// The run's log store: lines past the memory limit go to a temporary file and come back in
// order, byte for byte; without a usable folder they stay in memory, and none is lost.
#include "player/log_store.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tarn {

namespace {

// Sets TMPDIR for the life of the object.
class TTmpDir
{
public:
    explicit TTmpDir(const std::string &Folder)
    {
        if (const char *old = std::getenv("TMPDIR"))
            FOld = old;
        ::setenv("TMPDIR", Folder.c_str(), 1);
    }
    ~TTmpDir()
    {
        if (FOld.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", FOld.c_str(), 1);
    }

private:
    std::string FOld;
};

std::vector<std::string> SampleLines(std::size_t Count)
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < Count; ++i)
        lines.push_back("-rw-r--r--  1 owner group " + std::to_string(i * 7919) +
                        (i % 1000 == 0 ? std::string("\n\0\r odd", 7) : " file.txt"));
    return lines;
}

TEST(LogStore, LinesPastTheMemoryLimitComeBackInOrder)
{
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString();
    for (const std::string &where : {path, path + "/no-such-folder"}) {
        TTmpDir tmp(where);
        TLogStore store;
        // Some 12 MiB, many times what stays in memory; twice, with the store cleared between.
        const std::vector<std::string> lines = SampleLines(300000);
        for (int round = 0; round < 2; ++round) {
            store.Clear();
            EXPECT_TRUE(store.Empty());
            for (const std::string &line : lines)
                store.Append(line);
            EXPECT_EQ(store.Count(), lines.size()) << where;
            EXPECT_TRUE(store.Lines() == lines) << where << " round " << round;
            // Reading does not disturb appending.
            store.Append("after reading");
            std::size_t seen = 0;
            std::string last;
            for (const std::string &line : store) {
                ++seen;
                last = line;
            }
            EXPECT_EQ(seen, lines.size() + 1) << where;
            EXPECT_EQ(last, "after reading") << where;
        }
    }
}

} // namespace

} // namespace tarn
