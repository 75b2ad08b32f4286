#include "support/temp_generator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn {

namespace {

// The temporary directory is read once per program, so the first test that needs it points
// TMPDIR at a fresh directory (given without its trailing "/") before anything reads it; the
// directory goes when the program ends.
struct TTempRootDirectory
{
    TTempRootDirectory()
    {
        char pattern[] = "/tmp/tarn-tempgen-XXXXXX";
        Path = mkdtemp(pattern) ? pattern : "";
        // Before anything reads it, on the test's only thread.
        // NOLINTNEXTLINE(concurrency-mt-unsafe)
        setenv("TMPDIR", Path.c_str(), 1);
    }
    ~TTempRootDirectory() { QDir(QString::fromStdString(Path)).removeRecursively(); }
    std::string Path;
};

const std::string &TempRoot()
{
    static const TTempRootDirectory Root;
    return Root.Path;
}

class TempGenerator : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_FALSE(TempRoot().empty()); }
    void TearDown() override
    {
        QDir root(QString::fromStdString(TempRoot()));
        for (const QString &name : root.entryList(QDir::Files | QDir::System | QDir::Hidden))
            root.remove(name);
    }

    static std::string In(const std::string &Name) { return TempRoot() + "/" + Name; }
    static void Touch(const std::string &Path) { std::ofstream(Path) << "taken"; }
    static int FileCount()
    {
        return int(
            QDir(QString::fromStdString(TempRoot())).entryList(QDir::Files | QDir::System).size());
    }
};

TEST_F(TempGenerator, NumbersAroundExistingFilesInTmpdir)
{
    ASSERT_EQ(TTempGenerator::TempDirectory(), TempRoot() + "/");
    Touch(In("~TG1.TMP"));
    Touch(In("~TG3.TMP"));
    TTempGenerator generator;
    generator.AutoDelete = false;
    const std::string first = generator.NewName();
    const std::string second = generator.NewName();
    EXPECT_EQ(first, In("~TG2.TMP"));
    EXPECT_EQ(second, In("~TG4.TMP"));
    struct stat info;
    ASSERT_EQ(stat(first.c_str(), &info), 0) << "the file is created so the name stays taken";
    EXPECT_EQ(info.st_size, 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(generator.Names(), (std::vector<std::string>{first, second}));
}

TEST_F(TempGenerator, UsesTheCurrentDirectoryWhenAsked)
{
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(TempRoot())));
    {
        TTempGenerator generator;
        generator.UseTempDir = false;
        EXPECT_EQ(generator.NewName(), "~TG1.TMP");
        EXPECT_TRUE(QFile::exists("~TG1.TMP"));
    }
    EXPECT_FALSE(QFile::exists("~TG1.TMP")) << "AutoDelete is on by default";
    QDir::setCurrent(previous);
}

TEST_F(TempGenerator, FiftyNamesAtMostUntilOneIsFreed)
{
    TTempGenerator generator;
    for (int i = 1; i <= 50; ++i)
        ASSERT_EQ(generator.NewName(), In("~TG" + std::to_string(i) + ".TMP"));
    EXPECT_EQ(generator.NewName(), "") << "the 51st name";
    EXPECT_EQ(FileCount(), 50) << "the 51st call creates nothing";

    EXPECT_FALSE(generator.FreeName(In("~TG99.TMP")));
    EXPECT_FALSE(generator.FreeName(In("~TG7.TMP") + "x"));
    ASSERT_TRUE(generator.FreeName(In("~TG7.TMP")));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(In("~TG7.TMP"))));
    EXPECT_FALSE(generator.FreeName(In("~TG7.TMP"))) << "freed once only";
    EXPECT_EQ(generator.NewName(), In("~TG7.TMP"));
    EXPECT_EQ(generator.NewName(), "");

    // A caller that frees each name after use never runs out.
    ASSERT_TRUE(generator.FreeName(In("~TG50.TMP")));
    for (int i = 0; i < 200; ++i) {
        const std::string name = generator.NewName();
        ASSERT_EQ(name, In("~TG50.TMP")) << "use " << i;
        ASSERT_TRUE(generator.FreeName(name));
    }
    EXPECT_EQ(FileCount(), 49);
}

TEST_F(TempGenerator, AutoDeleteDecidesWhetherFilesOutliveTheGenerator)
{
    std::vector<std::string> kept, deleted;
    {
        TTempGenerator keeping;
        keeping.AutoDelete = false;
        TTempGenerator deleting;
        for (int i = 0; i < 3; ++i) {
            kept.push_back(keeping.NewName());
            deleted.push_back(deleting.NewName());
        }
        // Someone else removed one of them already: the others are still deleted.
        unlink(deleted[1].c_str());
    }
    for (const std::string &name : kept)
        EXPECT_TRUE(QFile::exists(QString::fromStdString(name))) << name;
    for (const std::string &name : deleted)
        EXPECT_FALSE(QFile::exists(QString::fromStdString(name))) << name;
}

TEST_F(TempGenerator, PlantedLinksAreSkippedAndNeverFollowed)
{
    const std::string victim = TempRoot() + "/victim";
    std::ofstream(victim) << "precious";
    ASSERT_EQ(symlink(victim.c_str(), In("~TG1.TMP").c_str()), 0);
    const std::string nowhere = TempRoot() + "/would-be-created";
    ASSERT_EQ(symlink(nowhere.c_str(), In("~TG2.TMP").c_str()), 0);

    TTempGenerator generator;
    EXPECT_EQ(generator.NewName(), In("~TG3.TMP"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(nowhere))) << "dangling link followed";
    std::ifstream in(victim);
    std::string content;
    in >> content;
    EXPECT_EQ(content, "precious");
    EXPECT_TRUE(QFileInfo(QString::fromStdString(In("~TG1.TMP"))).isSymLink());
}

TEST_F(TempGenerator, NoNameWhenTheFileCannotBeCreated)
{
    // The current directory is removed under the program: nothing can be created in it, not
    // even by root.
    const std::string gone = TempRoot() + "/gone";
    ASSERT_EQ(mkdir(gone.c_str(), 0700), 0);
    const std::filesystem::path previous = std::filesystem::current_path();
    ASSERT_EQ(chdir(gone.c_str()), 0);
    ASSERT_EQ(rmdir(gone.c_str()), 0);
    TTempGenerator generator;
    generator.UseTempDir = false;
    EXPECT_EQ(generator.NewName(), "");
    EXPECT_TRUE(generator.Names().empty());
    std::filesystem::current_path(previous);
}

} // namespace

} // namespace tarn
