#include "profile/connection_profile.h"
#include "tests/profile/profile_files.h"

#include <QDir>
#include <gtest/gtest.h>

namespace tarn {

namespace {

class ConnectionProfile : public ::testing::Test, protected TProfileFiles
{
};

std::string PrintableAscii()
{
    std::string text;
    for (char c = ' '; c <= '~'; ++c)
        text += c;
    return text;
}

TEST_F(ConnectionProfile, WrittenProfileReadsBackTheSame)
{
    TConnectionProfile profile;
    profile.Connection = "Office VPN";
    profile.URLOrIP = "as400.example.com";
    profile.UserName = "QUSER";
    profile.Port = "ftp";
    profile.Timeout = "120";
    profile.LocalDir = "/home/me/downloads/";
    profile.HostDir = "/QSYS.LIB/MYLIB.LIB";
    const std::string file = Path("host.tnc");
    for (const std::string &password : {PrintableAscii(), std::string("p\xC3\xA4ss\xE2\x82\xAC"),
                                        std::string("x"), std::string()}) {
        profile.PassWord = password;
        ASSERT_TRUE(WriteConnectionProfile(file, profile));
        EXPECT_EQ(ReadConnectionProfile(file), profile) << password;
    }
}

TEST_F(ConnectionProfile, WritesTheKeysInOrderWithTheScrambledPassword)
{
    TConnectionProfile profile;
    profile.URLOrIP = "host";
    profile.UserName = "me";
    profile.PassWord = "Secret 1~";
    const std::string file = Path("new.tnc");
    ASSERT_TRUE(WriteConnectionProfile(file, profile));
    std::string scrambled;
    for (char c : profile.PassWord)
        scrambled += char(c + PasswordOffset);
    EXPECT_EQ(Read(file), "[Connection]\r\n"
                          "CONNECTION=LAN\r\n"
                          "URLORIP=host\r\n"
                          "USERNAME=me\r\n"
                          "PASSWORD=" +
                              scrambled +
                              "\r\n"
                              "PORT=21\r\n"
                              "TIMEOUT=30\r\n"
                              "LOCALDIR=/\r\n"
                              "HOSTDIR=/\r\n"
                              "VERSION=2.x\r\n");
    EXPECT_EQ(ScramblePassword(""), "");
    EXPECT_EQ(UnscramblePassword(ScramblePassword(std::string("\xFF\x00\xF9", 3))),
              std::string("\xFF\x00\xF9", 3))
        << "modulo 256";
}

TEST_F(ConnectionProfile, MissingKeysTakeTheDefaults)
{
    const TConnectionProfile defaults = ReadConnectionProfile(Path("missing.tnc"));
    EXPECT_EQ(defaults.Connection, "LAN");
    EXPECT_EQ(defaults.URLOrIP, "");
    EXPECT_EQ(defaults.UserName, "");
    EXPECT_EQ(defaults.PassWord, "");
    EXPECT_EQ(defaults.Port, "21");
    EXPECT_EQ(defaults.Timeout, "30");
    EXPECT_EQ(defaults.LocalDir, "/");
    EXPECT_EQ(defaults.HostDir, "/");

    Write(Path("header.tnc"), "[Connection]\r\n");
    EXPECT_EQ(ReadConnectionProfile(Path("header.tnc")), defaults);

    // A profile that names the root of a drive as "\"; keys in any case, blanks around.
    Write(Path("windows.tnc"), "[CONNECTION]\r\nlocaldir = \\ \r\n Port=2121\r\nVERSION=2.x\r\n");
    const TConnectionProfile windows = ReadConnectionProfile(Path("windows.tnc"));
    EXPECT_EQ(windows.LocalDir, "/");
    EXPECT_EQ(windows.Port, "2121");
}

TEST_F(ConnectionProfile, RewritingKeepsTheRestOfTheFile)
{
    const std::string file = Path("host.tnc");
    Write(file, "; notes about this host\r\n[Connection]\r\nURLORIP=old\r\nEXTRA=kept\r\n");
    TConnectionProfile profile;
    profile.URLOrIP = "new";
    ASSERT_TRUE(WriteConnectionProfile(file, profile));
    const std::string text = Read(file);
    EXPECT_EQ(
        text.rfind("; notes about this host\r\n[Connection]\r\nURLORIP=new\r\nEXTRA=kept\r\n", 0),
        0u)
        << text;
    EXPECT_EQ(ReadConnectionProfile(file).URLOrIP, "new");

    const std::string missingFolder = Path("no/such/folder/host.tnc");
    EXPECT_FALSE(WriteConnectionProfile(missingFolder, profile));
}

TEST_F(ConnectionProfile, KeyringProfileKeepsNoPasswordAndSwitchesBack)
{
    const std::string file = Path("keyring.tnc");
    Write(file, "[Connection]\r\nURLORIP=host\r\nPASSWORD=\x6C\x6C\r\n; a note\r\n");
    TConnectionProfile profile = ReadConnectionProfile(file);
    profile.PassWord = "never written";
    profile.PasswordStore = psKeyring;
    ASSERT_TRUE(WriteConnectionProfile(file, profile));
    std::string text = Read(file);
    EXPECT_NE(text.find("\r\nPASSWORD=\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nVERSION=2.x\r\nPASSWORDSTORE=KEYRING\r\n; a note\r\n"),
              std::string::npos)
        << "after the other keys: " << text;
    const TConnectionProfile read = ReadConnectionProfile(file);
    EXPECT_EQ(read.PasswordStore, psKeyring);
    EXPECT_EQ(read.PassWord, "");

    // Back to a password in the file: the line goes, nothing else changes.
    profile.PasswordStore = psProfile;
    ASSERT_TRUE(WriteConnectionProfile(file, profile));
    text = Read(file);
    EXPECT_EQ(text.find("PASSWORDSTORE"), std::string::npos) << text;
    EXPECT_EQ(ReadConnectionProfile(file), profile);
    EXPECT_NE(text.find("\r\nVERSION=2.x\r\n; a note\r\n"), std::string::npos) << text;

    // Only KEYRING (in any case, blanks around) means the keyring.
    const std::pair<const char *, TPasswordStorage> values[] = {
        {"KEYRING", psKeyring}, {" keyring ", psKeyring}, {"", psProfile}, {"FILE", psProfile}};
    for (const auto &[value, storage] : values) {
        Write(file, std::string("[Connection]\r\nPASSWORDSTORE=") + value + "\r\n");
        EXPECT_EQ(ReadConnectionProfile(file).PasswordStore, storage) << value;
    }
}

TEST(LibraryListFileName, FollowsTheProfileName)
{
    const std::pair<std::string, std::string> cases[] = {
        {"/p/HOST.tnc", "/p/HOST.tnl"},
        {"/p/HOST", "/p/HOST.tnl"},
        {"/p/host.TNC", "/p/host.tnl"},
        {"/p/a.tnc.backup", "/p/a.tnl"},
        {"/dir.tnc/host", "/dir.tnc/host.tnl"},
        {"host.Tnc", "host.tnl"},
        {"", ".tnl"},
    };
    for (const auto &[profile, library] : cases)
        EXPECT_EQ(LibraryListFileName(profile), library) << profile;
}

} // namespace

} // namespace tarn
