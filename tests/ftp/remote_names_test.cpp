// The remote name rules: library paths, PWD replies and the file part of a remote name.

#include "ftp/remote_names.h"

#include <gtest/gtest.h>
#include <string>

namespace tarn {
namespace {

TEST(RemoteNames, LibraryNamesGoUnderQsysAndPathsStayAsWritten)
{
    EXPECT_EQ(NormalizeLibraryPath("mylib.lib"), "/QSYS.LIB/MYLIB.LIB");
    EXPECT_EQ(NormalizeLibraryPath("MyLib.Lib/qclsrc.file"), "/QSYS.LIB/MYLIB.LIB/QCLSRC.FILE");
    EXPECT_EQ(NormalizeLibraryPath("/QSYS.LIB/MYLIB.LIB"), "/QSYS.LIB/MYLIB.LIB");
    EXPECT_EQ(NormalizeLibraryPath("/qsys.lib/mylib.lib"), "/qsys.lib/mylib.lib");
    EXPECT_EQ(NormalizeLibraryPath("/home/user"), "/home/user");
    EXPECT_EQ(NormalizeLibraryPath(""), "");
}

TEST(RemoteNames, PwdReplyGivesTheQuotedDirectory)
{
    EXPECT_EQ(PathFromPwdReply("257 \"/QSYS.LIB/MYLIB.LIB\" is current library."),
              "/QSYS.LIB/MYLIB.LIB");
    EXPECT_EQ(PathFromPwdReply("257 \"mylib.lib\" is current library."), "/QSYS.LIB/MYLIB.LIB");
    EXPECT_EQ(PathFromPwdReply("257 \"/home/x\" is current directory."), "/home/x");
    EXPECT_EQ(PathFromPwdReply("257 /home/x is current directory."), "");
    EXPECT_EQ(PathFromPwdReply("257 \"/home/x is current directory."), "");
    // The closing quote must come within 128 characters after the opening one.
    const std::string fits(127, 'd');
    EXPECT_EQ(PathFromPwdReply("257 \"" + fits + "\" ok"), fits);
    EXPECT_EQ(PathFromPwdReply("257 \"" + fits + "d\" ok"), "");
    // A control character would ride into the next CWD or LIST: no path at all.
    for (const char *reply : {"257 \"/home/a\nDELE x\"", "257 \"/home/a\rDELE x\"",
                              "257 \"/x\x1b[2J\"", "257 \"/x\ty\"", "257 \"/x\x7f\""})
        EXPECT_EQ(PathFromPwdReply(reply), "") << reply;
    EXPECT_EQ(PathFromPwdReply("257 \"/\xe9t\xe9\" ok"), "/\xe9t\xe9") << "bytes above 127 stay";
}

TEST(RemoteNames, RemoteNamesSplitAtBackslashOrColonOnly)
{
    EXPECT_EQ(RemoteFileName("dir\\b.txt"), "b.txt");
    EXPECT_EQ(RemoteFileName("C:\\a\\b:c.txt"), "c.txt");
    EXPECT_EQ(RemoteFileName("C:b.txt"), "b.txt");
    EXPECT_EQ(RemoteFileName("/x/b.txt"), "/x/b.txt");
    EXPECT_EQ(RemoteFileName("/QSYS.LIB/MYLIB.LIB/QCLSRC.FILE/A.MBR"),
              "/QSYS.LIB/MYLIB.LIB/QCLSRC.FILE/A.MBR");
    EXPECT_EQ(RemoteFileName("dir\\"), "");
}

} // namespace
} // namespace tarn
