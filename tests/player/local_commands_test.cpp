#include "player/tarn_player.h"
#include "tests/player/recording_view.h"
#include "tests/player/temp_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tarn {
namespace {

using TLines = std::vector<std::string>;

class LocalCommands : public test::TempFolderTest
{
protected:
    test::TRecordingView FView;
    TTarnPlayer FPlayer{FView};

    // Runs `Script` on an emptied log and returns the lines the run left in it.
    TLines Run(const std::string &Script)
    {
        FPlayer.ClearLog();
        FPlayer.SetScriptText(Script);
        FPlayer.ExecuteButtonClick();
        return FView.Lines;
    }
};

TEST_F(LocalCommands, FolderCommandsWorkQuietlyAndFailWithTheirReason)
{
    EXPECT_EQ(Run("LOCALMD one\r\nLOCALMD one/two\r\nLOCALCD one\r\nLOCALMD three\r\n"), TLines{});
    EXPECT_EQ(std::filesystem::current_path(), FRoot / "one");
    EXPECT_TRUE(Exists("one/two") && Exists("one/three"));
    EXPECT_FALSE(FPlayer.Stopped);

    // Each failing call stops the run only under ONERROR STOP, and logs why it failed.
    Write("one/two/file.txt", "x");
    const struct
    {
        std::string Line, Why;
    } failing[] = {{"LOCALMD missing/deeper", "! missing/deeper: No such file or directory"},
                   {"LOCALMD three", "! three: File exists"},
                   {"LOCALRD two", "! two: Directory not empty"},
                   {"LOCALRD nothing", "! nothing: No such file or directory"},
                   {"LOCALCD nowhere", "! nowhere: No such file or directory"},
                   {"LOCALCD", "! (no name): No such file or directory"},
                   {"LOCALDEL nothing.txt", "! nothing.txt: No such file or directory"},
                   {"LOCALDEL two", "! two: Is a directory"},
                   {"LOCALMD", "! (no name): No such file or directory"}};
    for (const auto &f : failing) {
        EXPECT_EQ(Run("ONERROR STOP\r\n" + f.Line + "\r\nLOCALMD after\r\n"),
                  (TLines{"Error action set to STOP.", f.Why}))
            << f.Line;
        EXPECT_TRUE(FPlayer.StoppedByFailure) << f.Line;
        EXPECT_FALSE(Exists("one/after")) << f.Line;
    }
    Run("ONERROR\r\nLOCALDEL nothing.txt\r\nLOCALMD after\r\n");
    EXPECT_TRUE(Exists("one/after"));
    EXPECT_FALSE(FPlayer.Stopped);

    Run("LOCALDEL two/file.txt\r\nLOCALRD two\r\nLOCALCD ..\r\n");
    EXPECT_FALSE(Exists("one/two"));
    EXPECT_EQ(std::filesystem::current_path(), FRoot);
}

TEST_F(LocalCommands, NamesWithoutSlashGoIntoLocalDirAndTheSourceFolder)
{
    Write("dl/a.txt", "alpha");
    FPlayer.LocalDir = PathOf("dl");
    EXPECT_EQ(Run("LOCALCOPY \"a.txt\" \"b.txt\""),
              (TLines{"LOCALCOPY " + PathOf("dl/a.txt") + " " + PathOf("dl/b.txt"),
                      "File operation completed successfully."}));
    EXPECT_EQ(Read("dl/b.txt"), "alpha");

    // A LocalDir that ends with "/" is not given a second one.
    FPlayer.LocalDir = PathOf("dl") + "/";
    EXPECT_EQ(Run("LOCALREN \"b.txt\" \"c.txt\"").front(),
              "LOCALREN " + PathOf("dl/b.txt") + " " + PathOf("dl/c.txt"));
    EXPECT_TRUE(Exists("dl/c.txt") && !Exists("dl/b.txt"));

    // A destination with a "/" is taken as written, also when it ends in "/".
    EXPECT_EQ(Run("LOCALMOVE \"" + PathOf("dl/c.txt") + "\" \"" + PathOf("y") + "/\"").front(),
              "LOCALMOVE " + PathOf("dl/c.txt") + " " + PathOf("y") + "/");
    EXPECT_EQ(Read("y/c.txt"), "alpha");

    // "./" names are relative to the current directory, and so are bare names while LocalDir
    // is empty (no profile read): never the root of the file system.
    FPlayer.LocalDir.clear();
    EXPECT_EQ(Run("LOCALCOPY \"./y/c.txt\" \"d.txt\"").front(), "LOCALCOPY ./y/c.txt ./y/d.txt");
    Write("here.txt", "here");
    EXPECT_EQ(Run("LOCALCOPY \"here.txt\" \"there.txt\"").front(), "LOCALCOPY here.txt there.txt");
    EXPECT_EQ(Read("there.txt"), "here");
}

TEST_F(LocalCommands, FileOperationSyntaxErrorsAlwaysStop)
{
    for (const char *argument : {"", "a b", "\"a\"", "\"a\" b", "\"a"}) {
        for (const char *keyword : {"LOCALCOPY", "LOCALMOVE", "LOCALREN"}) {
            const TLines log = Run(std::string(keyword) + " " + argument + "\r\nLOCALMD after");
            EXPECT_EQ(log, TLines{"ERROR: Syntax error on File Operation command."})
                << keyword << " " << argument;
            EXPECT_TRUE(FPlayer.StoppedByFailure);
            EXPECT_FALSE(Exists("after"));
        }
    }
}

TEST_F(LocalCommands, FailedOperationsLogTheCommandButNotSuccessAndKeepTheSource)
{
    Write("a.txt", "keep me");
    const TLines log = Run("ONERROR STOP\r\nLOCALCOPY \"./a.txt\" \"a.txt\"\r\nLOCALMD after");
    EXPECT_EQ(log, (TLines{"Error action set to STOP.", "LOCALCOPY ./a.txt ./a.txt",
                           "! \"./a.txt\" and \"./a.txt\" are the same file"}));
    EXPECT_EQ(Read("a.txt"), "keep me");
    EXPECT_FALSE(Exists("after"));

    Run("ONERROR\r\nLOCALMOVE \"./a.txt\" \"./a.txt\"\r\nLOCALCOPY \"./*.none\" \"./x/\"\r\n"
        "LOCALMD after");
    EXPECT_EQ(Read("a.txt"), "keep me");
    EXPECT_FALSE(Exists("x"));
    EXPECT_TRUE(Exists("after"));
}

TEST_F(LocalCommands, SaveLogAndClearLog)
{
    EXPECT_EQ(Run("ONERROR\r\nSAVELOG\r\nSAVELOG saved.log\r\nCLEARLOG\r\nSAVELOG empty.log"),
              TLines{});
    EXPECT_EQ(Read("saved.log"),
              "Error action set to CONTINUE.\r\nError: Log filename not specified.\r\n");
    EXPECT_EQ(Read("empty.log"), "");
    EXPECT_TRUE(FView.Lines.empty());
    EXPECT_TRUE(FPlayer.Log().empty());

    // Without a name under ONERROR STOP the run ends there.
    Run("ONERROR STOP\r\nSAVELOG\r\nLOCALMD after");
    EXPECT_FALSE(Exists("after"));
    EXPECT_TRUE(FPlayer.StoppedByFailure);

    // A file that cannot be created is an error that escapes the command.
    FPlayer.SetScriptText("SAVELOG no/such/folder.log\r\nLOCALMD after\r\n");
    EXPECT_THROW(FPlayer.ExecuteButtonClick(), std::runtime_error);
    EXPECT_FALSE(Exists("after"));
}

TEST_F(LocalCommands, EveryKeywordOfOneScriptInOrder)
{
    Write("src/r1.txt", "one");
    Write("src/r2.txt", "two");
    const TLines log = Run("ONERROR stop\r\n"
                           "LOGFILE end.log\r\n"
                           "LOCALMD work\r\n"
                           "LOCALCD work\r\n"
                           "LOCALCOPY \"../src/*.txt\" \"./in/\"\r\n"
                           "LOCALREN \"./in/r1.txt\" \"first.txt\"\r\n"
                           "LOCALMOVE \"./in/r2.txt\" \"./out/second.txt\"\r\n"
                           "LOCALDEL in/first.txt\r\n"
                           "LOCALRD in\r\n"
                           "SAVELOG mid.log\r\n"
                           "CLEARLOG\r\n"
                           "ONERROR continue\r\n"
                           "EXIT\r\n"
                           "LOCALMD never\r\n");
    EXPECT_EQ(log, TLines{"Error action set to CONTINUE."});
    EXPECT_EQ(Read("work/mid.log"), "Error action set to STOP.\r\n"
                                    "LOCALCOPY ../src/*.txt ./in/\r\n"
                                    "File operation completed successfully.\r\n"
                                    "LOCALREN ./in/r1.txt ./in/first.txt\r\n"
                                    "File operation completed successfully.\r\n"
                                    "LOCALMOVE ./in/r2.txt ./out/second.txt\r\n"
                                    "File operation completed successfully.\r\n");
    EXPECT_EQ(Read("work/end.log"), "Error action set to CONTINUE.\r\n");
    EXPECT_EQ(Read("work/out/second.txt"), "two");
    EXPECT_FALSE(Exists("work/in"));
    EXPECT_FALSE(Exists("work/never"));
    EXPECT_EQ(Read("src/r1.txt"), "one");
    EXPECT_EQ(FView.CloseRequests, 1);
}

} // namespace
} // namespace tarn
