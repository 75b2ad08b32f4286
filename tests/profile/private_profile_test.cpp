#include "profile/private_profile.h"
#include "tests/profile/profile_files.h"

#include <QDir>
#include <atomic>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

// Every umask() call of this test program passes through here, so that a test sees whether
// saving a profile changed the process-wide mask, which a program started at that moment from
// another thread would inherit.
static std::atomic<int> UmaskChanges{0};

extern "C" mode_t umask(mode_t Mask)
{
    using TUmask = mode_t (*)(mode_t);
    static const auto real = reinterpret_cast<TUmask>(dlsym(RTLD_NEXT, "umask"));
    const mode_t old = real(Mask);
    if (old != Mask)
        ++UmaskChanges;
    return old;
}

namespace tarn {

namespace {

class PrivateProfile : public ::testing::Test, protected TProfileFiles
{
};

TEST_F(PrivateProfile, ReadsNamesWithoutCaseAndValuesTrimmed)
{
    const std::string file = Path("a.tnc");
    Write(file, "; comment line\r\n"
                "  [ connection ]  \r\n"
                "port =  2121 \t\r\n"
                "Empty=\n"
                "no equals sign here\r"
                "USERNAME=first=second\r\n"
                "[Other]\r\n"
                "HOSTDIR=/other\r\n"
                "[CONNECTION]\r\n"
                "PORT=99\r\n"
                "HOSTDIR=/second/section\r\n"
                "TIMEOUT=45");
    const TPrivateProfile ini(file);
    EXPECT_EQ(ini.ReadString("Connection", "PORT", "21"), "2121") << "first of a repeated key";
    EXPECT_EQ(ini.ReadString("CONNECTION", "empty", "x"), "") << "present but empty";
    EXPECT_EQ(ini.ReadString("Connection", "USERNAME", ""), "first=second");
    EXPECT_EQ(ini.ReadString("Connection", "HOSTDIR", "/"), "/second/section")
        << "a repeated section is searched too";
    EXPECT_EQ(ini.ReadString("Connection", "TIMEOUT", "30"), "45") << "last line without end";
    EXPECT_EQ(ini.ReadString("Connection", "no equals sign here", "d"), "d");
    EXPECT_EQ(ini.ReadString("Missing", "PORT", "21"), "21");
    EXPECT_EQ(TPrivateProfile(Path("none.tnc")).ReadString("Connection", "PORT", "21"), "21");
}

TEST_F(PrivateProfile, LongValuesAreCutAndGarbageIsSurvived)
{
    const std::string file = Path("a.tnc");
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += char((i * 7919 + 13) % 256);
    Write(file,
          garbage + "\r\n[Connection]\r\nURLORIP=" + std::string(5000, 'h') + "\r\n" + garbage);
    TPrivateProfile ini(file);
    EXPECT_EQ(ini.ReadString("Connection", "URLORIP", ""), std::string(1023, 'h'));
    ASSERT_TRUE(ini.WriteString("Connection", "PORT", "21"));
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(TPrivateProfile(file).ReadString("Connection", "PORT", ""), "21");
    EXPECT_NE(Read(file).find(garbage), std::string::npos) << "unknown bytes are kept";
}

TEST_F(PrivateProfile, WritingKeepsEveryOtherLineByteForByte)
{
    const std::string file = Path("a.tnc");
    Write(file, "; made by hand\n"
                "[General]\n"
                "Colour=blue\n"
                "\n"
                "[connection]\r\n"
                "Port=21\n"
                "  ; a note in the section\r\n"
                "HOSTDIR=/\r\n"
                "\r\n"
                "[Last]\r\n"
                "x=1");
    TPrivateProfile ini(file);
    ASSERT_TRUE(ini.WriteString("Connection", "PORT", "2121"));
    ASSERT_TRUE(ini.WriteString("Connection", "URLORIP", "as400"));
    ASSERT_TRUE(ini.WriteString("Added", "KEY", "v"));
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(Read(file), "; made by hand\n"
                          "[General]\n"
                          "Colour=blue\n"
                          "\n"
                          "[connection]\r\n"
                          "PORT=2121\r\n"
                          "  ; a note in the section\r\n"
                          "HOSTDIR=/\r\n"
                          "URLORIP=as400\r\n"
                          "\r\n"
                          "[Last]\r\n"
                          "x=1\r\n"
                          "[Added]\r\n"
                          "KEY=v\r\n");

    TPrivateProfile fresh(Path("new.tnc"));
    ASSERT_TRUE(fresh.WriteString("Connection", "A", "1"));
    ASSERT_TRUE(fresh.WriteString("Connection", "B", "2"));
    ASSERT_TRUE(fresh.Save());
    EXPECT_EQ(Read(Path("new.tnc")), "[Connection]\r\nA=1\r\nB=2\r\n");
}

TEST_F(PrivateProfile, ValuesThatWouldBreakTheFileAreRefused)
{
    TPrivateProfile ini(Path("a.tnc"));
    EXPECT_FALSE(ini.WriteString("Connection", "URLORIP", "host\r\n[Injected]"));
    EXPECT_FALSE(ini.WriteString("Connection", "URLORIP", "host\nPORT=1"));
    EXPECT_FALSE(ini.WriteString("Connection", "KEY=X", "1"));
    ASSERT_TRUE(ini.WriteString("Connection", "URLORIP", "host"));
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(Read(Path("a.tnc")), "[Connection]\r\nURLORIP=host\r\n");
}

TEST_F(PrivateProfile, NamesThatCannotBeReadBackAreRefusedAndALastLineGetsItsEnd)
{
    // Each of these would be written, read back as the default, and added once more at every
    // repeat; "[X" would even open a section of its own.
    const std::string original = "[Connection]\r\nPORT=21";
    TPrivateProfile ini("a.tnc", original);
    const std::pair<std::string, std::string> refused[] = {
        {" Connection", "PORT"}, {"Connection\t", "PORT"}, {"Connection", " PORT"},
        {"Connection", "PORT "}, {"Connection", "[X"},     {"Connection", "[X]"},
        {"Con]nection", "PORT"}, {"Connection", "A=B"},    {"Conn\nection", "PORT"},
    };
    for (const auto &[section, key] : refused) {
        EXPECT_FALSE(ini.WriteString(section, key, "1")) << section << "/" << key;
        EXPECT_EQ(ini.Text(), original) << section << "/" << key;
    }
    // The key on the last line, which has no line end: replaced, it ends like every line
    // written, so a line added later cannot run into it.
    ASSERT_TRUE(ini.WriteString("connection", "port", " 2121 "));
    EXPECT_EQ(ini.Text(), "[Connection]\r\nport= 2121 \r\n");
    EXPECT_EQ(ini.ReadString("CONNECTION", "PORT", ""), "2121");
    // Names with blanks or brackets inside read back.
    ASSERT_TRUE(ini.WriteString("My Host", "KEY[1]", "v"));
    EXPECT_EQ(TPrivateProfile("b.tnc", ini.Text()).ReadString("my host", "key[1]", ""), "v");
}

TEST_F(PrivateProfile, FailedSaveLeavesTheFileWhole)
{
    const std::string original = "[Connection]\r\nPORT=21\r\n";
    const std::string readOnly = Path("ro.tnc");
    Write(readOnly, original);
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    TPrivateProfile ini(readOnly);
    ASSERT_TRUE(ini.WriteString("Connection", "PORT", "2121"));
    EXPECT_FALSE(ini.Save()) << "a read-only profile is not written, not even by root";
    EXPECT_EQ(Read(readOnly), original);

    // The folder vanished between reading and saving.
    const std::string gone = Path("gone");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(gone)));
    TPrivateProfile vanished(gone + "/p.tnc");
    ASSERT_TRUE(vanished.WriteString("Connection", "PORT", "1"));
    ASSERT_TRUE(QDir(QString::fromStdString(gone)).removeRecursively());
    EXPECT_FALSE(vanished.Save());

    const QStringList left = QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, QStringList{"ro.tnc"}) << "no temporary file is left behind";
}

TEST_F(PrivateProfile, SaveKeepsModeAndWritesThroughLinks)
{
    const std::string target = Path("real.tnc");
    Write(target, "[Connection]\r\nPORT=21\r\n");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    const std::string link = Path("link.tnc");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);

    TPrivateProfile ini(link);
    ASSERT_TRUE(ini.WriteString("Connection", "PORT", "23"));
    ASSERT_TRUE(ini.Save());
    struct stat info;
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link stays a link";
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(Read(target), "[Connection]\r\nPORT=23\r\n");
}

TEST_F(PrivateProfile, NewFileTakesTheUmaskWithoutTouchingIt)
{
    const mode_t previous = umask(027);
    UmaskChanges = 0;
    TPrivateProfile ini(Path("new.tnc"));
    ASSERT_TRUE(ini.WriteString("Connection", "PORT", "21"));
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(UmaskChanges, 0);
    umask(previous);
    struct stat info;
    ASSERT_EQ(stat(Path("new.tnc").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

} // namespace

} // namespace tarn
