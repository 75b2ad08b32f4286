#include "player/file_operation.h"
#include "tests/player/temp_folder.h"

#include <cstdio>
#include <dlfcn.h>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// rename() and renameat2() of this test program pass through here. With a name set, a file of
// that name is created just before the call, as another program might create it in that moment.
static std::string PlantBeforeRename;

static void Plant(const char *New)
{
    const std::string name = New;
    if (!PlantBeforeRename.empty() && name.size() >= PlantBeforeRename.size() &&
        name.compare(name.size() - PlantBeforeRename.size(), std::string::npos,
                     PlantBeforeRename) == 0)
        std::ofstream(New) << "planted";
}

extern "C" int rename(const char *Old, const char *New)
{
    using TRename = int (*)(const char *, const char *);
    static const auto real = reinterpret_cast<TRename>(dlsym(RTLD_NEXT, "rename"));
    Plant(New);
    return real(Old, New);
}

extern "C" int renameat2(int OldFolder, const char *Old, int NewFolder, const char *New,
                         unsigned Flags)
{
    using TRename = int (*)(int, const char *, int, const char *, unsigned);
    static const auto real = reinterpret_cast<TRename>(dlsym(RTLD_NEXT, "renameat2"));
    Plant(New);
    return real(OldFolder, Old, NewFolder, New, Flags);
}

namespace tarn {
namespace {

class FileOperation : public test::TempFolderTest
{
protected:
    bool Do(TFileOp Operation, const std::string &From, const std::string &To,
            TFileOpFlags Flags = {fofNoConfirmation})
    {
        TFileOperation op;
        op.Operation = Operation;
        op.FilesFrom = From;
        op.FilesTo = To;
        op.Flags = Flags;
        const bool done = op.Execute();
        EXPECT_FALSE(op.OperationAborted());
        return done;
    }
    // The names below `Folder`, sorted, with "/" after folders.
    std::vector<std::string> Tree(const std::string &Folder = ".")
    {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::recursive_directory_iterator(FRoot / Folder)) {
            names.push_back(entry.path().lexically_relative(FRoot / Folder).string() +
                            (entry.is_directory() ? "/" : ""));
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(FileOperation, CopyToANameToAFolderAndIntoMissingFolders)
{
    Write("a.txt", "A");
    Write("old.txt", "old content, longer");
    EXPECT_TRUE(Do(foCopy, "a.txt", "b.txt"));
    EXPECT_TRUE(Do(foCopy, "a.txt", "old.txt")); // replaced without asking
    EXPECT_TRUE(Do(foCopy, "a.txt", "new/deep/c.txt"));
    EXPECT_TRUE(Do(foCopy, "a.txt", "box/"));
    std::filesystem::create_directory(FRoot / "existing");
    EXPECT_TRUE(Do(foCopy, "a.txt", "existing"));
    EXPECT_EQ(Read("b.txt"), "A");
    EXPECT_EQ(Read("old.txt"), "A");
    EXPECT_EQ(Read("new/deep/c.txt"), "A");
    EXPECT_EQ(Read("box/a.txt"), "A");
    EXPECT_EQ(Read("existing/a.txt"), "A");
    EXPECT_EQ(Read("a.txt"), "A");
    // No temporary file is left beside a target.
    EXPECT_EQ(Tree("box"), std::vector<std::string>{"a.txt"});
}

TEST_F(FileOperation, WildcardsInTheLastComponentAndListsWithSemicolons)
{
    Write("in/x1.txt", "1");
    Write("in/x2.txt", "2");
    Write("in/y.log", "y");
    Write("in/.hidden.txt", "h");
    Write("in/[a].txt", "bracket");
    Write("in/sub.txt/inner", "folder named like a file");
    EXPECT_TRUE(Do(foCopy, "in/x?.txt;in/y.log", "out"));
    EXPECT_EQ(Tree("out"), (std::vector<std::string>{"x1.txt", "x2.txt", "y.log"}));

    EXPECT_TRUE(Do(foCopy, "in/*.txt", "all", {fofNoConfirmation, fofFilesOnly}));
    EXPECT_EQ(Tree("all"), (std::vector<std::string>{"[a].txt", "x1.txt", "x2.txt"}));
    EXPECT_TRUE(Do(foCopy, "in/*.txt", "withfolders"));
    EXPECT_EQ(Tree("withfolders").size(), 5u); // the three files, sub.txt/ and its file

    EXPECT_FALSE(Do(foCopy, "in/*.none", "nothing"));
    EXPECT_FALSE(Exists("nothing"));
    EXPECT_FALSE(Do(foCopy, "in/x1.txt;in/missing.txt", "partial"));
    EXPECT_FALSE(Do(foCopy, "", "x"));
    EXPECT_FALSE(Do(foCopy, "in/x1.txt", ""));
    EXPECT_FALSE(Do(foCopy, "in/x*/../y.log", "z")); // wildcards only in the last component
}

TEST_F(FileOperation, MultipleDestinationsPairWithSources)
{
    Write("a", "A");
    Write("b", "B");
    EXPECT_TRUE(Do(foCopy, "a;b", "x/a2;y/b2", {fofMultiDestFiles}));
    EXPECT_EQ(Read("x/a2"), "A");
    EXPECT_EQ(Read("y/b2"), "B");
    EXPECT_FALSE(Do(foCopy, "a;b", "z", {fofMultiDestFiles}));
    // Without the flag only the first destination is used, as a folder for several sources.
    EXPECT_TRUE(Do(foCopy, "a;b", "w;v"));
    EXPECT_EQ(Tree("w"), (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(Exists("v"));
}

TEST_F(FileOperation, CopyNeverDestroysItsSourceOrCopiesIntoItself)
{
    Write("same.txt", "precious");
    EXPECT_FALSE(Do(foCopy, "same.txt", "same.txt"));
    EXPECT_FALSE(Do(foCopy, "same.txt", "./"));
    EXPECT_FALSE(
        Do(foCopy, "same.txt", FRoot.string() + "/../" + FRoot.filename().string() + "/same.txt"));
    std::filesystem::create_hard_link(FRoot / "same.txt", FRoot / "link.txt");
    EXPECT_FALSE(Do(foCopy, "same.txt", "link.txt"));
    EXPECT_EQ(Read("same.txt"), "precious");

    Write("tree/f", "f");
    EXPECT_FALSE(Do(foCopy, "tree", "tree/inside"));
    EXPECT_FALSE(Do(foCopy, "tree", "tree"));
    EXPECT_EQ(Tree("tree"), std::vector<std::string>{"f"});

    // A file never replaces a folder, nor a folder a file.
    std::filesystem::create_directories(FRoot / "dir/same.txt");
    EXPECT_FALSE(Do(foCopy, "same.txt", "dir"));
    Write("plain", "p");
    EXPECT_FALSE(Do(foCopy, "tree", "plain"));
    EXPECT_EQ(Read("plain"), "p");
}

TEST_F(FileOperation, FoldersCopyWholeAndLinksStayLinks)
{
    Write("tree/a/b.txt", "B");
    Write("tree/c.txt", "C");
    std::filesystem::create_directory_symlink(FRoot / "tree", FRoot / "tree/a/loop");
    EXPECT_TRUE(Do(foCopy, "tree", "copy"));
    EXPECT_EQ(Tree("copy"), (std::vector<std::string>{"a/", "a/b.txt", "a/loop/", "c.txt"}));
    EXPECT_TRUE(std::filesystem::is_symlink(FRoot / "copy/a/loop"));
    // Onto an existing folder the copy goes inside it, under its own name.
    EXPECT_TRUE(Do(foCopy, "tree/", "copy"));
    EXPECT_EQ(Read("copy/tree/c.txt"), "C");
}

TEST_F(FileOperation, MoveReplacesMergesAndRefusesItself)
{
    Write("a.txt", "A");
    Write("b.txt", "old B");
    EXPECT_TRUE(Do(foMove, "a.txt", "b.txt"));
    EXPECT_FALSE(Exists("a.txt"));
    EXPECT_EQ(Read("b.txt"), "A");

    EXPECT_TRUE(Do(foMove, "b.txt", "deep/er/"));
    EXPECT_EQ(Read("deep/er/b.txt"), "A");

    Write("one/x", "1");
    Write("one/same/y", "Y1");
    Write("two/same/y", "Y2");
    Write("two/same/z", "Z2");
    EXPECT_TRUE(Do(foMove, "one/*", "two"));
    EXPECT_EQ(Tree("two"), (std::vector<std::string>{"same/", "same/y", "same/z", "x"}));
    EXPECT_EQ(Read("two/same/y"), "Y1");
    EXPECT_EQ(Tree("one"), std::vector<std::string>{});

    EXPECT_FALSE(Do(foMove, "two", "two/inner"));
    EXPECT_FALSE(Do(foMove, "two/x", "two/x"));
    EXPECT_FALSE(Do(foMove, "two/x", "two/same/y/"));
    EXPECT_EQ(Read("two/x"), "1");
    EXPECT_FALSE(Do(foMove, "nothing", "two"));
}

TEST_F(FileOperation, AMoveThatCannotMoveEveryMatchMovesNone)
{
    // "d/*" holds d/sub itself, which cannot go into d/sub/: nothing may move.
    Write("d/a.txt", "A");
    Write("d/b.txt", "B");
    Write("d/sub/c.txt", "C");
    const std::vector<std::string> before = Tree("d");
    EXPECT_FALSE(Do(foMove, "d/*", "d/sub/"));
    EXPECT_EQ(Tree("d"), before);

    // A conflict deep inside a folder that would merge is found first, too.
    Write("src/x.txt", "X");
    Write("src/deep/f", "F");
    Write("dst/deep/f/inner", "a folder where src has a file");
    Write("dst/src/deep/f/inner", "the same where src would merge into dst/src");
    EXPECT_FALSE(Do(foMove, "src", "dst/"));
    EXPECT_FALSE(Do(foMove, "src/*", "dst"));
    EXPECT_EQ(Read("src/x.txt"), "X");
    EXPECT_FALSE(Exists("dst/x.txt"));
    EXPECT_FALSE(Do(foCopy, "src/*", "dst"));
    EXPECT_FALSE(Exists("dst/x.txt"));
}

TEST_F(FileOperation, AMoveCarriesSymbolicLinksAsLinksNeverWhatTheyName)
{
    // Outside the moved folder: files a link inside it points to.
    Write("outside/keep.txt", "mine");
    Write("from/plain.txt", "P");
    std::filesystem::create_directory_symlink(FRoot / "outside", FRoot / "from/linked");
    std::filesystem::create_symlink(FRoot / "outside/keep.txt", FRoot / "from/file-link");

    // Merging into to/from, whose "linked" is a real folder, must not empty "outside".
    Write("to/from/linked/other.txt", "O");
    EXPECT_FALSE(Do(foMove, "from", "to/"));
    EXPECT_EQ(Tree("outside"), std::vector<std::string>{"keep.txt"});
    EXPECT_TRUE(std::filesystem::is_symlink(FRoot / "from/linked"));

    // Without the conflict the links merge as links.
    std::filesystem::remove_all(FRoot / "to/from/linked");
    EXPECT_TRUE(Do(foMove, "from", "to/"));
    EXPECT_TRUE(std::filesystem::is_symlink(FRoot / "to/from/linked"));
    EXPECT_TRUE(std::filesystem::is_symlink(FRoot / "to/from/file-link"));
    EXPECT_EQ(Read("to/from/plain.txt"), "P");
    EXPECT_EQ(Tree("outside"), std::vector<std::string>{"keep.txt"});
    EXPECT_FALSE(Exists("from"));

    // Across file systems a folder is copied, and its links must stay links there too.
    const std::filesystem::path other = "/dev/shm";
    struct stat here = {}, there = {};
    if (::stat(FRoot.c_str(), &here) != 0 || ::stat(other.c_str(), &there) != 0 ||
        here.st_dev == there.st_dev || ::access(other.c_str(), W_OK) != 0)
        GTEST_SKIP() << "no second writable file system at " << other;
    const std::filesystem::path target = other / ("tarn-move-" + std::to_string(::getpid()));
    EXPECT_TRUE(Do(foMove, "to/from", target.string()));
    const bool fileLink = std::filesystem::is_symlink(target / "file-link");
    const bool folderLink = std::filesystem::is_symlink(target / "linked");
    const bool plain = std::filesystem::is_regular_file(target / "plain.txt");
    std::filesystem::remove_all(target);
    EXPECT_TRUE(fileLink);
    EXPECT_TRUE(folderLink);
    EXPECT_TRUE(plain);
    EXPECT_FALSE(Exists("to/from"));
    EXPECT_EQ(Read("outside/keep.txt"), "mine");
}

TEST_F(FileOperation, RenameGivesOneObjectANewNameWithoutOverwriting)
{
    Write("a.txt", "A");
    Write("taken.txt", "T");
    EXPECT_TRUE(Do(foRename, "a.txt", "b.txt"));
    EXPECT_EQ(Read("b.txt"), "A");
    EXPECT_FALSE(Do(foRename, "b.txt", "taken.txt"));
    EXPECT_EQ(Read("taken.txt"), "T");
    EXPECT_EQ(Read("b.txt"), "A");
    EXPECT_FALSE(Do(foRename, "*.txt", "c.txt"));
    EXPECT_TRUE(Do(foRename, "b*", "c.txt"));
    EXPECT_EQ(Read("c.txt"), "A");
    Write("dir/f", "F");
    EXPECT_TRUE(Do(foRename, "dir", "folder"));
    EXPECT_EQ(Read("folder/f"), "F");

    // A file that appears under the new name while the rename runs is not replaced either.
    PlantBeforeRename = "late.txt";
    EXPECT_FALSE(Do(foRename, "c.txt", "late.txt"));
    PlantBeforeRename.clear();
    EXPECT_EQ(Read("late.txt"), "planted");
    EXPECT_EQ(Read("c.txt"), "A");
}

TEST_F(FileOperation, DeleteAndActive)
{
    Write("d/a", "a");
    Write("d/b/c", "c");
    Write("keep", "k");
    TFileOperation op;
    op.Operation = foDelete;
    op.FilesFrom = "d/*;nothing";
    op.SetActive(true);
    EXPECT_TRUE(op.Active());
    EXPECT_EQ(Tree("d"), std::vector<std::string>{});
    op.FilesFrom = "d";
    EXPECT_TRUE(op.Execute());
    EXPECT_FALSE(Exists("d"));
    EXPECT_TRUE(Exists("keep"));
}

} // namespace
} // namespace tarn
