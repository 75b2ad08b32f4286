// Listing lines of the three kinds of server, the words and names in them, the server kinds,
// the path rules and the orders of the two list views.

#include "client/list_parse.h"
#include "client/listing_entries.h"
#include "client/local_name.h"
#include "client/tarn_main.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

struct TLineCase
{
    TServerKind Kind;
    const char *Line;
    bool Valid;
    bool Directory;
    const char *Name;
    const char *Size;
    const char *Date;
};

TEST(ParseListLine, RealLinesOfTheThreeKinds)
{
    const TLineCase cases[] = {
        // Unix "ls -l": rights, links, owner, group, size, month, day, time or year, name.
        {skOther, "total 12", false, false, "", "", ""},
        {skOther, "-rw-r--r--    1 tester   tester        589 Apr 06 15:47 readme.txt", true, false,
         "readme.txt", "589", "Apr 06 15:47"},
        {skOther, "drwxr-xr-x    2 tester   tester       4096 Jan 16  2002 epsgroup", true, true,
         "epsgroup", "4096", "Jan 16 2002"},
        {skOther, "drwxr-xr-x    2 tester   tester          0 Jan 16  2002 empty", true, true,
         "empty", "0", "Jan 16 2002"},
        // A link is a directory under its own name; the target goes.
        {skOther, "lrwxrwxrwx    1 root     root            7 Mar 01 09:00 bin -> usr/bin", true,
         true, "bin", "7", "Mar 01 09:00"},
        // A name with blanks shows as its last part.
        {skOther, "-rw-r--r--    1 tester   tester         12 May 20 10:00 my report.txt", true,
         false, "report.txt", "12", "May 20 10:00"},
        // A bracketed rights field in word 1 moves size and date one word to the left.
        {skOther, "f [RWCEAFMS] owner   512 Jun 10 12:00 notes.txt", true, false, "notes.txt",
         "512", "Jun 10 12:00"},
        // A short line: missing words are empty.
        {skOther, "-rw 1 me file.txt", true, false, "file.txt", "", "  "},
        {skOther, "", false, false, "", "", ""},
        {skOther, "-rw-r--r--", false, false, "", "", ""},
        {skOther, "-rw-r--r--   ", false, false, "", "", ""},
        // Nothing before the arrow: no name, so no entry that would fetch "".
        {skOther, "-> r-- 1 ftp ftp 5 Jan 1 12:00 x", false, false, "", "", ""},

        // Windows NT (IIS), MS-DOS style.
        {skWindowsNT, "01-16-02  11:14AM       <DIR>          epsgroup", true, true, "epsgroup",
         "<DIR>", "01-16-02 11:14AM"},
        {skWindowsNT, "04-06-00  03:47PM                  589 17-dos-dateambiguous file", true,
         false, "file", "589", "04-06-00 03:47PM"},
        {skWindowsNT, "05-26-1995  10:57AM               143712 $LDR$", true, false, "$LDR$",
         "143712", "05-26-1995 10:57AM"},
        {skWindowsNT, "12-05-96  17:03         <DIR>          absoft2", true, true, "absoft2",
         "<DIR>", "12-05-96 17:03"},

        // IBM i: owner, size, date, time, type, name.
        {skOS400, "QSYS             0 06/12/08 12:29:31 *LIB       QGPL.LIB", true, true,
         "QGPL.LIB", "*LIB", "06/12/08 12:29:31"},
        {skOS400, "QSECOFR         69632 10/03/98 15:22:35 *DIR       java_applets/", true, true,
         "java_applets/", "*DIR", "10/03/98 15:22:35"},
        {skOS400, "QUSER           14398 10/21/98 12:49:52 *STMF      readme.htm", true, false,
         "readme.htm", "14398", "10/21/98 12:49:52"},
        {skOS400, "RADDATZ          8192 04.07.13 09:04:14 *DIR       testDir1/", true, true,
         "testDir1/", "*DIR", "04.07.13 09:04:14"},
        {skOS400, "QPGMR        16347136 29.06.13 15:45:09 *FILE      RPGUNIT.SAVF", true, false,
         "RPGUNIT.SAVF", "16347136", "29.06.13 15:45:09"},
        {skOS400, "QDOC             0 01/02/03 04:05:06 *FLR       QDLS", true, true, "QDLS",
         "*FLR", "01/02/03 04:05:06"},
        {skOS400, "QSYS             0 01/02/03 04:05:06 *DDIR      QOPT", true, true, "QOPT",
         "*DDIR", "01/02/03 04:05:06"},
        // Members carry no size or date: whatever stands in word 1 shows as the size.
        {skOS400, "QPGMR                                   *MEM       RPGUNITC1.FILE/RUCALLTST.MBR",
         true, false, "RPGUNITC1.FILE/RUCALLTST.MBR", "*MEM", " "},
        // The file line inside a file has no name: its type is the last word.
        {skOS400, "QPGMR          135168 22.06.13 13:18:19 *FILE     ", true, false, "*FILE",
         "135168", "22.06.13 13:18:19"},
        {skOS400, "QPGMR", false, false, "", "", ""},
        {skWindowsNT, " ->", false, false, "", "", ""},
    };
    for (const TLineCase &c : cases) {
        const TListLine entry = ParseListLine(c.Kind, c.Line);
        SCOPED_TRACE(c.Line);
        EXPECT_EQ(entry.Valid, c.Valid);
        if (!c.Valid)
            continue;
        EXPECT_EQ(entry.Directory, c.Directory);
        EXPECT_EQ(entry.Name, c.Name);
        EXPECT_EQ(entry.Size, c.Size);
        EXPECT_EQ(entry.Date, c.Date);
    }
}

TEST(ListWordAndName, RunsOfBlanksLastWordsAndArrows)
{
    const struct
    {
        const char *Line;
        int N;
        const char *Word;
    } words[] = {
        {"a  b   c d", 0, "a"}, {"a  b   c d", 2, "c"}, {"a  b   c d", 3, ""}, // last word never
        {"a b c ", 2, "c"},     {" a b", 0, ""},        {" a b", 1, "a"},      {"", 0, ""},
        {"word", 0, ""},        {"a b", 7, ""},
    };
    for (const auto &w : words)
        EXPECT_EQ(ListWord(w.Line, w.N), w.Word) << w.Line << " word " << w.N;

    const struct
    {
        const char *Line;
        const char *Name;
    } names[] = {
        {"x y name", "name"},         {"x y name   ", "name"}, {"l x link -> target dir", "link"},
        {"l x link->target", "link"}, {"single", "single"},
    };
    for (const auto &n : names)
        EXPECT_EQ(ListName(n.Line), n.Name) << n.Line;
}

TEST(ClassifyServer, AnyPositionAnyCase)
{
    EXPECT_EQ(ClassifyServer("215  OS/400 is the remote operating system. The TCP/IP version "
                             "is \"V7R3M0\"."),
              skOS400);
    EXPECT_EQ(ClassifyServer("215 os/400"), skOS400);
    EXPECT_EQ(ClassifyServer("215 Windows_NT"), skWindowsNT);
    EXPECT_EQ(ClassifyServer("215 windows_nt version 3.51"), skWindowsNT);
    EXPECT_EQ(ClassifyServer("215 UNIX Type: L8"), skOther);
    EXPECT_EQ(ClassifyServer("215 Windows NT"), skOther); // the underscore counts
    EXPECT_EQ(ClassifyServer(""), skOther);
}

TEST(RemotePaths, LibrariesPwdRepliesAndDoubledSlashes)
{
    const struct
    {
        const char *Path;
        const char *Normal;
    } paths[] = {
        {"mylib.lib", "/QSYS.LIB/MYLIB.LIB"},
        {"/mylib.lib/qclsrc.file", "/QSYS.LIB/MYLIB.LIB/QCLSRC.FILE"},
        {"/home/user", "/home/user"},
        {"/QSYS.LIB/mylib.lib", "/QSYS.LIB/mylib.lib"},
        {"//home//x", "/home//x"}, // only the first "//" goes
        {"", ""},
    };
    for (const auto &p : paths)
        EXPECT_EQ(TTarnMain::NormalizeLibraryPath(p.Path), p.Normal) << p.Path;

    const struct
    {
        const char *Reply;
        const char *Path;
    } replies[] = {
        {"257 \"/home/x\" is current directory.", "/home/x"},
        {"257 \"QGPL\" is current library.", "QGPL"},
        {"257 \"mylib.lib\" is current library.", "/QSYS.LIB/MYLIB.LIB"},
        {"257 no quotes here", ""},
        {"257 \"unclosed", ""},
        {"257 \"//\"", "/"},
    };
    for (const auto &r : replies)
        EXPECT_EQ(TTarnMain::PathFromPwdReply(r.Reply), r.Path) << r.Reply;
    // The path is looked for within 128 characters after the first quote.
    const std::string longPath(127, 'p');
    EXPECT_EQ(TTarnMain::PathFromPwdReply("257 \"" + longPath + "\""), longPath);
    EXPECT_EQ(TTarnMain::PathFromPwdReply("257 \"" + longPath + "pp\""), "");

    EXPECT_EQ(CollapseFirst("a//b//c", "//"), "a/b//c");
    EXPECT_EQ(CollapseFirst("abc", "//"), "abc");
}

TEST(CompareTexts, NoCaseAndSizeOrders)
{
    const struct
    {
        const char *A, *B;
        int NoCase, Size;
    } cases[] = {
        {"abc", "ABC", 0, 0},
        {"ab", "abc", -1, -1},
        {"b", "a", 1, 1},
        {"9", "10", 1, -1},                   // as text 9 is larger, as a size smaller
        {"12345678901", "02345678901", 1, 0}, // more than 10 digits: the last 10 count
        {"\xe9", "z", 1, 1},                  // bytes above 127 compare unsigned
        {"<dir>", "<DIR>", 0, 0},
        {"", "0", -1, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(CompareNoCase(c.A, c.B), c.NoCase) << c.A << " / " << c.B;
        EXPECT_EQ(CompareNoCase(c.B, c.A), -c.NoCase) << c.B << " / " << c.A;
        EXPECT_EQ(CompareSizeText(c.A, c.B), c.Size) << c.A << " / " << c.B;
    }
}

std::vector<std::string> Captions(const std::vector<TListEntry> &Entries)
{
    std::vector<std::string> captions;
    for (const TListEntry &entry : Entries)
        captions.push_back(entry.Caption + "|" + entry.Size);
    return captions;
}

// What a listing shows: the parent entry except at a root, directories and files apart, the
// size 0 of a directory as "<dir>", and the library list at the QSYS.LIB root only.
TEST(ListingEntries, ParentEntryDirectoriesFilesAndLibraries)
{
    const std::string unix = "total 8\r\n"
                             "drwxr-xr-x 2 a a 0 Jan 1 2020 empty\r\n"
                             "drwxr-xr-x 2 a a 4096 Jan 1 2020 full\n"
                             "-rw-r--r-- 1 a a 12 Jan 1 2020 file.txt\r"
                             "\r\n"
                             "lone\r\n"
                             "-rw-r--r-- 1 a a 3 Jan 1 2020 last";
    const std::vector<std::string> libraries = {"MYLIB.LIB", "ZLIB.LIB"};
    const struct
    {
        const char *CurrentDir;
        const char *RootDir;
        bool Parent;
    } places[] = {{"/home/x", "/", true},
                  {"/", "/", false},
                  {"\\", "/", false},
                  {"/HOME", "/HOME", false},
                  {"", "/", true}};
    for (const auto &place : places) {
        const TListingEntries entries =
            ListingEntries(unix, {skOther, place.CurrentDir, place.RootDir, libraries});
        std::vector<std::string> directories = {"empty|<dir>", "full|4096"};
        if (place.Parent)
            directories.insert(directories.begin(), "..|*Parent");
        EXPECT_EQ(Captions(entries.Directories), directories) << place.CurrentDir;
        EXPECT_EQ(Captions(entries.Files), (std::vector<std::string>{"file.txt|12", "last|3"}));
    }

    const std::string os400 = "QSYS             0 06/12/08 12:29:31 *LIB       QGPL.LIB\r\n";
    const struct
    {
        const char *CurrentDir;
        std::vector<std::string> Directories;
    } qsys[] = {
        {"/QSYS.LIB", {"..|*Parent", "QGPL.LIB|*LIB", "MYLIB.LIB|*LIB", "ZLIB.LIB|*LIB"}},
        {"/qsys.lib/", {"..|*Parent", "QGPL.LIB|*LIB", "MYLIB.LIB|*LIB", "ZLIB.LIB|*LIB"}},
        {"/QSYS.LIB/A.LIB", {"..|*Parent", "QGPL.LIB|*LIB"}},
        {"/home/QSYS.LIB", {"..|*Parent", "QGPL.LIB|*LIB"}},
    };
    for (const auto &place : qsys) {
        EXPECT_EQ(
            Captions(
                ListingEntries(os400, {skOS400, place.CurrentDir, "/", libraries}).Directories),
            place.Directories)
            << place.CurrentDir;
    }
}

// Listed names come from the server: whatever it sends, the local name stays a plain name in
// the download directory.
TEST(LocalNameOf, ListedNamesStayInsideTheDownloadDirectory)
{
    const struct
    {
        std::string Listed;
        std::string Local;
    } cases[] = {
        {"readme.txt", "readme.txt"},
        {"QCLSRC.FILE/HELLO.MBR", "HELLO.MBR"},
        {"A.FILE/ " + std::string(40, 'm'), std::string(29, 'm')}, // 30 characters, trimmed
        {"../../.bashrc", ".._.bashrc"},
        {"a/b", "b"},
        {"/tmp/testftpd-absolute", "tmp_testftpd-absolute"},
        {".", "_."},
        {"..", "_.."},
        {"x/..", "_.."},
        {"x/", "_"},
        {std::string("nul\0name", 8), "nul_name"},
        {"clear \x1b[2J \a bell", "clear _[2J _ bell"},
        {"..\\..\\boot.ini", "..\\..\\boot.ini"}, // a backslash is an ordinary character here
    };
    for (const auto &c : cases)
        EXPECT_EQ(LocalNameOf(c.Listed), c.Local) << c.Listed;
}

} // namespace
} // namespace tarn
